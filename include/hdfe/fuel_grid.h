// The fuel-rate grid of a vehicle's fuel map and motoring curve, for callers that run many
// variants of one engine and build its grid once (the batch core does).
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "hdfe/cycle.h"
#include "hdfe/hdfe.h"

namespace hdfe {

struct Route;  // <hdfe/route.h>

// The regular fuel-rate grid built from the fuel map.
struct FuelGrid {
  static constexpr int32_t Size = 20;
  double idle_fuel_rate_l_per_h = 0.0;          // [l/h]
  int32_t speed_count = Size;
  int32_t torque_count = Size;
  std::array<double, Size> speed_axis_rpm{};   // ascending, equally spaced [rpm]
  std::array<double, Size> torque_axis_nm{};  // ascending, equally spaced [N·m]
  // Fuel rate [l/h] at (SpeedAxis(i), TorqueAxis(k)), column-major: 1-based (i, k)
  // is at [(k - 1) * SpeedCount + (i - 1)], so one grid torque's column is contiguous.
  std::array<double, Size * Size> fuel_rate_table_l_per_h{};
};

// The fuel-rate grid of the vehicle's fuel map and motoring curve, as run() builds it.
std::shared_ptr<const FuelGrid> fuel_grid(const Vehicle& vehicle);

// Gives a run the grid of the vehicle's fuel map and motoring curve once the vehicle has
// passed its checks. Runs of variants of one engine may so share one grid, built once; the
// grid must be fuel_grid() of a vehicle with the same map and motoring curve.
using FuelGridSource = std::function<std::shared_ptr<const FuelGrid>(const Vehicle&)>;

// run(vehicle, options), with the fuel grid taken from `grid`. The same figures.
Result run(const Vehicle& vehicle, const RunOptions& options, const FuelGridSource& grid);

// run_cycles(vehicle, cycles, options), with the fuel grid taken from `grid`. The same figures.
Result run_cycles(const Vehicle& vehicle, std::span<const Cycle> cycles, const RunOptions& options,
                  const FuelGridSource& grid);

// run_routes(vehicle, routes, options), with the fuel grid taken from `grid`. The same figures.
Result run_routes(const Vehicle& vehicle, std::span<const Route> routes, const RunOptions& options,
                  const FuelGridSource& grid);

}  // namespace hdfe
