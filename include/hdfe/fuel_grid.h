// Records of the fuel-consumption subsystem.
#pragma once
#include <array>
#include <cstdint>

namespace hdfe {

// The regular fuel-rate grid built from the fuel map.
struct FuelGrid {
  static constexpr int32_t Size = 20;
  double IdleFuelRate = 0.0;          // [l/h]
  int32_t SpeedCount = Size;
  int32_t TorqueCount = Size;
  std::array<double, Size> SpeedAxis{};   // ascending, equally spaced [rpm]
  std::array<double, Size> TorqueAxis{};  // ascending, equally spaced [N·m]
  // Fuel rate [l/h] at (SpeedAxis(i), TorqueAxis(k)), column-major: 1-based (i, k)
  // is at [(k - 1) * SpeedCount + (i - 1)], so one grid torque's column is contiguous.
  std::array<double, Size * Size> FuelRateTable{};
};

// Average speed and fuel economy of a run or of a section of it.
struct CycleResult {
  double AverageSpeed = 0.0;  // [km/h]
  double FuelEconomy = 0.0;   // [km/l]
  double Distance = 0.0;      // [km]
  double Fuel = 0.0;          // [l]
};

}  // namespace hdfe
