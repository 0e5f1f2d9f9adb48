// Text from input files written as valid UTF-8, whatever bytes it holds.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace hdfe {

// The length of the valid UTF-8 sequence that starts at text[at], or 0 when the byte there
// starts none (a stray continuation byte, an overlong form, a surrogate, a cut sequence).
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

// The text as valid UTF-8 without NUL: each byte that is not part of a valid UTF-8 sequence,
// and each NUL, is written \xHH (two upper-case hex digits). A run of backslashes that comes
// before such an escape, or before a literal 'x' and two hex digits, is doubled, so that
// unescape_bytes() gives the bytes back. Anything else, all valid UTF-8 text without such a
// backslash, is returned unchanged.
std::string escape_bytes(std::string_view text);

// The bytes escape_bytes() was given: in a run of n backslashes before 'x' and two hex
// digits, n / 2 backslashes are kept, and when n is odd the last one and the digits are the
// byte they name. Other text is kept as it is.
std::string unescape_bytes(std::string_view text);

}  // namespace hdfe
