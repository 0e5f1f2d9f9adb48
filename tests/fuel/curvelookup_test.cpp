#include "fuel/curvelookup.h"

#include <gtest/gtest.h>

namespace hdfe {

namespace {

TEST(Curvelookup, PointsSegmentsAndExtension) {
  const TorqueCurve c{4, {600, 1000, 1500, 2100}, {900, 1700, 2000, 1400}};
  EXPECT_EQ(curve_lookup(c, 600), 900.0);
  EXPECT_EQ(curve_lookup(c, 1000), 1700.0);
  EXPECT_EQ(curve_lookup(c, 1500), 2000.0);
  EXPECT_EQ(curve_lookup(c, 2100), 1400.0);
  EXPECT_EQ(curve_lookup(c, 1250), 1850.0);
  EXPECT_EQ(curve_lookup(c, 400), 500.0);    // first segment extended
  EXPECT_EQ(curve_lookup(c, 2400), 1100.0);  // last segment extended
}

TEST(Curvelookup, TwoPointCurveIsOneLine) {
  const TorqueCurve c{2, {500, 3000}, {-50, -300}};
  for (double s : {0.0, 500.0, 1000.0, 2000.0, 3000.0, 4000.0}) EXPECT_DOUBLE_EQ(curve_lookup(c, s), -50.0 - 0.1 * (s - 500.0));
}

}  // namespace

}  // namespace hdfe
