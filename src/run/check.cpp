#include "hdfe/check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>
#include <numbers>
#include <optional>
#include <sstream>
#include <vector>

#include "model/curvelookup.h"
#include "sim/fuelgrid.h"
#include "run/classification.h"
#include "model/checkvehicle.h"
#include "io/readcurves.h"
#include "io/readengtrn.h"
#include "io/readspec.h"
#include "hdfe/freeform.h"
#include "hdfe/values.h"
#include "hdfe/units.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

// Plausible specific consumption of a diesel engine at full load [g/kWh].
constexpr double LowestSpecificConsumption = 150.0;
constexpr double HighestSpecificConsumption = 400.0;
// A map point counts as on the full-load curve from this share of its torque.
constexpr double NearFullLoad = 0.9;

using Finding = CheckFinding;

// The lines of a file, without their line ends; nothing when it cannot be read.
std::optional<std::vector<std::string>> file_lines(const std::string& name) {
  std::error_code ec;
  if (!fs::is_regular_file(name, ec)) return std::nullopt;
  std::ifstream in(name, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// True when the line alone reads as `count` numbers.
bool reads_as_numbers(const std::string& line, std::size_t count) {
  std::istringstream text(line);
  RecordInput in;
  in.stream = &text;
  std::array<double, 3> values{};
  std::vector<ReadTarget> targets;
  for (std::size_t k = 0; k < count && k < values.size(); ++k) targets.push_back(real_var(values[k]));
  return !line.empty() && line.find_first_not_of(" \t,") != std::string::npos &&
         read_free(in, targets) == ReadStatus::Done && in.line == 1;
}

// The line (1-based) of the k-th value (0-based) of a file with one value per line: the
// k-th line that is not blank; 0 past the end.
int64_t value_line(const std::vector<std::string>& lines, std::size_t k) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find_first_not_of(" \t") == std::string::npos) continue;
    if (seen++ == k) return static_cast<int64_t>(i + 1);
  }
  return 0;
}

// The 0-based position of a spec value in the spec file.
std::size_t spec_position(std::string_view file_name) {
  return static_cast<std::size_t>(find_spec_value(file_name) - spec_value_table().data());
}

class Checker {
 public:
  explicit Checker(std::string spec) : spec_(std::move(spec)) {}

  std::vector<Finding> run() {
    lines_of(spec_);
    SpecValues values;
    if (!attempt(spec_, [&] { values = read_spec(spec_); })) return findings_;
    check_name(spec_, values.transmission_file, spec_position("TransmissionFile"));
    check_name(spec_, values.engine_file, spec_position("EngineFile"));
    const bool inRange = check_ranges(values);
    Vehicle v;
    v.values = values;
    v.files.push_back({"spec", spec_, spec_, ""});
    const bool transmission = attempt(values.transmission_file, [&] { v.transmission = read_transmission(values.transmission_file); });
    if (transmission) check_ratios(values.transmission_file, v.transmission);
    const bool engine = attempt(values.engine_file, [&] { v.engine = read_engine(values.engine_file); });
    if (engine) {
      const std::string& file = values.engine_file;
      check_name(file, v.engine.fuel_map_file, 0);
      check_name(file, v.engine.full_load_file, 1);
      check_name(file, v.engine.motoring_file, 2);
      if (v.engine.rated_speed_rpm > v.engine.max_speed_rpm) {
        warn(file, value_of(file, 4), "Nrate " + number(v.engine.rated_speed_rpm) + " rpm is above Nex " + number(v.engine.max_speed_rpm) + " rpm");
      }
    }
    if (!transmission || !engine) return findings_;
    TransmissionInput ratios;
    if (!attempt(spec_, [&] { classify_vehicle(v, ratios); })) return findings_;
    const bool full = attempt(v.engine.full_load_file, [&] { v.full_load = read_torque_curve(v.engine.full_load_file); });
    const bool motoring = attempt(v.engine.motoring_file, [&] { v.motoring = read_torque_curve(v.engine.motoring_file); });
    const bool map = attempt(v.engine.fuel_map_file, [&] { v.fuel_map = read_fuel_map(v.engine.fuel_map_file); });
    if (full) check_data_lines(v.engine.full_load_file, 2);
    if (motoring) check_data_lines(v.engine.motoring_file, 2);
    if (map) check_data_lines(v.engine.fuel_map_file, 3);
    if (full && !v.full_load.speeds_rpm.empty() && v.engine.max_speed_rpm > v.full_load.speeds_rpm.back()) {
      warn(values.engine_file, value_of(values.engine_file, 5),
           "Nex " + number(v.engine.max_speed_rpm) + " rpm is beyond the full-load curve's last speed " +
               number(v.full_load.speeds_rpm.back()) + " rpm");
    }
    if (full && map) check_map_against_full_load(v);
    // The run stops on the first value out of its range, already reported at its line.
    if (full && motoring && map && inRange) {
      attempt(spec_, [&] {
        const Classification c = classify_vehicle(v, ratios);
        const EngineInput files{v.engine.fuel_map_file, v.engine.full_load_file, v.engine.motoring_file};
        check_vehicle(spec_, c.values, c.spec, c.engine, files, c.transmission, ratios, v.full_load, v.motoring,
                      v.fuel_map);
        FuelGrid grid;
        build_fuel_grid(grid, v.fuel_map, v.motoring);
      });
    }
    return findings_;
  }

 private:
  void add(const std::string& file, int64_t line, bool error, std::string message) {
    findings_.push_back({file, line, error ? Finding::Severity::Error : Finding::Severity::Warning, std::move(message)});
  }
  void warn(const std::string& file, int64_t line, std::string message) { add(file, line, false, std::move(message)); }

  // Every number of the spec file against the range the run accepts; an error, at the
  // value's line, for each one outside it. True when all are inside.
  bool check_ranges(const SpecValues& values) {
    bool inside = true;
    const std::span<const SpecValueInfo> table = spec_value_table();
    for (std::size_t k = 0; k < table.size(); ++k) {
      const SpecValueInfo& info = table[k];
      if (info.kind != ValueKind::Real) continue;
      const double value = std::get<double>(get_spec_value(values, info));
      std::string unit;
      if (!info.unit.empty()) unit.append(" ").append(info.unit);
      std::string bounds;
      if (info.min && !(value >= *info.min)) bounds.append("at least ").append(number(*info.min)).append(unit);
      if (info.above && !(value > *info.above)) bounds.append("greater than ").append(number(*info.above)).append(unit);
      if (info.max && !(value <= *info.max)) {
        bounds.append(bounds.empty() ? "at most " : " and at most ").append(number(*info.max)).append(unit);
      }
      if (bounds.empty()) continue;
      std::string message(info.file_name);
      message.append(" is ").append(number(value)).append(unit).append(": it must be ").append(bounds);
      add(spec_, value_of(spec_, k), true, std::move(message));
      inside = false;
    }
    return inside;
  }

  // Runs one read or check; an error becomes a finding. True when it succeeded.
  template <class F>
  bool attempt(const std::string& file, F f) {
    try {
      f();
      return true;
    } catch (const Error& e) {
      add(e.file().empty() ? file : e.file(), e.line(), true, e.what());
      return false;
    }
  }

  const std::vector<std::string>& lines_of(const std::string& name) {
    auto it = lines_.find(name);
    if (it == lines_.end()) {
      it = lines_.emplace(name, file_lines(name).value_or(std::vector<std::string>{})).first;
      const std::vector<std::string>& lines = it->second;
      if (!lines.empty() && lines.front().rfind("\xEF\xBB\xBF", 0) == 0) {
        warn(name, 1, "the file starts with a UTF-8 byte-order mark, which is read as part of the first value");
      }
    }
    return it->second;
  }

  int64_t value_of(const std::string& file, std::size_t k) { return value_line(lines_of(file), k); }

  static std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
  }

  // A relative name opens from the working directory; warn when the spec file's folder
  // would give another file.
  void check_name(const std::string& file, const std::string& name, std::size_t index) {
    lines_of(file);
    if (name.empty() || fs::path(name).is_absolute()) return;
    const fs::path folder = fs::path(spec_).parent_path();
    if (folder.empty()) return;
    const fs::path fromSpec = folder / name;
    std::error_code ec;
    const bool here = fs::exists(name, ec);
    const bool there = fs::exists(fromSpec, ec);
    if (here == there && (!here || fs::equivalent(name, fromSpec, ec))) return;
    warn(file, value_of(file, index),
         "'" + name + "' is taken from the working directory" + (here ? "" : ", where it does not exist") +
             "; from the spec file's folder it would be " + fromSpec.string() + (there ? "" : ", which does not exist"));
  }

  void check_ratios(const std::string& file, const TransmissionInput& t) {
    const auto check = [&](const std::vector<double>& list, const char* what, std::size_t firstValue) {
      for (std::size_t k = 1; k < list.size(); ++k) {
        if (list[k] >= list[k - 1]) {
          warn(file, value_of(file, firstValue + k),
               std::string(what) + " ratio " + std::to_string(k + 1) + " (" + number(list[k]) +
                   ") is not below the one before it (" + number(list[k - 1]) + "): ratios must descend");
        }
      }
    };
    check(t.main_ratios, "main", 2);
    check(t.aux_ratios, "auxiliary", 3 + t.main_ratios.size());
  }

  // Header lines that read as data, and data lines that read as a zero point.
  void check_data_lines(const std::string& file, std::size_t columns) {
    const std::vector<std::string>& lines = lines_of(file);
    if (lines.size() >= 2 && reads_as_numbers(lines[0], columns) && reads_as_numbers(lines[1], columns)) {
      warn(file, 1, "the first two lines read as data points: the two header lines may be missing");
    }
    for (std::size_t i = 2; i < lines.size(); ++i) {
      const std::size_t first = lines[i].find_first_not_of(" \t");
      if (first == std::string::npos) continue;
      if (lines[i][first] == '/' || lines[i][first] == ',') {
        warn(file, static_cast<int64_t>(i + 1),
             "the line '" + lines[i] + "' reads as a point of zeros; remove it (comments are not allowed)");
      }
    }
  }

  void check_map_against_full_load(const Vehicle& v) {
    const FuelMap& map = v.fuel_map;
    const TorqueCurve& full = v.full_load;
    const std::string& file = v.engine.fuel_map_file;
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

  std::string spec_;
  std::vector<Finding> findings_;
  std::map<std::string, std::vector<std::string>> lines_;
};

}  // namespace

std::vector<CheckFinding> check_findings(const std::filesystem::path& spec) { return Checker(spec.string()).run(); }

int run_check(const std::string& spec, std::ostream& out) {
  const std::vector<CheckFinding> findings = check_findings(spec);
  int errors = 0;
  for (const CheckFinding& f : findings) {
    const bool error = f.severity == CheckFinding::Severity::Error;
    out << f.file;
    if (f.line > 0) out << ':' << f.line;
    out << ": " << (error ? "error" : "warning") << ": " << f.message << '\n';
    errors += error ? 1 : 0;
  }
  const auto warnings = static_cast<int>(findings.size()) - errors;
  out << spec << ": " << errors << (errors == 1 ? " error, " : " errors, ") << warnings
      << (warnings == 1 ? " warning" : " warnings") << '\n';
  out.flush();
  return errors > 0 ? 1 : 0;
}

}  // namespace hdfe
