// Opening of input files and the reads of a file's fixed part, shared by the readers.
#pragma once
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "hdfe/freeform.h"
#include "hdfe/error.h"

namespace hdfe {

// Opens the file `name` for reading in binary mode, so that records end at LF and the
// record reader drops a CR before it. False when it cannot be opened, is not a regular
// file (a directory, a device, a pipe) or its name holds a NUL.
bool open_input(std::string_view name, std::ifstream& file);

// The bytes of the file `name`, opened as open_input opens it; none when it cannot be opened.
std::optional<std::string> read_input(std::string_view name);

// An input file opened as open_input opens it, by its descriptor: no stream is set up for a
// file that is read whole. Closed with the object.
class InputFd {
 public:
  // Opens `name`; open() tells whether it could be.
  explicit InputFd(std::string_view name);
  ~InputFd();
  InputFd(const InputFd&) = delete;
  InputFd& operator=(const InputFd&) = delete;

  bool open() const { return fd_ >= 0; }
  std::uintmax_t size_bytes() const { return size_; }
  // The rest of the file. A read that fails part way keeps what came before, as a record
  // reader would.
  std::string rest() const;

 private:
  int fd_ = -1;
  std::uintmax_t size_ = 0;
};

// The input files of one load, each read once: its reader and then the checks of its text
// take the same bytes. Not shared between threads.
class InputBytes {
 public:
  // The bytes of the file `name` (read_input), read at the first call; null when it
  // cannot be opened.
  const std::string* bytes(const std::string& name);
  // The same, read from `opened` (the file `name` just opened) at the first call.
  const std::string& bytes(const std::string& name, const InputFd& opened);

 private:
  std::map<std::string, std::optional<std::string>, std::less<>> files_;
};

// Input files up to this size are read whole for their records (and through an InputBytes,
// once for the checks of their text too); a larger one is read record by record, so that a
// reader that stops early, at a bad value or a file over its limit, reads no further.
inline constexpr std::uintmax_t WholeInputBytes = std::uintmax_t{16} << 20;

// An input file read for its records.
class InputReader {
 public:
  // Opens the file `name`, reading it through `files` when given; throws a MissingFile
  // Error with the message `missing` when it cannot be opened.
  InputReader(const std::string& name, const std::string& missing, InputBytes* files = nullptr);
  InputReader(const InputReader&) = delete;
  InputReader& operator=(const InputReader&) = delete;

  RecordInput& records() { return in_; }

 private:
  std::unique_ptr<std::ifstream> file_;  // only for a file read record by record
  std::string bytes_;  // the file's bytes, when read whole and not held by an InputBytes
  RecordInput in_;
};

// The stop for a file that ends inside its fixed part (kind EndOfFile). The same wording
// for every input file.
Error end_of_file_stop(std::string_view name);

// One free-form read of a file's fixed part. End of file stops with end_of_file_stop(name);
// a bad value stops with the message `badLine` (kind BadValue). A text value longer than
// its field stops with name_too_long_stop when `textName` names the value; without a name
// (a header) its first 1024 characters are kept.
void read_fixed(RecordInput& in, std::span<const ReadTarget> targets, std::string_view name,
               const std::string& badLine, std::string_view textName = {});

}  // namespace hdfe
