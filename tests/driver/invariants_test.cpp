// Physical sanity of every example vehicle's runs.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "driver/run.h"
#include "fuel/fuelgrid.h"
#include "tests/example_inputs.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

constexpr double SpeedTolerance = 0.009999999776482582;  // [km/h]

class ExampleRuns : public testing::TestWithParam<const char*> {
 protected:
  static RunRecords Run(const char* vehicle) {
    RunRecords r;
    read_inputs_in(fs::path(HDFE_SOURCE_DIR) / "examples" / vehicle, r);
    build_fuel_grid(r.grid, r.map, r.motoring);
    simulate(r);
    return r;
  }
};

void ExpectSaneTrace(const DriveCycle& cycle, const CycleTrace& trace, const RunRecords& r) {
  ASSERT_EQ(trace.Vreal.size(), static_cast<std::size_t>(cycle.n));
  for (int32_t i = 1; i <= cycle.n; ++i) {
    const std::size_t k = static_cast<std::size_t>(i - 1);
    SCOPED_TRACE("step " + std::to_string(i));
    ASSERT_GE(trace.Vreal[k], 0.0);
    ASSERT_LE(trace.Vreal[k] - cycle.Vtarget[static_cast<std::size_t>(i)], SpeedTolerance);
    ASSERT_GE(trace.Shift[k], 0);
    ASSERT_LE(trace.Shift[k], r.trn.GearCount);
    ASSERT_GE(trace.FC[k], 0.0);
    ASSERT_TRUE(std::isfinite(trace.FC[k]));
    // An engine switched off by idle stop only at standstill.
    if (trace.Ne[k] == 0.0) {
      ASSERT_EQ(trace.Vreal[k], 0.0);
    }
    if (trace.Ne[k] != 0.0) {
      ASSERT_GE(trace.Ne[k], r.eng.Nidle);
      ASSERT_LE(trace.Ne[k], r.eng.Nex);
    }
  }
}

void ExpectSaneResult(const CycleResult& result) {
  EXPECT_TRUE(std::isfinite(result.FuelEconomy));
  EXPECT_GT(result.FuelEconomy, 0.0);
  EXPECT_GT(result.AverageSpeed, 0.0);
}

TEST_P(ExampleRuns, TracesAndResultsArePhysicallySane) {
  const RunRecords r = Run(GetParam());
  ExpectSaneTrace(r.urban, r.urbanTrace, r);
  ExpectSaneTrace(r.highway, r.highwayTrace, r);
  ExpectSaneResult(r.urbanResult);
  ExpectSaneResult(r.midtownResult);
  ExpectSaneResult(r.highwayResult);
  // MID-TOWN is a slower section inside URBAN.
  EXPECT_LT(r.midtownResult.AverageSpeed, r.urbanResult.AverageSpeed);
  EXPECT_NEAR(r.highwayResult.AverageSpeed, 80.0, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleRuns,
                         testing::Values("tractor_TT1_325kW_AMT12", "truck_T8_175kW_MT6",
                                         "bus_BR4_220kW_AT6", "lighttruck_T3_130kW_MT6"));

}  // namespace

}  // namespace hdfe
