// The spec-file values a batch row may replace, read as the spec file's values are.
#include <array>
#include <vector>
#include <sstream>

#include "hdfe/batch.h"
#include "hdfe/freeform.h"
#include "hdfe/textfield.h"
#include "hdfe/values.h"

namespace hdfe {

namespace {

// The file names of the values, in spec-file order.
const std::vector<std::string_view>& names() {
  static const std::vector<std::string_view> list = [] {
    std::vector<std::string_view> out;
    for (const SpecValueInfo& info : spec_value_table()) out.push_back(info.file_name);
    return out;
  }();
  return list;
}

}  // namespace

std::span<const std::string_view> override_names() { return names(); }

void apply_override(SpecValues& values, std::string_view name, std::string_view text) {
  const SpecValueInfo* info = find_spec_value(name);
  if (info == nullptr || info->file_name != name) {
    throw Error(ErrorKind::Usage, "Unknown spec-file value " + std::string(name));
  }
  std::string textValue = text_field("");
  double real = 0.0;
  int32_t integer = 0;
  const ReadTarget t = info->kind == ValueKind::Text                                              ? text_var(textValue)
                       : info->kind == ValueKind::Real || info->kind == ValueKind::OptionalReal ? real_var(real)
                                                                                                : int_var(integer);
  const Error bad(ErrorKind::BadValue, "Failed to read " + std::string(name) + " value [ " + std::string(text) + " ]");
  // One value only: a second one, a null, a slash or a repeat count would be read from a spec
  // file's line but silently dropped or misread from a cell.
  const std::size_t first = text.find_first_not_of(" \t");
  const std::size_t last = text.find_last_not_of(" \t");
  if (first == std::string_view::npos) throw bad;
  const std::string_view value = text.substr(first, last - first + 1);
  const bool quoted = value.front() == '\'' || value.front() == '"';
  if (value.find_first_of("\r\n") != std::string_view::npos ||
      (!quoted && value.find_first_of(" \t,/*") != std::string_view::npos)) {
    throw bad;
  }
  std::istringstream stream{std::string(value)};
  RecordInput in;
  in.stream = &stream;
  if (read_free(in, std::span(&t, 1)) != ReadStatus::Done) throw bad;
  switch (info->kind) {
    case ValueKind::Text: set_spec_value(values, *info, std::string(trimmed(textValue))); break;
    case ValueKind::Real:
    case ValueKind::OptionalReal: set_spec_value(values, *info, real); break;
    case ValueKind::Integer: set_spec_value(values, *info, integer); break;
    case ValueKind::Switch: set_spec_value(values, *info, integer == SwitchOn); break;
  }
}

}  // namespace hdfe
