#include "textio/fields.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace hdfe {

namespace {

// A finite value rounded to d decimals, without its sign: the integer digits (none
// when the rounded magnitude is below 1), the point and d decimals.
struct Rounded {
  std::string digits;
  bool negative = false;  // negative and not rounded to zero
  bool belowOne = false;  // the integer part is zero (digits then starts at the point)
};

// The fixed-notation conversion of std::to_chars converts the exact binary value and
// rounds it to nearest, ties to even (as printf does), so only the sign and the leading
// zero need fixing afterwards.
Rounded round_decimal(double value, int d) {
  char buffer[512];
  std::string text;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, d);
  if (result.ec == std::errc()) {
    text.assign(buffer, result.ptr);
  } else {
    text.resize(static_cast<std::size_t>(d) + 400);
    const auto wide = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, d);
    text.resize(static_cast<std::size_t>(wide.ptr - text.data()));
  }
  if (d == 0) text += '.';
  Rounded r;
  std::size_t start = 0;
  if (text[0] == '-') start = 1;
  r.negative = start == 1 && text.find_first_of("123456789") != std::string::npos;
  r.belowOne = text[start] == '0' && text[start + 1] == '.';
  r.digits = text.substr(start + (r.belowOne ? 1 : 0));
  return r;
}

std::string right_aligned(std::string_view text, int w) {
  std::string field(static_cast<std::size_t>(w), ' ');
  field.replace(field.size() - text.size(), text.size(), text);
  return field;
}

std::string asterisks(int w) { return std::string(static_cast<std::size_t>(w), '*'); }

std::string non_finite(double value, int w) {
  const bool nan = std::isnan(value);
  const std::string_view full = nan ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
  const std::string_view brief = nan ? "NaN" : value < 0 ? "-Inf" : "Inf";
  if (full.size() <= static_cast<std::size_t>(w)) return right_aligned(full, w);
  if (brief.size() <= static_cast<std::size_t>(w)) return right_aligned(brief, w);
  return asterisks(w);
}

}  // namespace

std::string format_f(double value, int w, int d) {
  if (w <= 0) return format_f0(value, d);
  if (!std::isfinite(value)) return non_finite(value, w);
  const Rounded r = round_decimal(value, d < 0 ? 0 : d);
  const std::size_t width = static_cast<std::size_t>(w);
  std::size_t length = r.digits.size() + (r.negative ? 1 : 0);
  if (length > width) return asterisks(w);
  const bool zero = r.belowOne && length < width;
  std::string field(width - length - (zero ? 1 : 0), ' ');
  if (r.negative) field += '-';
  if (zero) field += '0';
  field += r.digits;
  return field;
}

std::string format_i(int64_t value, int w) {
  if (w <= 0) return format_i0(value);
  const std::string text = format_i0(value);
  if (text.size() > static_cast<std::size_t>(w)) return asterisks(w);
  return right_aligned(text, w);
}

std::string format_f0(double value, int d) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
  Rounded r = round_decimal(value, d < 0 ? 0 : d);
  if (r.negative) r.digits.insert(r.digits.begin(), '-');
  return r.digits;
}

std::string format_i0(int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace hdfe
