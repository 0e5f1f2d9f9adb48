// A user's drive cycle from a CSV file.
#include "io/readcycle.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "hdfe/error.h"
#include "io/csvrows.h"

namespace hdfe {

namespace {

constexpr double KmPerMile = 1.609344;
constexpr double KmhPerMetrePerSecond = 3.6;

enum class Column { Time, SpeedKmh, SpeedMph, SpeedMs, Grade, Phase };

// The column names, in the order of Column.
constexpr std::string_view ColumnNames[] = {"time_s", "speed_km_per_h", "speed_mph", "speed_m_per_s", "grade_percent",
                                            "phase"};

// The column of a name read_csv_rows has found among ColumnNames.
Column column_named(std::string_view name) {
  std::size_t c = 0;
  while (ColumnNames[c] != name) ++c;
  return static_cast<Column>(c);
}

bool is_speed(Column c) { return c == Column::SpeedKmh || c == Column::SpeedMph || c == Column::SpeedMs; }

// A row as read: its time, speed in km/h, gradient, phase and line.
struct Row {
  double time = 0.0;
  double speed = 0.0;
  double grade = 0.0;
  std::string phase;
  int64_t line = 0;
};

// A whole number with its thousands grouped: 10601 as "10,601".
std::string grouped(std::size_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

// How rows at other times than whole seconds were resampled, e.g. "resampled from 10,601
// rows 0.1 s apart to whole seconds" or "... rows 0.5 to 2 s apart ...".
std::string resampled_text(const std::vector<Row>& rows) {
  double least = rows[1].time - rows[0].time;
  double most = least;
  for (std::size_t k = 2; k < rows.size(); ++k) {
    const double step = rows[k].time - rows[k - 1].time;
    least = std::min(least, step);
    most = std::max(most, step);
  }
  // Steps that differ only by the rounding of decimal times count as one.
  constexpr double SameStep = 1e-9;
  char spacing[64];
  if (most - least <= SameStep * most) {
    std::snprintf(spacing, sizeof spacing, "%.6g s apart", most);
  } else {
    std::snprintf(spacing, sizeof spacing, "%.6g to %.6g s apart", least, most);
  }
  return "resampled from " + grouped(rows.size()) + " rows " + spacing + " to whole seconds";
}

}  // namespace

void check_cycle_values(const Cycle& cycle) {
  const std::size_t points = cycle.target_speed_km_per_h.size();
  const std::string& name = cycle.name;
  const auto fail = [&](const std::string& message) {
    throw Error(ErrorKind::BadValue, "cycle " + name + ": " + message);
  };
  if (points < 2) fail("a cycle needs at least two points (seconds 0 and 1)");
  if (points > MaxCyclePoints) fail("more than " + std::to_string(MaxCyclePoints) + " points");
  if (!cycle.grade_percent.empty() && cycle.grade_percent.size() != points) {
    fail("the gradient has " + std::to_string(cycle.grade_percent.size()) + " points, the speed " +
         std::to_string(points));
  }
  if (!cycle.phase.empty() && cycle.phase.size() != points) {
    fail("the phase has " + std::to_string(cycle.phase.size()) + " points, the speed " + std::to_string(points));
  }
  for (std::size_t k = 0; k < points; ++k) {
    const double v = cycle.target_speed_km_per_h[k];
    if (!std::isfinite(v) || v < 0.0) fail("the speed at point " + std::to_string(k) + " is not a finite speed of 0 or more");
  }
  for (std::size_t k = 0; k < cycle.grade_percent.size(); ++k) {
    const double g = cycle.grade_percent[k];
    if (!(std::fabs(g) <= MaxCycleGradePercent)) {
      fail("the gradient at point " + std::to_string(k) + " is not within ±30 %");
    }
  }
}

Cycle read_cycle_file(const std::filesystem::path& path) {
  const std::string file = path.string();
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_directory(path)) {
    throw Error(ErrorKind::MissingFile, "cannot open the cycle file " + file, file);
  }
  Cycle cycle = read_cycle_stream(in, file, path.stem().string());
  cycle.source = file;
  return cycle;
}

Cycle read_cycle_stream(std::istream& in, const std::string& file, std::string name) {
  std::vector<Column> columns;
  bool speedGiven = false;
  bool gradeGiven = false;
  bool phaseGiven = false;
  Column speedColumn = Column::SpeedKmh;
  std::vector<Row> rows;
  const auto header = [&](std::span<const std::string_view> fields, int64_t line) {
    bool timeGiven = false;
    for (const std::string_view name : fields) {
      const Column c = column_named(name);
      for (const Column seen : columns) {
        if (is_speed(seen) && is_speed(c)) {
          csv_bad(file, line, "the column '" + std::string(name) + "' repeats a column (one speed column only)");
        }
      }
      columns.push_back(c);
      timeGiven |= c == Column::Time;
      if (is_speed(c)) {
        speedGiven = true;
        speedColumn = c;
      }
      gradeGiven |= c == Column::Grade;
      phaseGiven |= c == Column::Phase;
    }
    if (!timeGiven) csv_bad(file, line, "no time_s column");
    if (!speedGiven) csv_bad(file, line, "no speed column (speed_km_per_h, speed_mph or speed_m_per_s)");
  };
  int64_t line = 0;  // of the last row read
  const auto row_of = [&](std::span<const std::string_view> fields, int64_t rowLine) {
    line = rowLine;
    if (rows.size() >= MaxCyclePoints) csv_bad(file, line, "more than " + std::to_string(MaxCyclePoints) + " points");
    Row row;
    row.line = line;
    for (std::size_t j = 0; j < fields.size(); ++j) {
      switch (columns[j]) {
        case Column::Time: row.time = csv_number(file, line, "time_s", fields[j]); break;
        case Column::SpeedKmh: row.speed = csv_number(file, line, "speed_km_per_h", fields[j]); break;
        case Column::SpeedMph: row.speed = csv_number(file, line, "speed_mph", fields[j]); break;
        case Column::SpeedMs: row.speed = csv_number(file, line, "speed_m_per_s", fields[j]); break;
        case Column::Grade: row.grade = csv_number(file, line, "grade_percent", fields[j]); break;
        case Column::Phase: row.phase = std::string(fields[j]); break;
      }
    }
    if (row.speed < 0.0) csv_bad(file, line, "negative speed");
    if (speedColumn == Column::SpeedMph) row.speed *= KmPerMile;
    if (speedColumn == Column::SpeedMs) row.speed *= KmhPerMetrePerSecond;
    row.speed += 0.0;  // -0 reads as 0
    if (!(std::fabs(row.grade) <= MaxCycleGradePercent)) csv_bad(file, line, "gradient beyond ±30 %");
    if (rows.empty() && row.time != 0.0) csv_bad(file, line, "the time does not start at 0");
    if (!rows.empty() && !(row.time > rows.back().time)) csv_bad(file, line, "the time does not increase");
    rows.push_back(std::move(row));
  };
  read_csv_rows(in, file, ColumnNames, MaxCyclePoints + 1,
                [&](std::span<const std::string_view> fields, int64_t headerLine) {
                  line = headerLine;
                  header(fields, headerLine);
                },
                row_of);
  if (rows.size() < 2) csv_bad(file, line, "the table needs at least two rows (seconds 0 and 1)");

  Cycle cycle;
  cycle.name = std::move(name);
  bool whole = true;
  for (std::size_t k = 0; k < rows.size() && whole; ++k) whole = rows[k].time == static_cast<double>(k);
  if (whole) {
    // Rows at seconds 0, 1, 2, ...: point k is row k as it stands.
    for (const Row& row : rows) {
      cycle.target_speed_km_per_h.push_back(row.speed);
      if (gradeGiven) cycle.grade_percent.push_back(row.grade);
      if (phaseGiven) cycle.phase.push_back(row.phase);
    }
    return cycle;
  }
  // Rows at other times are resampled to whole seconds 0 .. the last whole second of the
  // table, by linear interpolation between the rows either side; a second on a row takes
  // the row's values exactly. A point's phase is that of the row at or before it.
  const double last = std::floor(rows.back().time);
  if (last < 1.0) csv_bad(file, rows.back().line, "the table ends before second 1");
  if (last + 1.0 > static_cast<double>(MaxCyclePoints)) {
    csv_bad(file, rows.back().line, "more than " + std::to_string(MaxCyclePoints) + " points");
  }
  const auto points = static_cast<std::size_t>(last) + 1;
  cycle.resampled = resampled_text(rows);
  std::size_t j = 0;  // rows[j].time <= t < rows[j + 1].time
  for (std::size_t k = 0; k < points; ++k) {
    const double t = static_cast<double>(k);
    while (j + 1 < rows.size() && rows[j + 1].time <= t) ++j;
    const Row& a = rows[j];
    double speed = a.speed;
    double grade = a.grade;
    if (t != a.time && j + 1 < rows.size()) {
      const Row& b = rows[j + 1];
      const double w = (t - a.time) / (b.time - a.time);
      speed = a.speed + (b.speed - a.speed) * w;
      grade = a.grade + (b.grade - a.grade) * w;
    }
    cycle.target_speed_km_per_h.push_back(speed);
    if (gradeGiven) cycle.grade_percent.push_back(grade);
    if (phaseGiven) cycle.phase.push_back(a.phase);
  }
  return cycle;
}

}  // namespace hdfe
