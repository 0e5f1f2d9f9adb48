// Reading a cycle from CSV text: a file's, or the text of a library cycle built into the
// program, so that both give the same cycle to the bit.
#pragma once
#include <istream>
#include <string>

#include "hdfe/cycle.h"

namespace hdfe {

// Reads the cycle that the CSV text of `in` gives (as read_cycle_file describes), naming
// `file` and its line in errors; the cycle is named `name`. Throws Error (BadValue).
Cycle read_cycle_stream(std::istream& in, const std::string& file, std::string name);

}  // namespace hdfe
