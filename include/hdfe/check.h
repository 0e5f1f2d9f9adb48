// --check: every input file read and checked without running.
#pragma once
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace hdfe {

// A problem found in an input file.
struct CheckFinding {
  enum class Severity { Error, Warning };
  std::string file;  // as named on the command line or in the file naming it
  int64_t line = 0;  // 1-based; 0 when the problem is not on one line
  Severity severity = Severity::Error;
  std::string message;
};

// Reads and checks the vehicle of the spec file, every file it names, and every spec value
// against its range (spec_value_table()); names inside the files are taken from the working
// directory, as a run takes them. Every problem found, in the order found.
std::vector<CheckFinding> check_findings(const std::filesystem::path& spec);

// Writes check_findings(spec) as `file:line: error|warning: message` and a count line.
// Returns 1 when there are errors, else 0.
int run_check(const std::string& spec, std::ostream& out);

}  // namespace hdfe
