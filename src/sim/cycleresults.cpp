#include "sim/cycleresults.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "core/constants.h"

namespace hdfe {

namespace {

// True when Vreal is exactly 0 at every 1-based step lo..hi (true for an empty range).
bool standstill(std::span<const double> Vreal, int64_t lo, int64_t hi) {
  for (int64_t j = lo; j <= hi; ++j) {
    if (Vreal[static_cast<std::size_t>(j - 1)] != 0.0) return false;
  }
  return true;
}

}  // namespace

void idle_stop(std::span<const double> Vreal, std::span<double> Ne, std::span<double> FC, int32_t n,
              int32_t B, int32_t C, int32_t A, int32_t startSteps) {
  if (n <= 0) return;
  // In the leading standstill the engine may stop only after the start idle time.
  const int64_t lead = std::max(startSteps, 0);
  const int64_t steps = static_cast<int64_t>(std::min({static_cast<std::size_t>(n), Vreal.size(),
                                                       Ne.size(), FC.size()}));
  std::vector<char> marked(static_cast<std::size_t>(steps), 0);
  const auto V = [&](int64_t i) { return Vreal[static_cast<std::size_t>(i - 1)]; };

  // Stopped for at least B seconds up to i and staying stopped A seconds more.
  if (A >= 0 && B >= 0) {
    // The window from i - B to i + A holds i, so it is standing still when the standstill
    // that holds i, steps first..last, covers it: one pass over the standstills.
    for (int64_t first = lead + 1; first <= steps; ++first) {
      if (V(first) != 0.0) continue;
      int64_t last = first;
      while (last < steps && V(last + 1) == 0.0) ++last;
      // The run from first on may begin inside a longer standstill before lead + 1.
      int64_t start = first;
      while (start > 1 && V(start - 1) == 0.0) --start;
      for (int64_t i = first; i <= last; ++i) {
        marked[i - 1] = std::max<int64_t>(i - B, 1) >= start && std::min<int64_t>(i + A, steps) <= last;
      }
      first = last;
    }
  } else {
    for (int64_t i = lead + 1; i <= steps; ++i) {
      marked[i - 1] = V(i) == 0.0 && standstill(Vreal, std::max<int64_t>(i - B, 1), std::min<int64_t>(i + A, steps));
    }
  }
  // Cycle start: after the start idle time, while the vehicle stays stopped A seconds more.
  // The step's own standstill is required as well, so a negative A cannot stop a moving engine.
  for (int64_t i = 1; i <= std::min(lead, steps); ++i) {
    marked[i - 1] = i > C && V(i) == 0.0 && standstill(Vreal, i, std::min<int64_t>(i + A, steps));
  }
  for (int64_t i = 1; i <= steps; ++i) {
    if (marked[i - 1]) {
      FC[i - 1] = 0.0;
      Ne[i - 1] = 0.0;
    }
  }
}

int32_t leading_standstill(std::span<const double> targetSpeed, int32_t n) {
  int32_t steps = 0;
  while (steps < n && static_cast<std::size_t>(steps) + 1 < targetSpeed.size() &&
         targetSpeed[static_cast<std::size_t>(steps) + 1] == 0.0) {
    ++steps;
  }
  return steps;
}

CycleResult cycle_average(std::span<const double> Vreal, std::span<const double> FC, int32_t count,
                          int32_t first) {
  double sumV = 0.0;
  double sumFC = 0.0;
  for (int64_t k = first; k < static_cast<int64_t>(first) + count; ++k) {
    // Steps outside the series contribute nothing.
    if (k < 1 || k > static_cast<int64_t>(Vreal.size()) || k > static_cast<int64_t>(FC.size())) continue;
    sumV = sumV + Vreal[static_cast<std::size_t>(k - 1)];
    sumFC = sumFC + FC[static_cast<std::size_t>(k - 1)];
  }
  CycleResult result;
  result.average_speed_km_per_h = sumV / static_cast<double>(count);
  result.fuel_economy_km_per_l = sumV / sumFC;
  result.distance_km = sumV / SecondsPerHour;
  result.fuel_l = sumFC / SecondsPerHour;
  return result;
}

}  // namespace hdfe
