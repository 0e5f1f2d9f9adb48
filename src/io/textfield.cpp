#include "hdfe/textfield.h"

namespace hdfe {

std::string text_field(std::string_view value) {
  std::string field(value.substr(0, TextFieldLength));
  field.resize(TextFieldLength, ' ');
  return field;
}

std::string_view trimmed(std::string_view field) {
  const std::size_t last = field.find_last_not_of(' ');
  return last == std::string_view::npos ? field.substr(0, 0) : field.substr(0, last + 1);
}

bool is_blank(std::string_view field) {
  return field.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace hdfe
