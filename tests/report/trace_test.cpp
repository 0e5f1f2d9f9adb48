#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>
#include "hdfe/report.h"
#include "hdfe/tables.h"
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

// The data record of step i as the field writers give it.
std::string ExpectedRecord(const TestRun& run, int32_t i) {
  const auto k = static_cast<std::size_t>(i - 1);
  const CycleTrace& t = run.trace;
  return format_i0(i) + '\t' + format_f0(run.points[k + 1], 4) + '\t' + format_f0(t.speed_km_per_h[k], 4) + '\t' +
         format_f0(t.engine_speed_rpm[k], 1) + '\t' + format_f0(t.engine_torque_nm[k], 1) + '\t' +
         format_f0(t.normalised_speed_percent[k], 2) + '\t' + format_f0(t.normalised_torque_percent[k], 2) + '\t' +
         format_i0(t.gear[k]) + '\t' + format_f0(t.fuel_rate_l_per_h[k], 6) + "\r\n";
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
    expected += ExpectedRecord(run, i);
  }
  std::string file = "results\r\n";
  append_trace(file, run.cycle, run.trace, "URBAN");
  ASSERT_GT(file.size(), 40000u);
  EXPECT_EQ(file, expected);
}

// Values held over several steps, as idling and cruising hold them, are written as their
// own at every step whatever came before: zero of either sign, NaN of either sign and any
// payload, values that round to zero from below, fields of 16 characters and of 17 (too
// long to be written again from memory), the two speeds together and apart. Each column
// walks the list at its own pace.
TEST(AppendTrace, HeldValuesAreWrittenAsTheirOwn) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double values[] = {0.0,  0.0,    -0.0,        -0.0,        0.0,         -1e-9,        -1e-9,
                           1e-9, nan,    nan,         -nan,        std::bit_cast<double>(0x7ff0000000000001u),
                           5.0,  5.0,    123456789.123456, 123456789.123456, -123456789.123456,
                           -123456789.123456, 1e300, 1e300, 5.0, 2.5, 2.5, -2.5, 0.0};
  constexpr int32_t N = 600;
  TestRun run(N);
  std::string expected = std::string(Header);
  const auto held = [&values](int32_t i, int32_t pace) { return values[static_cast<std::size_t>(i / pace) % std::size(values)]; };
  for (int32_t i = 1; i <= N; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    run.points[k + 1] = held(i, 1);
    run.trace.speed_km_per_h[k] = i % 7 == 0 ? held(i, 2) : held(i, 1);
    run.trace.engine_speed_rpm[k] = held(i, 2);
    run.trace.engine_torque_nm[k] = held(i, 3);
    run.trace.normalised_speed_percent[k] = held(i, 5);
    run.trace.normalised_torque_percent[k] = held(i, 7);
    run.trace.gear[k] = i % 4;
    run.trace.fuel_rate_l_per_h[k] = held(i, 4);
    expected += ExpectedRecord(run, i);
  }
  std::string block;
  append_trace(block, run.cycle, run.trace, "URBAN");
  EXPECT_EQ(block, expected);
  EXPECT_NE(expected.find("\t123456789.123456\r\n"), std::string::npos);
  EXPECT_NE(expected.find("\t-123456789.123456\r\n"), std::string::npos);
}

// The trace CSV writes every value in its shortest form, also where equal values differ
// in sign or in bits: -0 and 0, nan and -nan.
TEST(TraceCsv, HeldValuesAreWrittenAsTheirOwn) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double values[] = {0.0, 0.0, -0.0, -0.0, 0.0, nan, nan, -nan, -nan, 0.1, 0.1, 1.0 / 3.0, 1.0 / 3.0,
                           -1e-300, 2.5, 2.5, 0.0};
  constexpr int32_t N = 300;
  TestRun run(N);
  std::vector<double> grade(run.points.size(), 0.0);
  for (int32_t i = 1; i <= N; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    const auto held = [&values](int32_t step, int32_t pace) { return values[static_cast<std::size_t>(step / pace) % std::size(values)]; };
    run.points[k + 1] = held(i, 1);
    grade[k + 1] = held(i, 3);
    run.trace.speed_km_per_h[k] = held(i, 2);
    run.trace.engine_speed_rpm[k] = held(i, 2);
    run.trace.engine_torque_nm[k] = held(i, 3);
    run.trace.normalised_speed_percent[k] = held(i, 5);
    run.trace.normalised_torque_percent[k] = held(i, 1);
    run.trace.fuel_rate_l_per_h[k] = held(i, 4);
  }
  run.cycle.grade_percent = grade;
  Result result;
  result.traces.push_back({"URBAN", run.cycle, run.trace, nullptr});
  const TraceTable table = trace_table(result);
  std::string expected = std::string(TraceCsvHeader) + "\n";
  for (std::size_t k = 0; k < static_cast<std::size_t>(N); ++k) {
    expected += "URBAN";
    for (const std::vector<double>& column : table.columns) {
      char text[32];
      expected += ',';
      expected.append(text, std::to_chars(text, text + sizeof text, column[k]).ptr);
    }
    expected += '\n';
  }
  const std::string csv = trace_csv(result);
  EXPECT_EQ(csv, expected);
  EXPECT_NE(csv.find(",-0,"), std::string::npos);
  EXPECT_NE(csv.find(",-nan,"), std::string::npos);
}

}  // namespace

}  // namespace hdfe
