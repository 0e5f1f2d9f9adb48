// The regular fuel-rate grid and the per-step fuel rate.
#pragma once
#include <cstdint>
#include <span>
#include <vector>
#include "hdfe/traces.h"
#include "hdfe/fuel_grid.h"
#include "hdfe/vehicle.h"
#include "model/curvelookup.h"

namespace hdfe {

// Builds the 20 x 20 fuel-rate grid from the map points and the motoring curve.
void build_fuel_grid(FuelGrid& grid, const FuelMap& map, const TorqueCurve& motoring);

// Fuel rate [l/h] of every step of a run from its engine speed, torque and gear; motoring
// indexes the motoring curve (the run's cycles share it).
void calc_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
            std::span<double> FC, const DriveCycle& cycle, const IndexedCurve& motoring,
            const FuelGrid& grid, const EngineData& eng);

// The same rates appended to FC, which need not be sized for them.
void append_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
                       std::vector<double>& FC, const DriveCycle& cycle, const IndexedCurve& motoring,
                       const FuelGrid& grid, const EngineData& eng);

// The same with the motoring curve indexed for this run alone.
inline void calc_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
                            std::span<double> FC, const DriveCycle& cycle, const TorqueCurve& motoring,
                            const FuelGrid& grid, const EngineData& eng) {
  calc_fuel_rates(Ne, Te, Shift, FC, cycle, IndexedCurve(motoring), grid, eng);
}

}  // namespace hdfe
