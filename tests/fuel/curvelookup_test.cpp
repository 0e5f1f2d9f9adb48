#include "model/curvelookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace hdfe {

namespace {

TEST(Curvelookup, PointsSegmentsAndExtension) {
  const TorqueCurve c{{600, 1000, 1500, 2100}, {900, 1700, 2000, 1400}};
  EXPECT_EQ(curve_lookup(c, 600), 900.0);
  EXPECT_EQ(curve_lookup(c, 1000), 1700.0);
  EXPECT_EQ(curve_lookup(c, 1500), 2000.0);
  EXPECT_EQ(curve_lookup(c, 2100), 1400.0);
  EXPECT_EQ(curve_lookup(c, 1250), 1850.0);
  EXPECT_EQ(curve_lookup(c, 400), 500.0);    // first segment extended
  EXPECT_EQ(curve_lookup(c, 2400), 1100.0);  // last segment extended
}

TEST(Curvelookup, TwoPointCurveIsOneLine) {
  const TorqueCurve c{{500, 3000}, {-50, -300}};
  for (double s : {0.0, 500.0, 1000.0, 2000.0, 3000.0, 4000.0}) EXPECT_DOUBLE_EQ(curve_lookup(c, s), -50.0 - 0.1 * (s - 500.0));
}

// Ascending curves of 1 to 60 points with repeated speeds (a vertical drop at either end
// or inside), looked up at their points, between them, beyond both ends and at NaN, each
// from a hint at any segment, none or the segment of the previous lookup, and on the
// segment a lookup left whenever that segment holds the speed: the plain lookup's value to
// the last bit, the division by a zero width included.
TEST(IndexedCurve, EveryHintGivesThePlainLookupBitForBit) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); };
  for (int round = 0; round < 400; ++round) {
    TorqueCurve c;
    const int points = 1 + pick(60);
    double speed = 500.0 * unit(random);
    for (int p = 0; p < points; ++p) {
      if (p > 0 && pick(8) != 0) speed += pick(4) == 0 ? 8.0 : 200.0 * unit(random);  // else repeated
      c.speeds_rpm.push_back(speed);
      c.torques_nm.push_back(2000.0 * unit(random) - 300.0);
    }
    const IndexedCurve indexed(c);
    int hint = -1;
    IndexedCurve::Segment segment;
    for (int k = 0; k < 400; ++k) {
      double s = c.speeds_rpm[static_cast<std::size_t>(pick(c.point_count()))];
      if (pick(3) == 0) s = c.speeds_rpm.front() - 100.0 + (c.speeds_rpm.back() - c.speeds_rpm.front() + 200.0) * unit(random);
      if (pick(20) == 0) s = std::nextafter(c.speeds_rpm.back(), -std::numeric_limits<double>::infinity());
      if (pick(50) == 0) s = std::numeric_limits<double>::quiet_NaN();
      if (pick(4) == 0) hint = c.point_count() >= 2 ? pick(c.point_count() - 1) : -1;  // any segment
      if (pick(8) == 0) hint = -1;
      const uint64_t expected = std::bit_cast<uint64_t>(curve_lookup(c, s));
      ASSERT_EQ(std::bit_cast<uint64_t>(indexed(s)), expected) << "round " << round << " s " << s;
      ASSERT_EQ(std::bit_cast<uint64_t>(indexed.near(s, hint)), expected) << "round " << round << " s " << s;
      ASSERT_GE(hint, -1);
      ASSERT_LE(hint, std::max(c.point_count() - 2, -1));
      if (segment.holds(s)) {
        ASSERT_EQ(std::bit_cast<uint64_t>(segment.at(s)), expected) << "round " << round << " s " << s;
      }
      if (pick(2) == 0) {
        ASSERT_EQ(std::bit_cast<uint64_t>(indexed.near(s, hint, segment)), expected) << "round " << round << " s " << s;
        // The segment of the hint left, which holds s inside the speeds of an indexed
        // curve, and nothing without a hint.
        const bool inside = c.speeds_rpm.front() <= s && s < c.speeds_rpm.back();
        ASSERT_EQ(segment.holds(s), hint >= 0 && inside) << "round " << round << " s " << s;
        ASSERT_EQ(std::bit_cast<uint64_t>(segment.from), std::bit_cast<uint64_t>(indexed.segment(hint).from));
      }
    }
  }
}

// Speeds so close together that the buckets per rpm do not fit in a double: the curve
// is looked up plainly, at its ends and between its points alike.
TEST(IndexedCurve, ASpanTooNarrowForTheIndexIsLookedUpPlainly) {
  const TorqueCurve c{{0.0, 1e-310, 2e-310, 3e-310}, {100.0, 200.0, 300.0, 400.0}};
  const IndexedCurve indexed(c);
  for (const double s : {0.0, 5e-311, 1e-310, 2.5e-310, 3e-310, -1.0, 1.0}) {
    int hint = -1;
    EXPECT_EQ(std::bit_cast<uint64_t>(indexed(s)), std::bit_cast<uint64_t>(curve_lookup(c, s))) << s;
    EXPECT_EQ(std::bit_cast<uint64_t>(indexed.near(s, hint)), std::bit_cast<uint64_t>(curve_lookup(c, s))) << s;
  }
}

}  // namespace

}  // namespace hdfe
