// Loading a vehicle: the spec file and every file it names, in the order the run reads them.
#include "hdfe/classification.h"
#include "hdfe/hdfe.h"
#include "hdfe/loader.h"
#include "input/digest.h"
#include "input/readcurves.h"
#include "input/readengtrn.h"
#include "input/readspec.h"

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
};

}  // namespace

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

  const std::string transmission = resolved(base, v.values.TransmissionFile);
  v.transmission = source.transmission(transmission);
  v.files.push_back(add("transmission", v.values.TransmissionFile, transmission));

  const std::string engine = resolved(base, v.values.EngineFile);
  v.engine = source.engine(engine);
  v.files.push_back(add("engine", v.values.EngineFile, engine));

  // An unknown category stops loading before the curves and the map are read.
  RatioLists ratios;
  classify_vehicle(v, ratios);

  const std::string fullLoad = resolved(base, v.engine.FullLoadCurveFile);
  v.full_load = source.torque_curve(fullLoad);
  v.files.push_back(add("full_load", v.engine.FullLoadCurveFile, fullLoad));
  const std::string motoring = resolved(base, v.engine.MotoringCurveFile);
  v.motoring = source.torque_curve(motoring);
  v.files.push_back(add("motoring", v.engine.MotoringCurveFile, motoring));
  const std::string fuelMap = resolved(base, v.engine.FuelMapFile);
  v.fuel_map = source.fuel_map(fuelMap);
  v.files.push_back(add("fuel_map", v.engine.FuelMapFile, fuelMap));
  return v;
}

}  // namespace hdfe
