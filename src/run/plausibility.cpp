#include "run/plausibility.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "hdfe/error.h"
#include "hdfe/freeform.h"
#include "hdfe/units.h"
#include "hdfe/values.h"
#include "model/curvelookup.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

// Plausible specific consumption of a diesel engine at full load [g/kWh].
constexpr double LowestSpecificConsumption = 150.0;
constexpr double HighestSpecificConsumption = 400.0;
// A map point counts as on the full-load curve from this share of its torque.
constexpr double NearFullLoad = 0.9;

std::string number(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// True when the line alone reads as `count` numbers.
bool reads_as_numbers(std::string_view line, std::size_t count) {
  RecordInput in;
  in.text = line;
  std::array<double, 3> values{};
  const std::array targets{real_var(values[0]), real_var(values[1]), real_var(values[2])};
  return !line.empty() && line.find_first_not_of(" \t,") != std::string_view::npos &&
         read_free(in, std::span(targets).first(std::min(count, targets.size()))) == ReadStatus::Done &&
         in.line == 1;
}

// True when the text starts with digits, a comma and a digit: a decimal comma, which
// the reader takes as the end of the number.
bool decimal_comma(std::string_view text) {
  std::size_t k = text.find_first_not_of(" \t");
  if (k == std::string_view::npos) return false;
  if (text[k] == '+' || text[k] == '-') ++k;
  const std::size_t digits = k;
  while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
  return k > digits && k + 1 < text.size() && text[k] == ',' && std::isdigit(static_cast<unsigned char>(text[k + 1]));
}

// The value of a line of one value that a slash cuts: the value as read and the text it was
// cut from (up to the next blank or comma); none when the line is quoted or not cut.
std::optional<std::pair<std::string, std::string>> cut_at_slash(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos || text[first] == '\'' || text[first] == '"' || text[first] == ',') {
    return std::nullopt;
  }
  const std::size_t end = text.find_first_of(" \t,/", first);
  if (end == std::string_view::npos || text[end] != '/') return std::nullopt;
  const std::size_t whole = std::min(text.find_first_of(" \t,", end), text.size());
  return std::make_pair(std::string(text.substr(first, end - first)), std::string(text.substr(first, whole - first)));
}

}  // namespace

std::optional<std::vector<std::string>> file_lines(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char block[16384];
  for (std::streamsize got; (got = in.rdbuf()->sgetn(block, sizeof block)) > 0;) text.append(block, static_cast<std::size_t>(got));
  return text_lines(text);
}

std::vector<std::string_view> text_line_views(std::string_view text) {
  // Split at every LF, a last line without one included, none after a final LF; each
  // without a CR at its end.
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    if (end > at && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(at, end - at));
    at = next;
  }
  return lines;
}

std::vector<std::string> text_lines(std::string_view text) {
  const std::vector<std::string_view> views = text_line_views(text);
  return {views.begin(), views.end()};
}

namespace {

template <class Line>
int64_t value_line_of(std::span<const Line> lines, std::size_t k) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find_first_not_of(" \t") == Line::npos) continue;
    if (seen++ == k) return static_cast<int64_t>(i + 1);
  }
  return 0;
}

}  // namespace

int64_t value_line(LineViews lines, std::size_t k) { return value_line_of(lines, k); }

int64_t value_line(const std::vector<std::string>& lines, std::size_t k) {
  return value_line_of(std::span<const std::string>(lines), k);
}

void check_byte_order_mark(const std::string& file, LineViews lines, const WarningSink& warn) {
  if (!lines.empty() && lines.front().rfind("\xEF\xBB\xBF", 0) == 0) {
    warn(file, 1, "the file starts with a UTF-8 byte-order mark, which is read as part of the first value");
  }
}

namespace {

// The lines of a file one at a time, from its list of lines or, without splitting them
// all, from its bytes as text_line_views gives them.
class ListLines {
 public:
  explicit ListLines(LineViews lines) : lines_(lines) {}
  bool next(std::string_view& line) {
    if (k_ == lines_.size()) return false;
    line = lines_[k_++];
    return true;
  }
  // Whether the lines not taken yet may hold one of the two characters.
  bool rest_may_hold(char, char) const { return true; }

 private:
  LineViews lines_;
  std::size_t k_ = 0;
};

class TextLines {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  bool next(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    const char* const start = text_.data() + at_;
    const std::size_t left = text_.size() - at_;
    const void* const lf = std::memchr(start, '\n', left);
    std::size_t size = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : left;
    at_ += size + 1;
    if (size > 0 && start[size - 1] == '\r') --size;
    line = std::string_view(start, size);
    return true;
  }
  bool rest_may_hold(char a, char b) const {
    if (at_ >= text_.size()) return false;
    const std::size_t left = text_.size() - at_;
    return std::memchr(text_.data() + at_, a, left) != nullptr || std::memchr(text_.data() + at_, b, left) != nullptr;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// The first character of the line other than a blank or a tab; none on a blank line.
std::optional<char> first_not_blank(std::string_view line) {
  for (const char c : line) {
    if (c != ' ' && c != '\t') return c;
  }
  return std::nullopt;
}

template <class Lines>
void data_line_checks(const std::string& file, Lines lines, std::size_t columns, const WarningSink& warn) {
  std::string_view first, second;
  const bool two = lines.next(first) && lines.next(second);
  if (two && reads_as_numbers(first, columns) && reads_as_numbers(second, columns)) {
    warn(file, 1, "the first two lines read as data points: the two header lines may be missing");
  } else if (two && reads_as_numbers(second, columns)) {
    warn(file, 2, "the second line reads as a data point but is taken as a header line: a header line may be missing");
  }
  // A line of zeros starts with a slash or a comma: a file without either has none.
  if (!lines.rest_may_hold('/', ',')) return;
  std::string_view line;
  for (int64_t number = 3; lines.next(line); ++number) {
    const std::optional<char> c = first_not_blank(line);
    if (c && (*c == '/' || *c == ',')) {
      warn(file, number,
           "the line '" + std::string(line) + "' reads as a point of zeros; remove it (comments are not allowed)");
    }
  }
}

// The fuel map's idle line: the two header lines and the idle line are read as one value
// each, blank lines passed.
template <class Lines>
std::optional<InputText::IdleLine> idle_line_of(const std::string& file, Lines lines) {
  std::string_view line;
  std::size_t seen = 0;
  int64_t number = 0;
  while (seen < 3) {
    if (!lines.next(line)) return std::nullopt;
    ++number;
    if (first_not_blank(line)) ++seen;
  }
  RecordInput in;
  in.text = line;
  std::array<double, 3> values{};
  if (read_free(in, std::array{real_var(values[0]), real_var(values[1]), real_var(values[2])}) != ReadStatus::Done ||
      in.line != 1) {
    return std::nullopt;
  }
  return InputText::IdleLine{file, number, values[0]};
}

}  // namespace

void check_data_lines(const std::string& file, LineViews lines, std::size_t columns, const WarningSink& warn) {
  data_line_checks(file, ListLines(lines), columns, warn);
}

void check_data_text(const std::string& file, std::string_view text, std::size_t columns, const WarningSink& warn) {
  data_line_checks(file, TextLines(text), columns, warn);
}

void check_decimal_commas(const std::string& file, LineViews lines, const WarningSink& warn) {
  // The k-th line that is not blank holds the k-th value; the numbers before the first
  // engineering value are checked.
  const std::span<const SpecValueInfo> table = spec_value_table();
  std::size_t k = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view text = lines[i];
    if (text.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (k == table.size() || table[k].kind == ValueKind::OptionalReal) break;
    if (table[k++].kind == ValueKind::Text || !decimal_comma(text)) continue;
    warn(file, static_cast<int64_t>(i + 1),
         std::string(table[k - 1].file_name) + " is written with a decimal comma ('" +
             std::string(text.substr(text.find_first_not_of(" \t"))) +
             "'): the number ends at the comma; write a decimal point");
  }
}

void check_cut_names(const std::string& file, LineViews lines,
                     std::span<const std::pair<std::size_t, std::string_view>> positions, const WarningSink& warn) {
  for (const auto& [k, what] : positions) {
    const int64_t line = value_line(lines, k);
    if (line == 0) continue;
    const auto cut = cut_at_slash(lines[static_cast<std::size_t>(line - 1)]);
    if (!cut) continue;
    warn(file, line,
         std::string(what) + " '" + cut->second + "' is read as '" + cut->first +
             "': a slash ends an unquoted value; write the name between quotes");
  }
}

std::vector<std::pair<std::size_t, std::string_view>> spec_name_positions() {
  std::vector<std::pair<std::size_t, std::string_view>> positions;
  const std::span<const SpecValueInfo> table = spec_value_table();
  for (std::size_t k = 0; k < table.size(); ++k) {
    if (table[k].kind == ValueKind::Text) positions.emplace_back(k, table[k].file_name);
  }
  return positions;
}

std::vector<std::pair<std::size_t, std::string_view>> engine_name_positions() {
  return {{0, "FuelMapFile"}, {1, "FullLoadCurveFile"}, {2, "MotoringCurveFile"}};
}

std::optional<InputText::IdleLine> map_idle_line(const std::string& file, LineViews lines) {
  return idle_line_of(file, ListLines(lines));
}

std::optional<InputText::IdleLine> map_idle_line_of_text(const std::string& file, std::string_view text) {
  return idle_line_of(file, TextLines(text));
}

void check_idle_line(const InputText::IdleLine& idle, const std::string& engineFile, const EngineInput& engine,
                     const ValueLine& line, const WarningSink& warn) {
  if (idle.speed_rpm == engine.idle_speed_rpm || !(engine.idle_speed_rpm > 0.0)) return;
  std::string where = engineFile;
  if (const int64_t at = line(engineFile, 3); at > 0) where.append(":").append(std::to_string(at));
  std::string message = "the idle line is at " + number(idle.speed_rpm) + " rpm, not at Nidle ";
  message.append(number(engine.idle_speed_rpm)).append(" rpm (").append(where);
  message.append("): the third line is the idle line, of which only the fuel rate is used, as the rate at Nidle; "
                 "a map point written there is lost");
  warn(idle.file, idle.line, std::move(message));
}

std::optional<std::string> range_error(const SpecValueInfo& info, double value) {
  std::string unit;
  if (!info.unit.empty()) unit.append(" ").append(info.unit);
  std::string bounds;
  if (info.min && !(value >= *info.min)) bounds.append("at least ").append(number(*info.min)).append(unit);
  if (info.above && !(value > *info.above)) bounds.append("greater than ").append(number(*info.above)).append(unit);
  if (info.max && !(value <= *info.max)) {
    bounds.append(bounds.empty() ? "at most " : " and at most ").append(number(*info.max)).append(unit);
  }
  if (bounds.empty()) return std::nullopt;
  return std::string(info.file_name) + " is " + number(value) + unit + ": it must be " + bounds;
}

void check_engineering_values(const SpecValues& values) {
  for (const SpecValueInfo& info : spec_value_table()) {
    if (info.kind != ValueKind::OptionalReal) continue;
    const std::optional<double> value = std::get<std::optional<double>>(get_spec_value(values, info));
    if (!value) continue;
    std::optional<std::string> error = range_error(info, *value);
    if (!error && !std::isfinite(*value)) {
      error = std::string(info.file_name) + " is " + number(*value) + (info.unit.empty() ? "" : " ") +
              std::string(info.unit) + ": it must be a finite number";
    }
    if (error) throw Error(ErrorKind::VehicleCheck, *error);
  }
}

void check_usual_ranges(const std::string& spec, const SpecValues& values, const ValueLine& line,
                        const WarningSink& warn) {
  const std::span<const SpecValueInfo> table = spec_value_table();
  for (std::size_t k = 0; k < table.size(); ++k) {
    const SpecValueInfo& info = table[k];
    if (!info.usual_min && !info.usual_max) continue;
    double value = 0.0;
    const SpecValue held = get_spec_value(values, info);
    if (const double* real = std::get_if<double>(&held)) value = *real;
    else if (const int32_t* whole = std::get_if<int32_t>(&held)) value = *whole;
    else if (const auto* optional = std::get_if<std::optional<double>>(&held); optional && *optional) value = **optional;
    else continue;
    if ((!info.usual_min || value >= *info.usual_min) && (!info.usual_max || value <= *info.usual_max)) continue;
    std::string unit;
    if (!info.unit.empty()) unit.append(" ").append(info.unit);
    std::string range;
    if (info.usual_min && info.usual_max) {
      range = "from " + number(*info.usual_min) + " to " + number(*info.usual_max) + unit;
    } else if (info.usual_min) {
      range = "at least " + number(*info.usual_min) + unit;
    } else {
      range = "at most " + number(*info.usual_max) + unit;
    }
    // An engineering value comes from no file (--set, a manifest, the library).
    const bool inFile = info.kind != ValueKind::OptionalReal;
    warn(inFile ? spec : std::string(), inFile ? line(spec, k) : 0,
         std::string(info.file_name) + " is " + number(value) + unit + ", usually " + range + ": " +
             std::string(info.usual) + "; it is run as given");
  }
}

void check_engine_speeds(const std::string& file, const EngineInput& engine, const ValueLine& line,
                         const WarningSink& warn) {
  if (!(engine.idle_speed_rpm > 0.0)) {
    warn(file, line(file, 3), "Nidle " + number(engine.idle_speed_rpm) + " rpm is not above 0 rpm");
  }
  if (!(engine.rated_speed_rpm > engine.idle_speed_rpm)) {
    warn(file, line(file, 4),
         "Nrate " + number(engine.rated_speed_rpm) + " rpm is not above Nidle " + number(engine.idle_speed_rpm) + " rpm");
  }
  if (engine.rated_speed_rpm > engine.max_speed_rpm) {
    warn(file, line(file, 4),
         "Nrate " + number(engine.rated_speed_rpm) + " rpm is above Nex " + number(engine.max_speed_rpm) + " rpm");
  }
}

void check_ratios(const std::string& file, const TransmissionInput& t, const ValueLine& line, const WarningSink& warn) {
  const auto check = [&](const std::vector<double>& list, const char* what, std::size_t firstValue) {
    for (std::size_t k = 1; k < list.size(); ++k) {
      if (list[k] >= list[k - 1]) {
        warn(file, line(file, firstValue + k),
             std::string(what) + " ratio " + std::to_string(k + 1) + " (" + number(list[k]) +
                 ") is not below the one before it (" + number(list[k - 1]) + "): ratios must descend");
      }
    }
  };
  check(t.main_ratios, "main", 2);
  check(t.aux_ratios, "auxiliary", 3 + t.main_ratios.size());
}

void check_curve_reach(const std::string& engineFile, const EngineInput& engine, const TorqueCurve& full,
                       const ValueLine& line, const WarningSink& warn) {
  if (!full.speeds_rpm.empty() && engine.max_speed_rpm > full.speeds_rpm.back()) {
    warn(engineFile, line(engineFile, 5),
         "Nex " + number(engine.max_speed_rpm) + " rpm is beyond the full-load curve's last speed " +
             number(full.speeds_rpm.back()) + " rpm");
  }
}

void check_map_against_full_load(const std::string& file, const FuelMap& map, const TorqueCurve& full,
                                 const WarningSink& warn) {
  if (map.speeds_rpm.empty() || full.speeds_rpm.empty()) return;
  const double mapLow = map.speeds_rpm.front();
  const double mapHigh = map.speeds_rpm.back();
  const double topMapTorque = *std::max_element(map.torques_nm.begin(), map.torques_nm.end());
  const double topFullLoad = *std::max_element(full.torques_nm.begin(), full.torques_nm.end());
  if (mapLow > full.speeds_rpm.front() || mapHigh < full.speeds_rpm.back() || topMapTorque < 0.95 * topFullLoad) {
    warn(file, 0,
         "the map (" + number(mapLow) + " to " + number(mapHigh) + " rpm, up to " + number(topMapTorque) +
             " N·m) does not cover the full-load curve (" + number(full.speeds_rpm.front()) + " to " +
             number(full.speeds_rpm.back()) + " rpm, up to " + number(topFullLoad) + " N·m); the run extrapolates");
  }
  // Specific consumption of the map points on or near the full-load curve, as the run
  // looks the curve up (extended beyond its ends).
  double lowest = INFINITY, highest = -INFINITY;
  int count = 0;
  for (std::size_t k = 0; k < map.speeds_rpm.size(); ++k) {
    const double n = map.speeds_rpm[k], T = map.torques_nm[k];
    if (!(T > 0.0) || !(n > 0.0) || T < NearFullLoad * curve_lookup(full, n)) continue;
    const double power = 2.0 * std::numbers::pi * n / 60.0 * T / 1000.0;  // [kW]
    const double be = map.fuel_rates_l_per_h[k] * DieselDensityKgPerL * 1000.0 / power;  // [g/kWh]
    lowest = std::min(lowest, be);
    highest = std::max(highest, be);
    ++count;
  }
  if (count > 0 && (lowest < LowestSpecificConsumption || highest > HighestSpecificConsumption)) {
    warn(file, 0,
         "at full load the map's fuel rates give " + number(std::round(lowest)) + " to " + number(std::round(highest)) +
             " g/kWh (diesel, 0.832 kg/l), outside 150 to 400: are the rates in l/h (not g/h or kg/h)?");
  }
}

namespace {

// The text of a vehicle's files, each file's text given by text_of(file, lines, bytes): its
// lines, or its bytes when the source holds them; false when the file cannot be read. The
// lines of the spec, engine and transmission files are kept; the data files, the long ones,
// are checked line by line from their bytes.
std::shared_ptr<const InputText> input_text(
    const Vehicle& vehicle,
    const std::function<bool(const InputFile& f, std::vector<std::string_view>& lines,
                             std::optional<std::string_view>& bytes)>& text_of) {
  auto text = std::make_shared<InputText>();
  const WarningSink warn = [&](const std::string& file, int64_t line, std::string message) {
    text->findings.push_back({file, line, CheckFinding::Severity::Warning, std::move(message)});
  };
  std::vector<std::string_view> lines;
  for (const InputFile& f : vehicle.files) {
    lines.clear();
    std::optional<std::string_view> bytes;
    if (!text_of(f, lines, bytes)) continue;
    const bool data = f.role == "full_load" || f.role == "motoring" || f.role == "fuel_map";
    const std::size_t columns = f.role == "fuel_map" ? 3 : 2;
    if (data && bytes) {
      std::string_view first;
      const bool any = TextLines(*bytes).next(first);
      check_byte_order_mark(f.name, LineViews(&first, any ? 1 : 0), warn);
      if (f.role == "fuel_map") text->map_idle = map_idle_line_of_text(f.name, *bytes);
      check_data_text(f.name, *bytes, columns, warn);
      continue;
    }
    if (bytes) lines = text_line_views(*bytes);
    check_byte_order_mark(f.name, lines, warn);
    if (f.role == "spec") check_decimal_commas(f.name, lines, warn);
    if (f.role == "spec") check_cut_names(f.name, lines, spec_name_positions(), warn);
    if (f.role == "engine") check_cut_names(f.name, lines, engine_name_positions(), warn);
    if (f.role == "fuel_map") text->map_idle = map_idle_line(f.name, lines);
    if (data) check_data_lines(f.name, lines, columns, warn);
    if (f.role == "spec" || f.role == "engine" || f.role == "transmission") {
      text->lines[f.name].assign(lines.begin(), lines.end());
    }
  }
  return text;
}

}  // namespace

std::shared_ptr<const InputText> read_input_text(const Vehicle& vehicle, const LinesOf& lines_of) {
  std::shared_ptr<const std::vector<std::string>> held;
  return input_text(vehicle, [&](const InputFile& f, std::vector<std::string_view>& lines,
                                 std::optional<std::string_view>&) {
    held = lines_of(f.path.string());
    if (!held) return false;
    lines.assign(held->begin(), held->end());
    return true;
  });
}

std::shared_ptr<const InputText> input_text_of_bytes(const Vehicle& vehicle, const BytesOf& bytes_of) {
  return input_text(vehicle, [&](const InputFile& f, std::vector<std::string_view>&,
                                 std::optional<std::string_view>& bytes) {
    const std::string* held = bytes_of(f.path.string());
    if (!held) return false;
    bytes = *held;
    return true;
  });
}

std::vector<RunWarning> input_warnings(const Vehicle& v) {
  std::vector<CheckFinding> found;
  if (v.text) found = v.text->findings;
  const WarningSink warn = [&](const std::string& file, int64_t line, std::string message) {
    found.push_back({file, line, CheckFinding::Severity::Warning, std::move(message)});
  };
  const ValueLine line = [&](const std::string& file, std::size_t k) -> int64_t {
    if (!v.text) return 0;
    const auto it = v.text->lines.find(file);
    return it == v.text->lines.end() ? 0 : value_line(it->second, k);
  };
  const std::string spec = v.files.empty() ? std::string() : v.files.front().name;
  check_usual_ranges(spec, v.values, line, warn);
  check_ratios(v.values.transmission_file, v.transmission, line, warn);
  check_engine_speeds(v.values.engine_file, v.engine, line, warn);
  if (v.text && v.text->map_idle && v.text->map_idle->file == v.engine.fuel_map_file) {
    check_idle_line(*v.text->map_idle, v.values.engine_file, v.engine, line, warn);
  }
  check_curve_reach(v.values.engine_file, v.engine, v.full_load, line, warn);
  check_map_against_full_load(v.engine.fuel_map_file, v.fuel_map, v.full_load, warn);
  std::vector<RunWarning> warnings;
  for (const CheckFinding& f : found) {
    std::string message;
    if (!f.file.empty()) {
      message = f.file;
      if (f.line > 0) message.append(":").append(std::to_string(f.line));
      message.append(": ");
    }
    message.append(f.message);
    warnings.push_back({RunWarning::Kind::InputWarning, "", 0, std::move(message)});
  }
  return warnings;
}

}  // namespace hdfe
