// Whole runs of the example vehicles, compared byte for byte with the approved outputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/run_case.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

class ExampleVehicle : public testing::TestWithParam<const char*> {};

void ExpectSameBytes(const std::string& actual, const fs::path& approved) {
  ASSERT_TRUE(fs::exists(approved)) << approved;
  const std::string expected = ReadFileBytes(approved);
  EXPECT_TRUE(actual == expected) << approved << ": " << actual.size() << " bytes written, "
                                  << expected.size() << " approved";
}

TEST_P(ExampleVehicle, WholeRunMatchesApprovedOutputs) {
  const fs::path approved = fs::path(HDFE_SOURCE_DIR) / "tests/e2e/approved" / GetParam();
  const CaseRun run =
      RunCase(HDFE_FIXEDCLOCK_BINARY, fs::path(HDFE_SOURCE_DIR) / "examples" / GetParam(),
              {"spec.txt", "result.txt"});
  EXPECT_EQ(std::to_string(run.exitStatus) + "\n", ReadFileBytes(approved / "exit_status.txt"));
  ExpectSameBytes(run.stdoutText, approved / "stdout.txt");
  ExpectSameBytes(run.stderrText, approved / "stderr.txt");
  ExpectSameBytes(ReadFileBytes(run.dir / "result.txt"), approved / "result.txt");
  ExpectSameBytes(ReadFileBytes(run.dir / "result.txt_info.txt"), approved / "result.txt_info.txt");
}

// The approved outputs are those of an independent implementation (tests/data/expected), so
// re-approving outputs that drift from them fails here.
TEST_P(ExampleVehicle, ApprovedOutputsEqualTheIndependentOnes) {
  const fs::path independent = fs::path(HDFE_SOURCE_DIR) / "tests/data/expected" / GetParam();
  const fs::path approved = fs::path(HDFE_SOURCE_DIR) / "tests/e2e/approved" / GetParam();
  for (const char* file : {"result.txt", "result.txt_info.txt", "stdout.txt", "stderr.txt", "exit_status.txt"}) {
    ExpectSameBytes(ReadFileBytes(approved / file), independent / file);
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleVehicle,
                         testing::Values("tractor_TT1_325kW_AMT12", "truck_T8_175kW_MT6",
                                         "bus_BR4_220kW_AT6", "lighttruck_T3_130kW_MT6"));

}  // namespace

}  // namespace hdfe
