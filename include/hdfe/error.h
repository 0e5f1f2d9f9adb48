// The error every failing step of loading, checking, running or writing throws; whole in this
// header, so that every layer and every user has it without linking anything.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
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
inline const char* error_kind_name(ErrorKind kind) noexcept {
  switch (kind) {
    case ErrorKind::MissingFile: return "missing_file";
    case ErrorKind::BadValue: return "bad_value";
    case ErrorKind::EndOfFile: return "end_of_file";
    case ErrorKind::UnknownCategory: return "unknown_category";
    case ErrorKind::VehicleCheck: return "vehicle_check";
    case ErrorKind::Interpolation: return "interpolation";
    case ErrorKind::CannotWrite: return "cannot_write";
    case ErrorKind::Console: return "console";
    case ErrorKind::Limit: return "limit";
    case ErrorKind::BadResult: return "bad_result";
    case ErrorKind::Usage: return "usage";
  }
  return "unknown";
}

// what() is one line: the message, then each detail after "; ". Neither the message nor a
// detail starts or ends with a blank.
class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, std::string message, std::string file = {}, int64_t line = 0)
      : std::runtime_error(message),
        kind_(kind),
        message_(std::move(message)),
        file_(std::move(file)),
        line_(line),
        text_(message_) {}

  // The same error with a further line of detail (a failed interpolation's return code).
  Error with_detail(std::string detail) && {
    text_ += "; ";
    text_ += detail;
    details_.push_back(std::move(detail));
    return std::move(*this);
  }

  ErrorKind kind() const noexcept { return kind_; }
  // What went wrong, without the details.
  const std::string& message() const noexcept { return message_; }
  // Further lines, in order; most errors have none.
  const std::vector<std::string>& details() const noexcept { return details_; }
  // The file the error is about, where there is one.
  const std::string& file() const noexcept { return file_; }
  // The line of the file where reading stopped; 0 when not known.
  int64_t line() const noexcept { return line_; }
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  ErrorKind kind_ = ErrorKind::BadValue;
  std::string message_;
  std::vector<std::string> details_;
  std::string file_;
  int64_t line_ = 0;
  std::string text_;  // what()
};

}  // namespace hdfe
