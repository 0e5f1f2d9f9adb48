// A hand-made run of n steps for tests of what reads a finished run.
#pragma once
#include <cstdint>
#include <vector>

#include "hdfe/traces.h"

namespace hdfe {

// Point 0 of the target table holds a sentinel that no step uses. Assigning `points` anew
// needs `cycle.Vtarget = points` again.
struct TestRun {
  std::vector<double> points;
  DriveCycle cycle;
  CycleTrace trace;
  explicit TestRun(int32_t n) : points(static_cast<std::size_t>(n) + 1, 0.0) {
    points[0] = 99.0;
    cycle.n = n;
    cycle.target_speed_km_per_h = points;
    const auto steps = static_cast<std::size_t>(n);
    trace = {std::vector<double>(steps), std::vector<int32_t>(steps), std::vector<double>(steps),
             std::vector<double>(steps),  std::vector<double>(steps),  std::vector<double>(steps),
             std::vector<double>(steps), {}, {}};
  }
};

}  // namespace hdfe
