#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <limits>
#include <random>

#include "io/fields.h"

namespace hdfe {

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

struct FCase {
  double value;
  int w, d;  // w 0: the minimal-width form
  const char* expected;
};

TEST(Fields, Reals) {
  const FCase cases[] = {
      {5.0, 8, 4, "  5.0000"}, {0.45, 5, 2, " 0.45"}, {0.96, 8, 6, "0.960000"}, {100000, 8, 2, "********"},
      {-0.04, 10, 1, "       0.0"}, {0.5, 3, 2, ".50"}, {0.5, 4, 2, "0.50"}, {-0.5, 4, 2, "-.50"},
      {-0.5, 3, 2, "***"}, {0.96, 3, 1, "1.0"}, {999.96, 5, 1, "*****"}, {9.995, 5, 2, " 9.99"},
      {2.5, 3, 0, " 2."}, {3.5, 3, 0, " 4."}, {-0.5, 3, 0, " 0."}, {1e300, 9, 2, "*********"},
      {Inf, 10, 2, "  Infinity"}, {-Inf, 8, 2, "    -Inf"}, {Inf, 3, 1, "Inf"}, {-Inf, 3, 1, "***"},
      {-NaN, 3, 1, "NaN"}, {NaN, 2, 1, "**"},
      {80, 0, 4, "80.0000"}, {650.04, 0, 1, "650.0"}, {0.5, 0, 2, ".50"}, {-0.5, 0, 2, "-.50"},
      {0, 0, 4, ".0000"}, {-0.0, 0, 1, ".0"}, {-0.04, 0, 1, ".0"}, {0.125, 0, 2, ".12"}, {0.375, 0, 2, ".38"},
      {1.0625, 0, 3, "1.062"}, {0.05, 0, 1, ".1"}, {0.15, 0, 1, ".1"}, {-0.999, 0, 2, "-1.00"},
      {1e22, 0, 1, "10000000000000000000000.0"}, {-Inf, 0, 1, "-Infinity"}, {NaN, 0, 1, "NaN"}};
  for (const FCase& c : cases) {
    EXPECT_EQ(c.w ? format_f(c.value, c.w, c.d) : format_f0(c.value, c.d), c.expected) << c.value << " F" << c.w << "." << c.d;
  }
}

TEST(Fields, LongExactExpansionIsComplete) {
  const std::string text = format_f0(std::numeric_limits<double>::denorm_min(), 1100);  // 4.94...e-324
  EXPECT_EQ(text.size(), 1101u);
  EXPECT_EQ(text.substr(320, 8), "00004940");
  EXPECT_EQ(text.find_last_not_of('0'), 1074u);  // the last digit of 2^-1074
}

TEST(Fields, Integers) {
  EXPECT_EQ(format_i(999, 2), "**");
  EXPECT_EQ(format_i(-3, 12), "          -3");
  EXPECT_EQ(format_i(-100, 3), "***");
  EXPECT_EQ(format_i(std::numeric_limits<int64_t>::min(), 20), "-9223372036854775808");
  EXPECT_EQ(format_i0(0), "0");
  EXPECT_EQ(format_i0(-42), "-42");
}

}  // namespace

// The exact rounding must agree with the C library's "%.*f" on values of every scale,
// including exact halves at d decimals.
TEST(Fields, F0AgreesWithPrintfOnRandomValues) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> scale(-8, 12);
  for (int n = 0; n < 200000; ++n) {
    const int d = n % 7 + 1;
    double value = mantissa(random) * std::pow(10.0, scale(random));
    if (n % 3 == 0) value = std::round(value * 1024.0) / 1024.0;  // many exact ties
    char expected[512];
    std::snprintf(expected, sizeof expected, "%.*f", d, value);
    std::string text = expected;
    const bool negative = text[0] == '-';
    if (negative) text.erase(0, 1);
    if (text.compare(0, 2, "0.") == 0) text.erase(0, 1);
    if (negative && text.find_first_of("123456789") != std::string::npos) text.insert(text.begin(), '-');
    ASSERT_EQ(format_f0(value, d), text) << value << " d=" << d;
  }
}

}  // namespace hdfe
