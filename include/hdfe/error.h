// The error every failing step of loading, checking, running or writing throws.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace hdfe {

enum class ErrorKind {
  MissingFile,     // an input file cannot be opened
  BadValue,        // a value of an input file cannot be read
  EndOfFile,       // an input file ends before all its values were read
  UnknownCategory, // the category code is not one of the 25 categories
  VehicleCheck,    // the vehicle as described cannot be driven
  Interpolation,   // the fuel map cannot be interpolated
  CannotWrite,     // an output file cannot be written
  Console,         // the console ended before a file name was given
  Limit,           // an input or a run exceeds a size or time limit
  BadResult,       // a figure of the run is not a positive finite number
  Usage,           // the command line is not understood
};

// The name of an error kind, e.g. "missing_file".
const char* error_kind_name(ErrorKind kind) noexcept;

// what() is the lines joined by LF.
class Error : public std::runtime_error {
 public:
  Error(std::vector<std::string> lines, int status, ErrorKind kind = ErrorKind::BadValue, std::string file = {},
        int64_t line = 0);

  // The lines the command line writes to standard error, each as one record.
  const std::vector<std::string>& lines() const noexcept { return lines_; }
  // The exit status the command line gives this failure.
  int status() const noexcept { return status_; }
  ErrorKind kind() const noexcept { return kind_; }
  // The file the error is about, where there is one.
  const std::string& file() const noexcept { return file_; }
  // The line of the file where reading stopped; 0 when not known.
  int64_t line() const noexcept { return line_; }

 private:
  std::vector<std::string> lines_;
  int status_ = 1;
  ErrorKind kind_ = ErrorKind::BadValue;
  std::string file_;
  int64_t line_ = 0;
};

}  // namespace hdfe
