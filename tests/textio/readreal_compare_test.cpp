// Reals read free-form against strtod of the text with its exponent rewritten as 'e'
// (the conversion the reader used before): same values bit for bit, same rejections.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "hdfe/freeform.h"

namespace hdfe {

namespace {

#if HDFE_SANITIZED
constexpr int Tokens = 20000;
#else
constexpr int Tokens = 200000;
#endif

bool digit(char c) { return c >= '0' && c <= '9'; }
bool sign(char c) { return c == '+' || c == '-'; }

// The former conversion, as a reference.
bool old_parse_real(const std::string& t, double& value) {
  std::string n;
  std::size_t p = 0, digits = 0;
  if (p < t.size() && sign(t[p])) n += t[p++];
  for (; p < t.size() && digit(t[p]); ++p, ++digits) n += t[p];
  if (p < t.size() && t[p] == '.') n += t[p++];
  for (; p < t.size() && digit(t[p]); ++p, ++digits) n += t[p];
  if (digits == 0) return false;
  if (p < t.size()) {
    const char c = t[p];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++p;
    } else if (!sign(c)) {
      return false;
    }
    n += 'e';
    if (p < t.size() && sign(t[p])) n += t[p++];
    const std::size_t first = p;
    for (; p < t.size() && digit(t[p]); ++p) n += t[p];
    if (p == first || p != t.size()) return false;
  }
  const double x = std::strtod(n.c_str(), nullptr);
  if (!std::isfinite(x)) return false;
  value = x;
  return true;
}

std::string random_token(std::mt19937_64& random) {
  const auto pick = [&](const std::string& from) { return from[random() % from.size()]; };
  const auto digits = [&](int most) {
    std::string d;
    for (int k = static_cast<int>(random() % (most + 1)); k > 0; --k) d += pick("0123456789");
    return d;
  };
  std::string t;
  if (random() % 3 == 0) t += pick("+-");
  t += digits(random() % 10 == 0 ? 40 : 8);
  if (random() % 2 == 0) t += '.';
  t += digits(random() % 10 == 0 ? 40 : 6);
  switch (random() % 6) {
    case 0: break;
    case 1: t += pick("EeDd"); break;
    case 2: t += pick("EeDd"); t += pick("+-"); break;
    case 3: t += pick("+-"); break;
    default: t += pick("EeDd+-x.");
  }
  if (!t.empty() && !digit(t.back()) && random() % 8 != 0) t += digits(3);
  if (random() % 50 == 0) t += pick("x.+e");  // trailing garbage
  return t;
}

// Reads the token as one real; the real keeps -1 when it is rejected.
bool read_one(const std::string& token, double& value) {
  std::istringstream stream(token + "\n");
  RecordInput in;
  in.stream = &stream;
  value = -1.0;
  const std::array<ReadTarget, 1> list{real_var(value)};
  return read_free(in, list) == ReadStatus::Done;
}

}  // namespace

TEST(ReadRealCompare, SameValuesAsStrtod) {
  std::mt19937_64 random(4);
  const std::string fixed[] = {"1e-400", "-1d-400", "4.9e-324", "2.4703282292062327e-324", "1e308", "1.8e308",
                               "1+400", "2.2250738585072011e-308", "0.1", "+.5", "5.", "-0", "1.5+3",
                               "1.5d-3", "1.5D3", ".", "+", "e5", "1e", "1d+", "0x10", "inf", "nan"};
  int accepted = 0;
  for (int n = 0; n < Tokens + static_cast<int>(std::size(fixed)); ++n) {
    const std::string token = n < static_cast<int>(std::size(fixed)) ? fixed[n] : random_token(random);
    double expected = -1.0, actual = -1.0;
    const bool ok = old_parse_real(token, expected);
    ASSERT_EQ(read_one(token, actual), ok) << token;
    if (!ok) continue;
    ++accepted;
    ASSERT_EQ(std::bit_cast<uint64_t>(actual), std::bit_cast<uint64_t>(expected)) << token;
  }
  EXPECT_GT(accepted, Tokens / 3);
}


// Plain decimals of 13 to 17 digits, across the 15 digits converted by one division,
// with the point at every place (none, leading, trailing), leading zeros, signs and
// halfway-looking tails: the value strtod reads, to the last bit.
TEST(ReadRealCompare, PlainDecimalsAroundFifteenDigits) {
  std::mt19937_64 random(15);
  const std::string fixed[] = {"999999999999999", "999999999999999.", ".999999999999999", "-0.000000000000000",
                               "0.100000000000000", "9007199254740993", "900719925474099.3", "000000000000001",
                               "-.000000000000001", "+123456789012345", "0.30000000000000004", "2.50000000000000"};
  for (const std::string& token : fixed) {
    double actual = -1.0;
    ASSERT_TRUE(read_one(token, actual)) << token;
    ASSERT_EQ(std::bit_cast<uint64_t>(actual), std::bit_cast<uint64_t>(std::strtod(token.c_str(), nullptr))) << token;
  }
  for (int n = 0; n < Tokens / 4; ++n) {
    const int digits = 13 + static_cast<int>(random() % 5);
    std::string body;
    for (int k = 0; k < digits; ++k) body += static_cast<char>('0' + random() % 10);
    if (random() % 4 == 0) {
      body[body.size() - 2] = '5';
      body.back() = '0';
    }
    const std::size_t point = random() % (body.size() + 2);  // past the end: no point
    std::string token = random() % 3 == 0 ? "-" : "";
    for (std::size_t k = 0; k <= body.size(); ++k) {
      if (k == point) token += '.';
      if (k < body.size()) token += body[k];
    }
    double actual = -1.0;
    ASSERT_TRUE(read_one(token, actual)) << token;
    ASSERT_EQ(std::bit_cast<uint64_t>(actual), std::bit_cast<uint64_t>(std::strtod(token.c_str(), nullptr))) << token;
  }
}

}  // namespace hdfe
