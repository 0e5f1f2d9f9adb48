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

// Reads each file once for one load: its reader and the checks of its text take the same
// bytes, and its digest is of the bytes read.
class ReadOnceInput final : public InputSource {
 public:
  SpecValues spec(const std::string& name) override { return read_spec(name, &files_); }
  TransmissionInput transmission(const std::string& name) override { return read_transmission(name, &files_); }
  EngineInput engine(const std::string& name) override { return read_engine(name, &files_); }
  TorqueCurve torque_curve(const std::string& name) override { return read_torque_curve(name, &files_); }
  FuelMap fuel_map(const std::string& name) override { return read_fuel_map(name, &files_); }
  std::string sha256(const std::string& name) override {
    const std::string* bytes = files_.bytes(name);
    return bytes ? sha256_hex(*bytes) : std::string();
  }
  std::shared_ptr<const std::vector<std::string>> lines(const std::string& name) override {
    const std::string* bytes = files_.bytes(name);
    return bytes ? std::make_shared<const std::vector<std::string>>(text_lines(*bytes)) : nullptr;
  }
  std::shared_ptr<const InputText> input_text(const Vehicle& vehicle) override {
    return input_text_of_bytes(vehicle, [&](const std::string& path) { return files_.bytes(path); });
  }

 private:
  InputBytes files_;
};

}  // namespace

std::shared_ptr<const InputText> InputSource::input_text(const Vehicle& vehicle) {
  return read_input_text(vehicle, [&](const std::string& path) { return lines(path); });
}

Vehicle load_vehicle(const std::filesystem::path& spec, const LoadOptions& options) {
  ReadOnceInput source;
  return load_vehicle(source.spec(spec.string()), spec, options, source);
}

Vehicle load_vehicle(const SpecValues& values, const std::filesystem::path& spec, const LoadOptions& options) {
  ReadOnceInput source;
  return load_vehicle(values, spec, options, source);
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
