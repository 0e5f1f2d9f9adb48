#include "sim/runcheck.h"

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
  for (int32_t i = 1; i <= cycle.n; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    if (trace.speed_km_per_h[k] - cycle.target_speed_km_per_h[static_cast<std::size_t>(i)] > SpeedTolerance) {
      findings.push_back({std::string(name), i, RunFinding::Kind::OverSpeed});
    }
    if (trace.normalised_torque_percent[k] > TorqueLimit) findings.push_back({std::string(name), i, RunFinding::Kind::OverTorque});
  }
}

}  // namespace hdfe
