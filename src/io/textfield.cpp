#include "hdfe/textfield.h"

#include <cstdint>
#include <cstring>

namespace hdfe {

std::string text_field(std::string_view value) {
  std::string field(value.substr(0, TextFieldLength));
  field.resize(TextFieldLength, ' ');
  return field;
}

std::string_view trimmed(std::string_view field) {
  // A field is mostly the blanks that pad it to TextFieldLength: passed eight at a time.
  constexpr uint64_t EightBlanks = 0x2020202020202020;
  std::size_t n = field.size();
  for (uint64_t word = 0; n >= sizeof word; n -= sizeof word) {
    std::memcpy(&word, field.data() + n - sizeof word, sizeof word);
    if (word != EightBlanks) break;
  }
  while (n > 0 && field[n - 1] == ' ') --n;
  return field.substr(0, n);
}

bool is_blank(std::string_view field) {
  return field.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace hdfe
