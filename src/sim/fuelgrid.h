// The regular fuel-rate grid and the per-step fuel rate.
#pragma once
#include <cstdint>
#include <span>
#include "hdfe/traces.h"
#include "hdfe/fuel_grid.h"
#include "hdfe/vehicle.h"

namespace hdfe {

// Builds the 20 x 20 fuel-rate grid from the map points and the motoring curve.
void build_fuel_grid(FuelGrid& grid, const FuelMap& map, const TorqueCurve& motoring);

// Fuel rate [l/h] of every step of a run from its engine speed, torque and gear.
void calc_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
            std::span<double> FC, const DriveCycle& cycle, const TorqueCurve& motoring,
            const FuelGrid& grid, const EngineData& eng);

}  // namespace hdfe
