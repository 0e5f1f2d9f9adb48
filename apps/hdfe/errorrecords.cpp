#include "errorrecords.h"

#include "console.h"

#include <string_view>

#include "hdfe/freeform.h"
#include "hdfe/textfield.h"
#include "options.h"

namespace hdfe {

namespace {

constexpr std::string_view HelpPointer = " Try 'hdfe --help'.";

// A detail "name = value" with the value right-aligned in a 12-character field.
std::string aligned_value(const std::string& detail) {
  constexpr std::size_t Width = 12;
  const std::size_t equals = detail.find(" = ");
  if (equals == std::string::npos) return detail;
  const std::string_view value = std::string_view(detail).substr(equals + 3);
  std::string record = detail.substr(0, equals + 3);
  if (value.size() < Width) record.append(Width - value.size(), ' ');
  record += value;
  return record;
}

}  // namespace

// Every record is the message or a detail after one blank, but for three records whose form
// users' scripts have always matched: the missing spec file after two blanks, the unreadable
// spec value with a blank after it, and the failed interpolation, whose call site fills a
// whole name field, followed by its return code unindented and aligned.
std::vector<std::string> error_records(const Error& error) {
  const std::string& message = error.message();
  std::vector<std::string> records;
  if (error.kind() == ErrorKind::Interpolation) {
    records.push_back(text_field(message));
    for (std::size_t k = 0; k < error.details().size(); ++k) {
      const std::string& detail = error.details()[k];
      records.push_back(k == 0 ? aligned_value(detail) : " " + detail);
    }
    return records;
  }
  if (error.kind() == ErrorKind::MissingFile && message.starts_with("Cannot open spec-file :")) {
    records.push_back("  " + message);
  } else if (error.kind() == ErrorKind::BadValue && message == "Failed to read spec_data file") {
    records.push_back(" " + message + " ");
  } else {
    records.push_back(" " + message);
  }
  for (const std::string& detail : error.details()) records.push_back(" " + detail);
  if (error.kind() == ErrorKind::Usage) records.emplace_back(HelpPointer);
  return records;
}

int error_status(const Error& error) { return error.kind() == ErrorKind::Usage ? ExitUsage : ExitFailure; }

int report_error(const Error& error) {
  Console(stdout).flush();
  Console errors(stderr);
  for (const std::string& record : error_records(error)) errors << record << RecordEnd;
  errors.flush();
  return error_status(error);
}

}  // namespace hdfe
