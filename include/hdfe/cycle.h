// Drive cycles of the user's own: read from a CSV file or put together in code, and run
// over a vehicle exactly as the built-in cycles are.
//
//   hdfe::Cycle cycle = hdfe::read_cycle_file("my-route.csv");
//   hdfe::Result result = hdfe::run_cycles(vehicle, {&cycle, 1});
//   double km_per_l = result.cycle(cycle.name).fuel_economy_km_per_l;
#pragma once
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "hdfe/hdfe.h"

namespace hdfe {

// Most points a cycle may hold (ten million seconds, about 116 days).
inline constexpr std::size_t MaxCyclePoints = 10'000'000;
// Steepest road gradient a cycle may give, either way [%].
inline constexpr double MaxCycleGradePercent = 30.0;

// A drive cycle at whole seconds: point k is second k, point 0 the start. A cycle of n + 1
// points has n steps; step i drives from point i - 1 to point i.
struct Cycle {
  std::string name;
  std::vector<double> target_speed_km_per_h;  // at point k [km/h], 0 or more
  std::vector<double> grade_percent;          // at point k [%]; empty: a level road
  std::vector<std::string> phase;             // at point k; empty: none given
};

// Reads a cycle from a CSV file (UTF-8, a header row, lines starting with '#' ignored):
// time_s, one of speed_km_per_h, speed_mph or speed_m_per_s, and optionally grade_percent
// and phase. The cycle is named after the file's stem. Throws Error (BadValue, naming the
// file and line) on a file that does not give a valid cycle, MissingFile when it cannot be
// opened.
Cycle read_cycle_file(const std::filesystem::path& path);

// Throws Error (BadValue) unless the cycle is valid as read_cycle_file requires: at least
// two points, speeds finite and not negative, gradients within the limits, and the grade
// and phase columns empty or one per point.
void check_cycle_values(const Cycle& cycle);

// Runs the vehicle over each cycle as run() runs its built-in cycles: the same checks,
// simulation and idle stop. Result::cycles holds one entry per cycle, in order, with no
// transient correction, no Kf and no torque-converter factor (the fuel economy is distance
// over fuel); Result::average_fuel_economy_km_per_l and highway_ratio stay 0. Traces when
// options.traces. Throws Error as run() does, and on a cycle check_cycle_values refuses.
Result run_cycles(const Vehicle& vehicle, std::span<const Cycle> cycles, const RunOptions& options = {});

}  // namespace hdfe
