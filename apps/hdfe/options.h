// The command line: the specified form `hdfe [SPEC [OUTPUT]]` and the options that add to it.
#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hdfe {

struct CommandLine {
  std::vector<std::string> names;   // SPEC and OUTPUT, as given (at most two)
  bool help = false;
  bool version = false;
  bool summary = false;             // a plain results block after the console output
  std::optional<std::string> json;      // --json FILE ("-": standard output)
  std::optional<std::string> trace_csv; // --trace-csv FILE ("-": standard output)
  std::optional<std::string> check;     // --check SPEC
  // Engineering runs.
  std::vector<std::string> cycles;      // --cycle NAME|FILE, in order: the cycles run instead of the built-in ones
  std::vector<std::string> sets;        // --set NAME=VALUE, in order (each name once)
  bool list_cycles = false;             // --list-cycles
  std::vector<std::string> routes;      // --route FILE, in order: routes driven instead of cycles
  std::optional<double> route_speed_km_per_h;  // --route-speed KMH: the limit of a GPX track
  // Batch runs.
  bool batch = false;
  std::optional<std::string> manifest;      // --batch MANIFEST
  std::optional<std::string> sweep_spec;    // --sweep SPEC NAME=... ...
  std::vector<std::string> sweeps;          // NAME=START:STOP:STEP or NAME=v1,v2,...
  std::optional<int> jobs;                  // --jobs N
  std::optional<std::string> out_dir;       // --out DIR
  std::optional<std::string> summary_csv;   // --summary-csv FILE ("-": standard output)
};

// The exit statuses of the program.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;  // an input, run or output error
inline constexpr int ExitUsage = 2;    // the command line is not understood

// Parses the arguments after the program name. Throws Error of kind Usage on an
// unknown option, a missing option value, more than two names, options that cannot go
// together (--check or --list-cycles with anything else, two outputs to standard output,
// --set with a batch), a --set that names no value or gives one that cannot be read, and a
// results-file name (OUTPUT) for a run that is no standard run (a --cycle or an engineering
// value set).
CommandLine parse_command_line(const std::vector<std::string>& args);

// Whether the command runs something other than the standard vehicle on the built-in cycles:
// a --cycle, a --route, or an engineering value set with --set. Such a run writes no results
// file.
bool engineering_run(const CommandLine& c);

// The --set assignment split into its value's name and text.
std::pair<std::string, std::string> set_assignment(const std::string& assignment);

// The text of --help.
std::string usage_text();

}  // namespace hdfe
