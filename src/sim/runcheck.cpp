#include "sim/runcheck.h"

#include <cstddef>
#include <string>

namespace hdfe {

namespace {

// Speed tolerance of the run check: the single-precision 0.01 widened to double [km/h].
constexpr double SpeedTolerance = static_cast<double>(0.01F);
// Highest plausible torque as share of full load [%].
constexpr double TorqueLimit = 100.0;

}  // namespace

void check_cycle(std::string_view name, const DriveCycle& cycle, const CycleTrace& trace,
                 std::vector<RunFinding>& findings) {
  // Almost every run has no finding: a plain scan, up to the first step with one, shows it
  // before the steps are looked at one by one.
  const std::size_t steps = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  const double* const speed = trace.speed_km_per_h.data();
  const double* const torque = trace.normalised_torque_percent.data();
  const double* const target = cycle.target_speed_km_per_h.data() + 1;  // of step 1 at [0]
  std::size_t k = 0;
  while (k < steps && !(speed[k] - target[k] > SpeedTolerance) && !(torque[k] > TorqueLimit)) ++k;
  if (k == steps) return;
  for (int32_t i = 1; i <= cycle.n; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    if (trace.speed_km_per_h[k] - cycle.target_speed_km_per_h[static_cast<std::size_t>(i)] > SpeedTolerance) {
      findings.push_back({std::string(name), i, RunFinding::Kind::OverSpeed});
    }
    if (trace.normalised_torque_percent[k] > TorqueLimit) findings.push_back({std::string(name), i, RunFinding::Kind::OverTorque});
  }
}

}  // namespace hdfe
