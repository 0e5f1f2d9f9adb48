// The cycle metrics and the trace columns, described once: the JSON, the batch summary, the
// trace CSV and the Python module are all driven from these tables.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "hdfe/hdfe.h"

namespace hdfe {

// A cycle-following metric: its name (the JSON key; the summary's column after "urban_" or
// "highway_"), unit, one-line meaning and the member of CycleMetrics holding it.
struct MetricInfo {
  std::string_view name;
  std::string_view unit;  // empty when the metric has none
  std::string_view meaning;
  std::variant<int32_t CycleMetrics::*, double CycleMetrics::*> member;
};

// The metrics, in the order every surface lists them.
std::span<const MetricInfo> cycle_metric_table();

// A figure of a cycle or section, after its name, cycle and phase: the JSON key, the
// summary's column, the Python attribute; its unit, one-line meaning and member.
struct FigureInfo {
  std::string_view name;
  std::string_view unit;  // empty when the figure has none
  std::string_view meaning;
  std::variant<double CycleFigures::*, int32_t CycleFigures::*, bool CycleFigures::*,
               std::optional<double> CycleFigures::*>
      member;
};

// The figures, in the order every surface lists them (the metrics and the energy audit
// follow them).
std::span<const FigureInfo> cycle_figure_table();

// A term of the energy audit: its name (the JSON key under "energy"; the summary's column
// after "energy_"), unit, meaning and member.
struct EnergyTermInfo {
  std::string_view name;
  std::string_view unit;
  std::string_view meaning;
  double EnergyAudit::* member;
};

// The terms, in the order every surface lists them.
std::span<const EnergyTermInfo> energy_audit_table();

// A number of a route's own figures (RouteFigures, after its name), and a column of its
// kilometres (RouteKilometre): the JSON key, the Python attribute and column.
struct RouteFigureInfo {
  std::string_view name;
  std::string_view unit;
  std::string_view meaning;
  double RouteFigures::* member;
};
struct RouteKilometreInfo {
  std::string_view name;
  std::string_view unit;
  std::string_view meaning;
  double RouteKilometre::* member;
};
std::span<const RouteFigureInfo> route_figure_table();
std::span<const RouteKilometreInfo> route_kilometre_table();

// A numeric column of the per-second traces (every column of the trace CSV after `cycle`).
struct TraceColumnInfo {
  std::string_view name;  // the CSV header's name and the Python column's
  std::string_view unit;  // empty when the column has none
  std::string_view meaning;
  bool whole_number = false;  // holds whole numbers only (written without a fraction)
};

// The trace columns, in CSV order.
std::span<const TraceColumnInfo> trace_column_table();

// Every traced cycle of a run as columns: columns[c] holds trace_column_table()[c] for the
// rows of each cycle in turn (rows[k] of them for cycles[k]).
struct TraceTable {
  std::vector<std::string> cycles;
  std::vector<int64_t> rows;
  std::vector<std::vector<double>> columns;
};

// The trace table of a run (empty cycles when it kept no traces). Distance and fuel are
// running sums from the cycle's start, so a cycle's last cumulative fuel is its fuel.
TraceTable trace_table(const Result& result);

}  // namespace hdfe
