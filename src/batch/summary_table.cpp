// The summary of a batch row, and the summary table as CSV.
#include <charconv>

#include "hdfe/batch.h"

namespace hdfe {

namespace {

constexpr std::array<std::string_view, 14> Columns{
    "id",           "spec",
    "status",       "message",
    "category",     "urban_km_per_l",
    "highway_km_per_l", "average_km_per_l",
    "midtown_km_per_l", "urban_speed_km_per_h",
    "highway_speed_km_per_h", "midtown_speed_km_per_h",
    "urban_fuel_l", "highway_fuel_l"};

constexpr std::array<std::string_view, 5> MetricColumns{
    "seconds_below_target", "largest_shortfall_km_per_h", "largest_shortfall_second",
    "distance_percent_of_target", "seconds_at_full_load"};

template <class T>
void put_number(std::string& line, T value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  line += ',';
  if (ec == std::errc()) line.append(text, end);
}

void put_metrics(std::string& line, const CycleMetrics& m) {
  put_number(line, m.seconds_below_target);
  put_number(line, m.largest_shortfall_km_per_h);
  put_number(line, m.largest_shortfall_second);
  put_number(line, m.distance_percent_of_target);
  put_number(line, m.seconds_at_full_load);
}

std::vector<std::string> override_texts(const BatchRow& row) {
  std::vector<std::string> texts;
  texts.reserve(row.overrides.size());
  for (const Override& o : row.overrides) texts.push_back(o.value);
  return texts;
}

}  // namespace

SummaryRow summary_row(const BatchRow& row, const Result& result) {
  SummaryRow s;
  s.id = row.id;
  s.spec = row.spec_name;
  s.ok = true;
  s.category = result.classification.values.category_code;
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

std::string csv_cell(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string cell = "\"";
  for (const char c : text) {
    if (c == '"') cell += '"';
    cell += c;
  }
  cell += '"';
  return cell;
}

std::string summary_csv_header(std::span<const std::string> override_columns) {
  std::string line;
  for (const std::string_view column : Columns) {
    if (!line.empty()) line += ',';
    line += column;
  }
  for (const std::string_view cycle : {"urban_", "highway_"}) {
    for (const std::string_view column : MetricColumns) {
      line += ',';
      line += cycle;
      line += column;
    }
  }
  for (const std::string& column : override_columns) line += ',' + csv_cell(column);
  line += '\n';
  return line;
}

std::string summary_csv_line(const SummaryRow& row) {
  std::string line = csv_cell(row.id);
  line += ',' + csv_cell(row.spec);
  line += row.ok ? ",ok," : ",error,";
  line += csv_cell(row.message);
  line += ',' + csv_cell(row.category);
  if (row.ok) {
    for (const double value : {row.urban_km_per_l, row.highway_km_per_l, row.average_km_per_l, row.midtown_km_per_l,
                               row.urban_speed_km_per_h, row.highway_speed_km_per_h, row.midtown_speed_km_per_h,
                               row.urban_fuel_l, row.highway_fuel_l}) {
      put_number(line, value);
    }
    put_metrics(line, row.urban);
    put_metrics(line, row.highway);
  } else {
    line.append(Columns.size() - 5 + 2 * MetricColumns.size(), ',');
  }
  for (const std::string& text : row.overrides) line += ',' + csv_cell(text);
  line += '\n';
  return line;
}

}  // namespace hdfe
