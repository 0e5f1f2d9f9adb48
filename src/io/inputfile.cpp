#include "io/inputfile.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "hdfe/textfield.h"

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
  if (!open_input(name, file_)) throw Error(ErrorKind::MissingFile, missing, name);
  in_.stream = &file_;
}

Error end_of_file_stop(std::string_view name) {
  std::string line = "End of file reached in [ ";
  line += name;
  line += " ] before all values were read";
  return Error(ErrorKind::EndOfFile, line, std::string(name));
}

Error name_too_long_stop(std::string_view what, std::string_view where) {
  std::string line = "Name too long: ";
  line += what;
  line += where;
  line += " has more than " + std::to_string(TextFieldLength) + " characters";
  return Error(ErrorKind::Limit, line);
}

void read_fixed(RecordInput& in, std::span<const ReadTarget> targets, std::string_view name,
               const std::string& badLine, std::string_view textName) {
  switch (read_free(in, targets)) {
    case ReadStatus::Done:
      return;
    case ReadStatus::TooLong:
      if (textName.empty()) return;
      throw name_too_long_stop(textName, " in [ " + std::string(name) + " ]");
    case ReadStatus::End:
      throw end_of_file_stop(name);
    case ReadStatus::Bad:
      throw Error(ErrorKind::BadValue, badLine, std::string(name), in.line);
  }
}

}  // namespace hdfe
