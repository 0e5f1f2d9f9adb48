// Physical sanity of every example vehicle's runs.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "hdfe/hdfe.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

constexpr double SpeedTolerance = 0.009999999776482582;  // [km/h]

class ExampleRuns : public testing::TestWithParam<const char*> {
 protected:
  static Result Run(const char* vehicle) {
    RunOptions options;
    options.traces = true;
    return run(load_vehicle(fs::path(HDFE_SOURCE_DIR) / "examples" / vehicle / "spec.txt"), options);
  }
};

void ExpectSaneTrace(const DriveCycle& cycle, const CycleTrace& trace, const Result& r) {
  const EngineData& eng = r.classification.engine;
  ASSERT_EQ(trace.speed_km_per_h.size(), static_cast<std::size_t>(cycle.n));
  for (int32_t i = 1; i <= cycle.n; ++i) {
    const std::size_t k = static_cast<std::size_t>(i - 1);
    SCOPED_TRACE("step " + std::to_string(i));
    ASSERT_GE(trace.speed_km_per_h[k], 0.0);
    ASSERT_LE(trace.speed_km_per_h[k] - cycle.target_speed_km_per_h[static_cast<std::size_t>(i)], SpeedTolerance);
    ASSERT_GE(trace.gear[k], 0);
    ASSERT_LE(trace.gear[k], r.classification.transmission.gear_count());
    ASSERT_GE(trace.fuel_rate_l_per_h[k], 0.0);
    ASSERT_TRUE(std::isfinite(trace.fuel_rate_l_per_h[k]));
    // An engine switched off by idle stop only at standstill.
    if (trace.engine_speed_rpm[k] == 0.0) {
      ASSERT_EQ(trace.speed_km_per_h[k], 0.0);
    }
    if (trace.engine_speed_rpm[k] != 0.0) {
      ASSERT_GE(trace.engine_speed_rpm[k], eng.idle_speed_rpm);
      ASSERT_LE(trace.engine_speed_rpm[k], eng.max_speed_rpm);
    }
  }
}

void ExpectSaneFigures(const CycleFigures& f) {
  EXPECT_TRUE(std::isfinite(f.fuel_economy_km_per_l));
  EXPECT_GT(f.fuel_economy_km_per_l, 0.0);
  EXPECT_GT(f.average_speed_km_per_h, 0.0);
  EXPECT_GT(f.fuel_l, 0.0);
  EXPECT_GT(f.distance_km, 0.0);
}

TEST_P(ExampleRuns, TracesAndResultsArePhysicallySane) {
  const Result r = Run(GetParam());
  ASSERT_EQ(r.traces.size(), 2u);
  for (const CycleRun& c : r.traces) ExpectSaneTrace(c.cycle, c.trace, r);
  for (const CycleFigures& f : r.cycles) ExpectSaneFigures(f);
  // MID-TOWN is a slower section inside URBAN.
  EXPECT_LT(r.cycle("MID-TOWN").average_speed_km_per_h, r.cycle("URBAN").average_speed_km_per_h);
  EXPECT_NEAR(r.cycle("HIGHWAY").average_speed_km_per_h, 80.0, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleRuns,
                         testing::Values("tractor_TT1_325kW_AMT12", "truck_T8_175kW_MT6",
                                         "bus_BR4_220kW_AT6", "lighttruck_T3_130kW_MT6"));

}  // namespace

}  // namespace hdfe
