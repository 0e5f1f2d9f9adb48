#include "io/readspec.h"

#include <array>
#include <cmath>
#include <fstream>
#include <string>

#include "io/inputfile.h"
#include "hdfe/freeform.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"
#include "hdfe/values.h"

namespace hdfe {

SpecValues read_spec(std::string_view name, InputBytes* files) {
  const std::string file_name(trimmed(name));
  InputReader reader(file_name, "Cannot open spec-file : " + file_name, files);
  RecordInput& in = reader.records();
  const std::string bad_line = "Failed to read spec_data file";
  // One value per read, in file order. A value that a null or a slash leaves unread starts
  // as zero or blanks.
  SpecValues values;
  for (const SpecValueInfo& info : spec_value_table()) {
    // The engineering values come after the file's and are not in it.
    if (info.kind == ValueKind::OptionalReal) break;
    std::string text = text_field("");
    double real = 0.0;
    int32_t integer = 0;
    // A name too long for its field is refused; a cut category code is refused as unknown.
    std::string_view too_long = info.file_name;
    ReadTarget target = real_var(real);
    switch (info.kind) {
      case ValueKind::Text:
        target = text_var(text);
        if (info.name == "category_code") too_long = {};
        break;
      case ValueKind::Real:
      case ValueKind::OptionalReal: break;
      case ValueKind::Integer:
      case ValueKind::Switch: target = int_var(integer); break;
    }
    read_fixed(in, std::span(&target, 1), file_name, bad_line, info.kind == ValueKind::Text ? too_long : "");
    switch (info.kind) {
      case ValueKind::Text: set_spec_value(values, info, std::string(trimmed(text))); break;
      case ValueKind::Real: set_spec_value(values, info, real); break;
      case ValueKind::Integer: set_spec_value(values, info, integer); break;
      case ValueKind::Switch: set_spec_value(values, info, integer == SwitchOn); break;
      case ValueKind::OptionalReal: break;
    }
  }
  return values;
}

}  // namespace hdfe
