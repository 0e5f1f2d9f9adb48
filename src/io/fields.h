// Number fields of fixed-layout records. Rounding is of the exact binary value to
// d decimals, exact halves to even.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace hdfe {

// Fw.d: right-aligned in exactly w characters; w asterisks when it does not fit.
std::string format_f(double value, int w, int d);
// Iw: right-aligned in exactly w characters; w asterisks when it does not fit.
std::string format_i(int64_t value, int w);
// F0.d: fewest characters, no zero before the decimal point below magnitude 1.
std::string format_f0(double value, int d);
// I0: fewest digits.
std::string format_i0(int64_t value);

// The same fields appended to out.
void append_f(std::string& out, double value, int w, int d);
void append_i(std::string& out, int64_t value, int w);
void append_f0(std::string& out, double value, int d);
void append_i0(std::string& out, int64_t value);

// Room an F0.d field may take besides its d decimals: a sign, 309 integer digits and
// the point [characters].
inline constexpr std::size_t F0Room = 311;
// Room an I0 field may take [characters].
inline constexpr std::size_t I0Room = 20;

// Writes F0.d at `at`, which has room for F0Room + d characters; returns the end.
char* put_f0(char* at, double value, int d);
// Writes I0 at `at`, which has room for I0Room characters; returns the end.
inline char* put_i0(char* at, int64_t value);
// Room the shortest form of a double may take [characters].
inline constexpr std::size_t ShortestRoom = 32;
// Writes the shortest form that reads back as the same double, as std::to_chars writes it
// (fixed or exponent form, whichever is shorter), at `at`, which has room for ShortestRoom
// characters; returns the end.
char* put_shortest(char* at, double value);

// put_f0 for decimals 0 <= D <= 9 fixed when compiling, inlined into record writers.
template <int D>
inline char* put_f0(char* at, double value);

namespace fields_detail {

inline constexpr uint64_t Pow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
inline constexpr double Scale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
// Largest magnitude of the integer path besides the near one: |value| 10^d stays below 10^18.
inline constexpr double FastLimit = 1e9;
// Below NearLimit every integer and half of one is a double, and rounding to nearest
// never steps over a double: |value| 10^d computed in doubles lies on the same side of
// each as the exact product does, or on it. Only then does the exact rounding decide.
inline constexpr double NearLimit = 0x1p52;

inline constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// |value| 10^d rounded exactly to an integer, exact halves to even, for 0 <= d <= 9 and a
// finite |value| below 2^52 with |value| 10^d below 10^18.
uint64_t round_scaled(double value, int d);
// put_f0 for non-finite values and beyond the integer path.
char* put_f0_wide(char* at, double value, int d);
// Writes the decimal digits of v (a single 0 for 0).
char* put_digits_long(char* p, uint64_t v);

inline void put_pair(char* p, uint64_t v) { std::memcpy(p, DigitPairs + 2 * v, 2); }

// put_digits_long, with the common short numbers written inline.
inline char* put_digits(char* p, uint64_t v) {
  if (v < 100) {
    if (v < 10) {
      *p = static_cast<char>('0' + v);
      return p + 1;
    }
    put_pair(p, v);
    return p + 2;
  }
  if (v < 10000) {
    const uint64_t high = v / 100;
    if (v < 1000) {
      *p = static_cast<char>('0' + high);
      put_pair(p + 1, v - 100 * high);
      return p + 3;
    }
    put_pair(p, high);
    put_pair(p + 2, v - 100 * high);
    return p + 4;
  }
  return put_digits_long(p, v);
}

// Writes q 10^-D: the integer digits (none when zero), the point and D decimals.
template <int D>
inline char* put_scaled(char* p, uint64_t q) {
  constexpr uint64_t Unit = Pow10[D];
  const uint64_t whole = q / Unit;
  auto fraction = static_cast<uint32_t>(q - whole * Unit);
  if (whole != 0) p = put_digits(p, whole);
  *p = '.';
  char* const end = p + 1 + D;
  char* r = end;
  for (int k = 0; k < D / 2; ++k) {
    r -= 2;
    put_pair(r, fraction % 100);
    fraction /= 100;
  }
  if constexpr (D % 2 != 0) r[-1] = static_cast<char>('0' + fraction);
  return end;
}

}  // namespace fields_detail

inline char* put_i0(char* at, int64_t value) {
  auto magnitude = static_cast<uint64_t>(value);
  if (value < 0) {
    *at++ = '-';
    magnitude = 0 - magnitude;
  }
  return fields_detail::put_digits(at, magnitude);
}

template <int D>
inline char* put_f0(char* at, double value) {
  static_assert(0 <= D && D <= 9);
  const double magnitude = std::fabs(value);
  const double scaled = magnitude * fields_detail::Scale[D];
  uint64_t q = 0;
  if (scaled < fields_detail::NearLimit) {
    const auto whole = static_cast<int64_t>(scaled);
    const double fraction = scaled - static_cast<double>(whole);  // exact
    if (fraction < 0.5) {
      q = static_cast<uint64_t>(whole);
    } else if (fraction > 0.5) {
      q = static_cast<uint64_t>(whole) + 1;
    } else {
      q = fields_detail::round_scaled(value, D);
    }
  } else if (magnitude < fields_detail::FastLimit) {
    q = fields_detail::round_scaled(value, D);
  } else {
    return fields_detail::put_f0_wide(at, value, D);  // NaN too
  }
  if (q != 0 && std::signbit(value)) *at++ = '-';
  return fields_detail::put_scaled<D>(at, q);
}

}  // namespace hdfe
