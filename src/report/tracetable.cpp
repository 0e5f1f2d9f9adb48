#include <array>
#include <limits>
#include <vector>

#include "hdfe/report.h"
#include "hdfe/tables.h"
#include "hdfe/units.h"

namespace hdfe {

namespace {

constexpr std::array<TraceColumnInfo, 14> Columns{{
    {"second", "s", "second of the cycle, from 1", true},
    {"target_speed_km_per_h", "km/h", "target speed of the cycle", false},
    {"speed_km_per_h", "km/h", "achieved speed", false},
    {"gradient_percent", "%", "road gradient", false},
    {"distance_km", "km", "achieved distance from the cycle's start", false},
    {"gear", "", "gear engaged, 0 for neutral", true},
    {"engine_speed_rpm", "rpm", "engine speed", false},
    {"engine_torque_Nm", "N·m", "engine torque: the model's demand, below the motoring curve when the brakes help",
     false},
    {"engine_own_torque_Nm", "N·m", "the engine's own part of the engine torque: not below the motoring curve", false},
    {"braking_torque_Nm", "N·m", "the part of the engine torque that the brakes take (0 or less)", false},
    {"normalised_speed_percent", "%", "normalised engine speed", false},
    {"normalised_torque_percent", "%", "engine torque as a share of full load", false},
    {"fuel_rate_l_per_h", "l/h", "fuel rate", false},
    {"cumulative_fuel_l", "l", "fuel used from the cycle's start", false},
}};

// Element k of a column, or not a number where the run did not fill it (a trace put
// together by hand).
double at_or_nan(const std::vector<double>& column, std::size_t k) {
  return k < column.size() ? column[k] : std::numeric_limits<double>::quiet_NaN();
}

// The published header constant names the same columns as the table, in the same order.
constexpr bool header_matches_table() {
  std::string_view header = TraceCsvHeader;
  if (!header.starts_with("cycle")) return false;
  header.remove_prefix(5);
  for (const TraceColumnInfo& column : Columns) {
    if (!header.starts_with(',')) return false;
    header.remove_prefix(1);
    if (!header.starts_with(column.name)) return false;
    header.remove_prefix(column.name.size());
  }
  return header.empty();
}
static_assert(header_matches_table(), "TraceCsvHeader must list trace_column_table()'s names after `cycle`");

}  // namespace

std::span<const TraceColumnInfo> trace_column_table() { return Columns; }

TraceTable trace_table(const Result& result) {
  TraceTable table;
  table.columns.assign(Columns.size(), {});
  std::size_t total = 0;
  for (const CycleRun& run : result.traces) total += run.trace.speed_km_per_h.size();
  for (std::vector<double>& column : table.columns) column.reserve(total);
  for (const CycleRun& run : result.traces) {
    const CycleTrace& t = run.trace;
    table.cycles.push_back(run.name);
    table.rows.push_back(static_cast<int64_t>(t.speed_km_per_h.size()));
    double distance = 0.0;  // sum of speeds [km/h·s]
    double fuel = 0.0;      // sum of fuel rates [l/h·s]
    for (std::size_t k = 0; k < t.speed_km_per_h.size(); ++k) {
      distance = distance + t.speed_km_per_h[k];
      fuel = fuel + t.fuel_rate_l_per_h[k];
      const std::size_t point = k + 1;  // the cycle tables hold the start at point 0
      const std::array<double, Columns.size()> row{static_cast<double>(point),
                                                   run.cycle.target_speed_km_per_h[point],
                                                   t.speed_km_per_h[k],
                                                   run.cycle.grade_percent[point],
                                                   distance / SecondsPerHour,
                                                   static_cast<double>(t.gear[k]),
                                                   t.engine_speed_rpm[k],
                                                   t.engine_torque_nm[k],
                                                   at_or_nan(t.engine_own_torque_nm, k),
                                                   at_or_nan(t.braking_torque_nm, k),
                                                   t.normalised_speed_percent[k],
                                                   t.normalised_torque_percent[k],
                                                   t.fuel_rate_l_per_h[k],
                                                   fuel / SecondsPerHour};
      for (std::size_t c = 0; c < row.size(); ++c) table.columns[c].push_back(row[c]);
    }
  }
  return table;
}

}  // namespace hdfe
