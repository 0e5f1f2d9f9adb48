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

namespace {

// The rest of an open file. A read that fails part way keeps what came before, as a record
// reader would.
std::string rest_of(std::istream& file) {
  std::string bytes;
  char block[16384];
  for (std::streamsize got; (got = file.rdbuf()->sgetn(block, sizeof block)) > 0;) {
    bytes.append(block, static_cast<std::size_t>(got));
  }
  return bytes;
}

}  // namespace

std::optional<std::string> read_input(std::string_view name) {
  std::ifstream file;
  if (!open_input(name, file)) return std::nullopt;
  return rest_of(file);
}

const std::string* InputBytes::bytes(const std::string& name) {
  auto it = files_.find(name);
  if (it == files_.end()) it = files_.emplace(name, read_input(name)).first;
  return it->second ? &*it->second : nullptr;
}

const std::string& InputBytes::bytes(const std::string& name, std::istream& opened) {
  auto it = files_.find(name);
  if (it == files_.end() || !it->second) it = files_.insert_or_assign(name, rest_of(opened)).first;
  return *it->second;
}

InputReader::InputReader(const std::string& name, const std::string& missing, InputBytes* files) {
  if (!open_input(name, file_)) throw Error(ErrorKind::MissingFile, missing, name);
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(name, ec);
  if (ec || size > WholeInputBytes) {
    in_.stream = &file_;
  } else if (files != nullptr) {
    in_.text = files->bytes(name, file_);
  } else {
    bytes_ = rest_of(file_);
    in_.text = bytes_;
  }
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
