// The library's cycle files, built into the program from data/cycles/*.csv.
#pragma once
#include <span>
#include <string_view>

namespace hdfe {

struct EmbeddedCycleFile {
  std::string_view name;  // the file's stem, e.g. "hd-udds"
  std::string_view text;  // the file's bytes
};

// In the order of their names.
std::span<const EmbeddedCycleFile> embedded_cycle_files();

}  // namespace hdfe
