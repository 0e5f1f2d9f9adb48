#include "io/inputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

InputFd::InputFd(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return;
  const std::string path(name);
  // Only a regular file is opened: opening a pipe or a device may wait or act on it.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  size_ = static_cast<std::uintmax_t>(st.st_size);
}

InputFd::~InputFd() {
  if (fd_ >= 0) ::close(fd_);
}

std::string InputFd::rest() const {
  constexpr std::size_t Block = 16384;
  // Room for the size the file had when opened and one byte more, so that the read that
  // finds its end needs no growth; a file that grew since is read on to its new end.
  std::string bytes(static_cast<std::size_t>(size_) + 1, '\0');
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) bytes.resize(bytes.size() + Block);
    const ssize_t n = ::read(fd_, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

std::optional<std::string> read_input(std::string_view name) {
  const InputFd file(name);
  if (!file.open()) return std::nullopt;
  return file.rest();
}

const std::string* InputBytes::bytes(const std::string& name) {
  auto it = files_.find(name);
  if (it == files_.end()) it = files_.emplace(name, read_input(name)).first;
  return it->second ? &*it->second : nullptr;
}

const std::string& InputBytes::bytes(const std::string& name, const InputFd& opened) {
  auto it = files_.find(name);
  if (it == files_.end() || !it->second) it = files_.insert_or_assign(name, opened.rest()).first;
  return *it->second;
}

InputReader::InputReader(const std::string& name, const std::string& missing, InputBytes* files) {
  const InputFd opened(name);
  if (!opened.open()) throw Error(ErrorKind::MissingFile, missing, name);
  if (opened.size_bytes() > WholeInputBytes) {
    file_ = std::make_unique<std::ifstream>();
    if (!open_input(name, *file_)) throw Error(ErrorKind::MissingFile, missing, name);
    in_.stream = file_.get();
  } else if (files != nullptr) {
    in_.text = files->bytes(name, opened);
  } else {
    bytes_ = opened.rest();
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
