#include <gtest/gtest.h>

#include <vector>

#include "io/readcurves.h"
#include "io/shellsort.h"
#include "inputfiles.h"

namespace hdfe {

namespace {

using Column = std::vector<double>;

TEST(ShellSort, DescendingKeysCarryTheirEntries) {
  Column key = {5, 4, 3, 2, 1};
  Column tag = {50, 40, 30, 20, 10};
  shell_sort(key, tag);
  EXPECT_EQ(key, (Column{1, 2, 3, 4, 5}));
  EXPECT_EQ(tag, (Column{10, 20, 30, 40, 50}));
}

TEST(ShellSort, EqualKeysTakeTheOrderOfTheProcedure) {
  // The gap-2 swap moves the second 1 in front of the first: not a stable sort.
  Column key = {2, 1, 1};
  Column tag = {0, 1, 2};
  shell_sort(key, tag);
  EXPECT_EQ(key, (Column{1, 1, 2}));
  EXPECT_EQ(tag, (Column{2, 1, 0}));
}

TEST(ShellSort, EmptyAndSingleEntry) {
  Column none;
  shell_sort(none, none);
  Column one = {7};
  Column tag = {1};
  shell_sort(one, tag);
  EXPECT_EQ(one, Column{7});
  EXPECT_EQ(tag, Column{1});
}

class CurveSort : public InputFiles {};

TEST_F(CurveSort, TorqueCurveIsSortedBySpeed) {
  TorqueCurve curve;
  curve = read_torque_curve(Write("trq.txt", "h1\nh2\n1000 500\n600 300\n800 400\n"));
  EXPECT_EQ(curve.point_count(), 3);
  EXPECT_EQ(curve.speeds_rpm, (Column{600, 800, 1000}));
  EXPECT_EQ(curve.torques_nm, (Column{300, 400, 500}));

  curve = read_torque_curve(Write("one.txt", "h1\nh2\n900 -40\n"));
  EXPECT_EQ(curve.point_count(), 1);
  EXPECT_EQ(curve.speeds_rpm, Column{900});
  EXPECT_EQ(curve.torques_nm, Column{-40});
}

TEST_F(CurveSort, MapSpeedLinesAreSortedByTorque) {
  const FuelMap map = read_fuel_map(Write("map.txt",
                "head\nhead\n600 0 0.6\n"
                "1000 300 9.0\n1000 200 6.0\n1000 100 3.0\n"
                "600 200 5.0\n600 100 2.5\n600 0 0.6\n"));
  EXPECT_EQ(map.point_count(), 6);
  EXPECT_EQ(map.idle_fuel_rate_l_per_h, 0.6);
  EXPECT_EQ(map.speeds_rpm, (Column{600, 600, 600, 1000, 1000, 1000}));
  EXPECT_EQ(map.torques_nm, (Column{0, 100, 200, 100, 200, 300}));
  EXPECT_EQ(map.fuel_rates_l_per_h, (Column{0.6, 2.5, 5.0, 3.0, 6.0, 9.0}));
}

TEST_F(CurveSort, SpeedLinesAreCutOnExactEquality) {
  const FuelMap map = read_fuel_map(Write("map.txt",
                "head\nhead\n600 0 0.6\n"
                "800.01 10 1.0\n800.02 5 2.0\n800.01 5 3.0\n"));
  EXPECT_EQ(map.speeds_rpm, (Column{800.01, 800.01, 800.02}));
  EXPECT_EQ(map.torques_nm, (Column{5, 10, 5}));
  EXPECT_EQ(map.fuel_rates_l_per_h, (Column{3.0, 1.0, 2.0}));
}

}  // namespace

}  // namespace hdfe
