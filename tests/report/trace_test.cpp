#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>
#include "report/results.h"
#include "report/trace.h"
#include "tests/report/scratch.h"
#include "textio/stop.h"
#include "textio/textfield.h"

namespace hdfe {

namespace {

// A run of n steps. Point 0 of the target table holds a sentinel that no step uses.
struct CycleRun {
  std::vector<double> points;
  DriveCycle cycle;
  CycleTrace trace;
  explicit CycleRun(int32_t n) : points(static_cast<std::size_t>(n) + 1, 0.0) {
    points[0] = 99.0;
    cycle.n = n;
    cycle.Vtarget = points;
    const auto steps = static_cast<std::size_t>(n);
    trace = {std::vector<double>(steps), std::vector<int32_t>(steps), std::vector<double>(steps),
             std::vector<double>(steps),  std::vector<double>(steps),  std::vector<double>(steps),
             std::vector<double>(steps)};
  }
};

std::string Check(const CycleRun& run) {
  std::ostringstream out;
  check_run(run.cycle, run.trace, "URBAN", out);
  return out.str();
}

TEST(CheckRun, SpeedToleranceIsSinglePrecisionHundredth) {
  CycleRun run(4);
  run.points = {99.0, 50.0, 50.0, 0.0, 50.0};
  run.trace.Vreal = {50.01, 50.0099, 0.01, 99.0};  // 99 against point 4, not point 3
  EXPECT_EQ(Check(run),
            " error: V_real > V_target\r\n"
            " error: V_real > V_target\r\n"
            " error: V_real > V_target\r\n");
  run.trace.Vreal = {50.0, 50.0099, 0.0099, 50.0};
  EXPECT_EQ(Check(run), "");
}

TEST(CheckRun, TorqueAboveFullLoadPrintsStepInTwelveCharacters) {
  CycleRun run(20);
  run.trace.T_norm[9] = 100.0;
  run.trace.T_norm[16] = 100.0001;
  EXPECT_EQ(Check(run), " error: te > 100%           17\r\n");
  run.trace.Vreal[16] = 1.0;  // both at one step: speed line first
  EXPECT_EQ(Check(run),
            " error: V_real > V_target\r\n"
            " error: te > 100%           17\r\n");
  run.cycle.n = 0;
  EXPECT_EQ(Check(run), "");
}

const char* const Header =
    " \r\nURBAN\r\n"
    "time(s)\tVtarget(km/h)\tVreal(km/h)\tNe(rpm)\tTe(N-m)\tN_norm(%)\tT_norm(%)\tShift\tFC(l/h)\r\n";

CycleRun ThreeSteps() {
  CycleRun run(3);
  run.points = {99.0, 0.0, 0.5, 80.0};
  run.trace.Vreal = {0.0, 0.5, 79.25};
  run.trace.Ne = {0.0, 650.04, 1938.64};
  run.trace.Te = {0.0, -123.4, 219.2};
  run.trace.N_norm = {0.0, 0.5, 83.655};
  run.trace.T_norm = {0.0, -0.5, 20.6};
  run.trace.Shift = {0, 1, 12};
  run.trace.FC = {0.0, 0.764072, 11.6205049};
  return run;
}

const char* const ThreeStepRecords =
    "1\t.0000\t.0000\t.0\t.0\t.00\t.00\t0\t.000000\r\n"
    "2\t.5000\t.5000\t650.0\t-123.4\t.50\t-.50\t1\t.764072\r\n"
    "3\t80.0000\t79.2500\t1938.6\t219.2\t83.66\t20.60\t12\t11.620505\r\n";

TEST(WriteTrace, BlockLayoutAndMinimalFields) {
  ScratchDir dir;
  const std::string name = dir.File("result.txt");
  const CycleRun run = ThreeSteps();
  write_trace(text_field(name), run.cycle, run.trace, "URBAN");
  EXPECT_EQ(ReadBytes(name), std::string(Header) + ThreeStepRecords);
}

TEST(WriteTrace, AppendsAfterExistingContentBlockAfterBlock) {
  ScratchDir dir;
  const std::string name = dir.File("result.txt");
  WriteBytes(name, "results\r\n");
  CycleRun run = ThreeSteps();
  write_trace(name, run.cycle, run.trace, "URBAN");
  run.cycle.n = 0;
  write_trace(name, run.cycle, run.trace, "HIGHWAY");
  EXPECT_EQ(ReadBytes(name), std::string("results\r\n") + Header + ThreeStepRecords +
                                 " \r\nHIGHWAY\r\n" + std::string(Header).substr(10));
}

TEST(WriteTrace, FullHighwayRunGivesOneRecordPerStepPlusThree) {
  ScratchDir dir;
  const std::string name = dir.File("result.txt");
  CycleRun run(3120);
  for (std::size_t k = 0; k < 3120; ++k) {
    run.points[k + 1] = 80.0;
    run.trace.Vreal[k] = 80.0 - 1e-3 * static_cast<double>(k % 7);
    run.trace.Ne[k] = 1938.64;
    run.trace.Te[k] = 219.2;
    run.trace.Shift[k] = 12;
    run.trace.FC[k] = 11.620505;
  }
  write_trace(name, run.cycle, run.trace, "HIGHWAY");
  const auto records = Records(ReadBytes(name));
  ASSERT_EQ(records.size(), 3123u);
  EXPECT_EQ(records[1], "HIGHWAY");
  EXPECT_EQ(records.back(), "3120\t80.0000\t79.9960\t1938.6\t219.2\t.00\t.00\t12\t11.620505");
}

// A second run with the same output name starts again from the results records.
TEST(WriteTrace, RepeatedRunDoesNotPileUpBlocks) {
  ScratchDir dir;
  const std::string name = dir.File("result.txt");
  const CycleRun run = ThreeSteps();
  SpecValues values;
  values.Kf1 = values.Kf2 = 1.0;
  const CycleResult result{20.0, 5.0};
  std::string once;
  for (int pass = 0; pass < 2; ++pass) {
    write_results(name, "spec.txt", values, VehicleSpec{}, TransmissionData{}, result, result, result);
    write_trace(name, run.cycle, run.trace, "URBAN");
    if (pass == 0) once = ReadBytes(name);
  }
  EXPECT_EQ(ReadBytes(name), once);
  EXPECT_EQ(Records(once).size(), 30u + 6u);
}

// Both writers stop the run with status 1 on a file inside a missing directory.
TEST(WriteTrace, UnwritableFileStopsWithStatusOne) {
  ScratchDir dir;
  const std::string name = dir.File("missing/result.txt");
  const RunStop expected{{" Cannot write output file [ " + name + " ]"}, 1};
  const CycleRun run = ThreeSteps();
  const CycleResult result{20.0, 5.0};
  for (int writer = 0; writer < 2; ++writer) {
    try {
      if (writer == 0) {
        write_results(text_field(name), "spec.txt", SpecValues{}, VehicleSpec{}, TransmissionData{},
                 result, result, result);
      } else {
        write_trace(text_field(name), run.cycle, run.trace, "URBAN");
      }
      ADD_FAILURE() << "no stop from writer " << writer;
    } catch (const RunStop& stop) {
      EXPECT_EQ(stop.status, expected.status);
      EXPECT_EQ(stop.lines, expected.lines);
    }
  }
}

}  // namespace

}  // namespace hdfe
