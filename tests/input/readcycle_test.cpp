#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "hdfe/cycle.h"
#include "hdfe/error.h"
#include "io/csvrows.h"
#include "inputfiles.h"

namespace hdfe {

namespace {

class ReadCycle : public InputFiles {};

TEST_F(ReadCycle, WholeSecondsAsTheyStandWithUnitsGradeAndPhase) {
  const Cycle c = read_cycle_file(Write("route.csv",
                                        "\xEF\xBB\xBF# a route\r\n"
                                        "phase, time_s ,speed_mph,grade_percent\r\n"
                                        "idle,0,0,-0\r\n"
                                        "# comment between rows\n"
                                        "go,1,0.1,1.5\n"
                                        "\n"
                                        "go,2,62.5,-30\n"));
  EXPECT_EQ(c.name, "route");
  EXPECT_EQ(c.target_speed_km_per_h, (std::vector<double>{0.0, 0.1 * 1.609344, 62.5 * 1.609344}));
  EXPECT_EQ(c.grade_percent, (std::vector<double>{0.0, 1.5, -30.0}));
  EXPECT_EQ(c.phase, (std::vector<std::string>{"idle", "go", "go"}));

  const Cycle ms = read_cycle_file(Write("ms.csv", "time_s,speed_m_per_s\n0,0\n1,2.5\n"));
  EXPECT_EQ(ms.target_speed_km_per_h, (std::vector<double>{0.0, 2.5 * 3.6}));
  EXPECT_TRUE(ms.grade_percent.empty());
  EXPECT_TRUE(ms.phase.empty());
}

// Files read block by block: rows across the blocks' ends, a comment line longer than a
// block, a last line without its line end, and a bad row far in, stopped at its line.
TEST_F(ReadCycle, LongFilesAndLongLines) {
  std::string text = "#" + std::string(200000, 'x') + "\r\ntime_s,speed_km_per_h\r\n";
  std::vector<double> speeds;
  for (int t = 0; t < 30000; ++t) {
    speeds.push_back(static_cast<double>(t % 97) / 4.0);
    text += std::to_string(t) + "," + std::to_string(t % 97 / 4) + (t % 97 % 4 == 0 ? "" : t % 97 % 4 == 2 ? ".5" : t % 97 % 4 == 1 ? ".25" : ".75");
    if (t + 1 < 30000) text += t % 2 ? "\n" : "\r\n";
  }
  const Cycle c = read_cycle_file(Write("long.csv", text));
  EXPECT_EQ(c.target_speed_km_per_h, speeds);
  const Error bad = StopOf([&] { read_cycle_file(Write("bad.csv", text + "\n30000,x\n")); });
  EXPECT_EQ(bad.line(), 30003);
  EXPECT_NE(bad.message().find("not a number"), std::string::npos) << bad.message();
  // Files of exactly two blocks of 64 KiB, with and without their last line end.
  for (const std::string last : {"2,4.5\n", "2,4.5"}) {
    const std::string rows = "time_s,speed_km_per_h\n0,0\n1,2\n" + last;
    const std::string exact = "#" + std::string(2 * 65536 - rows.size() - 2, 'c') + "\n" + rows;
    ASSERT_EQ(exact.size(), 2u * 65536u);
    EXPECT_EQ(read_cycle_file(Write("exact.csv", exact)).target_speed_km_per_h, (std::vector<double>{0.0, 2.0, 4.5}));
  }
}

TEST_F(ReadCycle, OtherStepsAreResampledToWholeSeconds) {
  // Rows at 0, 0.5, 2 and 4.5 s: points 0..4, a second on a row keeps its values exactly,
  // and the phase is the row's at or before the point.
  const Cycle c = read_cycle_file(Write("r.csv",
                                        "time_s,speed_km_per_h,grade_percent,phase\n"
                                        "0,0,0,a\n0.5,10,1,b\n2,40,4,c\n4.5,15,-1,d\n"));
  ASSERT_EQ(c.target_speed_km_per_h.size(), 5u);
  EXPECT_EQ(c.target_speed_km_per_h[0], 0.0);
  EXPECT_DOUBLE_EQ(c.target_speed_km_per_h[1], 20.0);
  EXPECT_EQ(c.target_speed_km_per_h[2], 40.0);
  EXPECT_DOUBLE_EQ(c.target_speed_km_per_h[3], 30.0);
  EXPECT_DOUBLE_EQ(c.target_speed_km_per_h[4], 20.0);
  EXPECT_DOUBLE_EQ(c.grade_percent[1], 2.0);
  EXPECT_EQ(c.grade_percent[2], 4.0);
  EXPECT_EQ(c.phase, (std::vector<std::string>{"a", "b", "c", "c", "c"}));
  EXPECT_EQ(c.resampled, "resampled from 4 rows 0.5 to 2.5 s apart to whole seconds");
  // Whole seconds with a gap are resampled too.
  const Cycle gap = read_cycle_file(Write("g.csv", "time_s,speed_km_per_h\n0,0\n2,10\n"));
  EXPECT_EQ(gap.target_speed_km_per_h, (std::vector<double>{0.0, 5.0, 10.0}));
  EXPECT_EQ(gap.resampled, "resampled from 2 rows 2 s apart to whole seconds");
  // Decimal times a tenth apart count as one step, though their differences round apart.
  std::string tenths = "time_s,speed_km_per_h\n";
  for (int k = 0; k <= 10600; ++k) tenths += std::to_string(k / 10) + "." + std::to_string(k % 10) + ",20\n";
  const Cycle fine = read_cycle_file(Write("fine.csv", tenths));
  EXPECT_EQ(fine.target_speed_km_per_h.size(), 1061u);
  EXPECT_EQ(fine.resampled, "resampled from 10,601 rows 0.1 s apart to whole seconds");
  EXPECT_EQ(fine.source, Write("fine.csv", tenths));
  EXPECT_EQ(read_cycle_file(Write("whole.csv", "time_s,speed_km_per_h\n0,0\n1,1\n")).resampled, "");
}

TEST_F(ReadCycle, BadFilesStopAtTheirLine) {
  struct Case {
    const char* text;
    int64_t line;
    const char* says;
  };
  const Case cases[] = {
      {"time_s,speed_km_per_h,wind\n0,0,0\n", 1, "unknown column"},
      {"speed_km_per_h\n0\n1\n", 1, "no time_s"},
      {"time_s,grade_percent\n0,0\n", 1, "no speed column"},
      {"time_s,speed_mph,speed_km_per_h\n", 1, "repeats"},
      {"time_s,speed_km_per_h\n0,0\n1,fast\n", 3, "not a number"},
      {"time_s,speed_km_per_h\n0,0\n1,\n", 3, "not a number"},
      {"time_s,speed_km_per_h\n0,0\n1,nan\n", 3, "not a finite"},
      {"time_s,speed_km_per_h\n0,0\n1,inf\n", 3, "not a finite"},
      {"time_s,speed_km_per_h\n0,0\n1,1e999\n", 3, "not a number"},
      {"time_s,speed_km_per_h\n0,0\n1,-0.5\n", 3, "negative speed"},
      {"time_s,speed_km_per_h,grade_percent\n0,0,0\n1,5,30.01\n", 3, "gradient"},
      {"time_s,speed_km_per_h\n1,0\n2,0\n", 2, "start at 0"},
      {"time_s,speed_km_per_h\n0,0\n1,0\n1,0\n", 4, "not increase"},
      {"time_s,speed_km_per_h\n0,0\n2,0\n1,0\n", 4, "not increase"},
      {"time_s,speed_km_per_h\n0,0\n1\n", 3, "fields"},
      {"time_s,speed_km_per_h\n", 1, "two rows"},
      {"time_s,speed_km_per_h\n0,0\n", 2, "two rows"},
      {"# only a comment\n", 1, "no header"},
      {"time_s,speed_km_per_h\n0,0\n0.5,3\n", 3, "before second 1"},
      {"time_s,speed_km_per_h\n0,0\n1e12,3\n", 3, "points"},
  };
  for (const Case& c : cases) {
    const std::string path = Write("bad.csv", c.text);
    try {
      read_cycle_file(path);
      ADD_FAILURE() << "read: " << c.text;
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::BadValue) << c.text;
      EXPECT_EQ(e.file(), path) << c.text;
      EXPECT_EQ(e.line(), c.line) << c.text;
      EXPECT_NE(e.message().find(c.says), std::string::npos) << c.text << " -> " << e.message();
    }
  }
  EXPECT_THROW(read_cycle_file(Missing()), Error);
}

// A field reads as from_chars reads it, bit for bit, whether plain or not; what from_chars
// does not take whole is not a number.
TEST(CsvNumber, FieldsReadAsFromCharsReadsThem) {
  std::mt19937_64 random(8);
  std::vector<std::string> texts = {"0",     "-0",   "0.",  ".5",  "-.5",   "007",   "5.000", "123456789012345",
                                    "1234567890123456", "0.000000000000001", "0.0000000000000001", "999999999999999.",
                                    "1e3", "-2.5E-3", "1.5e+2", "12.5", "-7", "0.1", "9007199254740993"};
  for (int k = 0; k < 20000; ++k) {
    std::string t = random() % 3 == 0 ? "-" : "";
    const int whole = static_cast<int>(random() % 9), decimals = static_cast<int>(random() % 10);
    for (int i = 0; i < whole; ++i) t += static_cast<char>('0' + random() % 10);
    if (random() % 4 != 0) t += '.';
    for (int i = 0; i < decimals; ++i) t += static_cast<char>('0' + random() % 10);
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    double expected = 0.0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), expected);
    if (t.empty() || ec != std::errc() || ptr != t.data() + t.size()) {
      EXPECT_THROW(csv_number("f.csv", 2, "speed", t), Error) << t;
      continue;
    }
    expected += 0.0;
    EXPECT_EQ(std::bit_cast<uint64_t>(csv_number("f.csv", 2, "speed", t)), std::bit_cast<uint64_t>(expected)) << t;
  }
  for (const char* bad : {"", "-", ".", "-.", "+5", "1.2.3", "1-2", "--1", "1 2", "0x10", "1,5"}) {
    EXPECT_THROW(csv_number("f.csv", 2, "speed", bad), Error) << bad;
  }
}

TEST(PublicCycles, ReadAsTheirCheckFiguresGive) {
  const std::filesystem::path folder = std::filesystem::path(HDFE_SOURCE_DIR) / "data/cycles";
  std::ifstream checks(folder / "CHECKS.tsv");
  std::string line;
  std::getline(checks, line);  // header
  int files = 0;
  while (std::getline(checks, line)) {
    std::istringstream fields(line);
    std::string name;
    std::size_t points = 0;
    double duration = 0.0, distance = 0.0, mean = 0.0, max = 0.0;
    fields >> name >> points >> duration >> distance >> mean >> max;
    const Cycle c = read_cycle_file(folder / (name + ".csv"));
    // The library's copy built into the program is the file, to the bit.
    const Cycle library = library_cycle(name);
    EXPECT_EQ(library.name, name);
    EXPECT_EQ(library.target_speed_km_per_h.size(), c.target_speed_km_per_h.size()) << name;
    EXPECT_EQ(0, std::memcmp(library.target_speed_km_per_h.data(), c.target_speed_km_per_h.data(),
                             c.target_speed_km_per_h.size() * sizeof(double)))
        << name;
    EXPECT_EQ(library.grade_percent, c.grade_percent);
    EXPECT_EQ(library.phase, c.phase);
    // cycle_stats gives the check figures to the precision they are printed with.
    const CycleStats stats = cycle_stats(library);
    EXPECT_EQ(stats.points, static_cast<int64_t>(points)) << name;
    EXPECT_EQ(stats.duration_s, duration) << name;
    const auto printed = [](double value, int decimals) {
      char text[32];
      std::snprintf(text, sizeof text, "%.*f", decimals, value);
      return std::string(text);
    };
    EXPECT_EQ(printed(stats.distance_km, 3), printed(distance, 3)) << name;
    EXPECT_EQ(printed(stats.mean_speed_km_per_h, 2), printed(mean, 2)) << name;
    EXPECT_EQ(printed(stats.max_speed_km_per_h, 2), printed(max, 2)) << name;
    const std::vector<double>& v = c.target_speed_km_per_h;
    ASSERT_EQ(v.size(), points) << name;
    EXPECT_EQ(static_cast<double>(v.size() - 1), duration) << name;
    double trapezoid = 0.0;
    double sum = 0.0;
    for (std::size_t k = 1; k < v.size(); ++k) {
      trapezoid += (v[k - 1] + v[k]) / 2.0 / 3600.0;
      sum += v[k];
    }
    EXPECT_NEAR(trapezoid, distance, 0.0005) << name;
    EXPECT_NEAR(sum / static_cast<double>(v.size() - 1), mean, 0.005) << name;
    EXPECT_NEAR(*std::max_element(v.begin(), v.end()), max, 0.005) << name;
    check_cycle_values(c);
    ++files;
  }
  EXPECT_EQ(files, 10);
}

}  // namespace

}  // namespace hdfe
