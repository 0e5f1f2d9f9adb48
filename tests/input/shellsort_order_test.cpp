// The Shell sort must leave every entry exactly where the entry-by-entry swap procedure
// leaves it, equal keys included, however large the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "io/shellsort.h"

namespace hdfe {

namespace {

using Column = std::vector<double>;

// The procedure as stated: gaps (n + 1) div 2 halved down to 1, swapping entries j and
// j + g (1-based) while key(j) > key(j + g).
void SwapProcedure(Column& key, Column& tag) {
  const long n = static_cast<long>(key.size());
  for (long g = (n + 1) / 2; g > 0; g /= 2) {
    for (long k = g + 1; k <= n; ++k) {
      for (long j = k - g; j >= 1 && key[j - 1] > key[j + g - 1]; j -= g) {
        std::swap(key[j - 1], key[j + g - 1]);
        std::swap(tag[j - 1], tag[j + g - 1]);
      }
    }
  }
}

TEST(ShellSortOrder, EqualKeysEndWhereTheSwapProcedurePutsThem) {
  std::mt19937 random(20221014);
  for (int trial = 0; trial < 3000; ++trial) {
    const std::size_t n = random() % 70;
    const unsigned distinct = 1 + random() % 6;  // few distinct keys: many ties
    Column key(n), tag(n), other(n);
    for (std::size_t i = 0; i < n; ++i) {
      key[i] = static_cast<double>(random() % distinct);
      tag[i] = static_cast<double>(i);
      other[i] = -static_cast<double>(i);
    }
    if (trial % 3 == 0) std::sort(key.begin(), key.end());  // in order already, ties included
    Column expectedKey = key, expectedTag = tag;
    SwapProcedure(expectedKey, expectedTag);
    shell_sort(key, tag, other);
    ASSERT_EQ(key, expectedKey) << "trial " << trial;
    ASSERT_EQ(tag, expectedTag) << "trial " << trial;
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(other[i], -tag[i]);
  }
}

TEST(ShellSortOrder, NaNKeysFollowTheSwapProcedure) {
  Column key = {3, NAN, 1, 2, 0}, tag = {0, 1, 2, 3, 4};
  Column expectedKey = key, expectedTag = tag;
  SwapProcedure(expectedKey, expectedTag);
  shell_sort(key, tag);
  EXPECT_EQ(tag, expectedTag);
}

// Small keys at the odd 1-based positions and large ones at the even: every gap but the
// last is even, so the swap procedure leaves all the work to the last pass, n^2 / 8 swaps.
TEST(ShellSortOrder, InterleavedHalvesAreNotQuadratic) {
  const std::size_t n = std::size_t{1} << 18;
  Column key(n), tag(n);
  for (std::size_t p = 1; p <= n; ++p) {
    key[p - 1] = p % 2 == 1 ? static_cast<double>(p / 2) : static_cast<double>(n + p / 2);
    tag[p - 1] = static_cast<double>(p);
  }
  const auto start = std::chrono::steady_clock::now();
  shell_sort(key, tag);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(std::is_sorted(key.begin(), key.end()));
  EXPECT_LT(seconds, 20.0);  // the swap procedure needs about 8.6e9 swaps here
}

}  // namespace

}  // namespace hdfe
