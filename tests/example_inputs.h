// The example vehicles as loaded and classified, for tests of the model's parts.
#pragma once
#include <filesystem>

#include "sim/fuelgrid.h"
#include "run/classification.h"
#include "hdfe/hdfe.h"

namespace hdfe {

// A loaded example with the records its parts take.
struct ExampleRecords {
  Vehicle vehicle;
  SpecValues values;
  VehicleSpec spec;
  EngineData eng;
  TransmissionData trn;
  TransmissionInput ratios;
  TorqueCurve fullLoad;
  TorqueCurve motoring;
  FuelMap map;
  FuelGrid grid;
};

// Loads the example vehicle of the folder (names inside the files taken from it) and
// classifies it; builds its fuel grid.
inline ExampleRecords read_example(const std::filesystem::path& dir) {
  ExampleRecords r;
  r.vehicle = load_vehicle(dir / "spec.txt");
  const Classification c = classify_vehicle(r.vehicle, r.ratios);
  r.values = c.values;
  r.spec = c.spec;
  r.eng = c.engine;
  r.trn = c.transmission;
  r.fullLoad = r.vehicle.full_load;
  r.motoring = r.vehicle.motoring;
  r.map = r.vehicle.fuel_map;
  build_fuel_grid(r.grid, r.map, r.motoring);
  return r;
}

}  // namespace hdfe
