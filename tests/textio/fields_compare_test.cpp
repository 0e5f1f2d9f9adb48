// The integer-path number fields against the conversion they replace (std::to_chars of
// the exact value, then sign and leading zero fixed), on random values of every scale,
// exact halves and values next to them.
#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "io/fields.h"

namespace hdfe {

namespace {

#if HDFE_SANITIZED
constexpr int Values = 100000;
#else
constexpr int Values = 1000000;
#endif

struct OldRounded {
  std::string digits;
  bool negative = false;
  bool belowOne = false;
};

OldRounded old_round_decimal(double value, int d) {
  std::string text(static_cast<std::size_t>(d) + 400, '\0');
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, d);
  text.resize(static_cast<std::size_t>(result.ptr - text.data()));
  if (d == 0) text += '.';
  OldRounded r;
  std::size_t start = 0;
  if (text[0] == '-') start = 1;
  r.negative = start == 1 && text.find_first_of("123456789") != std::string::npos;
  r.belowOne = text[start] == '0' && text[start + 1] == '.';
  r.digits = text.substr(start + (r.belowOne ? 1 : 0));
  return r;
}

std::string old_format_f0(double value, int d) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
  OldRounded r = old_round_decimal(value, d < 0 ? 0 : d);
  if (r.negative) r.digits.insert(r.digits.begin(), '-');
  return r.digits;
}

std::string old_format_f(double value, int w, int d) {
  if (!std::isfinite(value)) return format_f(value, w, d);  // unchanged path
  const OldRounded r = old_round_decimal(value, d < 0 ? 0 : d);
  const std::size_t width = static_cast<std::size_t>(w);
  const std::size_t length = r.digits.size() + (r.negative ? 1 : 0);
  if (length > width) return std::string(width, '*');
  const bool zero = r.belowOne && length < width;
  std::string field(width - length - (zero ? 1 : 0), ' ');
  if (r.negative) field += '-';
  if (zero) field += '0';
  return field + r.digits;
}

// A value of one of several kinds; d is the decimals it will be written with.
double random_value(std::mt19937_64& random, int d) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double sign = random() % 2 == 0 ? 1.0 : -1.0;
  const double scale = std::pow(10.0, static_cast<int>(random() % 12) - 3);
  const double place = std::pow(10.0, -d);
  // v moved by up to two representable values either way
  const auto nudged = [&random](double v) {
    const int steps = static_cast<int>(random() % 5) - 2;
    for (int s = 0; s < std::abs(steps); ++s) v = std::nextafter(v, steps > 0 ? 1e300 : -1e300);
    return v;
  };
  switch (random() % 15) {
    case 0: {  // an exact half of the last place: an odd multiple of 2^-(d + 1)
      const double odd = 2.0 * std::floor(unit(random) * 1e6) + 1.0;
      return sign * std::ldexp(odd, -(d + 1));
    }
    case 1:  // on and next to a decimal halfway point
      return sign * nudged((std::floor(unit(random) * 1e6) + 0.5) * place);
    case 2: return sign * std::bit_cast<double>(random());  // any bit pattern: huge, tiny, NaN
    case 3: return sign * std::nextafter(1e9, static_cast<double>(random() % 2 == 0 ? 0 : 1e300));
    case 4: return sign * std::round(unit(random) * 1e6) / 1024.0;  // binary fractions
    case 5: {  // |value| 10^d a little off a half, by less and more than its doubles' spacing
      const double whole = std::floor(unit(random) * std::ldexp(1.0, static_cast<int>(random() % 33)));
      const double off = std::ldexp(static_cast<double>(static_cast<int>(random() % 9) - 4), -(18 + static_cast<int>(random() % 8)));
      return sign * (whole + 0.5 + off) * place;
    }
    case 6:  // |value| 10^d next to 2^52 (or 2^32), where doubles stop holding every half
      return sign * nudged((std::ldexp(1.0, random() % 2 == 0 ? 52 : 32) + static_cast<double>(static_cast<int>(random() % 5) - 2) * 0.5) * place);
    case 7:  // next to a power of ten rounded up to the next digit, 9.9995 for instance
      return sign * nudged(std::pow(10.0, static_cast<int>(random() % 13) - 3) - 0.5 * place);
    case 8:  // negatives rounding to zero, or just not
      return -nudged(0.5 * place * (random() % 2 == 0 ? 1.0 : unit(random)));
    case 9:  // subnormal
      return sign * std::bit_cast<double>(random() & ((uint64_t{1} << 52) - 1));
    case 10: return sign * unit(random) * 1e20;  // beyond the integer path
    case 11: {  // |value| 10^d on and next to the first and last numbers of a count of digits
      const double whole = std::pow(10.0, static_cast<int>(random() % 19));
      return sign * nudged((whole + 0.5 * static_cast<double>(static_cast<int>(random() % 5) - 2)) * place);
    }
    default: return sign * unit(random) * scale;
  }
}

}  // namespace

TEST(FieldsCompare, F0AndFwMatchTheOldConversion) {
  std::mt19937_64 random(20261207);
  for (int n = 0; n < Values; ++n) {
    const int d = static_cast<int>(random() % 11);
    const double value = random_value(random, d);
    const std::string expected = old_format_f0(value, d);
    ASSERT_EQ(format_f0(value, d), expected) << value << " d=" << d;
    char text[400];
    ASSERT_EQ(std::string(text, put_f0(text, value, d)), expected) << value << " d=" << d;
    if (std::isfinite(value) && n % 4 == 0) {
      const int w = static_cast<int>(1 + random() % 16);
      ASSERT_EQ(format_f(value, w, d), old_format_f(value, w, d)) << value << " F" << w << "." << d;
    }
  }
}

// The forms with the decimals fixed when compiling, as record writers use them.
template <int D>
void expect_fixed_form_matches(std::mt19937_64& random, int values) {
  char text[400];
  for (int n = 0; n < values; ++n) {
    const double value = random_value(random, D);
    ASSERT_EQ(std::string(text, put_f0<D>(text, value)), old_format_f0(value, D)) << value << " d=" << D;
  }
}

template <int... D>
void expect_fixed_forms_match(std::mt19937_64& random, std::integer_sequence<int, D...>) {
  (expect_fixed_form_matches<D>(random, Values / 10), ...);
}

TEST(FieldsCompare, FixedDecimalsFormsMatchTheOldConversion) {
  std::mt19937_64 random(20261208);
  expect_fixed_forms_match(random, std::make_integer_sequence<int, 10>());
}

// The digits of q 10^-D as the short path writes them, against the digits of the integer:
// every q below 10^5, q next to each power of ten below the path's limit and random q of
// every count of digits.
template <int D>
void expect_short_digits_match(const std::vector<uint64_t>& values) {
  for (const uint64_t q : values) {
    std::string digits = std::to_string(q);
    if (digits.size() < static_cast<std::size_t>(D)) digits.insert(0, static_cast<std::size_t>(D) - digits.size(), '0');
    const std::size_t whole = digits.size() - static_cast<std::size_t>(D);
    const std::string expected =
        (q >= fields_detail::Pow10[D] ? digits.substr(0, whole) : std::string()) + "." + digits.substr(whole);
    char text[32];
    ASSERT_EQ(std::string(text, fields_detail::put_short<D>(text, q)), expected) << q << " d=" << D;
  }
}

template <int... D>
void expect_short_digits_match(const std::vector<uint64_t>& values, std::integer_sequence<int, D...>) {
  (expect_short_digits_match<D>(values), ...);
}

// The rounding stays exact, halves to even, whatever the rounding mode of the arithmetic.
TEST(FieldsCompare, FixedDecimalsFormsIgnoreTheRoundingMode) {
  const int mode = std::fegetround();
  for (const int other : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    std::mt19937_64 random(20261212 + static_cast<unsigned>(other));
    ASSERT_EQ(std::fesetround(other), 0);
    expect_fixed_forms_match(random, std::make_integer_sequence<int, 10>());
    std::fesetround(mode);
    if (HasFailure()) break;
  }
  std::fesetround(mode);
}

TEST(FieldsCompare, ShortDigitsMatchTheIntegerDigits) {
  std::vector<uint64_t> values;
  for (uint64_t q = 0; q < 100000; ++q) values.push_back(q);
  for (uint64_t power = 10; power < fields_detail::ShortLimit; power *= 10) {
    for (uint64_t q = power - 3; q <= power + 3; ++q) values.push_back(q);
  }
  values.push_back(fields_detail::ShortLimit - 1);
  std::mt19937_64 random(20261211);
  for (int n = 0; n < Values / 10; ++n) {
    values.push_back(random() % fields_detail::Pow10[1 + random() % fields_detail::ShortDigits]);
  }
  expect_short_digits_match(values, std::make_integer_sequence<int, 10>());
}

TEST(FieldsCompare, I0MatchesToChars) {
  std::vector<int64_t> values = {0, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
  for (uint64_t power = 1; power <= 1000000000000000000u; power *= 10) {
    for (const int64_t near : {-1, 0, 1}) {
      values.push_back(static_cast<int64_t>(power) + near);
      values.push_back(-static_cast<int64_t>(power) - near);
    }
  }
  std::mt19937_64 random(20261209);
  for (int n = 0; n < 100000; ++n) values.push_back(static_cast<int64_t>(random()) >> (random() % 64));
  for (const int64_t value : values) {
    char text[I0Room];
    char expected[I0Room];
    const auto end = std::to_chars(expected, expected + I0Room, value).ptr;
    ASSERT_EQ(std::string(text, put_i0(text, value)), std::string(expected, end)) << value;
  }
}

TEST(FieldsCompare, ShortestMatchesToChars) {
  std::vector<double> values = {0.0, -0.0, 1e5, -1e5, 99999.5, 1e15, 1e16, 0.5, -0.25, 1e-300, 4.9e-324,
                                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::max()};
  for (int whole = -100010; whole <= 100010; ++whole) {
    const double v = whole;
    values.insert(values.end(), {v, std::nextafter(v, -1e300), std::nextafter(v, 1e300)});
  }
  std::mt19937_64 random(20261210);
  for (int n = 0; n < Values / 10; ++n) values.push_back(random_value(random, static_cast<int>(random() % 10)));
  for (const double value : values) {
    char text[ShortestRoom];
    char expected[ShortestRoom];
    const auto end = std::to_chars(expected, expected + ShortestRoom, value).ptr;
    ASSERT_EQ(std::string(text, put_shortest(text, value)), std::string(expected, end)) << value;
  }
}

TEST(FieldsCompare, AppendingVariantsAppend) {
  std::string out = "x";
  append_f0(out, -0.5, 2);
  append_f(out, 2.5, 4, 0);
  append_i0(out, -7);
  append_i(out, 123, 2);
  append_i(out, 5, 3);
  append_f0(out, 1e300, 1);
  EXPECT_EQ(out.substr(0, 17), "x-.50  2.-7**  51");
  EXPECT_EQ(out.size(), 17u + 300u + 2u);
  char text[I0Room];
  EXPECT_EQ(std::string(text, put_i0(text, std::numeric_limits<int64_t>::min())), "-9223372036854775808");
}

}  // namespace hdfe
