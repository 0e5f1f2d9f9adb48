// Records of the run driver: a built-in drive cycle and the series of one run.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace hdfe {

// A built-in cycle. It views the constant tables and owns nothing; points are
// indexed from 0, and the tables hold zeros past point n.
struct DriveCycle {
  int32_t n = 0;                   // simulation steps
  std::span<const double> target_speed_km_per_h; // target speed at point k [km/h]
  std::span<const double> grade_percent;   // road gradient at point k [%]
};

// The per-step series of one run; step i (1..n) is at [i - 1].
struct CycleTrace {
  std::vector<double> speed_km_per_h;   // achieved speed [km/h]
  std::vector<int32_t> gear;  // gear, 0 = neutral
  std::vector<double> engine_speed_rpm;      // engine speed [rpm]
  std::vector<double> engine_torque_nm;      // engine torque [N·m]: the model's torque demand,
                                             // below the motoring curve when the brakes help
  std::vector<double> normalised_speed_percent;  // normalised engine speed [%]
  std::vector<double> normalised_torque_percent;  // torque as share of full load [%]
  std::vector<double> fuel_rate_l_per_h;      // fuel rate [l/h]
  // engine_torque_nm split: the engine's own torque (not below the motoring curve) and the
  // braking part (0 or less) that the brakes take beyond it [N·m]. Filled by the run.
  std::vector<double> engine_own_torque_nm;
  std::vector<double> braking_torque_nm;
};

}  // namespace hdfe
