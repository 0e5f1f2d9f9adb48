#include "hdfe/error.h"

#include <utility>

namespace hdfe {

namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += '\n';
    text += line;
  }
  return text;
}

}  // namespace

Error::Error(std::vector<std::string> lines, int status, ErrorKind kind, std::string file, int64_t line)
    : std::runtime_error(joined(lines)),
      lines_(std::move(lines)),
      status_(status),
      kind_(kind),
      file_(std::move(file)),
      line_(line) {}

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
