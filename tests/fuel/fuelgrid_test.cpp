#include "sim/fuelgrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/curvelookup.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

struct Point {
  double speed, torque, fuel;
};

FuelMap Map(const std::vector<Point>& points, double idle = 1.5) {
  FuelMap m;
  m.idle_fuel_rate_l_per_h = idle;
  for (const Point& p : points) {
    m.speeds_rpm.push_back(p.speed);
    m.torques_nm.push_back(p.torque);
    m.fuel_rates_l_per_h.push_back(p.fuel);
  }
  return m;
}

TorqueCurve Curve(std::vector<double> speeds, std::vector<double> torques) {
  return {std::move(speeds), std::move(torques)};
}

// Motoring torque -100 at 1000 rpm, -200 at 2000 rpm, exactly.
const TorqueCurve Motoring = Curve({500, 3000}, {-50, -300});

double At(const FuelGrid& g, int i, int k) { return g.fuel_rate_table_l_per_h[k * 20 + i]; }

Error GridStop(const FuelMap& map) {
  FuelGrid grid;
  try {
    build_fuel_grid(grid, map, Motoring);
  } catch (const Error& stop) {
    return stop;
  }
  ADD_FAILURE() << "the grid did not stop";
  return Error(ErrorKind::BadValue, "");
}

TEST(Fcgrid, TwoSpeedLinesAreStraightInSpeed) {
  FuelGrid g;
  build_fuel_grid(g, Map({{1000, 100, 5}, {1000, 400, 12}, {1000, 800, 25}, {2000, 100, 9}, {2000, 500, 24}, {2000, 1000, 50}}),
         Motoring);
  EXPECT_EQ(g.idle_fuel_rate_l_per_h, 1.5);
  EXPECT_EQ(g.speed_axis_rpm[0], 1000.0);
  EXPECT_NEAR(g.speed_axis_rpm[19], 2000.0, 1e-12);
  EXPECT_EQ(g.torque_axis_nm[0], -200.0);  // motoring torque of line 2 below every map torque
  EXPECT_NEAR(g.torque_axis_nm[19], 1000.0, 1e-12);
  for (int k = 0; k < 20; ++k) {
    const double a = At(g, 0, k), b = At(g, 19, k);
    for (int i = 1; i < 19; ++i) {
      const double line = a + (b - a) * (g.speed_axis_rpm[i] - 1000.0) / (g.speed_axis_rpm[19] - 1000.0);
      EXPECT_NEAR(At(g, i, k), line, 1e-9 * (1.0 + std::fabs(line))) << i << "," << k;
    }
  }
}

TEST(Fcgrid, SinglePointLineIsStraightThroughItsMotoringPoint) {
  FuelGrid g;
  build_fuel_grid(g, Map({{1000, 400, 10}, {2000, 100, 9}, {2000, 500, 24}, {2000, 1000, 50}}), Motoring);
  // Speed node 1 is line 1 itself: the line through (-100, 0) and (400, 10), extended.
  for (int k = 0; k < 20; ++k) {
    EXPECT_NEAR(At(g, 0, k), 10.0 * (g.torque_axis_nm[k] + 100.0) / 500.0, 1e-9) << k;
  }
}

TEST(Fcgrid, FirstLineMotoringTorqueDoesNotLowerTorqueAxis) {
  FuelGrid g;
  const TorqueCurve motoring = Curve({1000, 2000}, {-300, -100});
  const FuelMap map = Map({{1000, 50, 3}, {1000, 600, 20}, {2000, 80, 6}, {2000, 900, 40}});
  build_fuel_grid(g, map, motoring);
  EXPECT_EQ(g.torque_axis_nm[0], -100.0);
  EXPECT_EQ(g.torque_axis_nm[19], 19.0 * ((900.0 - -100.0) / 19.0) + -100.0);
  for (int k = 1; k < 20; ++k) EXPECT_GT(g.torque_axis_nm[k], g.torque_axis_nm[k - 1]);
}

TEST(Fcgrid, BadMapsStop) {
  const Error single = GridStop(Map({{1000, 100, 5}, {1000, 400, 12}}));
  EXPECT_EQ(single.message(), "Error : DPCHIM ( called from FCGRID, 2nd )");
  EXPECT_EQ(single.details().at(0), "ierr = -1");

  const Error duplicate = GridStop(Map({{1000, 100, 5}, {1000, 100, 6}, {2000, 100, 9}}));
  EXPECT_EQ(duplicate.message(), "Error : DPCHIM ( called from FCGRID, 1st )");
  EXPECT_EQ(duplicate.details().at(0), "ierr = -3");

  const Error empty = GridStop(Map({}));
  EXPECT_EQ(empty.what(), std::string("Failed to build fuel grid: the fuel map has no data points"));
  EXPECT_EQ(empty.kind(), ErrorKind::VehicleCheck);
}

class Calcfc : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<Point> points;
    for (double s : {800.0, 1400.0, 2000.0})
      for (double t : {100.0, 400.0, 800.0, 1200.0}) points.push_back({s, t, 2.0 + s * t * 2.0e-5});
    build_fuel_grid(grid, Map(points), Motoring);
    eng.idle_speed_rpm = 1000.0;
    cycle.n = 0;
  }
  double Fuel(double ne, double te, int32_t gear = 3) {
    double fc = -1.0;
    cycle.n = 1;
    calc_fuel_rates(std::span<const double>(&ne, 1), std::span<const double>(&te, 1), std::span<const int32_t>(&gear, 1),
           std::span<double>(&fc, 1), cycle, Motoring, grid, eng);
    return fc;
  }
  FuelGrid grid;
  EngineData eng;
  DriveCycle cycle;
};

TEST_F(Calcfc, IdleNeutralAndMotoring) {
  EXPECT_EQ(Fuel(1500.0, -1000.0, 0), 1.5);  // neutral, below motoring
  EXPECT_EQ(Fuel(1000.0, 600.0), 1.5);       // exact idle speed in gear
  const double above = std::nextafter(1000.0, 2000.0);
  EXPECT_GT(Fuel(above, 600.0), 10.0);       // one ulp above idle goes to the grid
  EXPECT_EQ(Fuel(above, curve_lookup(Motoring, above) - 1.0), 0.0);
  EXPECT_EQ(Fuel(1500.0, curve_lookup(Motoring, 1500.0)), 0.0);  // equal to motoring torque
}

TEST_F(Calcfc, GridNodeIsReturnedExactly) {
  EXPECT_EQ(Fuel(grid.speed_axis_rpm[5], grid.torque_axis_nm[7]), std::max(0.0, At(grid, 5, 7)));
  EXPECT_EQ(Fuel(grid.speed_axis_rpm[12], grid.torque_axis_nm[15]), std::max(0.0, At(grid, 12, 15)));
}

TEST_F(Calcfc, WholeRunIsNeverNegative) {
  std::vector<double> ne, te, fc(200, -1.0);
  std::vector<int32_t> gear;
  for (int q = 0; q < 200; ++q) {
    ne.push_back(600.0 + 9.0 * q);
    te.push_back(-250.0 + 7.5 * q);
    gear.push_back(q % 7);
  }
  cycle.n = 200;
  calc_fuel_rates(ne, te, gear, fc, cycle, Motoring, grid, eng);
  for (int q = 0; q < 200; ++q) {
    EXPECT_GE(fc[q], 0.0) << q;
    EXPECT_EQ(fc[q], Fuel(ne[q], te[q], gear[q])) << q;  // independent of the other steps
  }
  // Appended, the same rates follow what the column held, one per step over several batches;
  // a shorter output span, or fewer steps than the series, takes only the first ones.
  cycle.n = 200;  // Fuel left it at 1
  std::vector<double> column{7.0};
  append_fuel_rates(ne, te, gear, column, cycle, Motoring, grid, eng);
  ASSERT_EQ(column.size(), 201u);
  EXPECT_EQ(column.front(), 7.0);
  EXPECT_TRUE(std::equal(fc.begin(), fc.end(), column.begin() + 1));
  std::vector<double> part(150, -1.0);
  calc_fuel_rates(ne, te, gear, part, cycle, Motoring, grid, eng);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), fc.begin()));
  cycle.n = 130;
  column.clear();
  append_fuel_rates(ne, te, gear, column, cycle, Motoring, grid, eng);
  EXPECT_EQ(column, std::vector<double>(fc.begin(), fc.begin() + 130));
}

}  // namespace

}  // namespace hdfe
