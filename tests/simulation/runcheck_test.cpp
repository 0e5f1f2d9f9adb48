// The run check: the steps above their target speed or above full-load torque.
#include "sim/runcheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/testrun.h"

namespace hdfe {

namespace {

// The findings as "S<second>" (over speed) and "T<second>" (over torque).
std::string Check(TestRun& run) {
  run.cycle.target_speed_km_per_h = run.points;
  std::vector<RunFinding> findings;
  check_cycle("URBAN", run.cycle, run.trace, findings);
  std::string text;
  for (const RunFinding& f : findings) {
    EXPECT_EQ(f.cycle, "URBAN");
    text += f.kind == RunFinding::Kind::OverSpeed ? 'S' : 'T';
    text += std::to_string(f.second);
    text += ' ';
  }
  return text;
}

TEST(RunCheck, SpeedToleranceIsSinglePrecisionHundredth) {
  TestRun run(4);
  run.points = {99.0, 50.0, 50.0, 0.0, 50.0};
  run.trace.speed_km_per_h = {50.01, 50.0099, 0.01, 99.0};  // 99 against point 4, not point 3
  EXPECT_EQ(Check(run), "S1 S3 S4 ");
  run.trace.speed_km_per_h = {50.0, 50.0099, 0.0099, 50.0};
  EXPECT_EQ(Check(run), "");
}

TEST(RunCheck, TorqueAboveFullLoadOnlyStrictlyAboveHundredPercent) {
  TestRun run(20);
  run.trace.normalised_torque_percent[9] = 100.0;
  run.trace.normalised_torque_percent[16] = 100.0001;
  EXPECT_EQ(Check(run), "T17 ");
  run.trace.speed_km_per_h[16] = 1.0;  // both at one step: speed first
  EXPECT_EQ(Check(run), "S17 T17 ");
  // Only the last step over, past NaN speeds and torques, which are never over.
  run.trace.speed_km_per_h[16] = 0.0;
  run.trace.normalised_torque_percent[16] = std::nan("");
  run.trace.speed_km_per_h[3] = std::nan("");
  run.trace.normalised_torque_percent[19] = 180.0;
  EXPECT_EQ(Check(run), "T20 ");
  run.cycle.n = 0;
  run.points.resize(1);
  EXPECT_EQ(Check(run), "");
}

}  // namespace

}  // namespace hdfe
