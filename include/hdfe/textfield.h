// Fixed-length text fields: names and text values of 1024 characters, blank-padded.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "hdfe/error.h"

namespace hdfe {

inline constexpr std::size_t TextFieldLength = 1024;

// The value cut or blank-padded to exactly TextFieldLength characters.
std::string text_field(std::string_view value);

// The field without its trailing blanks.
std::string_view trimmed(std::string_view field);

// True when the field holds nothing but blanks.
bool is_blank(std::string_view field);

// The stop for a name longer than its 1024-character field: `what` names it, `where` says
// where it was given. Kind Limit.
Error name_too_long_stop(std::string_view what, std::string_view where);

}  // namespace hdfe
