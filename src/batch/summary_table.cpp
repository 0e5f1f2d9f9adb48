// The summary of a batch row, and the summary table as CSV.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <type_traits>

#include "batch/summaryrows.h"
#include "hdfe/batch.h"
#include "hdfe/bytetext.h"

namespace hdfe {

namespace {

using R = SummaryRow;
using K = SummaryKind;

// The columns before the metrics of each cycle.
const std::array<SummaryColumnInfo, 14> Fixed{{
    {"id", "", K::Text, "the row's id; by default its number, from 1", &R::id},
    {"spec", "", K::Text, "the spec file as the row names it", &R::spec},
    {"status", "", K::Bool, "ok, or error when the row could not be run", &R::ok},
    {"message", "", K::Text, "the error's first line; empty when ok", &R::message},
    {"category", "", K::Text, "the category code run; empty when the row failed", &R::category},
    {"urban_km_per_l", "km/l", K::Number, "urban fuel economy", &R::urban_km_per_l},
    {"highway_km_per_l", "km/l", K::Number, "highway fuel economy", &R::highway_km_per_l},
    {"average_km_per_l", "km/l", K::Number, "average fuel economy, weighted by the highway share", &R::average_km_per_l},
    {"midtown_km_per_l", "km/l", K::Number, "mid-town fuel economy", &R::midtown_km_per_l},
    {"urban_speed_km_per_h", "km/h", K::Number, "urban average speed", &R::urban_speed_km_per_h},
    {"highway_speed_km_per_h", "km/h", K::Number, "highway average speed", &R::highway_speed_km_per_h},
    {"midtown_speed_km_per_h", "km/h", K::Number, "mid-town average speed", &R::midtown_speed_km_per_h},
    {"urban_fuel_l", "l", K::Number, "urban fuel", &R::urban_fuel_l},
    {"highway_fuel_l", "l", K::Number, "highway fuel", &R::highway_fuel_l},
}};

// The cycles whose metrics follow, each metric of cycle_metric_table() as a column
// named after the prefix.
constexpr std::array<std::pair<std::string_view, CycleMetrics SummaryRow::*>, 2> MetricCycles{{
    {"urban_", &R::urban},
    {"highway_", &R::highway},
}};

struct Columns {
  std::vector<std::string> names;  // of the metric columns; the infos view them
  std::vector<SummaryColumnInfo> infos;
};

const Columns& columns() {
  static const Columns built = [] {
    Columns c;
    const std::span<const MetricInfo> metrics = cycle_metric_table();
    for (const auto& [prefix, member] : MetricCycles) {
      for (const MetricInfo& metric : metrics) c.names.push_back(std::string(prefix) + std::string(metric.name));
    }
    c.infos.assign(Fixed.begin(), Fixed.end());
    std::size_t k = 0;
    for (const auto& [prefix, member] : MetricCycles) {
      for (const MetricInfo& metric : metrics) {
        const K kind = std::holds_alternative<int32_t CycleMetrics::*>(metric.member) ? K::Whole : K::Number;
        c.infos.push_back({c.names[k++], metric.unit, kind, metric.meaning, SummaryMetric{member, &metric}});
      }
    }
    // Appended last, so that the columns before it keep their places.
    c.infos.push_back({"warnings", "", K::Text, "the run's warnings (e.g. inputs --check warns about), joined by \" | \"",
                       &R::warnings});
    return c;
  }();
  return built;
}

using C = CycleSummaryRow;

// The per-cycle summary's columns: the fixed ones, then a column per figure, metric and
// energy term of the cycle tables, then the warnings.
struct CycleColumns {
  std::vector<std::string> names;  // of the energy columns; the infos view them
  std::vector<CycleSummaryColumnInfo> infos;
};

const CycleColumns& cycle_columns() {
  static const CycleColumns built = [] {
    CycleColumns c;
    const std::span<const EnergyTermInfo> terms = energy_audit_table();
    for (const EnergyTermInfo& term : terms) c.names.push_back("energy_" + std::string(term.name));
    c.infos = {
        {"id", "", "the row's id; by default its number, from 1", &C::id},
        {"spec", "", "the spec file as the row names it", &C::spec},
        {"status", "", "ok, or error when the row could not be run", &C::ok},
        {"message", "", "the error's first line; empty when ok", &C::message},
        {"category", "", "the category code run; empty when the row failed", &C::category},
        {"cycle", "", "the cycle, phase (cycle/phase) or section the figures are of; empty when the row failed",
         &C::cycle},
        {"phase", "", "the phase label of a phase's figures; empty for a whole cycle or section", &C::phase},
    };
    for (const FigureInfo& figure : cycle_figure_table()) c.infos.push_back({figure.name, figure.unit, figure.meaning, &figure});
    for (const MetricInfo& metric : cycle_metric_table()) c.infos.push_back({metric.name, metric.unit, metric.meaning, &metric});
    for (std::size_t k = 0; k < terms.size(); ++k) c.infos.push_back({c.names[k], terms[k].unit, terms[k].meaning, &terms[k]});
    c.infos.push_back({"warnings", "", "the run's warnings about the inputs and about this cycle, joined by \" | \"",
                       &C::warnings});
    return c;
  }();
  return built;
}

template <class T>
void put_number(std::string& line, T value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  if (ec == std::errc()) line.append(text, end);
}

std::vector<std::string> override_texts(const BatchRow& row) {
  std::vector<std::string> texts;
  texts.reserve(row.overrides.size());
  for (const Override& o : row.overrides) texts.push_back(o.value);
  return texts;
}

}  // namespace

std::span<const SummaryColumnInfo> summary_column_table() { return columns().infos; }

SummaryCell get_summary_cell(const SummaryRow& row, const SummaryColumnInfo& info) {
  return std::visit(
      [&](const auto& member) -> SummaryCell {
        if constexpr (std::is_same_v<std::decay_t<decltype(member)>, SummaryMetric>) {
          const CycleMetrics& metrics = row.*member.cycle;
          return std::visit([&](auto m) -> SummaryCell { return metrics.*m; }, member.metric->member);
        } else {
          return row.*member;
        }
      },
      info.member);
}

void set_summary_cell(SummaryRow& row, const SummaryColumnInfo& info, const SummaryCell& cell) {
  const auto assign = [&](auto& target) {
    using T = std::remove_reference_t<decltype(target)>;
    const T* given = std::get_if<T>(&cell);
    if (given == nullptr) throw std::invalid_argument("summary column " + std::string(info.name) + " takes a value of another kind");
    target = *given;
  };
  std::visit(
      [&](const auto& member) {
        if constexpr (std::is_same_v<std::decay_t<decltype(member)>, SummaryMetric>) {
          CycleMetrics& metrics = row.*member.cycle;
          std::visit([&](auto m) { assign(metrics.*m); }, member.metric->member);
        } else {
          assign(row.*member);
        }
      },
      info.member);
}

SummaryRow summary_row(const BatchRow& row, const Result& result) {
  SummaryRow s = status_row(row, result);
  const CycleFigures& urban = result.cycle("URBAN");
  const CycleFigures& highway = result.cycle("HIGHWAY");
  const CycleFigures& midtown = result.cycle("MID-TOWN");
  s.urban_km_per_l = urban.fuel_economy_km_per_l;
  s.highway_km_per_l = highway.fuel_economy_km_per_l;
  s.average_km_per_l = result.average_fuel_economy_km_per_l;
  s.midtown_km_per_l = midtown.fuel_economy_km_per_l;
  s.urban_speed_km_per_h = urban.average_speed_km_per_h;
  s.highway_speed_km_per_h = highway.average_speed_km_per_h;
  s.midtown_speed_km_per_h = midtown.average_speed_km_per_h;
  s.urban_fuel_l = urban.fuel_l;
  s.highway_fuel_l = highway.fuel_l;
  s.urban = urban.metrics;
  s.highway = highway.metrics;
  return s;
}

SummaryRow status_row(const BatchRow& row, const Result& result) {
  SummaryRow s;
  s.id = row.id;
  s.spec = row.spec_name;
  s.ok = true;
  s.category = result.classification.values.category_code;
  for (const RunWarning& w : result.warnings) s.warnings += (s.warnings.empty() ? "" : " | ") + w.message;
  s.overrides = override_texts(row);
  return s;
}

SummaryRow error_row(const BatchRow& row, std::string_view message) {
  SummaryRow s;
  s.id = row.id;
  s.spec = row.spec_name;
  const std::size_t first = message.find_first_not_of(' ');
  s.message = first == std::string_view::npos ? std::string() : std::string(message.substr(first));
  s.overrides = override_texts(row);
  return s;
}

namespace {

// True for a cell a spreadsheet would take for a formula: one that begins with = + - @, a tab
// or a CR and is not a plain number.
bool formula_like(std::string_view text) {
  if (text.empty() || std::string_view("=+-@\t\r").find(text.front()) == std::string_view::npos) return false;
  std::string_view number = text;
  if (number.front() == '+') number.remove_prefix(1);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  const bool plain = ec == std::errc() && end == number.data() + number.size() && std::isfinite(value) &&
                     number.find_first_not_of("-+.0123456789eE") == std::string_view::npos;
  return !plain;
}

}  // namespace

std::string csv_cell(std::string_view raw) {
  // Text of ASCII bytes other than NUL and the backslash has nothing to escape.
  const bool plain = std::all_of(raw.begin(), raw.end(), [](char c) {
    return c != '\0' && c != '\\' && static_cast<unsigned char>(c) < 0x80;
  });
  std::string text = plain ? std::string(raw) : escape_bytes(raw);
  // A leading apostrophe keeps a formula-like text a text; one more is put before
  // apostrophes that already come before such a beginning, so that it can be taken off again.
  const std::size_t start = text.find_first_not_of('\'');
  if (start != std::string::npos && formula_like(std::string_view(text).substr(start))) text.insert(0, 1, '\'');
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string cell = "\"";
  for (const char c : text) {
    if (c == '"') cell += '"';
    cell += c;
  }
  cell += '"';
  return cell;
}

std::string csv_cell_text(std::string_view cell) {
  const std::size_t start = cell.find_first_not_of('\'');
  if (start > 0 && start != std::string_view::npos && formula_like(cell.substr(start))) cell.remove_prefix(1);
  return unescape_bytes(cell);
}

std::string summary_csv_header(std::span<const std::string> override_columns) {
  std::string line;
  for (const SummaryColumnInfo& column : summary_column_table()) {
    if (!line.empty()) line += ',';
    line += column.name;
  }
  for (const std::string& column : override_columns) line += ',' + csv_cell(column);
  line += '\n';
  return line;
}

std::span<const CycleSummaryColumnInfo> cycle_summary_column_table() { return cycle_columns().infos; }

std::vector<CycleSummaryRow> cycle_summary_rows(const BatchRow& row, const Result& result) {
  std::vector<CycleSummaryRow> rows;
  rows.reserve(result.cycles.size());
  for (const CycleFigures& f : result.cycles) {
    CycleSummaryRow s;
    s.id = row.id;
    s.spec = row.spec_name;
    s.ok = true;
    s.category = result.classification.values.category_code;
    s.cycle = f.name;
    s.phase = f.phase;
    s.figures = f;
    // The inputs' warnings, and those of the cycle driven (a phase's or a section's cycle too).
    for (const RunWarning& w : result.warnings) {
      if (w.cycle.empty() || w.cycle == f.name || (!f.cycle.empty() && w.cycle == f.cycle)) {
        s.warnings += (s.warnings.empty() ? "" : " | ") + w.message;
      }
    }
    s.overrides = override_texts(row);
    rows.push_back(std::move(s));
  }
  return rows;
}

CycleSummaryRow cycle_error_row(const BatchRow& row, std::string_view message) {
  const SummaryRow e = error_row(row, message);
  CycleSummaryRow s;
  s.id = e.id;
  s.spec = e.spec;
  s.message = e.message;
  s.overrides = e.overrides;
  return s;
}

std::string cycle_summary_csv_header(std::span<const std::string> override_columns) {
  std::string line;
  for (const CycleSummaryColumnInfo& column : cycle_summary_column_table()) {
    if (!line.empty()) line += ',';
    line += column.name;
  }
  for (const std::string& column : override_columns) line += ',' + csv_cell(column);
  line += '\n';
  return line;
}

std::string cycle_summary_csv_line(const CycleSummaryRow& row) {
  std::string line;
  // A figure: numbers as put_number writes them, a switch true or false, none empty.
  const auto put = [&](const auto& value) {
    using T = std::decay_t<decltype(value)>;
    if constexpr (std::is_same_v<T, bool>) {
      line += value ? "true" : "false";
    } else if constexpr (std::is_same_v<T, std::optional<double>>) {
      if (value) put_number(line, *value);
    } else {
      put_number(line, value);
    }
  };
  bool first = true;
  for (const CycleSummaryColumnInfo& column : cycle_summary_column_table()) {
    if (!first) line += ',';
    first = false;
    std::visit(
        [&](const auto& member) {
          using M = std::decay_t<decltype(member)>;
          if constexpr (std::is_same_v<M, std::string CycleSummaryRow::*>) {
            line += csv_cell(row.*member);
          } else if constexpr (std::is_same_v<M, bool CycleSummaryRow::*>) {
            line += row.*member ? "ok" : "error";
          } else if constexpr (std::is_same_v<M, const EnergyTermInfo*>) {
            if (row.ok) put(row.figures.energy.*(member->member));
          } else if constexpr (std::is_same_v<M, const MetricInfo*>) {
            if (row.ok) std::visit([&](auto m) { put(row.figures.metrics.*m); }, member->member);
          } else {
            if (row.ok) std::visit([&](auto m) { put(row.figures.*m); }, member->member);
          }
        },
        column.member);
  }
  for (const std::string& text : row.overrides) line += ',' + csv_cell(text);
  line += '\n';
  return line;
}

std::string summary_csv_line(const SummaryRow& row) {
  std::string line;
  bool first = true;
  for (const SummaryColumnInfo& column : summary_column_table()) {
    if (!first) line += ',';
    first = false;
    const SummaryCell cell = get_summary_cell(row, column);
    switch (column.kind) {
      case SummaryKind::Text: line += csv_cell(std::get<std::string>(cell)); break;
      case SummaryKind::Bool: line += std::get<bool>(cell) ? "ok" : "error"; break;
      // A failed row has no figures.
      case SummaryKind::Number:
        if (row.ok) put_number(line, std::get<double>(cell));
        break;
      case SummaryKind::Whole:
        if (row.ok) put_number(line, std::get<int32_t>(cell));
        break;
    }
  }
  for (const std::string& text : row.overrides) line += ',' + csv_cell(text);
  line += '\n';
  return line;
}

}  // namespace hdfe
