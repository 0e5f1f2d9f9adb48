#include "hdfe/error.h"

#include <utility>

namespace hdfe {

Error::Error(ErrorKind kind, std::string message, std::string file, int64_t line)
    : std::runtime_error(message),
      kind_(kind),
      message_(std::move(message)),
      file_(std::move(file)),
      line_(line),
      text_(message_) {}

Error Error::with_detail(std::string detail) && {
  text_ += "; ";
  text_ += detail;
  details_.push_back(std::move(detail));
  return std::move(*this);
}

const char* error_kind_name(ErrorKind kind) noexcept {
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

}  // namespace hdfe
