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
#include <string_view>
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
  // Where the cycle comes from: the library's source line, or the file read.
  std::string source;
  // How the file's rows were resampled to whole seconds, e.g. "resampled from 10,601 rows
  // 0.1 s apart to whole seconds"; empty when its rows were at whole seconds. run_cycles says
  // it as a CycleResampled warning, "<name>: <resampled>".
  std::string resampled;
};

// A cycle's own figures, from its table alone.
struct CycleStats {
  int64_t points = 0;
  double duration_s = 0.0;            // points - 1
  double distance_km = 0.0;           // trapezoid rule over the points
  double mean_speed_km_per_h = 0.0;   // of points 1..n
  double max_speed_km_per_h = 0.0;
};
CycleStats cycle_stats(const Cycle& cycle);

// A cycle of the library shipped with hdfe: the public heavy-duty cycles, and URBAN and
// HIGHWAY (the built-in tables as cycles).
struct LibraryCycleInfo {
  std::string_view name;    // e.g. "hd-udds"; lookups ignore case
  std::string_view title;   // e.g. "Urban Dynamometer Driving Schedule for Heavy-Duty Vehicles"
  std::string_view source;  // where the table comes from
};
std::span<const LibraryCycleInfo> library_cycle_table();

// The library's cycle of that name (any case); none when there is none.
const LibraryCycleInfo* find_library_cycle(std::string_view name);

// The library's cycle of that name (any case). Throws Error (BadValue) naming the library's
// cycles when there is none.
Cycle library_cycle(std::string_view name);

// A library cycle by name (any case), else the cycle file at that path (as --cycle takes
// it): a file named like a library cycle is given with a folder, e.g. ./URBAN. Throws Error
// (MissingFile) naming the library's cycles when there is neither, and as read_cycle_file.
Cycle find_cycle(std::string_view name_or_path);

// The torque-converter factor a user's cycle gets: the converter's losses that the
// simulation does not model depend on how much of the cycle is stop-and-go, so the factor
// runs from the town factor (0.91) at or below URBAN's mean target speed to the highway
// factor (0.96) at or above 80 km/h, linearly between.
double converter_factor_for(const Cycle& cycle);

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
// simulation and idle stop, and the vehicle's engineering values. Result::cycles holds each
// cycle's figures followed by those of its phases (in order of first appearance), with no
// transient correction and no Kf; an automatic with a torque converter gets
// converter_factor_for(cycle). Result::average_fuel_economy_km_per_l and highway_ratio stay
// 0 and Result::engineering is set. Traces when options.traces. Throws Error as run() does,
// and on a cycle check_cycle_values refuses.
Result run_cycles(const Vehicle& vehicle, std::span<const Cycle> cycles, const RunOptions& options = {});

}  // namespace hdfe
