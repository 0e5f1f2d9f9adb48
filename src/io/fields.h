// Number fields of fixed-layout records. Rounding is of the exact binary value to
// d decimals, exact halves to even.
#pragma once
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#if defined(__x86_64__)
#include <emmintrin.h>
#endif

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
// Largest magnitude of the integer path: |value| 10^d stays below 10^18.
inline constexpr double FastLimit = 1e9;

inline constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// x rounded to an integer in the current rounding mode (to nearest, halves to even, unless
// changed), for |x| below 2^62.
inline int64_t round_to_integer(double x) {
#if defined(__x86_64__)
  return _mm_cvtsd_si64(_mm_set_sd(x));
#else
  return std::llrint(x);
#endif
}

// |value| 10^d rounded exactly to an integer, exact halves to even, for 0 <= d <= 9 and a
// finite |value| below 2^52 with |value| 10^d below 10^18.
uint64_t round_scaled(double value, int d);
// put_f0 for non-finite values and beyond the integer path.
char* put_f0_wide(char* at, double value, int d);
// put_f0 for 0 <= d <= 9 where |value| 10^d rounds to ShortLimit or more, or is NaN.
char* put_f0_long(char* at, double value, int d);
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

// Numbers of at most ShortDigits digits are written digit group by digit group from one
// binary fraction: q 10^-e as a 64.64 fixed-point number, whose integer part is the first
// group of one or two digits, and whose fraction times 10 or 100 yields the next group in
// its integer part. With the multiplier 2^64 / 10^e rounded up, the product exceeds the
// exact q 2^64 10^-e by less than q < 10^n for n digits, and no digit changes before the
// excess reaches 2^64 10^-e: exact while 10^(n + e) <= 2^64, and here n + e <= 17.
inline constexpr int ShortDigits = 9;
inline constexpr uint64_t ShortLimit = 1000000000;  // 10^ShortDigits

// ceil(2^64 / 10^e) for 1 <= e < ShortDigits.
constexpr uint64_t fraction_multiplier(int e) {
  const unsigned __int128 unit = static_cast<unsigned __int128>(1) << 64;
  const unsigned __int128 power = Pow10[e];
  return static_cast<uint64_t>((unit + power - 1) / power);
}

// Size of the digit group that starts at digit i of n with the point after digit w:
// groups of two ending at the point and at the end, a single digit first where the count
// before the point or after it is odd.
constexpr int group_size(int n, int w, int i) {
  return i < w ? ((w - i) % 2 != 0 ? 1 : 2) : ((n - i) >= 2 ? 2 : 1);
}

// Place of digit i of n with the point after digit w when w < n.
constexpr int digit_place(int n, int w, int i) { return i + (i >= w && w < n ? 1 : 0); }

// Writes a group of G digits, v < 10^G.
template <int G>
[[gnu::always_inline]] inline void put_group(char* p, uint64_t v) {
  if (v >= Pow10[G]) __builtin_unreachable();  // tells the compiler the table bounds hold
  if constexpr (G == 1) {
    *p = static_cast<char>('0' + v);
  } else {
    put_pair(p, v);
  }
}

// Writes digits I.. of the N digits whose remainder after digit I - 1 is the fraction y,
// the point (written by the caller) taking the place after digit W when W < N.
template <int N, int W, int I>
[[gnu::always_inline]] inline void put_groups(char* p, uint64_t y) {
  if constexpr (I < N) {
    constexpr int G = group_size(N, W, I);
    const unsigned __int128 t = static_cast<unsigned __int128>(y) * Pow10[G];
    put_group<G>(p + digit_place(N, W, I), static_cast<uint64_t>(t >> 64));
    put_groups<N, W, I + G>(p, static_cast<uint64_t>(t));
  }
}

// Writes the N digits of q < 10^N (leading zeros included), 1 <= N <= ShortDigits,
// leaving a place for the point after digit W when W < N.
template <int N, int W>
[[gnu::always_inline]] inline void put_fixed(char* p, uint64_t q) {
  static_assert(1 <= N && N <= ShortDigits && 0 <= W && W <= N);
  constexpr int G = group_size(N, W, 0);
  if constexpr (G == N) {
    put_group<G>(p + digit_place(N, W, 0), q);
  } else {
    const unsigned __int128 t = static_cast<unsigned __int128>(q) * fraction_multiplier(N - G);
    put_group<G>(p + digit_place(N, W, 0), static_cast<uint64_t>(t >> 64));
    put_groups<N, W, G>(p, static_cast<uint64_t>(t));
  }
}

// Writes q 10^-D for q < 10^(D + High), knowing q >= 10^(D + Low - 1) when Low > 0: W integer
// digits for the W in [Low, High] that q has (none when below 10^D), the point and D
// decimals. The count is found by halving the range.
template <int D, int Low, int High>
[[gnu::always_inline]] inline char* put_short_range(char* p, uint64_t q) {
  if constexpr (Low == High) {
    if constexpr (Low + D > 0) put_fixed<Low + D, Low>(p, q);
    p[Low] = '.';
    return p + Low + 1 + D;
  } else {
    constexpr int Mid = (Low + High + 1) / 2;
    if (q < Pow10[D + Mid - 1]) return put_short_range<D, Low, Mid - 1>(p, q);
    return put_short_range<D, Mid, High>(p, q);
  }
}

// Writes q 10^-D for q < ShortLimit: the integer digits (none when zero), the point and D
// decimals.
template <int D>
[[gnu::always_inline]] inline char* put_short(char* p, uint64_t q) {
  return put_short_range<D, 0, ShortDigits - D>(p, q);
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
[[gnu::always_inline]] inline char* put_f0(char* at, double value) {
  static_assert(0 <= D && D <= 9);
  const double scaled = value * fields_detail::Scale[D];
  // Below ShortLimit - 1 the rounded magnitude has at most ShortDigits digits (NaN fails).
  // There, far below 2^52, every integer and half of one is a double, and rounding never
  // steps over a double: the product computed in doubles lies on the same side of each as
  // the exact product does, or on it. Only when it lies half an integer or more off the
  // integer it rounds to (on a half, or in a rounding mode other than to nearest; the
  // difference is exact) does the exact rounding decide.
  if (std::fabs(scaled) < static_cast<double>(fields_detail::ShortLimit - 1)) {
    int64_t q = fields_detail::round_to_integer(scaled);
    if (std::fabs(scaled - static_cast<double>(q)) >= 0.5) [[unlikely]] {
      const auto exact = static_cast<int64_t>(fields_detail::round_scaled(value, D));
      q = value < 0 ? -exact : exact;
    }
    if (q < 0) {
      *at++ = '-';
      q = -q;
    }
    return fields_detail::put_short<D>(at, static_cast<uint64_t>(q));
  }
  return fields_detail::put_f0_long(at, value, D);
}

// Room any field writer of a column memo may take [characters]: F0 fields of up to nine
// decimals, shortest forms.
inline constexpr std::size_t MemoWriterRoom = std::max(F0Room + 9, ShortestRoom);
// The most characters these writers give zero: the point and nine zeros.
inline constexpr std::size_t MemoZeroBytes = 10;

// Writes a column's values as Write(at, value) does, remembering the text of the value
// written last if it has Bytes characters at most and writing it again while the value
// stays the same, as the columns of a trace do for long stretches (idling, cruising). It
// starts with the text of zero.
template <char* (*Write)(char*, double), std::size_t Bytes>
class ColumnMemo {
  static_assert(Bytes >= MemoZeroBytes, "the memo holds the text of zero from the start");

 public:
  ColumnMemo() {
    char scratch[MemoWriterRoom] = {};
    remember(0.0, scratch, Write(scratch, 0.0));
  }

  // Writes value at `at`, which has room for what Write may take and for Bytes characters,
  // and returns the end.
  [[gnu::always_inline]] char* put(char* at, double value) {
    if (std::bit_cast<uint64_t>(value) == bits_) [[likely]] {
      std::memcpy(at, text_, Bytes);
      return at + size_;
    }
    char* const end = Write(at, value);
    remember(value, at, end);
    return end;
  }

 private:
  [[gnu::always_inline]] void remember(double value, const char* at, const char* end) {
    const auto size = static_cast<std::size_t>(end - at);
    if (size > Bytes) return;
    bits_ = std::bit_cast<uint64_t>(value);
    size_ = size;
    std::memcpy(text_, at, Bytes);
  }

  uint64_t bits_ = 0;
  std::size_t size_ = 0;
  char text_[Bytes] = {};
};

}  // namespace hdfe
