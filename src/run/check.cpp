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
#include <vector>

#include "model/curvelookup.h"
#include "sim/fuelgrid.h"
#include "run/classification.h"
#include "model/checkvehicle.h"
#include "run/plausibility.h"
#include "io/inputfile.h"
#include "io/readcurves.h"
#include "io/readengtrn.h"
#include "io/readspec.h"
#include "hdfe/freeform.h"
#include "hdfe/values.h"
#include "hdfe/units.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

using Finding = CheckFinding;

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
    check_usual_ranges(spec_, values, line_, sink_);
    check_decimal_commas(spec_, lines_of(spec_), sink_);
    check_cut_names(spec_, lines_of(spec_), spec_name_positions(), sink_);
    Vehicle v;
    v.values = values;
    v.files.push_back({"spec", spec_, spec_, ""});
    const bool transmission = attempt(values.transmission_file, [&] { v.transmission = read_transmission(values.transmission_file); });
    if (transmission) check_ratios(values.transmission_file, v.transmission, line_, sink_);
    const bool engine = attempt(values.engine_file, [&] { v.engine = read_engine(values.engine_file); });
    if (engine) {
      const std::string& file = values.engine_file;
      check_name(file, v.engine.fuel_map_file, 0);
      check_name(file, v.engine.full_load_file, 1);
      check_name(file, v.engine.motoring_file, 2);
      check_engine_speeds(file, v.engine, line_, sink_);
      check_cut_names(file, lines_of(file), engine_name_positions(), sink_);
    }
    if (!transmission || !engine) return findings_;
    TransmissionInput ratios;
    if (!attempt(spec_, [&] { classify_vehicle(v, ratios); })) return findings_;
    const bool full = attempt(v.engine.full_load_file, [&] { v.full_load = read_torque_curve(v.engine.full_load_file); });
    const bool motoring = attempt(v.engine.motoring_file, [&] { v.motoring = read_torque_curve(v.engine.motoring_file); });
    const bool map = attempt(v.engine.fuel_map_file, [&] { v.fuel_map = read_fuel_map(v.engine.fuel_map_file); });
    if (full) check_data_lines(v.engine.full_load_file, lines_of(v.engine.full_load_file), 2, sink_);
    if (motoring) check_data_lines(v.engine.motoring_file, lines_of(v.engine.motoring_file), 2, sink_);
    if (map) check_data_lines(v.engine.fuel_map_file, lines_of(v.engine.fuel_map_file), 3, sink_);
    if (map) {
      if (const auto idle = map_idle_line(v.engine.fuel_map_file, lines_of(v.engine.fuel_map_file))) {
        check_idle_line(*idle, values.engine_file, v.engine, line_, sink_);
      }
    }
    if (full) check_curve_reach(values.engine_file, v.engine, v.full_load, line_, sink_);
    if (full && map) check_map_against_full_load(v.engine.fuel_map_file, v.fuel_map, v.full_load, sink_);
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
      std::optional<std::string> message = range_error(info, value);
      if (!message) continue;
      add(spec_, value_of(spec_, k), true, std::move(*message));
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
      std::string message = e.what();
      // A file named in the spec or engine file that cannot be opened: often a name cut short.
      if (e.kind() == ErrorKind::MissingFile && file != spec_) {
        message += " (names are relative to the working directory; a blank, a comma or a slash ends an unquoted "
                   "value: quote names that hold one)";
      }
      add(e.file().empty() ? file : e.file(), e.line(), true, std::move(message));
      return false;
    }
  }

  LineViews lines_of(const std::string& name) {
    auto it = texts_.find(name);
    if (it == texts_.end()) {
      it = texts_.emplace(name, FileText{read_input(name).value_or(std::string()), {}}).first;
      it->second.lines = text_line_views(it->second.bytes);
      check_byte_order_mark(name, it->second.lines, sink_);
    }
    return it->second.lines;
  }

  int64_t value_of(const std::string& file, std::size_t k) { return value_line(lines_of(file), k); }

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

  std::string spec_;
  std::vector<Finding> findings_;
  // The bytes of each file read for its text, and its lines in them.
  struct FileText {
    std::string bytes;
    std::vector<std::string_view> lines;
  };
  std::map<std::string, FileText> texts_;
  const WarningSink sink_ = [this](const std::string& file, int64_t line, std::string message) {
    warn(file, line, std::move(message));
  };
  const ValueLine line_ = [this](const std::string& file, std::size_t k) { return value_of(file, k); };
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
