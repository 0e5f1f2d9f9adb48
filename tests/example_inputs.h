// Reading a vehicle's input files from inside its folder, as the program does (the file
// names in them are relative to the working directory).
#pragma once
#include <filesystem>

#include "driver/run.h"
#include "textio/textfield.h"

namespace hdfe {

inline void read_inputs_in(const std::filesystem::path& dir, RunRecords& r) {
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  r.inputName = text_field("spec.txt");
  read_inputs(r);
  std::filesystem::current_path(home);
}

}  // namespace hdfe
