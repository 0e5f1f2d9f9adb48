#include "options.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "hdfe/batch.h"
#include "hdfe/error.h"
#include "hdfe/values.h"

namespace hdfe {

namespace {

[[noreturn]] void usage_error(const std::string& message) {
  throw Error(ErrorKind::Usage, message);
}

bool is_option(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// The file names of the values --set takes, in table order.
std::string value_names() {
  std::string names;
  for (const SpecValueInfo& info : spec_value_table()) names += (names.empty() ? "" : ", ") + std::string(info.file_name);
  return names;
}

// Checks a --set assignment as the run will read it: a known name, given once, and a value
// read as the spec file or a manifest cell would be.
void check_set(const std::string& assignment, const std::vector<std::string>& earlier) {
  const auto [name, text] = set_assignment(assignment);
  const SpecValueInfo* info = find_spec_value(name);
  if (info == nullptr || info->file_name != name) {
    usage_error("--set " + assignment + ": no value is named " + name + " (the values: " + value_names() + ")");
  }
  for (const std::string& other : earlier) {
    if (set_assignment(other).first == name) usage_error("--set: " + name + " is given twice");
  }
  SpecValues scratch;
  try {
    apply_override(scratch, name, text);
  } catch (const Error& error) {
    usage_error("--set " + assignment + ": " + error.message());
  }
}

}  // namespace

std::pair<std::string, std::string> set_assignment(const std::string& assignment) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string::npos) usage_error("--set takes NAME=VALUE, not " + assignment);
  return {assignment.substr(0, equals), assignment.substr(equals + 1)};
}

bool engineering_run(const CommandLine& c) {
  if (!c.cycles.empty() || !c.routes.empty()) return true;
  return std::any_of(c.sets.begin(), c.sets.end(), [](const std::string& assignment) {
    const SpecValueInfo* info = find_spec_value(set_assignment(assignment).first);
    return info != nullptr && info->kind == ValueKind::OptionalReal;
  });
}

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine c;
  const auto value = [&](std::size_t& k) -> std::string {
    if (k + 1 >= args.size()) usage_error("option " + args[k] + " needs a value");
    return args[++k];
  };
  bool options_end = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (options_end || !is_option(arg)) {
      c.names.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
    } else if (arg == "--help" || arg == "-h") {
      c.help = true;
    } else if (arg == "--version") {
      c.version = true;
    } else if (arg == "--summary") {
      c.summary = true;
    } else if (arg == "--json") {
      c.json = value(k);
    } else if (arg == "--trace-csv") {
      c.trace_csv = value(k);
    } else if (arg == "--check") {
      if (c.check) usage_error("--check takes one spec file: " + *c.check + " and " + value(k));
      c.check = value(k);
    } else if (arg == "--cycle") {
      c.cycles.push_back(value(k));
    } else if (arg == "--set") {
      const std::string assignment = value(k);
      check_set(assignment, c.sets);
      c.sets.push_back(assignment);
    } else if (arg == "--list-cycles") {
      c.list_cycles = true;
    } else if (arg == "--route") {
      c.routes.push_back(value(k));
    } else if (arg == "--route-speed") {
      const std::string text = value(k);
      double speed = 0.0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), speed);
      if (ec != std::errc() || end != text.data() + text.size() || !(speed > 0.0) || !std::isfinite(speed)) {
        usage_error("--route-speed takes a speed above 0 in km/h, not " + text);
      }
      c.route_speed_km_per_h = speed;
    } else if (arg == "--batch") {
      c.batch = true;
      if (k + 1 < args.size() && !is_option(args[k + 1])) c.manifest = args[++k];
    } else if (arg == "--sweep") {
      // The spec file, then NAME=VALUES assignments up to the next option.
      c.batch = true;
      while (k + 1 < args.size() && !is_option(args[k + 1])) {
        const std::string& next = args[++k];
        if (next.find('=') != std::string::npos) {
          c.sweeps.push_back(next);
        } else if (!c.sweep_spec) {
          c.sweep_spec = next;
        } else {
          usage_error("--sweep takes one spec file: " + *c.sweep_spec + " and " + next);
        }
      }
      if (c.sweeps.empty()) usage_error("--sweep needs at least one NAME=VALUES");
    } else if (arg == "--jobs") {
      const std::string text = value(k);
      int jobs = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), jobs);
      if (ec != std::errc() || end != text.data() + text.size() || jobs < 1) {
        usage_error("--jobs takes a whole number of 1 or more, not " + text);
      }
      c.jobs = jobs;
    } else if (arg == "--out") {
      c.out_dir = value(k);
    } else if (arg == "--summary-csv") {
      c.summary_csv = value(k);
    } else {
      usage_error("unknown option " + arg);
    }
  }
  if (c.names.size() > 2) usage_error("more than two file names: " + c.names[2]);
  if (c.batch && !c.manifest && !c.sweep_spec) usage_error("--batch needs a manifest file or --sweep SPEC");
  if (c.batch && c.manifest && c.sweep_spec) usage_error("--batch takes a manifest or --sweep, not both");
  if (!c.batch && (c.jobs || c.out_dir || c.summary_csv)) usage_error("--jobs, --out and --summary-csv go with --batch");
  if (c.check && (!c.names.empty() || c.summary || c.json || c.trace_csv || c.batch || !c.cycles.empty() ||
                  !c.sets.empty() || c.list_cycles || !c.routes.empty())) {
    usage_error("--check SPEC runs alone: without file names, --summary, --json, --trace-csv, --cycle, --route, "
                "--set, --list-cycles or --batch");
  }
  if (c.list_cycles && (!c.names.empty() || c.summary || c.json || c.trace_csv || c.batch || !c.cycles.empty() ||
                        !c.sets.empty() || !c.routes.empty())) {
    usage_error("--list-cycles runs alone: without file names or other options");
  }
  if (!c.routes.empty() && !c.cycles.empty()) {
    usage_error("--route and --cycle go in separate runs: a route is driven by distance, a cycle by time");
  }
  if (c.route_speed_km_per_h && c.routes.empty()) usage_error("--route-speed goes with --route");
  if (c.batch && c.routes.size() > 1) usage_error("a batch drives one --route: give each row's as a route column");
  if (c.batch && c.route_speed_km_per_h) usage_error("--route-speed goes with a single run");
  if (c.batch && !c.sets.empty()) {
    usage_error("--set goes with a single run: give the value of every batch row as a manifest column or a --sweep name");
  }
  if (!c.batch && engineering_run(c) && c.names.size() > 1) {
    usage_error("the results file " + c.names[1] +
                " describes the standard vehicle on the built-in cycles, and this run is not that (it has a --cycle, "
                "a --route or an engineering value): leave the results-file name out and use --json, --trace-csv or --summary");
  }
  if (c.json && c.trace_csv && *c.json == "-" && *c.trace_csv == "-") {
    usage_error("--json and --trace-csv cannot both write to standard output");
  }
  return c;
}

std::string usage_text() {
  return R"(Usage: hdfe [OPTIONS] [SPEC [OUTPUT]]
       hdfe SPEC --cycle NAME|FILE [--cycle ...] [--set NAME=VALUE ...] [--json FILE|-] [--trace-csv FILE|-] [--summary]
       hdfe SPEC --route FILE [--route ...] [--route-speed KMH] [--set NAME=VALUE ...] [--json FILE|-] [...]
       hdfe --check SPEC
       hdfe --list-cycles
       hdfe --batch MANIFEST [--cycle NAME|FILE ...] [--jobs N] [--out DIR] [--summary-csv FILE]
       hdfe --batch --sweep SPEC NAME=START:STOP:STEP|NAME=v1,v2,... [...] [--cycle NAME|FILE ... | --route FILE]
            [--jobs N] [--out DIR]

Computes the fuel economy (km/l) of a heavy-duty vehicle over the URBAN and HIGHWAY cycles.
SPEC is the vehicle's spec file, OUTPUT the results file to write (OUTPUT_info.txt beside it).
A name left out is asked for on the console. Names inside the input files are taken from the
working directory.

Options:
  -h, --help            print this help and exit
  --version             print the program version and the cycle-table version, and exit
  --summary             after the run, print the four economies, average speeds and the
                        cycle-following metrics as plain text
  --json FILE           write every result of the run as JSON to FILE (- for standard output)
  --trace-csv FILE      write the per-second trace of both cycles as CSV to FILE (- for
                        standard output)
  --check SPEC          read and check every input file without running; report every problem
                        found as file:line: message
  --cycle NAME|FILE     run this cycle instead of URBAN and HIGHWAY (repeatable): a cycle of
                        the library (see --list-cycles; any case) or a CSV cycle file. Figures
                        are plain distance over fuel, per cycle and per phase
  --set NAME=VALUE      replace a spec value, or set an engineering value (TestMass, Payload,
                        FrontalArea, CdA, RollingResistance, CO2PerLitre), for this run
                        (repeatable). A run with --cycle or an engineering value writes no
                        results file (OUTPUT): use --json, --trace-csv or --summary; without
                        them it prints the summary
  --list-cycles         list the library's cycles: name, duration, distance, mean and maximum
                        speed, source
  --route FILE          drive this route instead of URBAN and HIGHWAY (repeatable): a CSV file
                        by distance (distance_m, speed_km_per_h, grade_percent or elevation_m,
                        stop_s) or a GPX track. Figures as --cycle's, and the time lost
  --route-speed KMH     the speed limit of a route file without one (a GPX track)
  --batch MANIFEST      run every row of a CSV manifest (columns: spec, id, cycle, route,
                        spec-file and engineering values); with a cycle or route column, --cycle
                        or --route, the summary has a row per batch row and cycle or route
  --sweep SPEC NAME=... run the product of the values given for each NAME as a batch
  --jobs N              worker threads for a batch (default: the number of cores; at most
                        4 per core and one per row)
  --out DIR             write each batch row's results file and JSON into DIR
  --summary-csv FILE    the batch summary table (default DIR/batch_summary.csv, or standard
                        output without --out; - for standard output)

Exit status:
  0  success (for --check: no errors, warnings allowed)
  1  an input file, the run or an output file failed (for --batch: any row failed)
  2  the command line is not understood
)";
}

}  // namespace hdfe
