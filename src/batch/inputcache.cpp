#include "batch/inputcache.h"

#include "io/digest.h"
#include "io/readcurves.h"
#include "io/readengtrn.h"
#include "io/readspec.h"
#include "run/classification.h"
#include "run/plausibility.h"

namespace hdfe {

SpecValues InputCache::spec(const std::string& name) {
  return *specs_.get(name, [&] { return read_spec(name); });
}

TransmissionInput InputCache::transmission(const std::string& name) {
  return *transmissions_.get(name, [&] { return read_transmission(name); });
}

EngineInput InputCache::engine(const std::string& name) {
  return *engines_.get(name, [&] { return read_engine(name); });
}

TorqueCurve InputCache::torque_curve(const std::string& name) {
  return *curves_.get(name, [&] { return read_torque_curve(name); });
}

FuelMap InputCache::fuel_map(const std::string& name) {
  return *maps_.get(name, [&] { return read_fuel_map(name); });
}

std::string InputCache::sha256(const std::string& name) {
  return *digests_.get(name, [&] { return file_sha256(name); });
}

std::shared_ptr<const std::vector<std::string>> InputCache::lines(const std::string& name) {
  const auto read = lines_.get(name, [&] { return file_lines(name); });
  return read->has_value() ? std::shared_ptr<const std::vector<std::string>>(read, &**read) : nullptr;
}

Vehicle InputCache::vehicle(const SpecValues& values, const std::filesystem::path& spec, const LoadOptions& options) {
  // What loading reads depends on these alone; each name is written after its length, so
  // that no two lists of names give one key.
  std::string key(1, options.digests ? 'd' : '-');
  const auto put = [&](std::string_view part) {
    key += std::to_string(part.size());
    key += ':';
    key += part;
  };
  put(spec.native());
  put(values.transmission_file);
  put(values.engine_file);
  if (options.base) put(options.base->native());
  std::shared_ptr<const Vehicle> loaded;
  {
    const std::lock_guard lock(vehicles_mutex_);
    const auto found = vehicles_.find(key);
    if (found != vehicles_.end()) loaded = found->second;
  }
  if (!loaded) {
    Vehicle v = load_vehicle(values, spec, options, *this);
    const std::lock_guard lock(vehicles_mutex_);
    if (vehicles_.size() >= MaxVehicles) vehicles_.clear();
    vehicles_.emplace(std::move(key), std::make_shared<const Vehicle>(v));
    return v;
  }
  Vehicle v = *loaded;
  v.values = values;
  // Loading stops at an unknown category after the transmission and engine files, before the
  // curves and the map.
  TransmissionInput ratios;
  classify_vehicle(v, ratios);
  return v;
}

std::shared_ptr<const Cycle> InputCache::cycle(const std::string& name) {
  return cycles_.get(name, [&] { return find_cycle(name); });
}

std::shared_ptr<const Route> InputCache::route(const std::string& name) {
  return routes_.get(name, [&] { return read_route_file(name); });
}

std::shared_ptr<const InputText> InputCache::input_text(const Vehicle& vehicle) {
  std::string key;
  for (const InputFile& file : vehicle.files) key += file.role + '\0' + file.name + '\0' + file.path.string() + '\0';
  return texts_.get(key, [&] { return *InputSource::input_text(vehicle); });
}

std::shared_ptr<const FuelGrid> InputCache::grid(const Vehicle& vehicle) {
  std::string key;
  for (const InputFile& file : vehicle.files) {
    if (file.role == "fuel_map" || file.role == "motoring") key += file.path.string() + '\0';
  }
  if (key.empty()) return fuel_grid(vehicle);
  return grids_.get(key, [&] { return *fuel_grid(vehicle); });
}

std::shared_ptr<const FuelGrid> InputCache::grid(const std::shared_ptr<const Vehicle>& vehicle) {
  const std::string key = std::to_string(reinterpret_cast<std::uintptr_t>(vehicle.get()));
  return loaded_grids_.get(key, [&] { return LoadedGrid{vehicle, fuel_grid(*vehicle)}; })->grid;
}

}  // namespace hdfe
