// Writing a prepared report block to the results file.
#pragma once
#include <string_view>

namespace hdfe {

enum class WriteMode { Replace, Append };

// Writes content to the named file in one piece, replacing the file or appending to
// it. Stops the run with status 1 when the file cannot be opened, written or closed.
void write_output(std::string_view name, std::string_view content, WriteMode mode);

}  // namespace hdfe
