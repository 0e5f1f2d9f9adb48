#include "input/inputfile.h"

#include <filesystem>
#include <system_error>

bool OPENINPUT(std::string_view name, std::ifstream& file) {
  const std::filesystem::path path{std::string(name)};
  std::error_code ec;
  if (name.empty() || std::filesystem::is_directory(path, ec)) return false;
  file.open(path, std::ios::in | std::ios::binary);
  return file.is_open();
}

RunStop ENDOFFILESTOP(std::string_view name) {
  std::string line = " End of file reached in [ ";
  line += name;
  line += " ] before all values were read";
  return RunStop{{line}, 1};
}

void READFIXED(RecordInput& in, std::span<const ReadTarget> targets, std::string_view name,
               const std::string& badLine) {
  switch (READFREE(in, targets)) {
    case ReadStatus::Done:
      return;
    case ReadStatus::End:
      throw ENDOFFILESTOP(name);
    case ReadStatus::Bad:
      throw RunStop{{badLine}, 0};
  }
}
