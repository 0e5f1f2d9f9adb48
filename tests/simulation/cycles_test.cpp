// Check values of the built-in drive-cycle tables, read from the compiled-in data.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "sim/cycles.h"
#include "sim/cycletables.h"

namespace hdfe {

namespace {

// Table values in integer units of 10^-decimals, so that sums are exact.
std::vector<int64_t> Scaled(std::span<const double> values, int decimals, std::size_t last) {
  const double scale = std::pow(10.0, decimals);
  std::vector<int64_t> scaled;
  for (std::size_t k = 0; k <= last; ++k) {
    const double s = values[k] * scale;
    EXPECT_NEAR(s, std::nearbyint(s), 1e-6) << "point " << k << " has more than " << decimals << " decimals";
    scaled.push_back(std::llround(s));
  }
  return scaled;
}

int64_t Sum(const std::vector<int64_t>& v) {
  int64_t sum = 0;
  for (int64_t x : v) sum += x;
  return sum;
}

int64_t SumOfSquares(const std::vector<int64_t>& v) {
  int64_t sum = 0;
  for (int64_t x : v) sum += x * x;
  return sum;
}

// (first, last) point of every run of zeros.
std::vector<std::pair<int, int>> ZeroRuns(const std::vector<int64_t>& v) {
  std::vector<std::pair<int, int>> runs;
  for (std::size_t k = 0; k < v.size(); ++k) {
    if (v[k] != 0) continue;
    if (k == 0 || v[k - 1] != 0) runs.emplace_back(static_cast<int>(k), static_cast<int>(k));
    runs.back().second = static_cast<int>(k);
  }
  return runs;
}

TEST(UrbanCycle, SpeedCheckValues) {
  const DriveCycle urban = urban_cycle();
  ASSERT_EQ(urban.n, 1830);
  const std::vector<int64_t> v = Scaled(urban.target_speed_km_per_h, 2, 1830);
  EXPECT_EQ(Sum(v), 5001155);
  EXPECT_EQ(SumOfSquares(v), 25716705609);
  int nonZero = 0, maxPoint = 0;
  int64_t maxRise = 0, maxFall = 0;
  int riseAt = 0, fallAt = 0;
  for (int k = 0; k <= 1830; ++k) {
    nonZero += v[k] != 0;
    if (v[k] > v[maxPoint]) maxPoint = k;
    if (k > 0 && v[k] - v[k - 1] > maxRise) maxRise = v[k] - v[k - 1], riseAt = k;
    if (k > 0 && v[k - 1] - v[k] > maxFall) maxFall = v[k - 1] - v[k], fallAt = k;
  }
  EXPECT_EQ(nonZero, 1369);
  EXPECT_EQ(maxPoint, 1603);
  EXPECT_EQ((std::vector<int64_t>(v.begin() + 1601, v.begin() + 1606)),
            (std::vector<int64_t>{8720, 8755, 8760, 8739, 8710}));
  EXPECT_EQ(maxRise, 573);
  EXPECT_EQ(riseAt, 523);
  EXPECT_EQ(maxFall, 659);
  EXPECT_EQ(fallAt, 622);
  EXPECT_EQ((std::vector<int64_t>(v.begin() + 25, v.begin() + 31)),
            (std::vector<int64_t>{0, 419, 832, 1233, 1605, 1874}));
  EXPECT_EQ((std::vector<int64_t>(v.begin() + 1826, v.begin() + 1831)),
            (std::vector<int64_t>{1324, 1027, 506, 0, 0}));
  const std::vector<std::pair<int, int>> runs{
      {0, 25},      {100, 163},   {380, 382},   {475, 521},   {629, 660},
      {733, 750},   {855, 891},   {943, 996},   {1020, 1024}, {1100, 1141},
      {1164, 1171}, {1207, 1290}, {1347, 1359}, {1399, 1425}, {1829, 1830}};
  EXPECT_EQ(ZeroRuns(v), runs);
  int64_t midtown = 0;
  for (int k = 645; k <= 1410; ++k) midtown += v[k];
  EXPECT_EQ(midtown, 1037840);
}

TEST(UrbanCycle, LevelRoadAndZerosPastTheEnd) {
  const DriveCycle urban = urban_cycle();
  ASSERT_EQ(urban.target_speed_km_per_h.size(), 1832u);
  ASSERT_EQ(urban.grade_percent.size(), 1832u);
  for (double g : urban.grade_percent) EXPECT_EQ(g, 0.0);
  EXPECT_EQ(urban.target_speed_km_per_h[0], 0.0);
  EXPECT_EQ(urban.target_speed_km_per_h[1], 0.0);
  EXPECT_EQ(urban.target_speed_km_per_h[1831], 0.0);
}

TEST(HighwayCycle, SpeedIsEightyToTheEnd) {
  const DriveCycle highway = highway_cycle();
  ASSERT_EQ(highway.n, 3120);
  ASSERT_EQ(highway.target_speed_km_per_h.size(), 3124u);
  for (int k = 0; k <= 3120; ++k) ASSERT_EQ(highway.target_speed_km_per_h[k], 80.0) << k;
  for (int k = 3121; k <= 3123; ++k) {
    EXPECT_EQ(highway.target_speed_km_per_h[k], 0.0);
    EXPECT_EQ(highway.grade_percent[k], 0.0);
  }
}

TEST(HighwayCycle, GradientCheckValues) {
  const DriveCycle highway = highway_cycle();
  const std::vector<int64_t> g = Scaled(highway.grade_percent, 3, 3123);
  const std::vector<int64_t> used(g.begin(), g.begin() + 3121);
  int positive = 0, negative = 0, runsOfEqual = 1, maxCount = 0, minCount = 0;
  int64_t absSum = 0;
  for (int k = 0; k <= 3120; ++k) {
    positive += used[k] > 0;
    negative += used[k] < 0;
    absSum += used[k] < 0 ? -used[k] : used[k];
    maxCount += used[k] == 5040;
    minCount += used[k] == -5040;
    if (k > 0 && used[k] != used[k - 1]) ++runsOfEqual;
  }
  EXPECT_EQ(positive, 1541);
  EXPECT_EQ(negative, 1541);
  EXPECT_EQ(Sum(used), 0);
  EXPECT_EQ(absSum, 4258448);
  EXPECT_EQ(SumOfSquares(used), 9321252436);
  EXPECT_EQ(runsOfEqual, 1164);
  EXPECT_EQ(maxCount, 4);
  EXPECT_EQ(minCount, 4);
  EXPECT_EQ(std::find(used.begin(), used.end(), 5040) - used.begin(), 296);
  EXPECT_EQ(std::find(used.begin(), used.end(), -5040) - used.begin(), 2822);
  EXPECT_EQ(*std::max_element(used.begin(), used.end()), 5040);
  EXPECT_EQ(*std::min_element(used.begin(), used.end()), -5040);
  for (int k = 1; k <= 3120; ++k) ASSERT_EQ(used[3121 - k], -used[k]) << k;
  const std::vector<int64_t> start{0,     0,     0,     0,    0,    -228,  -2280, -2280,
                                   -2280, -2280, -2280, -2280, -2280, -669, -490,  -490,
                                   -490,  -490,  -490,  300,  494,  1270,  1270,  3135,
                                   5000,  5000,  1400,  -4000, -4000, -4000};
  EXPECT_EQ(std::vector<int64_t>(used.begin(), used.begin() + 30), start);
  EXPECT_EQ(used[1560], -414);
  EXPECT_EQ(used[1561], 414);
  EXPECT_EQ(used[3115], 2280);
  EXPECT_EQ(used[3116], 228);
  for (int k = 3117; k <= 3123; ++k) EXPECT_EQ(g[k], 0) << k;
}

// The sines worked out at build time are those a run works out, bit for bit, and only the
// built-in tables have them.
TEST(HighwayCycle, GradientSinesAreTheRunsOwn) {
  const std::span<const double> sines = known_grade_sines(HighwayGradeTable);
  ASSERT_EQ(sines.size(), HighwayGradeTable.size());
  for (std::size_t k = 0; k < sines.size(); ++k) {
    ASSERT_EQ(std::bit_cast<uint64_t>(sines[k]), std::bit_cast<uint64_t>(std::sin(std::atan(HighwayGradeTable[k] / 100.0))))
        << "point " << k << ", gradient " << HighwayGradeTable[k];
  }
  const std::span<const double> level = known_grade_sines(UrbanGradeTable);
  ASSERT_EQ(level.size(), UrbanGradeTable.size());
  EXPECT_TRUE(std::all_of(level.begin(), level.end(), [](double x) { return std::bit_cast<uint64_t>(x) == 0; }));
  const std::vector<double> copy(HighwayGradeTable.begin(), HighwayGradeTable.end());
  EXPECT_TRUE(known_grade_sines(copy).empty());
  EXPECT_TRUE(known_grade_sines(std::span<const double>(HighwayGradeTable).first(100)).empty());
}

// The build's program for the sines: the table it writes, and a gradient file it cannot
// read, named by file and line, with nothing written.
TEST(HighwayCycle, TheSinesProgramWritesExactValuesAndNamesABadLine) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "hdfe-grade-sines-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto run = [&](const std::string& grades, std::string& said) {
    std::ofstream(dir / "grade.txt") << grades;
    const std::string command = std::string(HDFE_GRADE_SINES_BINARY) + " " + (dir / "grade.txt").string() + " " +
                                (dir / "sines.cpp").string() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    said.clear();
    for (int c; (c = std::fgetc(pipe)) != EOF;) said.push_back(static_cast<char>(c));
    return pclose(pipe);
  };
  std::string said;
  ASSERT_EQ(run("0\n-2.5\n100\n", said), 0) << said;
  std::ifstream written(dir / "sines.cpp");
  const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  for (const double s : {0.0, -2.5, 100.0}) {
    char value[64];
    std::snprintf(value, sizeof value, "    %a,\n", std::sin(std::atan(s / 100.0)));
    EXPECT_NE(text.find(value), std::string::npos) << value << " in " << text;
  }
  std::filesystem::remove(dir / "sines.cpp");
  EXPECT_NE(run("1.5\n2,5\n", said), 0);
  EXPECT_NE(said.find((dir / "grade.txt").string() + ":2: not a number: '2,5'"), std::string::npos) << said;
  EXPECT_FALSE(std::filesystem::exists(dir / "sines.cpp"));
  std::filesystem::remove_all(dir);
}

TEST(HighwayCycle, HeightProfileReturnsToItsStart) {
  const DriveCycle highway = highway_cycle();
  double height = 0.0, highest = 0.0, lowest = 0.0;
  for (int k = 1; k <= 3120; ++k) {
    height += 80.0 / 3.6 * std::sin(std::atan(highway.grade_percent[k] / 100.0));
    highest = std::max(highest, height);
    lowest = std::min(lowest, height);
  }
  EXPECT_NEAR(height, 0.0, 1e-9);
  EXPECT_NEAR(highest, 37.3, 0.05);
  EXPECT_NEAR(lowest, -22.1, 0.05);
}

TEST(CycleTrace, SizedForEveryStepOfTheCycle) {
  for (const DriveCycle& cycle : {urban_cycle(), highway_cycle()}) {
    CycleTrace trace;
    size_trace(trace, cycle.n);
    const std::size_t n = static_cast<std::size_t>(cycle.n);
    EXPECT_EQ(trace.speed_km_per_h.size(), n);
    EXPECT_EQ(trace.gear.size(), n);
    EXPECT_EQ(trace.engine_speed_rpm.size(), n);
    EXPECT_EQ(trace.engine_torque_nm.size(), n);
    EXPECT_EQ(trace.normalised_speed_percent.size(), n);
    EXPECT_EQ(trace.normalised_torque_percent.size(), n);
    EXPECT_EQ(trace.fuel_rate_l_per_h.size(), n);
  }
}

}  // namespace

}  // namespace hdfe
