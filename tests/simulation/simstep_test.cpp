#include <gtest/gtest.h>

#include <vector>

#include "tests/simulation/testvehicle.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

TEST(SimStep, StandstillTargetIdlesInNeutralWhateverTheGear) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 2, {5.0, 0.0, 0.0, 0.0});
  const StepResult r = run_step(v, c.cycle, 1, 10.0, 4, 1, 3, 2.0);
  EXPECT_EQ(r.V, 0.0);
  EXPECT_EQ(r.gear, 0);
  EXPECT_EQ(r.engine_torque_nm, 0.0);
  EXPECT_EQ(r.engine_speed_rpm, v.eng.idle_speed_rpm);
  EXPECT_EQ(r.hold, 1);                          // not touched
  EXPECT_EQ(r.deficit, 2.0 + 0.5 * (5.0 - 10.0));  // this second's shortfall added
}

TEST(SimStep, MovingOffCountsTheSecondsOfTheSearchIntoTheHoldCounter) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 6, {0.0, 0.0, 5.0, 10.0, 15.0, 20.0, 25.0, 30.0, 0.0});
  // Gear 2 slips at 5 km/h (the clutch slips) and meets 10 km/h one second later: two evaluations.
  const StepResult r = run_step(v, c.cycle, 2, 0.0, 0, 3);
  EXPECT_EQ(r.gear, 2);
  EXPECT_EQ(r.V, 5.0);
  EXPECT_EQ(r.engine_speed_rpm, v.eng.engage_speed_rpm);
  // 3 - c = 1 after the search, counted up by one for this second, which allows no change.
  EXPECT_EQ(r.hold, 2);
  EXPECT_EQ(r.deficit, 0.0);

  const StepResult next = run_step(v, c.cycle, 3, r.V, r.gear, r.hold);
  EXPECT_EQ(next.gear, 2);
  EXPECT_EQ(next.hold, 3);
}

TEST(SimStep, MovingOffTakesTheHighestStartingGearThatMeetsTheTarget) {
  TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 4, {0.0, 8.0, 16.0, 24.0, 30.0, 0.0}, 12.0);
  const StepResult r = run_step(v, c.cycle, 1, 0.0, 0, 3);
  EXPECT_EQ(r.gear, 1);  // gear 2 cannot pull 8 km/h up 12 %
  EXPECT_EQ(r.hold, 3);  // one evaluation: 3 - 1, plus this second
}

TEST(SimStep, MovingOffSearchStopsAtTheEndOfTheTable) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  // After the first second the target only falls (the engine idles) until the last point.
  set_cycle(c, 1, {0.0, 1.0, 0.5, 0.2});
  const StepResult r = run_step(v, c.cycle, 1, 0.0, 0, 3);
  EXPECT_EQ(r.gear, 2);
  EXPECT_EQ(r.hold, 1);  // three evaluations: 3 - 3, plus this second
}

TEST(SimStep, WithoutAStartingGearTheRunStops) {
  TestVehicle v = make_test_vehicle();
  v.trn.start_gears = 0;
  TestCycle c;
  set_cycle(c, 2, {0.0, 5.0, 10.0, 0.0});
  EXPECT_THROW(run_step(v, c.cycle, 1, 0.0, 0, 3), Error);
}

TEST(SimStep, SlowingDownKeepsTheGearUntilNecThenStaysInNeutral) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  const std::vector<double> targets{50.0, 45.0, 40.0, 35.0, 30.0, 25.0, 20.0, 15.0, 10.0, 5.0};
  set_cycle(c, 9, {50.0, 45.0, 40.0, 35.0, 30.0, 25.0, 20.0, 15.0, 10.0, 5.0, 0.0, 0.0});
  double V = 50.0;
  int32_t gear = 6;
  int32_t hold = 3;
  bool opened = false;
  for (int32_t i = 1; i <= 9; ++i) {
    const StepResult r = run_step(v, c.cycle, i, V, gear, hold);
    EXPECT_EQ(r.V, targets[static_cast<std::size_t>(i)]) << "step " << i;
    if (r.gear == 6) {
      EXPECT_FALSE(opened) << "step " << i;
      EXPECT_GE(r.engine_speed_rpm, v.eng.release_speed_rpm) << "step " << i;
      EXPECT_LT(r.engine_torque_nm, 0.0) << "step " << i;
    } else {
      EXPECT_EQ(r.gear, 0) << "step " << i;
      EXPECT_EQ(r.engine_speed_rpm, v.eng.idle_speed_rpm) << "step " << i;
      EXPECT_EQ(r.engine_torque_nm, 0.0) << "step " << i;
      EXPECT_EQ(r.hold, 3) << "step " << i;
      opened = true;
    }
    V = r.V;
    gear = r.gear;
    hold = r.hold;
  }
  EXPECT_TRUE(opened);

  // Rolling in neutral while the target falls: the clutch stays open, the counter resets.
  const StepResult rolling = run_step(v, c.cycle, 3, 40.0, 0, 1);
  EXPECT_EQ(rolling.gear, 0);
  EXPECT_EQ(rolling.V, 35.0);
  EXPECT_EQ(rolling.engine_speed_rpm, v.eng.idle_speed_rpm);
  EXPECT_EQ(rolling.hold, 3);
}

TEST(SimStep, AnUpshiftSetsTheHoldCounterToOne) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 5, {25.0, 30.0, 35.0, 40.0, 45.0, 50.0, 55.0});
  const StepResult r = run_step(v, c.cycle, 1, 25.0, 2, 3);
  EXPECT_EQ(r.gear, 3);
  EXPECT_EQ(r.hold, 1);
  EXPECT_EQ(r.V, 30.0);
  // Two seconds of holding follow: the gear is kept and the counter counts up.
  const StepResult next = run_step(v, c.cycle, 2, r.V, r.gear, r.hold);
  EXPECT_EQ(next.gear, 3);
  EXPECT_EQ(next.hold, 2);
}

TEST(SimStep, OverspeedBelowTopGearWhileHoldingReturnsZeroSpeed) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 2, {50.0, 60.0, 60.0, 0.0});
  const StepResult r = run_step(v, c.cycle, 1, 50.0, 2, 1, 3, 0.75);
  EXPECT_EQ(r.V, 0.0);
  EXPECT_EQ(r.gear, 2);
  EXPECT_GT(r.engine_speed_rpm, v.eng.max_speed_rpm);
  EXPECT_EQ(r.hold, 1);
  EXPECT_EQ(r.deficit, 0.75);
}

TEST(SimStep, TooHighAGearWhileHoldingDropsToTheReengageGear) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 3, {18.0, 20.0, 22.0, 24.0, 0.0});
  const StepResult r = run_step(v, c.cycle, 1, 18.0, 5, 1);
  EXPECT_EQ(r.gear, 2);
  EXPECT_EQ(r.V, 20.0);
  EXPECT_EQ(r.hold, 2);
}

TEST(SimStep, OverspeedWithGearChangeAllowedShiftsUp) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 4, {25.0, 30.0, 35.0, 40.0, 45.0, 0.0});
  const StepResult r = run_step(v, c.cycle, 1, 25.0, 2, 3);
  EXPECT_GT(r.gear, 2);
  EXPECT_EQ(r.V, 30.0);
  EXPECT_EQ(r.hold, 1);
}

TEST(SimStep, OverspeedRetrySearchWithShorterHorizonSetsHoldTwo) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  // No gear above 2 survives three seconds (100 km/h in the third is past Nex in gears
  // 3 to 5, below the minimum speed in gear 6 at first); two seconds succeed.
  set_cycle(c, 4, {25.0, 30.0, 35.0, 100.0, 100.0, 0.0});
  const StepResult r = run_step(v, c.cycle, 1, 25.0, 2, 3);
  EXPECT_EQ(r.gear, 3);
  EXPECT_EQ(r.V, 30.0);
  EXPECT_EQ(r.hold, 2);
}

TEST(SimStep, ReengagingWithoutAnyUsableGearTakesTheReengageGearAndHoldFour) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  // Rolling at 6.5 km/h in neutral: every gear above 2 is below its minimum speed.
  set_cycle(c, 3, {6.5, 7.0, 7.5, 8.0, 0.0});
  const StepResult r = run_step(v, c.cycle, 1, 6.5, 0, 1, 3, 4.0);
  EXPECT_EQ(r.gear, 2);
  EXPECT_EQ(r.V, 7.0);
  EXPECT_EQ(r.engine_speed_rpm, v.eng.engage_speed_rpm);  // gear 2 meets the target below Nes: the clutch slips
  EXPECT_EQ(r.hold, 4);        // the exhausted retry search leaves m at 0
  EXPECT_EQ(r.deficit, 0.0);   // re-engagement returns no deficit
}

// Gears that all meet the targets tie on a zero deficit.
TEST(SimStep, UpshiftTiesGoToTheHigherGearWithinTheSpan) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 4, {25.0, 25.0, 25.0, 25.0, 25.0, 0.0});
  const StepResult r = run_step(v, c.cycle, 1, 25.0, 2, 3);
  EXPECT_EQ(r.gear, 4);  // gears 3 and 4 tie; 5 and 6 are below their minimum speed
  EXPECT_EQ(r.hold, 1);
  EXPECT_EQ(r.deficit, 0.0);
}

TEST(SimStep, DownshiftWhenTheGearFallsShortTiesGoToTheHigherGear) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 4, {40.0, 40.0, 40.0, 40.0, 40.0, 0.0}, 12.0);
  const StepResult r = run_step(v, c.cycle, 1, 40.0, 5, 3);
  EXPECT_EQ(r.gear, 4);  // gear 5 cannot hold 40 km/h up 12 %; gears 3 and 4 can
  EXPECT_EQ(r.V, 40.0);
  EXPECT_EQ(r.hold, 1);
}

TEST(SimStep, ReengagingRetryTiesKeepTheLowerGear) {
  const TestVehicle v = make_test_vehicle();
  TestCycle c;
  set_cycle(c, 4, {26.0, 27.0, 28.0, 100.0, 100.0, 0.0});
  const StepResult r = run_step(v, c.cycle, 1, 26.0, 0, 1);
  EXPECT_EQ(r.gear, 3);  // gears 3 and 4 both last two seconds
  EXPECT_EQ(r.V, 27.0);
  EXPECT_EQ(r.hold, 2);
}

// The last two steps of a constant-speed cycle look two points past n, which hold zeros.
TEST(SimStep, LastStepsLookAheadPastTheEndOfTheCycle) {
  const TestVehicle v = make_test_vehicle();
  TestCycle full, short1;
  set_cycle(full, 4, {60.0, 60.0, 60.0, 60.0, 60.0, 0.0, 0.0, 0.0}, 1.5);
  set_cycle(short1, 4, {60.0, 60.0, 60.0, 60.0, 60.0, 0.0}, 1.5);
  for (const int32_t i : {3, 4}) {
    for (const int32_t gear_in : {4, 5, 6}) {
      const StepResult a = run_step(v, full.cycle, i, 60.0, gear_in, 3);
      const StepResult b = run_step(v, short1.cycle, i, 60.0, gear_in, 3);
      EXPECT_EQ(a.V, 60.0);
      EXPECT_EQ(a.gear, b.gear);
      EXPECT_EQ(a.hold, b.hold);
      EXPECT_EQ(a.engine_speed_rpm, b.engine_speed_rpm);
      EXPECT_EQ(a.engine_torque_nm, b.engine_torque_nm);
      EXPECT_EQ(a.deficit, b.deficit);
    }
  }
}

}  // namespace

}  // namespace hdfe
