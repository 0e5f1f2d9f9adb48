// The route driver: it never passes a stop or a lower limit faster than allowed, stands
// exactly a stop's seconds, and covers the whole route whatever the vehicle does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "hdfe/error.h"
#include "hdfe/route.h"
#include "sim/routedriver.h"
#include "tests/simulation/testvehicle.h"

namespace hdfe {
namespace {

// A random route of a few km: limits from 20 to 90 km/h, grades within ±6 %, stops of 0 to
// 90 s at about one row in four, the first and last rows now and then stops too.
Route random_route(std::mt19937& rng) {
  std::uniform_real_distribution<double> length(20.0, 900.0), limit(20.0, 90.0), grade(-6.0, 6.0);
  std::uniform_int_distribution<int> rows(2, 14), stop(0, 3), seconds(1, 90);
  std::vector<double> d{0.0}, v, g, s;
  const int n = rows(rng);
  for (int k = 1; k < n; ++k) d.push_back(d.back() + std::round(length(rng)));
  for (int k = 0; k < n; ++k) {
    v.push_back(limit(rng));
    g.push_back(grade(rng));
    s.push_back(stop(rng) == 0 ? seconds(rng) : 0.0);
  }
  return make_route("random", d, v, g, {}, s);
}

// Follows the driver with a vehicle that reaches every target that slows it down at once and
// speeds up at most `accel` km/h a second (a weak vehicle when small), checking each second:
// the speed where the second ends is within the limit there, and no stop not yet stood at is
// passed. Gives the seconds stood at each row.
std::vector<int64_t> follow_and_check(const Route& route, double accel) {
  const RouteDriver driver(route);
  RouteDriver::State s = driver.start();
  std::vector<std::size_t> stops;
  for (std::size_t k = 0; k < route.distance_m.size(); ++k) {
    if (route.stop_s[k] > 0.0) stops.push_back(k);
  }
  std::vector<int64_t> standing(route.distance_m.size(), 0);
  std::size_t served = 0;
  double V = s.standing_s > 0 ? 0.0 : driver.aim(s).target_km_per_h;
  for (int i = 0; !s.finished; ++i) {
    if (i > 1'000'000) {
      ADD_FAILURE() << "the route never ends";
      break;
    }
    V = std::min(driver.aim(s).target_km_per_h, V + accel);
    const bool stood = s.standing_s > 0;
    if (stood) ++standing[s.row];
    driver.advance(s, V);
    if (stood && s.standing_s == 0) ++served;
    const std::size_t stretch = std::min(driver.row_at(s.x_m - 1e-9), route.distance_m.size() - 2);
    EXPECT_LE(V, route.speed_km_per_h[stretch] + 1e-9) << "second " << i << " at " << s.x_m << " m";
    if (served < stops.size()) {
      EXPECT_LE(s.x_m, route.distance_m[stops[served]] + 1e-6) << "second " << i;
    }
  }
  EXPECT_GE(s.x_m, route.distance_m.back() - 1e-6);
  return standing;
}

TEST(RouteDriver, NeverPassesAStopOrALowerLimitAndStandsEachStopExactly) {
  std::mt19937 rng(20261208);
  for (int trial = 0; trial < 300; ++trial) {
    const Route route = random_route(rng);
    for (const double accel : {100.0, 2.0}) {
      SCOPED_TRACE("trial " + std::to_string(trial) + " accel " + std::to_string(accel));
      const std::vector<int64_t> standing = follow_and_check(route, accel);
      for (std::size_t k = 0; k < standing.size(); ++k) {
        EXPECT_EQ(standing[k], route.stop_s[k]) << "row " << k;
      }
    }
  }
}

TEST(RouteDriver, SecondsAtTargetsCountTheStopsAndTheStretches) {
  // 1 km at 36 km/h (10 m/s), a 30 s stop, 1 km more: 100 s of driving each way, the
  // braking before the stop, the 30 s, and moving off at 1 m/s^2 (1 + 2 + ... + 10 m in the
  // first 10 s, so 4.5 s more).
  const Route route = make_route("stop", {0.0, 1000.0, 2000.0}, {36.0, 36.0, 36.0}, {}, {}, {0.0, 30.0, 0.0});
  const RouteDriver driver(route);
  const std::vector<int64_t> seconds = driver.seconds_at_targets();
  EXPECT_EQ(seconds[1], 30 + 105);
  EXPECT_GT(seconds[0], 100);           // braking adds seconds before the stop
  EXPECT_LT(seconds[0], 115);
}

TEST(RouteSimulation, AWeakVehicleCoversASteepRouteLateAndAStuckOneStops) {
  TestVehicle v = make_test_vehicle();
  v.fullLoad.torques_nm = {400.0, 700.0, 700.0, 500.0, 0.0};
  const Route route = make_route("climb", {0.0, 500.0, 2500.0, 3000.0}, {60.0, 60.0, 60.0, 60.0},
                                 {0.0, 8.0, 0.0, 0.0}, {}, {});
  const RouteDriver driver(route);
  const RouteSimulation sim = run_route_cycle(driver, v.spec, v.eng, v.trn, v.fullLoad);
  double distance = 0.0;
  for (const double V : sim.simulation.trace.speed_km_per_h) distance += V / 3.6;
  EXPECT_NEAR(distance, 3000.0, 25.0);  // the last second may end a little past the end
  int64_t ideal = 0;
  for (const int64_t s : driver.seconds_at_targets()) ideal += s;
  EXPECT_GT(sim.steps, ideal + 20);  // it fell behind on the climb
  // On the 8 % grade the grades of the table follow the vehicle, not the clock.
  for (int32_t i = 1; i <= sim.steps; ++i) {
    const double x = sim.start_position_m[static_cast<std::size_t>(i - 1)];
    const double expected = x >= 500.0 && x < 2500.0 ? 8.0 : 0.0;
    ASSERT_EQ(sim.grade_percent[static_cast<std::size_t>(i)], expected) << "second " << i;
  }

  // A wall it cannot climb at all: the run stops with a clear message instead of hanging.
  v.fullLoad.torques_nm = {80.0, 140.0, 140.0, 100.0, 0.0};
  const Route wall = make_route("wall", {0.0, 100.0, 400.0}, {40.0, 40.0, 40.0}, {0.0, 30.0, 0.0}, {}, {});
  const RouteDriver stuck(wall);
  try {
    run_route_cycle(stuck, v.spec, v.eng, v.trn, v.fullLoad);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Limit);
    EXPECT_NE(std::string(e.what()).find("stopped moving"), std::string::npos) << e.what();
  }
}

TEST(Routes, ColumnsAndChecks) {
  // Elevations give grades over each stretch, smoothed or not; grades give elevations.
  const Route up = make_route("up", {0.0, 100.0, 300.0}, {50.0, 50.0, 50.0}, {}, {0.0, 2.0, 2.0}, {});
  EXPECT_DOUBLE_EQ(up.grade_percent[0], 2.0);
  EXPECT_DOUBLE_EQ(up.grade_percent[1], 0.0);
  const Route back = make_route("back", {0.0, 100.0, 300.0}, {50.0, 50.0, 50.0}, up.grade_percent, {}, {});
  EXPECT_DOUBLE_EQ(back.elevation_m[2], 2.0);
  const auto refused = [](auto build) {
    try {
      build();
    } catch (const Error& e) {
      return e.kind() == ErrorKind::BadValue;
    }
    return false;
  };
  EXPECT_TRUE(refused([] { make_route("r", {0.0}, {50.0}, {}, {}, {}); }));                        // one row
  EXPECT_TRUE(refused([] { make_route("r", {5.0, 10.0}, {50.0, 50.0}, {}, {}, {}); }));            // not from 0
  EXPECT_TRUE(refused([] { make_route("r", {0.0, 0.0}, {50.0, 50.0}, {}, {}, {}); }));             // not increasing
  EXPECT_TRUE(refused([] { make_route("r", {0.0, 10.0}, {0.0, 50.0}, {}, {}, {}); }));             // no speed
  EXPECT_TRUE(refused([] { make_route("r", {0.0, 10.0}, {50.0, 50.0}, {31.0, 0.0}, {}, {}); }));   // too steep
  EXPECT_TRUE(refused([] { make_route("r", {0.0, 10.0}, {50.0, 50.0}, {}, {0.0, 5.0}, {}); }));    // 50 % by elevation
  EXPECT_TRUE(refused([] { make_route("r", {0.0, 10.0}, {50.0, 50.0}, {}, {}, {0.5, 0.0}); }));    // part second
  EXPECT_TRUE(refused([] { make_route("r", {0.0, 10.0}, {50.0, 50.0}, {0.0, 0.0}, {0.0, 0.0}, {}); }));  // both
}

}  // namespace
}  // namespace hdfe
