// Loading a vehicle: the spec file and every file it names, in the order the run reads them.
#include "run/classification.h"
#include "hdfe/hdfe.h"
#include "run/loader.h"
#include "io/digest.h"
#include "io/readcurves.h"
#include "io/readengtrn.h"
#include "io/readspec.h"
#include "run/plausibility.h"

namespace hdfe {

namespace {

// The name to open for a name written in an input file: taken from base unless absolute.
std::string resolved(const std::filesystem::path& base, const std::string& name) {
  if (base.empty() || name.empty()) return name;
  const std::filesystem::path path(name);
  return path.is_absolute() ? name : (base / path).string();
}

// Reads every file afresh; holds no state, so one serves every thread.
class DirectInput final : public InputSource {
 public:
  SpecValues spec(const std::string& name) override { return read_spec(name); }
  TransmissionInput transmission(const std::string& name) override { return read_transmission(name); }
  EngineInput engine(const std::string& name) override { return read_engine(name); }
  TorqueCurve torque_curve(const std::string& name) override { return read_torque_curve(name); }
  FuelMap fuel_map(const std::string& name) override { return read_fuel_map(name); }
  std::string sha256(const std::string& name) override { return file_sha256(name); }
  std::shared_ptr<const std::vector<std::string>> lines(const std::string& name) override {
    std::optional<std::vector<std::string>> read = file_lines(name);
    return read ? std::make_shared<const std::vector<std::string>>(std::move(*read)) : nullptr;
  }
};

}  // namespace

std::shared_ptr<const InputText> InputSource::input_text(const Vehicle& vehicle) {
  return read_input_text(vehicle, [&](const std::string& path) { return lines(path); });
}

InputSource& direct_input() {
  static DirectInput source;
  return source;
}

Vehicle load_vehicle(const std::filesystem::path& spec, const LoadOptions& options) {
  return load_vehicle(read_spec(spec.string()), spec, options, direct_input());
}

Vehicle load_vehicle(const SpecValues& values, const std::filesystem::path& spec, const LoadOptions& options) {
  return load_vehicle(values, spec, options, direct_input());
}

Vehicle load_vehicle(const SpecValues& values, const std::filesystem::path& spec, const LoadOptions& options,
                     InputSource& source) {
  const std::filesystem::path base = options.base ? *options.base : spec.parent_path();
  const auto add = [&](const char* role, const std::string& name, const std::string& opened) {
    return InputFile{role, name, std::filesystem::path(opened), options.digests ? source.sha256(opened) : ""};
  };
  Vehicle v;
  const std::string specName = spec.string();
  v.values = values;
  v.files.push_back(add("spec", specName, specName));
  // Reads the file a name inside an input file gives, and lists it.
  const auto load = [&](const char* role, const std::string& name, auto read) {
    const std::string opened = resolved(base, name);
    auto value = read(opened);
    v.files.push_back(add(role, name, opened));
    return value;
  };
  v.transmission = load("transmission", v.values.transmission_file,
                        [&](const std::string& n) { return source.transmission(n); });
  v.engine = load("engine", v.values.engine_file, [&](const std::string& n) { return source.engine(n); });

  // An unknown category stops loading before the curves and the map are read.
  TransmissionInput ratios;
  classify_vehicle(v, ratios);

  const auto curve = [&](const std::string& n) { return source.torque_curve(n); };
  v.full_load = load("full_load", v.engine.full_load_file, curve);
  v.motoring = load("motoring", v.engine.motoring_file, curve);
  v.fuel_map = load("fuel_map", v.engine.fuel_map_file, [&](const std::string& n) { return source.fuel_map(n); });
  v.text = source.input_text(v);
  return v;
}

}  // namespace hdfe
