#include "input/inputfile.h"

#include <filesystem>
#include <system_error>

namespace hdfe {

bool open_input(std::string_view name, std::ifstream& file) {
  // A NUL would cut the name the system opens; a device or a pipe may never end.
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  const std::filesystem::path path{std::string(name)};
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  file.open(path, std::ios::in | std::ios::binary);
  return file.is_open();
}

InputReader::InputReader(const std::string& name, const std::string& missing) {
  if (!open_input(name, file_)) throw Error({missing}, 0, ErrorKind::MissingFile, name);
  in_.stream = &file_;
}

RunStop end_of_file_stop(std::string_view name) {
  std::string line = " End of file reached in [ ";
  line += name;
  line += " ] before all values were read";
  return Error({line}, 1, ErrorKind::EndOfFile, std::string(name));
}

void read_fixed(RecordInput& in, std::span<const ReadTarget> targets, std::string_view name,
               const std::string& badLine) {
  switch (read_free(in, targets)) {
    case ReadStatus::Done:
      return;
    case ReadStatus::End:
      throw end_of_file_stop(name);
    case ReadStatus::Bad:
      throw Error({badLine}, 0, ErrorKind::BadValue, std::string(name), in.line);
  }
}

}  // namespace hdfe
