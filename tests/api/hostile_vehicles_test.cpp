// Vehicles no one would build: every run ends within seconds, and a result that is not a
// positive finite number is an error, never a figure. Curves that end in a vertical drop
// run as the plain arithmetic would give them.
#include "hdfe/hdfe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <utility>

namespace hdfe {

namespace {

const std::filesystem::path Truck =
    std::filesystem::path(HDFE_SOURCE_DIR) / "examples" / "truck_T8_175kW_MT6" / "spec.txt";

#if defined(__SANITIZE_ADDRESS__)
constexpr double Slowdown = 8.0;  // the sanitizers run the simulation several times slower
#else
constexpr double Slowdown = 1.0;
#endif

// The error the edited truck's run stops with; fails the test when it does not stop.
Error StopOf(const std::function<void(Vehicle&)>& edit, double& seconds) {
  Vehicle v = load_vehicle(Truck);
  edit(v);
  // Processor time, so that other work on the machine does not count.
  const std::clock_t start = std::clock();
  try {
    run(v);
  } catch (const Error& e) {
    seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    return e;
  }
  ADD_FAILURE() << "the run did not stop";
  return Error(ErrorKind::BadValue, "");
}

void ExpectStop(const std::function<void(Vehicle&)>& edit, ErrorKind kind, const std::string& line) {
  double seconds = 0.0;
  const Error e = StopOf(edit, seconds);
  EXPECT_EQ(e.kind(), kind) << e.what();
  EXPECT_EQ(e.what(), line);
  EXPECT_LT(seconds, 2.0 * Slowdown) << line;
  testing::Test::RecordProperty("seconds", std::to_string(seconds));
}

const std::string NoConvergence =
    "The speed search did not converge in more than 500 gear evaluations of one cycle: the engine cannot hold"
    " the cycle's speeds (check RollAddend, FinalRatio, the gear ratios and the full-load curve)";

TEST(HostileVehicles, RunsThatCannotHoldTheCycleEndWithinSeconds) {
  // Each took 9 to 180 s, writing up to 26 MB of warnings.
  ExpectStop([](Vehicle& v) { v.values.roll_addend = 1e3; }, ErrorKind::Limit, NoConvergence);
  ExpectStop([](Vehicle& v) { v.values.final_ratio = 4.9e-324; }, ErrorKind::Limit, NoConvergence);
  ExpectStop(
      [](Vehicle& v) {
        v.values.roll_addend = 1e3;
        v.transmission.main_ratios.clear();
        for (int g = 0; g < 99; ++g) v.transmission.main_ratios.push_back(8.0 * std::pow(0.97, g));
      },
      ErrorKind::Limit, NoConvergence);
}

TEST(HostileVehicles, FiguresThatAreNotPositiveFiniteNumbersStopTheRun) {
  ExpectStop([](Vehicle& v) { v.values.kf1 = 1e308; }, ErrorKind::BadResult,
             "URBAN fuel economy with Kf1 is inf km/l: distance over fuel is out of the range of numbers (check "
             "Kf1 and the fuel map)");
  const std::pair<double, const char*> factors[] = {
      {0.0, "0"}, {-1.0, "-1"}, {std::numeric_limits<double>::quiet_NaN(), "nan"}};
  for (const auto& [kf, text] : factors) {
    ExpectStop([kf = kf](Vehicle& v) { v.values.kf2 = kf; }, ErrorKind::BadResult,
               std::string("Kf2 is ") + text + ": it must be a positive finite number");
  }
  ExpectStop(
      [](Vehicle& v) {
        v.fuel_map.idle_fuel_rate_l_per_h = 0.0;
        for (double& rate : v.fuel_map.fuel_rates_l_per_h) rate = 0.0;
      },
      ErrorKind::BadResult, "URBAN fuel is 0 l: the fuel map gives no fuel (check its fuel rates and idle line)");
  ExpectStop([](Vehicle& v) { v.values.final_ratio = 100.0; }, ErrorKind::BadResult,
             "URBAN distance is 0 km: the vehicle does not move forward over the cycle (check RollAddend, "
             "FinalRatio, the gear ratios and the full-load curve)");
}

// A vertical drop at the cut-off speed: the run never drives a second beyond it, so the
// figures are those of the curve without the drop.
TEST(HostileVehicles, CurvesEndingInAVerticalDropRunWhereNoSecondIsDrivenBeyondIt) {
  const Result plain = run(load_vehicle(Truck));
  Vehicle v = load_vehicle(Truck);
  ASSERT_EQ(v.full_load.speeds_rpm.back(), 2600.0);
  v.full_load.speeds_rpm.back() = v.full_load.speeds_rpm[v.full_load.speeds_rpm.size() - 2];  // 2500: Nex
  // The motoring curve is looked up at the map's speed lines, up to 2600 rpm.
  v.motoring.speeds_rpm.insert(v.motoring.speeds_rpm.end(), {2700.0, 2700.0});
  v.motoring.torques_nm.insert(v.motoring.torques_nm.end(), {-120.0, 0.0});
  const Result dropped = run(v);
  for (const char* cycle : {"URBAN", "HIGHWAY", "MID-TOWN"}) {
    EXPECT_EQ(dropped.cycle(cycle).fuel_economy_km_per_l, plain.cycle(cycle).fuel_economy_km_per_l) << cycle;
  }
  // Driven beyond a drop at 2000 rpm: the run stops, naming the curve and the speed.
  v.full_load.speeds_rpm = {600.0, 1200.0, 2000.0, 2000.0};
  v.full_load.torques_nm = {478.0, 956.0, 826.0, 0.0};
  try {
    run(v);
    ADD_FAILURE() << "no stop";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::VehicleCheck);
    EXPECT_EQ(e.message().substr(0, 76), "Torque data file [ fullload.txt ] has two points at its highest speed 2000: ");
    EXPECT_NE(e.message().find(" second "), std::string::npos);
  }
}

}  // namespace

}  // namespace hdfe
