// Batch rows from a CSV manifest or from the product of sweep values.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "hdfe/batch.h"

namespace hdfe {

namespace {

[[noreturn]] void usage(const std::string& message) {
  throw Error(ErrorKind::Usage, message);
}

std::string_view strip(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool is_override_name(std::string_view name) {
  const auto names = override_names();
  return std::find(names.begin(), names.end(), name) != names.end();
}

enum class Record { Cells, Blank, End };

// The longest cell a manifest may hold, and the longest line read whole (so that no manifest
// takes more memory than that, whatever it holds).
constexpr std::size_t MaxCell = 64 * 1024;
constexpr std::size_t MaxLine = 1024 * 1024;

// Reads one line, ended by LF, CR LF or a lone CR, or by the end of the input; false when
// there is none. Of a line longer than MaxLine only the first MaxLine bytes are kept, and
// `too_long` is set.
bool read_line(std::istream& in, std::string& text, bool& too_long) {
  using Traits = std::char_traits<char>;
  text.clear();
  std::streambuf& buffer = *in.rdbuf();
  int c = buffer.sbumpc();
  if (c == Traits::eof()) return false;
  for (; c != Traits::eof() && c != '\n'; c = buffer.sbumpc()) {
    if (c == '\r') {
      if (buffer.sgetc() == '\n') buffer.sbumpc();
      break;
    }
    if (text.size() < MaxLine) {
      text += static_cast<char>(c);
    } else {
      too_long = true;
    }
  }
  return true;
}

// Reads one CSV record (RFC 4180: cells quoted with "", a doubled quote inside one, line
// ends inside quotes kept as LF). A byte-order mark that begins the first line is dropped.
// `error` tells what is wrong with a record that was read all the same; `line` counts the
// physical lines.
Record read_record(std::istream& in, std::vector<std::string>& cells, std::string& error, std::size_t& line) {
  cells.clear();
  error.clear();
  std::string text;
  bool too_long = false;
  if (!read_line(in, text, too_long)) return Record::End;
  if (++line == 1 && text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  if (text.empty() && !too_long) return Record::Blank;
  std::string cell;
  bool quoted = false;   // inside a quoted cell
  bool was_quoted = false;
  bool cell_too_long = false;
  const auto add = [&](char c) {
    if (cell.size() < MaxCell) {
      cell += c;
    } else {
      cell_too_long = true;
    }
  };
  for (std::size_t p = 0;;) {
    if (p == text.size()) {
      // A line end inside a quoted cell belongs to the cell; a line cut short ends the record.
      if (!quoted || too_long) break;
      if (!read_line(in, text, too_long)) {
        error = "a quoted cell is not closed";
        break;
      }
      ++line;
      add('\n');
      p = 0;
      continue;
    }
    const char c = text[p++];
    if (quoted) {
      if (c != '"') {
        add(c);
      } else if (p < text.size() && text[p] == '"') {
        add('"');
        ++p;
      } else {
        quoted = false;
      }
    } else if (c == ',') {
      cells.push_back(was_quoted ? cell : std::string(strip(cell)));
      cell.clear();
      was_quoted = false;
    } else if (c == '"' && strip(cell).empty() && !was_quoted) {
      cell.clear();
      quoted = was_quoted = true;
    } else if (was_quoted) {
      if (c != ' ' && c != '\t' && error.empty()) error = "text after a quoted cell";
    } else {
      add(c);
    }
  }
  cells.push_back(was_quoted ? cell : std::string(strip(cell)));
  if (too_long) {
    error = "a line is longer than " + std::to_string(MaxLine) + " bytes";
  } else if (cell_too_long) {
    error = "a cell is longer than " + std::to_string(MaxCell) + " bytes";
  }
  return Record::Cells;
}

// Edits that turn one name into the other, letters compared without case.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// "; did you mean NAME?" for the spec-file value (or id, spec) closest to a name not known,
// when one is close; empty otherwise.
std::string suggestion(std::string_view name, bool with_id_and_spec) {
  std::string_view best;
  std::size_t distance = std::max<std::size_t>(2, name.size() / 3) + 1;
  const auto consider = [&](std::string_view known) {
    const std::size_t d = edit_distance(name, known);
    if (d < distance) {
      distance = d;
      best = known;
    }
  };
  if (with_id_and_spec) {
    consider("id");
    consider("spec");
    consider("cycle");
  }
  for (const std::string_view known : override_names()) consider(known);
  return best.empty() ? std::string() : "; did you mean " + std::string(best) + "?";
}

constexpr int SpecColumn = -1;
constexpr int IdColumn = -2;
constexpr int CycleColumn = -3;
constexpr int RouteColumn = -4;

// Digits after the decimal point of a plain number ("2.20" has 2); none for an exponent form.
std::optional<int> decimals(std::string_view text) {
  if (text.find_first_of("eEdD") != std::string_view::npos) return std::nullopt;
  const std::size_t point = text.find('.');
  return point == std::string_view::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

bool parse_number(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

}  // namespace

ManifestReader::ManifestReader(std::istream& in, std::string name, std::filesystem::path base)
    : in_(in), name_(std::move(name)), base_(std::move(base)) {
  std::vector<std::string> header;
  std::string error;
  Record r = Record::Blank;
  std::size_t line = 0;
  while ((r = read_record(in_, header, error, line)) == Record::Blank) {
  }
  line_ = line;
  if (r == Record::End) usage("the manifest " + name_ + " has no header row");
  if (!error.empty()) usage("the manifest " + name_ + "'s header: " + error);
  bool spec = false;
  for (std::size_t k = 0; k < header.size(); ++k) {
    const std::string& column = header[k];
    if (column.empty()) usage("the manifest " + name_ + "'s header has no name for column " + std::to_string(k + 1));
    const bool repeated = std::count(header.begin(), header.end(), column) > 1;
    if (repeated) usage("the manifest " + name_ + " names the column '" + column + "' twice");
    if (column == "spec") {
      role_.push_back(SpecColumn);
      spec = true;
    } else if (column == "id") {
      role_.push_back(IdColumn);
    } else if (column == "cycle") {
      role_.push_back(CycleColumn);
      cycle_column_ = true;
    } else if (column == "route") {
      role_.push_back(RouteColumn);
      route_column_ = true;
    } else if (is_override_name(column)) {
      role_.push_back(static_cast<int>(columns_.size()));
      columns_.push_back(column);
    } else {
      usage("the manifest " + name_ + " has an unknown column '" + column + "' (not id, spec, cycle, route or a spec-file value" +
            suggestion(column, true) + ")");
    }
  }
  if (!spec) usage("the manifest " + name_ + " has no spec column");
}

std::optional<BatchRow> ManifestReader::next() {
  std::vector<std::string> cells;
  std::string error;
  Record r = Record::Blank;
  while ((r = read_record(in_, cells, error, line_)) == Record::Blank) {
  }
  if (r == Record::End) return std::nullopt;
  BatchRow row;
  row.id = std::to_string(++rows_);
  row.overrides.resize(columns_.size());
  for (std::size_t k = 0; k < columns_.size(); ++k) row.overrides[k].name = columns_[k];
  for (std::size_t k = 0; k < cells.size() && k < role_.size(); ++k) {
    if (role_[k] == SpecColumn) {
      row.spec_name = cells[k];
    } else if (role_[k] == IdColumn) {
      if (!cells[k].empty()) row.id = cells[k];
    } else if (role_[k] == CycleColumn) {
      // A library cycle by its name; a file from the manifest's folder, as a spec file is.
      const std::string& cycle = cells[k];
      if (cycle.empty()) continue;
      const std::filesystem::path file(cycle);
      const bool asWritten = find_library_cycle(cycle) != nullptr || file.is_absolute() || base_.empty();
      row.cycles.push_back(asWritten ? cycle : (base_ / file).string());
    } else if (role_[k] == RouteColumn) {
      // A route file from the manifest's folder, as a spec file is.
      const std::filesystem::path file(cells[k]);
      if (!cells[k].empty()) row.route = file.is_absolute() || base_.empty() ? cells[k] : (base_ / file).string();
    } else {
      row.overrides[static_cast<std::size_t>(role_[k])].value = cells[k];
    }
  }
  const std::string where = name_ + " line " + std::to_string(line_);
  if (!error.empty()) {
    row.error = where + ": " + error;
  } else if (cells.size() != role_.size()) {
    row.error = where + ": " + std::to_string(cells.size()) + " cells where the header has " +
                std::to_string(role_.size());
  } else if (row.spec_name.empty()) {
    row.error = where + ": no spec file";
  } else if (!row.route.empty() && !row.cycles.empty()) {
    row.error = where + ": a row drives a route or cycles, not both";
  }
  if (!row.spec_name.empty()) {
    const std::filesystem::path spec(row.spec_name);
    row.spec = spec.is_absolute() || base_.empty() ? spec : base_ / spec;
  }
  return row;
}

std::vector<std::string> sweep_values(std::string_view text) {
  std::vector<std::string> values;
  if (text.find(':') == std::string_view::npos) {
    for (std::size_t start = 0;;) {
      const std::size_t comma = std::min(text.find(',', start), text.size());
      const std::string_view value = strip(text.substr(start, comma - start));
      if (value.empty()) usage("an empty value in the sweep values " + std::string(text));
      values.emplace_back(value);
      if (comma == text.size()) break;
      start = comma + 1;
    }
    return values;
  }
  const std::size_t c1 = text.find(':');
  const std::size_t c2 = text.find(':', c1 + 1);
  const std::string_view startText = strip(text.substr(0, c1));
  const std::string_view stopText = c2 == std::string_view::npos ? "" : strip(text.substr(c1 + 1, c2 - c1 - 1));
  const std::string_view stepText = c2 == std::string_view::npos ? "" : strip(text.substr(c2 + 1));
  double start = 0.0, stop = 0.0, step = 0.0;
  if (!parse_number(startText, start) || !parse_number(stopText, stop) || !parse_number(stepText, step)) {
    usage("the sweep range " + std::string(text) + " is not START:STOP:STEP");
  }
  if (step == 0.0 || (stop - start) / step < 0.0) {
    usage("the step of the sweep range " + std::string(text) + " does not lead from START to STOP");
  }
  // Values start + k * step up to stop, within half a step; computed, not accumulated.
  const double steps = std::floor((stop - start) / step + 0.5);
  if (!(steps < 1e7)) usage("the sweep range " + std::string(text) + " has more than 10^7 values");
  const std::optional<int> a = decimals(startText);
  const std::optional<int> b = decimals(stepText);
  for (double k = 0.0; k <= steps; k += 1.0) {
    const double value = start + k * step;
    char buffer[400];
    const auto [end, ec] = a && b ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                                 std::max(*a, *b))
                                  : std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) usage("the sweep range " + std::string(text) + " cannot be written");
    std::string written(buffer, end);
    // A value that rounds to zero is written without a sign.
    if (written.front() == '-' && written.find_first_not_of("-0.") == std::string::npos) written.erase(0, 1);
    values.push_back(std::move(written));
  }
  return values;
}

// The most rows a sweep runs: about three hours on two cores.
constexpr std::size_t MaxSweepRows = 10'000'000;

Sweep::Sweep(std::filesystem::path spec, std::span<const std::string> assignments) : spec_(std::move(spec)) {
  size_ = 1;
  for (const std::string& assignment : assignments) {
    const std::size_t equals = assignment.find('=');
    const std::string name(strip(std::string_view(assignment).substr(0, equals)));
    if (equals == std::string::npos || !is_override_name(name)) {
      usage("--sweep: '" + name + "' is not a spec-file value" + suggestion(name, false));
    }
    if (std::find(columns_.begin(), columns_.end(), name) != columns_.end()) usage("--sweep: " + name + " is given twice");
    columns_.push_back(name);
    values_.push_back(sweep_values(std::string_view(assignment).substr(equals + 1)));
    // Refused as soon as the product passes the limit, before the next range is written out.
    if (size_ > MaxSweepRows / values_.back().size()) {
      usage("--sweep: the product of the values is more than 10^7 rows, the most a sweep runs");
    }
    size_ *= values_.back().size();
  }
}

BatchRow Sweep::row(std::size_t k) const {
  BatchRow row;
  row.id = std::to_string(k + 1);
  row.spec = spec_;
  row.spec_name = spec_.string();
  row.overrides.resize(columns_.size());
  // The last name varies fastest.
  for (std::size_t c = columns_.size(); c-- > 0;) {
    const std::size_t n = values_[c].size();
    row.overrides[c] = {columns_[c], values_[c][k % n]};
    k /= n;
  }
  return row;
}

}  // namespace hdfe
