// Reading a vehicle's input files from inside its folder, as the program does (the file
// names in them are relative to the working directory).
#pragma once
#include <filesystem>

#include "driver/run.h"
#include "textio/textfield.h"

inline void READINPUTSIN(const std::filesystem::path& dir, RunRecords& r) {
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  r.inputName = TEXTFIELD("spec.txt");
  READINPUTS(r);
  std::filesystem::current_path(home);
}
