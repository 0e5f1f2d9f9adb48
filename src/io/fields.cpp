#include "io/fields.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace hdfe {

namespace fields_detail {

// |value| is m 2^-shift exactly, so the scaled value m 10^d 2^-shift (below 2^83 before
// the shift) rounds exactly in 128 bits.
uint64_t round_scaled(double value, int d) {
  const uint64_t bits = std::bit_cast<uint64_t>(value) & ~(uint64_t{1} << 63);
  const int exponent = static_cast<int>(bits >> 52);
  uint64_t m = bits & ((uint64_t{1} << 52) - 1);
  int shift = 1074;  // subnormal
  if (exponent != 0) {
    m |= uint64_t{1} << 52;
    shift = 1075 - exponent;  // at least 1 below 2^52
  }
  if (shift >= 90) return 0;  // below half of the last decimal place
  const unsigned __int128 scaled = static_cast<unsigned __int128>(m) * Pow10[d];
  const unsigned __int128 whole = scaled >> shift;
  const unsigned __int128 rest = scaled - (whole << shift);
  const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
  uint64_t q = static_cast<uint64_t>(whole);
  if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  return q;
}

// The least number of t + 1 decimal digits for t >= 1, and 0 for t = 0.
constexpr uint64_t DigitThreshold[] = {0,
                                       10,
                                       100,
                                       1000,
                                       10000,
                                       100000,
                                       1000000,
                                       10000000,
                                       100000000,
                                       1000000000,
                                       10000000000,
                                       100000000000,
                                       1000000000000,
                                       10000000000000,
                                       100000000000000,
                                       1000000000000000,
                                       10000000000000000,
                                       100000000000000000,
                                       1000000000000000000,
                                       10000000000000000000u};

char* put_digits_long(char* p, uint64_t v) {
  // The bit length times log10(2) is the digit count or one less.
  const int t = ((64 - std::countl_zero(v | 1)) * 1233) >> 12;
  char* const end = p + t + (v >= DigitThreshold[t] ? 1 : 0);
  char* r = end;
  while (v >= 100) {
    r -= 2;
    put_pair(r, v % 100);
    v /= 100;
  }
  if (v >= 10) {
    put_pair(r - 2, v);
  } else {
    r[-1] = static_cast<char>('0' + v);
  }
  return end;
}

}  // namespace fields_detail

namespace {

using fields_detail::FastLimit;
constexpr int FastDecimals = 9;

bool is_fast(double value, int d) { return d <= FastDecimals && std::fabs(value) < FastLimit; }

// A finite value rounded to d decimals, without its sign: the integer digits (none
// when the rounded magnitude is below 1), the point and d decimals.
struct Rounded {
  char small[24];
  std::string large;  // for magnitudes or decimals beyond the integer path
  std::string_view digits;
  bool negative = false;  // negative and not rounded to zero
  bool belowOne = false;  // the integer part is zero (digits then starts at the point)
};

// Beyond the integer path: the fixed-notation conversion of std::to_chars converts the
// exact binary value and rounds it to nearest, ties to even (as printf does).
void round_wide(double value, int d, Rounded& r) {
  std::string& text = r.large;
  text.resize(static_cast<std::size_t>(d) + 400);
  const auto end = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, d);
  text.resize(static_cast<std::size_t>(end.ptr - text.data()));
  if (d == 0) text += '.';
  std::size_t start = 0;
  if (text[0] == '-') start = 1;
  r.negative = start == 1 && text.find_first_of("123456789") != std::string::npos;
  r.belowOne = text[start] == '0' && text[start + 1] == '.';
  r.digits = std::string_view(text).substr(start + (r.belowOne ? 1 : 0));
}

void round_decimal(double value, int d, Rounded& r) {
  if (!is_fast(value, d)) {
    round_wide(value, d, r);
    return;
  }
  const char* const end = put_f0(r.small, value, d);  // at most 21 characters here
  r.negative = r.small[0] == '-';
  r.digits = std::string_view(r.small, static_cast<std::size_t>(end - r.small)).substr(r.negative ? 1 : 0);
  r.belowOne = r.digits[0] == '.';
}

void append_right_aligned(std::string& out, std::string_view text, int w) {
  out.append(static_cast<std::size_t>(w) - text.size(), ' ');
  out += text;
}

void append_non_finite(std::string& out, double value, int w) {
  const bool nan = std::isnan(value);
  const std::string_view full = nan ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
  const std::string_view brief = nan ? "NaN" : value < 0 ? "-Inf" : "Inf";
  if (full.size() <= static_cast<std::size_t>(w)) {
    append_right_aligned(out, full, w);
  } else if (brief.size() <= static_cast<std::size_t>(w)) {
    append_right_aligned(out, brief, w);
  } else {
    out.append(static_cast<std::size_t>(w), '*');
  }
}

std::string_view non_finite_f0(double value) {
  return std::isnan(value) ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
}

}  // namespace

char* fields_detail::put_f0_wide(char* at, double value, int d) {
  if (!std::isfinite(value)) {
    const std::string_view text = non_finite_f0(value);
    return std::copy(text.begin(), text.end(), at);
  }
  Rounded r;
  round_wide(value, d, r);
  if (r.negative) *at++ = '-';
  return std::copy(r.digits.begin(), r.digits.end(), at);
}

char* fields_detail::put_f0_long(char* at, double value, int d) {
  if (!(std::fabs(value) < FastLimit)) return put_f0_wide(at, value, d);  // NaN too
  const uint64_t q = round_scaled(value, d);
  if (q != 0 && std::signbit(value)) *at++ = '-';
  const uint64_t unit = fields_detail::Pow10[d];
  const uint64_t whole = q / unit;
  uint64_t fraction = q - whole * unit;
  if (whole != 0) at = fields_detail::put_digits_long(at, whole);
  *at = '.';
  char* const end = at + 1 + d;
  for (char* r = end; r != at + 1; fraction /= 10) *--r = static_cast<char>('0' + fraction % 10);
  return end;
}

char* put_f0(char* at, double value, int d) {
  switch (d) {
    case 1: return put_f0<1>(at, value);
    case 2: return put_f0<2>(at, value);
    case 3: return put_f0<3>(at, value);
    case 4: return put_f0<4>(at, value);
    case 5: return put_f0<5>(at, value);
    case 6: return put_f0<6>(at, value);
    case 7: return put_f0<7>(at, value);
    case 8: return put_f0<8>(at, value);
    case 9: return put_f0<9>(at, value);
    default: return d <= 0 ? put_f0<0>(at, value) : fields_detail::put_f0_wide(at, value, d);
  }
}

char* put_shortest(char* at, double value) {
  // A whole number of magnitude below 10^5 is its digits, no longer than its exponent form.
  const double magnitude = std::fabs(value);
  if (magnitude < 1e5) {
    const auto whole = static_cast<int64_t>(magnitude);
    if (static_cast<double>(whole) == magnitude) {
      if (std::signbit(value)) *at++ = '-';
      return fields_detail::put_digits(at, static_cast<uint64_t>(whole));
    }
  }
  return std::to_chars(at, at + ShortestRoom, value).ptr;
}

void append_f0(std::string& out, double value, int d) {
  if (d < 0) d = 0;
  if (d <= FastDecimals && !(std::fabs(value) >= FastLimit)) {  // NaN too
    char text[32];
    out.append(text, put_f0(text, value, d));
    return;
  }
  const std::size_t at = out.size();
  out.resize(at + F0Room + static_cast<std::size_t>(d));
  out.resize(static_cast<std::size_t>(put_f0(out.data() + at, value, d) - out.data()));
}

void append_i0(std::string& out, int64_t value) {
  char text[I0Room];
  out.append(text, put_i0(text, value));
}

void append_f(std::string& out, double value, int w, int d) {
  if (w <= 0) {
    append_f0(out, value, d);
    return;
  }
  if (!std::isfinite(value)) {
    append_non_finite(out, value, w);
    return;
  }
  Rounded r;
  round_decimal(value, d < 0 ? 0 : d, r);
  const std::size_t width = static_cast<std::size_t>(w);
  const std::size_t length = r.digits.size() + (r.negative ? 1 : 0);
  if (length > width) {
    out.append(width, '*');
    return;
  }
  const bool zero = r.belowOne && length < width;
  out.append(width - length - (zero ? 1 : 0), ' ');
  if (r.negative) out += '-';
  if (zero) out += '0';
  out += r.digits;
}

void append_i(std::string& out, int64_t value, int w) {
  char text[I0Room];
  const std::string_view digits(text, static_cast<std::size_t>(put_i0(text, value) - text));
  if (w <= 0) {
    out += digits;
  } else if (digits.size() > static_cast<std::size_t>(w)) {
    out.append(static_cast<std::size_t>(w), '*');
  } else {
    append_right_aligned(out, digits, w);
  }
}

std::string format_f(double value, int w, int d) {
  std::string field;
  append_f(field, value, w, d);
  return field;
}

std::string format_i(int64_t value, int w) {
  std::string field;
  append_i(field, value, w);
  return field;
}

std::string format_f0(double value, int d) {
  std::string field;
  append_f0(field, value, d);
  return field;
}

std::string format_i0(int64_t value) {
  std::string field;
  append_i0(field, value);
  return field;
}

}  // namespace hdfe
