// Opening of input files and the reads of a file's fixed part, shared by the readers.
#pragma once
#include <fstream>
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

// An input file opened for reading, with the record reader over it.
class InputReader {
 public:
  // Opens the file `name`; throws a MissingFile Error with the message `missing` when
  // it cannot be opened.
  InputReader(const std::string& name, const std::string& missing);
  InputReader(const InputReader&) = delete;
  InputReader& operator=(const InputReader&) = delete;

  RecordInput& records() { return in_; }

 private:
  std::ifstream file_;
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
