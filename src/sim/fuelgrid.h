// The regular fuel-rate grid and the per-step fuel rate.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <vector>
#include "hdfe/traces.h"
#include "hdfe/fuel_grid.h"
#include "hdfe/vehicle.h"

namespace hdfe {

// Builds the 20 x 20 fuel-rate grid from the map points and the motoring curve.
void build_fuel_grid(FuelGrid& grid, const FuelMap& map, const TorqueCurve& motoring);

// The fuel rates of the steps of a run's cycles, read from a fuel grid and motoring curve
// that must outlive the reader. What the steps work out on the way (the grid's
// interpolation terms, the motoring curve's index) serves the later cycles too: a step's
// rate depends on its engine speed, torque and gear, the grid and the curve alone.
class FuelRateReader {
 public:
  FuelRateReader(const FuelGrid& grid, const TorqueCurve& motoring);
  ~FuelRateReader();
  FuelRateReader(const FuelRateReader&) = delete;
  FuelRateReader& operator=(const FuelRateReader&) = delete;

  // Fuel rate [l/h] of every step of a cycle from its engine speed, torque and gear, at
  // most FC.size() of them.
  void calc(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
            std::span<double> FC, const DriveCycle& cycle, const EngineData& eng);

  // The same rates appended to FC, which need not be sized for them.
  void append(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
              std::vector<double>& FC, const DriveCycle& cycle, const EngineData& eng);

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// The rates of a single cycle, through a reader of its own.
void calc_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
                     std::span<double> FC, const DriveCycle& cycle, const TorqueCurve& motoring,
                     const FuelGrid& grid, const EngineData& eng);
void append_fuel_rates(std::span<const double> Ne, std::span<const double> Te, std::span<const int32_t> Shift,
                       std::vector<double>& FC, const DriveCycle& cycle, const TorqueCurve& motoring,
                       const FuelGrid& grid, const EngineData& eng);

}  // namespace hdfe
