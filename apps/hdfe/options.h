// The command line: the specified form `hdfe [SPEC [OUTPUT]]` and the options that add to it.
#pragma once
#include <optional>
#include <string>
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
// together (--check with anything else, two outputs to standard output).
CommandLine parse_command_line(const std::vector<std::string>& args);

// The text of --help.
std::string usage_text();

}  // namespace hdfe
