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

std::optional<std::string> read_input(std::string_view name) {
  std::ifstream file;
  if (!open_input(name, file)) return std::nullopt;
  // A read that fails part way keeps what came before, as a record reader would.
  std::string bytes;
  char block[16384];
  for (std::streamsize got; (got = file.rdbuf()->sgetn(block, sizeof block)) > 0;) {
    bytes.append(block, static_cast<std::size_t>(got));
  }
  return bytes;
}

const std::string* InputBytes::bytes(const std::string& name) {
  auto it = files_.find(name);
  if (it == files_.end()) it = files_.emplace(name, read_input(name)).first;
  return it->second ? &*it->second : nullptr;
}

InputReader::InputReader(const std::string& name, const std::string& missing, InputBytes* files) {
  const std::string* held = nullptr;
  if (files != nullptr) {
    held = files->bytes(name);
  } else if (std::optional<std::string> read = read_input(name)) {
    bytes_ = std::move(*read);
    held = &bytes_;
  }
  if (held == nullptr) throw Error(ErrorKind::MissingFile, missing, name);
  in_.text = *held;
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
