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
  std::span<const double> Vtarget; // target speed at point k [km/h]
  std::span<const double> grade;   // road gradient at point k [%]
};

// The per-step series of one run; step i (1..n) is at [i - 1].
struct CycleTrace {
  std::vector<double> Vreal;   // achieved speed [km/h]
  std::vector<int32_t> Shift;  // gear, 0 = neutral
  std::vector<double> Ne;      // engine speed [rpm]
  std::vector<double> Te;      // engine torque [N·m]
  std::vector<double> N_norm;  // normalised engine speed [%]
  std::vector<double> T_norm;  // torque as share of full load [%]
  std::vector<double> FC;      // fuel rate [l/h]
};

}  // namespace hdfe
