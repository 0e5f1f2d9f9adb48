// Records of the fuel-consumption subsystem.
#pragma once
#include <array>
#include <cstdint>

namespace hdfe {

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

// Average speed and fuel economy of a run or of a section of it.
struct CycleResult {
  double average_speed_km_per_h = 0.0;  // [km/h]
  double fuel_economy_km_per_l = 0.0;   // [km/l]
  double distance_km = 0.0;      // [km]
  double fuel_l = 0.0;          // [l]
};

}  // namespace hdfe
