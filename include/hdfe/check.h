// --check: every input file read and checked without running.
#pragma once
#include <ostream>
#include <string>

namespace hdfe {

// Reads and checks the vehicle of the spec file; writes every problem found as
// `file:line: error|warning: message`. Returns 1 when there are errors, else 0.
int run_check(const std::string& spec, std::ostream& out);

}  // namespace hdfe
