#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>
#include "hdfe/report.h"
#include "io/fields.h"
#include "report/trace.h"
#include "tests/report/scratch.h"
#include "hdfe/error.h"
#include "hdfe/textfield.h"

#include "tests/testrun.h"

namespace hdfe {

namespace {

const char* const Header =
    " \r\nURBAN\r\n"
    "time(s)\tVtarget(km/h)\tVreal(km/h)\tNe(rpm)\tTe(N-m)\tN_norm(%)\tT_norm(%)\tShift\tFC(l/h)\r\n";

TestRun ThreeSteps() {
  TestRun run(3);
  run.points = {99.0, 0.0, 0.5, 80.0};
  run.trace.speed_km_per_h = {0.0, 0.5, 79.25};
  run.trace.engine_speed_rpm = {0.0, 650.04, 1938.64};
  run.trace.engine_torque_nm = {0.0, -123.4, 219.2};
  run.trace.normalised_speed_percent = {0.0, 0.5, 83.655};
  run.trace.normalised_torque_percent = {0.0, -0.5, 20.6};
  run.trace.gear = {0, 1, 12};
  run.trace.fuel_rate_l_per_h = {0.0, 0.764072, 11.6205049};
  return run;
}

const char* const ThreeStepRecords =
    "1\t.0000\t.0000\t.0\t.0\t.00\t.00\t0\t.000000\r\n"
    "2\t.5000\t.5000\t650.0\t-123.4\t.50\t-.50\t1\t.764072\r\n"
    "3\t80.0000\t79.2500\t1938.6\t219.2\t83.66\t20.60\t12\t11.620505\r\n";

TEST(AppendTrace, BlockLayoutAndMinimalFields) {
  const TestRun run = ThreeSteps();
  std::string block;
  append_trace(block, run.cycle, run.trace, "URBAN");
  EXPECT_EQ(block, std::string(Header) + ThreeStepRecords);
}

TEST(AppendTrace, AppendsAfterExistingContentBlockAfterBlock) {
  std::string file = "results\r\n";
  TestRun run = ThreeSteps();
  append_trace(file, run.cycle, run.trace, "URBAN");
  run.cycle.n = 0;
  append_trace(file, run.cycle, run.trace, "HIGHWAY");
  EXPECT_EQ(file, std::string("results\r\n") + Header + ThreeStepRecords +
                                 " \r\nHIGHWAY\r\n" + std::string(Header).substr(10));
}

TEST(AppendTrace, FullHighwayRunGivesOneRecordPerStepPlusThree) {
  TestRun run(3120);
  for (std::size_t k = 0; k < 3120; ++k) {
    run.points[k + 1] = 80.0;
    run.trace.speed_km_per_h[k] = 80.0 - 1e-3 * static_cast<double>(k % 7);
    run.trace.engine_speed_rpm[k] = 1938.64;
    run.trace.engine_torque_nm[k] = 219.2;
    run.trace.gear[k] = 12;
    run.trace.fuel_rate_l_per_h[k] = 11.620505;
  }
  std::string block;
  append_trace(block, run.cycle, run.trace, "HIGHWAY");
  const auto records = Records(block);
  ASSERT_EQ(records.size(), 3123u);
  EXPECT_EQ(records[1], "HIGHWAY");
  EXPECT_EQ(records.back(), "3120\t80.0000\t79.9960\t1938.6\t219.2\t.00\t.00\t12\t11.620505");
}

// Records of every length, some of hundreds of characters, many more than one buffer holds:
// each is whole, in order and field for field the minimal form, wherever the writer breaks
// the block to append it.
TEST(AppendTrace, RecordsOfEveryLengthAreWrittenWholeAndInOrder) {
  constexpr double Inf = std::numeric_limits<double>::infinity();
  const double unusual[] = {1e300, -1.7976931348623157e308, Inf, -Inf, std::numeric_limits<double>::quiet_NaN(),
                            4.9e-324, -123456789.123456789, 2.5e15, -0.0};
  constexpr int32_t N = 900;
  TestRun run(N);
  std::string expected = "results\r\n" + std::string(Header);
  for (int32_t i = 1; i <= N; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    const double v = i % 3 == 0 ? unusual[k % std::size(unusual)] : 0.37 * i - 80.0;
    run.points[k + 1] = v;
    run.trace.speed_km_per_h[k] = -v;
    run.trace.engine_speed_rpm[k] = v * 10.0;
    run.trace.engine_torque_nm[k] = v / 7.0;
    run.trace.normalised_speed_percent[k] = v * 1e-3;
    run.trace.normalised_torque_percent[k] = -v / 3.0;
    run.trace.gear[k] = i % 5 == 0 ? std::numeric_limits<int32_t>::min() : i % 13;
    run.trace.fuel_rate_l_per_h[k] = v * v;
    expected += format_i0(i) + '\t' + format_f0(v, 4) + '\t' + format_f0(-v, 4) + '\t' + format_f0(v * 10.0, 1) + '\t' +
                format_f0(v / 7.0, 1) + '\t' + format_f0(v * 1e-3, 2) + '\t' + format_f0(-v / 3.0, 2) + '\t' +
                format_i0(run.trace.gear[k]) + '\t' + format_f0(v * v, 6) + "\r\n";
  }
  std::string file = "results\r\n";
  append_trace(file, run.cycle, run.trace, "URBAN");
  ASSERT_GT(file.size(), 40000u);
  EXPECT_EQ(file, expected);
}

}  // namespace

}  // namespace hdfe
