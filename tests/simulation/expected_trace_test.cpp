// Both cycles of the example vehicles whose expected results carry the per-second traces,
// simulated from their input files and compared step by step with the printed traces of an
// independent implementation: gear exactly, speeds, engine speed and torque to the printed
// digits.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/cycles.h"
#include "sim/runcycle.h"
#include "hdfe/traces.h"
#include "tests/example_inputs.h"

namespace hdfe {

namespace {

namespace fs = std::filesystem;

// The data records of the named trace block, split at the tabs.
std::vector<std::vector<std::string>> trace_block(const fs::path& result, const std::string& name) {
  std::ifstream file(result, std::ios::binary);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  bool inBlock = false;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!inBlock) {
      inBlock = line == name;
      if (inBlock) std::getline(file, line);  // column titles
      continue;
    }
    if (line.empty() || line[0] < '0' || line[0] > '9') break;
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, '\t')) fields.push_back(cell);
    rows.push_back(fields);
  }
  return rows;
}

// x rounded to the printed number of decimals equals the printed value.
bool same_printed(double x, const std::string& printed) {
  const std::size_t point = printed.find('.');
  const int decimals = point == std::string::npos ? 0 : static_cast<int>(printed.size() - point - 1);
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, x);
  return std::strtod(text, nullptr) == std::strtod(printed.c_str(), nullptr);
}

void compare_cycle(const ExampleRecords& v, const DriveCycle& cycle, const fs::path& result, const std::string& name) {
  const CycleTrace trace = run_cycle(cycle, v.spec, v.eng, v.trn, v.fullLoad).trace;
  const auto rows = trace_block(result, name);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(cycle.n)) << name;
  int reported = 0;
  for (std::size_t k = 0; k < rows.size() && reported < 5; ++k) {
    const std::vector<std::string>& f = rows[k];
    ASSERT_EQ(f.size(), 9u) << name << " record " << k + 1;
    // Idle stop, applied after the simulation, zeroes the engine speed of a standstill.
    const bool idleStop = f[3] == ".0" && f[8] == ".000000" && trace.gear[k] == 0;
    const bool same = std::to_string(trace.gear[k]) == f[7] && same_printed(trace.speed_km_per_h[k], f[2]) &&
                      (idleStop || same_printed(trace.engine_speed_rpm[k], f[3])) && same_printed(trace.engine_torque_nm[k], f[4]) &&
                      same_printed(trace.normalised_speed_percent[k], f[5]) && same_printed(trace.normalised_torque_percent[k], f[6]);
    if (!same) {
      ++reported;
      ADD_FAILURE() << name << " step " << k + 1 << ": expected V " << f[2] << " Ne " << f[3] << " Te "
                    << f[4] << " N_norm " << f[5] << " T_norm " << f[6] << " gear " << f[7] << ", got V "
                    << trace.speed_km_per_h[k] << " Ne " << trace.engine_speed_rpm[k] << " Te " << trace.engine_torque_nm[k] << " N_norm "
                    << trace.normalised_speed_percent[k] << " T_norm " << trace.normalised_torque_percent[k] << " gear " << trace.gear[k];
    }
  }
}

class ExpectedTrace : public testing::TestWithParam<const char*> {};

TEST_P(ExpectedTrace, BothCyclesFollowTheReferenceTrace) {
  const fs::path source = HDFE_SOURCE_DIR;
  const fs::path dir = source / "examples" / GetParam();
  const fs::path result = source / "tests/data/expected" / GetParam() / "result.txt";
  ASSERT_TRUE(fs::exists(dir / "spec.txt")) << dir;
  ASSERT_TRUE(fs::exists(result)) << result;
  const ExampleRecords v = read_example(dir);
  compare_cycle(v, urban_cycle(), result, "URBAN");
  compare_cycle(v, highway_cycle(), result, "HIGHWAY");
}

// The built-in tables come with the sines of their gradients worked out at build time:
// copies of them, whose sines are worked out as the run goes, give the same steps bit for
// bit.
TEST_P(ExpectedTrace, CopiesOfTheBuiltInTablesRunTheSame) {
  const ExampleRecords v = read_example(fs::path(HDFE_SOURCE_DIR) / "examples" / GetParam());
  for (const DriveCycle& builtIn : {urban_cycle(), highway_cycle()}) {
    const std::vector<double> target(builtIn.target_speed_km_per_h.begin(), builtIn.target_speed_km_per_h.end());
    const std::vector<double> grade(builtIn.grade_percent.begin(), builtIn.grade_percent.end());
    const CycleTrace a = run_cycle(builtIn, v.spec, v.eng, v.trn, v.fullLoad).trace;
    const CycleTrace b = run_cycle(DriveCycle{builtIn.n, target, grade}, v.spec, v.eng, v.trn, v.fullLoad).trace;
    const auto bits = [](const std::vector<double>& x) {
      std::vector<uint64_t> out;
      for (double d : x) out.push_back(std::bit_cast<uint64_t>(d));
      return out;
    };
    EXPECT_EQ(bits(a.speed_km_per_h), bits(b.speed_km_per_h));
    EXPECT_EQ(bits(a.engine_speed_rpm), bits(b.engine_speed_rpm));
    EXPECT_EQ(bits(a.engine_torque_nm), bits(b.engine_torque_nm));
    EXPECT_EQ(bits(a.normalised_torque_percent), bits(b.normalised_torque_percent));
    EXPECT_EQ(a.gear, b.gear);
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExpectedTrace,
                         testing::Values("tractor_TT1_325kW_AMT12", "bus_BR4_220kW_AT6"));

}  // namespace

}  // namespace hdfe
