// A user's cycle holding a built-in cycle's tables runs exactly as the built-in one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "hdfe/cycle.h"
#include "hdfe/hdfe.h"

namespace hdfe {
namespace {

const std::filesystem::path Source = HDFE_SOURCE_DIR;

std::vector<double> read_points(const std::filesystem::path& file, std::size_t count) {
  std::ifstream in(file);
  std::vector<double> points;
  double v = 0.0;
  while (points.size() < count && in >> v) points.push_back(v);
  return points;
}

// Equal to the bit, so that -0 and 0 or two NaNs are told apart as a file would show them.
template <typename T>
void ExpectSameBits(const std::vector<T>& a, const std::vector<T>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(T))) << what;
}

void ExpectSameRun(const CycleRun& builtIn, const CycleFigures& builtInFigures, const CycleRun& user,
                   const CycleFigures& userFigures) {
  const CycleTrace& a = builtIn.trace;
  const CycleTrace& b = user.trace;
  ExpectSameBits(a.speed_km_per_h, b.speed_km_per_h, "speed");
  ExpectSameBits(a.gear, b.gear, "gear");
  ExpectSameBits(a.engine_speed_rpm, b.engine_speed_rpm, "engine speed");
  ExpectSameBits(a.engine_torque_nm, b.engine_torque_nm, "engine torque");
  ExpectSameBits(a.normalised_torque_percent, b.normalised_torque_percent, "normalised torque");
  ExpectSameBits(a.fuel_rate_l_per_h, b.fuel_rate_l_per_h, "fuel rate");
  EXPECT_EQ(builtInFigures.distance_km, userFigures.distance_km);
  EXPECT_EQ(builtInFigures.target_distance_km, userFigures.target_distance_km);
  EXPECT_EQ(builtInFigures.fuel_l, userFigures.fuel_l);
  EXPECT_EQ(builtInFigures.average_speed_km_per_h, userFigures.average_speed_km_per_h);
  EXPECT_EQ(builtInFigures.seconds, userFigures.seconds);
  EXPECT_EQ(builtInFigures.metrics.seconds_below_target, userFigures.metrics.seconds_below_target);
  EXPECT_EQ(builtInFigures.metrics.seconds_at_full_load, userFigures.metrics.seconds_at_full_load);
  // Plain distance over fuel: the built-in figure before its converter factor and corrections.
  EXPECT_EQ(userFigures.fuel_economy_km_per_l, userFigures.fuel_economy_before_transient_km_per_l);
  EXPECT_EQ(userFigures.kf, 1.0);
  EXPECT_FALSE(userFigures.transient_correction);
}

class BuiltInIdentity : public ::testing::TestWithParam<const char*> {};

// The examples cover idle stop on and off, its start rule, manual, automated and converter
// gearboxes.
TEST_P(BuiltInIdentity, UrbanAndHighwayTablesRunBitForBit) {
  const Vehicle vehicle = load_vehicle(Source / "examples" / GetParam() / "spec.txt");
  const Result specified = run(vehicle, {.traces = true});

  std::vector<Cycle> cycles(2);
  cycles[0].name = "my-urban";
  cycles[0].target_speed_km_per_h = read_points(Source / "src/sim/cycles/je05.txt", 1831);
  cycles[1].name = "my-highway";
  cycles[1].target_speed_km_per_h.assign(3121, 80.0);
  cycles[1].grade_percent = read_points(Source / "src/sim/cycles/highway_grade.txt", 3121);
  ASSERT_EQ(cycles[0].target_speed_km_per_h.size(), 1831u);
  ASSERT_EQ(cycles[1].grade_percent.size(), 3121u);

  const Result user = run_cycles(vehicle, cycles, {.traces = true});
  ASSERT_EQ(user.cycles.size(), 2u);
  ASSERT_EQ(user.traces.size(), 2u);
  EXPECT_EQ(user.cycles[0].name, "my-urban");
  EXPECT_EQ(user.traces[1].cycle.n, 3120);
  ExpectSameRun(specified.traces[0], specified.cycle("URBAN"), user.traces[0], user.cycles[0]);
  ExpectSameRun(specified.traces[1], specified.cycle("HIGHWAY"), user.traces[1], user.cycles[1]);
  // Without traces the figures are the same.
  const Result quiet = run_cycles(vehicle, cycles);
  EXPECT_TRUE(quiet.traces.empty());
  EXPECT_EQ(quiet.cycles[0].fuel_l, user.cycles[0].fuel_l);

  // So do the library's URBAN and HIGHWAY, named in any case.
  const std::vector<Cycle> library{library_cycle("urban"), library_cycle("Highway")};
  EXPECT_EQ(library[0].name, "URBAN");
  const Result fromLibrary = run_cycles(vehicle, library, {.traces = true});
  ASSERT_EQ(fromLibrary.traces.size(), 2u);
  EXPECT_EQ(fromLibrary.cycles[1].name, "HIGHWAY");
  ExpectSameRun(specified.traces[0], specified.cycle("URBAN"), fromLibrary.traces[0], fromLibrary.cycles[0]);
  ExpectSameRun(specified.traces[1], specified.cycle("HIGHWAY"), fromLibrary.traces[1], fromLibrary.cycles[1]);
}

INSTANTIATE_TEST_SUITE_P(Examples, BuiltInIdentity,
                         ::testing::Values("bus_BR4_220kW_AT6", "lighttruck_T3_130kW_MT6",
                                           "tractor_TT1_325kW_AMT12", "truck_T8_175kW_MT6"));

TEST(RunCycles, IdleStopFollowsTheSpecAndTheLeadingStandstill) {
  Vehicle vehicle = load_vehicle(Source / "examples/lighttruck_T3_130kW_MT6/spec.txt");
  // 40 s standing, a minute up to 30 km/h and down, 1140 s standing (longer than the wait
  // that stands for "off" in the built-in cycles), the minute again, 40 s standing.
  Cycle cycle;
  cycle.name = "stop-go";
  cycle.target_speed_km_per_h.assign(1341, 0.0);
  for (const std::size_t start : {40u, 1240u}) {
    for (std::size_t k = start + 1; k < start + 60; ++k) {
      cycle.target_speed_km_per_h[k] =
          std::min({30.0, 3.0 * static_cast<double>(k - start), 3.0 * static_cast<double>(start + 60 - k)});
    }
  }
  // Steps with the engine stopped in the leading standstill (1..40) and in the long one.
  const auto stopped = [&](const Vehicle& v) {
    const Result r = run_cycles(v, {&cycle, 1}, {.traces = true});
    const std::vector<double>& ne = r.traces[0].trace.engine_speed_rpm;
    const auto count = [&](std::size_t from, std::size_t to) {
      return std::count(ne.begin() + static_cast<std::ptrdiff_t>(from - 1), ne.begin() + static_cast<std::ptrdiff_t>(to), 0.0);
    };
    return std::pair{count(1, 40), count(101, 1240)};
  };
  // StartIdleTime 5 s and RestartLead 2 s: steps 6..38 of the leading standstill.
  const auto both = stopped(vehicle);
  EXPECT_EQ(both.first, 33);
  EXPECT_GT(both.second, 1000);
  vehicle.values.idle_stop_on = 0;
  EXPECT_EQ(stopped(vehicle), std::pair(both.first, std::ptrdiff_t{0}));
  vehicle.values.idle_stop_on = 1;
  vehicle.values.start_idle_stop_on = 0;
  EXPECT_EQ(stopped(vehicle), std::pair(std::ptrdiff_t{0}, both.second));
  vehicle.values.idle_stop_on = 0;
  EXPECT_EQ(stopped(vehicle), std::pair(std::ptrdiff_t{0}, std::ptrdiff_t{0}));
}

TEST(RunCycles, RefusesAnInvalidCycleBeforeRunning) {
  const Vehicle vehicle = load_vehicle(Source / "examples/truck_T8_175kW_MT6/spec.txt");
  const auto refused = [&](Cycle cycle) {
    cycle.name = "bad";
    try {
      run_cycles(vehicle, {&cycle, 1});
    } catch (const Error& e) {
      return e.kind() == ErrorKind::BadValue;
    }
    return false;
  };
  EXPECT_TRUE(refused(Cycle{"", {0.0}, {}, {}, {}, {}}));                       // no step
  EXPECT_TRUE(refused(Cycle{"", {0.0, -1.0}, {}, {}, {}, {}}));                 // negative speed
  EXPECT_TRUE(refused(Cycle{"", {0.0, 1.0}, {0.0}, {}, {}, {}}));              // gradient too short
  EXPECT_TRUE(refused(Cycle{"", {0.0, 1.0}, {0.0, 31.0}, {}, {}, {}}));        // too steep
  EXPECT_TRUE(refused(Cycle{"", {0.0, std::nan("")}, {}, {}, {}, {}}));         // not a number
  EXPECT_TRUE(refused(Cycle{"", {0.0, 1.0}, {}, {"a"}, {}, {}}));              // phase too short
}

}  // namespace
}  // namespace hdfe

namespace hdfe {
namespace {

// Every public cycle runs on every example: the vehicle covers its target distance.
TEST(RunCycles, PublicCyclesOnTheExamples) {
  std::vector<Cycle> cycles;
  for (const auto& entry : std::filesystem::directory_iterator(Source / "data/cycles")) {
    if (entry.path().extension() == ".csv") cycles.push_back(read_cycle_file(entry.path()));
  }
  ASSERT_EQ(cycles.size(), 10u);
  for (const char* example : {"bus_BR4_220kW_AT6", "lighttruck_T3_130kW_MT6", "tractor_TT1_325kW_AMT12",
                              "truck_T8_175kW_MT6"}) {
    const Result r = run_cycles(load_vehicle(Source / "examples" / example / "spec.txt"), cycles);
    ASSERT_EQ(r.cycles.size(), cycles.size());
    for (std::size_t k = 0; k < cycles.size(); ++k) {
      const CycleFigures& f = r.cycles[k];
      EXPECT_EQ(f.name, cycles[k].name);
      EXPECT_EQ(static_cast<std::size_t>(f.seconds) + 1, cycles[k].target_speed_km_per_h.size());
      EXPECT_NEAR(f.distance_km / f.target_distance_km, 1.0, 0.02) << example << " " << f.name;
    }
  }
}

}  // namespace
}  // namespace hdfe

namespace hdfe {
namespace {

// The library lists URBAN, HIGHWAY and one cycle per file of data/cycles, finds them in any
// case, and tells the names when asked for one it does not have.
TEST(CycleLibrary, TableNamesAndLookups) {
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(Source / "data/cycles")) {
    if (entry.path().extension() == ".csv") files.insert(entry.path().stem().string());
  }
  std::set<std::string> listed;
  for (const LibraryCycleInfo& info : library_cycle_table()) {
    SCOPED_TRACE(std::string(info.name));
    EXPECT_TRUE(listed.insert(std::string(info.name)).second);
    EXPECT_FALSE(info.title.empty());
    EXPECT_FALSE(info.source.empty());
    const Cycle cycle = library_cycle(info.name);
    EXPECT_EQ(cycle.name, info.name);
    EXPECT_EQ(cycle.source, info.source);
    EXPECT_TRUE(cycle.resampled.empty());
    check_cycle_values(cycle);
    std::string upper(info.name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(library_cycle(upper).target_speed_km_per_h, cycle.target_speed_km_per_h);
  }
  listed.erase("URBAN");
  listed.erase("HIGHWAY");
  EXPECT_EQ(listed, files);

  const CycleStats urban = cycle_stats(library_cycle("URBAN"));
  EXPECT_EQ(urban.points, 1831);
  EXPECT_EQ(urban.duration_s, 1830.0);
  const Cycle highway = library_cycle("HIGHWAY");
  EXPECT_EQ(highway.grade_percent.size(), 3121u);
  EXPECT_EQ(cycle_stats(highway).mean_speed_km_per_h, 80.0);
  EXPECT_EQ(cycle_stats(highway).distance_km, 3120.0 * 80.0 / 3600.0);

  try {
    library_cycle("hd-udds2");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::BadValue);
    EXPECT_NE(std::string(e.what()).find("hd-udds2; the library's cycles: URBAN, HIGHWAY, hd-udds,"), std::string::npos)
        << e.what();
  }
}

// find_cycle: a library name first, else a file; neither names the library's cycles.
TEST(CycleLibrary, FindCycleTakesALibraryNameOrAFile) {
  EXPECT_EQ(find_cycle("HD-UDDS").target_speed_km_per_h, library_cycle("hd-udds").target_speed_km_per_h);
  const std::filesystem::path file = Source / "data/cycles/cshvr.csv";
  const Cycle fromFile = find_cycle(file.string());
  EXPECT_EQ(fromFile.name, "cshvr");
  EXPECT_EQ(fromFile.source, file.string());
  EXPECT_EQ(fromFile.target_speed_km_per_h, library_cycle("cshvr").target_speed_km_per_h);
  try {
    find_cycle("no-such-route.csv");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::MissingFile);
    EXPECT_EQ(e.file(), "no-such-route.csv");
    EXPECT_NE(std::string(e.what()).find("cannot open the cycle file no-such-route.csv"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("wvu-interstate"), std::string::npos) << e.what();
  }
}

// A resampled cycle runs as given and the run says how it was resampled.
TEST(RunCycles, ResampledCyclesAreNamedInTheWarnings) {
  const Vehicle vehicle = load_vehicle(Source / "examples/truck_T8_175kW_MT6/spec.txt");
  std::vector<Cycle> cycles{library_cycle("cbd-bus"), library_cycle("cbd-bus")};
  cycles[1].name = "cbd-fine";
  cycles[1].resampled = "resampled from 5,741 rows 0.1 s apart to whole seconds";
  const Result r = run_cycles(vehicle, cycles);
  EXPECT_TRUE(r.engineering);
  ASSERT_EQ(r.cycles.size(), 2u);
  EXPECT_EQ(r.cycles[0].fuel_l, r.cycles[1].fuel_l);
  std::vector<const RunWarning*> resampled;
  for (const RunWarning& w : r.warnings) {
    if (w.kind == RunWarning::Kind::CycleResampled) resampled.push_back(&w);
  }
  ASSERT_EQ(resampled.size(), 1u);
  EXPECT_EQ(resampled[0]->cycle, "cbd-fine");
  EXPECT_EQ(resampled[0]->second, 0);
  EXPECT_EQ(resampled[0]->message, "cbd-fine: resampled from 5,741 rows 0.1 s apart to whole seconds");
}

}  // namespace
}  // namespace hdfe
