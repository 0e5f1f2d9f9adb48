// A user's cycle holding a built-in cycle's tables runs exactly as the built-in one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <variant>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "hdfe/cycle.h"
#include "hdfe/hdfe.h"
#include "hdfe/tables.h"

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

// Step i belongs to the phase of point i: a phase's figures cover its steps wherever they
// are, and add up to the cycle's. A converter automatic gets its cycle's factor.
TEST(RunCycles, PhasesGetTheirOwnFigures) {
  const Vehicle vehicle = load_vehicle(Source / "examples/bus_BR4_220kW_AT6/spec.txt");
  Cycle cycle;
  cycle.name = "town";
  cycle.target_speed_km_per_h = read_points(Source / "src/sim/cycles/je05.txt", 1831);
  cycle.phase.assign(1831, "");
  cycle.phase[0] = "before";  // point 0 starts no step
  for (std::size_t k = 1; k <= 1830; ++k) cycle.phase[k] = k <= 600 || k > 1200 ? "outer" : "inner";
  for (std::size_t k = 900; k < 910; ++k) cycle.phase[k] = "";  // in no phase
  cycle.resampled = "resampled from 3661 rows 0.5 s apart";

  const Result r = run_cycles(vehicle, {&cycle, 1}, {.traces = true});
  ASSERT_EQ(r.cycles.size(), 3u);
  const CycleFigures& whole = r.cycles[0];
  const CycleFigures& outer = r.cycles[1];
  const CycleFigures& inner = r.cycles[2];
  EXPECT_EQ(outer.name, "town/outer");
  EXPECT_EQ(outer.cycle, "town");
  EXPECT_EQ(outer.phase, "outer");
  EXPECT_EQ(inner.name, "town/inner");
  EXPECT_EQ(outer.first_second, 1);
  EXPECT_EQ(outer.seconds, 1230);
  EXPECT_EQ(inner.first_second, 601);
  EXPECT_EQ(inner.seconds, 590);
  // URBAN's own mean speed: the town factor, for the cycle and its phases.
  EXPECT_EQ(whole.converter_factor, 0.91);
  EXPECT_EQ(inner.converter_factor, 0.91);
  EXPECT_DOUBLE_EQ(inner.fuel_economy_km_per_l, inner.distance_km / inner.fuel_l * 0.91);

  const std::vector<double>& V = r.traces[0].trace.speed_km_per_h;
  double outerSum = 0.0;
  for (std::size_t k = 0; k < 1830; ++k) outerSum += k < 600 || k >= 1200 ? V[k] : 0.0;
  EXPECT_NEAR(outer.distance_km, outerSum / 3600.0, 1e-12);
  double missing = 0.0;  // steps 900..909
  for (std::size_t k = 899; k < 909; ++k) missing += V[k];
  EXPECT_NEAR(outer.distance_km + inner.distance_km + missing / 3600.0, whole.distance_km, 1e-12);
  EXPECT_NEAR(outer.energy.engine_positive_kwh + inner.energy.engine_positive_kwh, whole.energy.engine_positive_kwh,
              0.01 * whole.energy.engine_positive_kwh);
  EXPECT_LT(outer.energy.engine_positive_kwh + inner.energy.engine_positive_kwh, whole.energy.engine_positive_kwh);

  // Warned once: the resampling, for the cycle.
  std::size_t resampled = 0;
  for (const RunWarning& w : r.warnings) {
    if (w.kind != RunWarning::Kind::CycleResampled) continue;
    ++resampled;
    EXPECT_EQ(w.cycle, "town");
    EXPECT_EQ(w.message, "town: resampled from 3661 rows 0.5 s apart");
  }
  EXPECT_EQ(resampled, 1u);

  // One phase over every step has the cycle's figures to the bit.
  cycle.phase.assign(1831, "all");
  const Result one = run_cycles(vehicle, {&cycle, 1});
  ASSERT_EQ(one.cycles.size(), 2u);
  const CycleFigures& a = one.cycles[0];
  const CycleFigures& b = one.cycles[1];
  EXPECT_EQ(b.name, "town/all");
  for (const FigureInfo& figure : cycle_figure_table()) {
    std::visit([&](auto member) { EXPECT_EQ(a.*member, b.*member) << figure.name; }, figure.member);
  }
  for (const EnergyTermInfo& term : energy_audit_table()) EXPECT_EQ(a.energy.*term.member, b.energy.*term.member);
  EXPECT_EQ(a.metrics.seconds_below_target, b.metrics.seconds_below_target);
  EXPECT_EQ(a.metrics.distance_percent_of_target, b.metrics.distance_percent_of_target);
}

// The converter factor runs from the town factor at URBAN's mean target speed to the
// highway factor at 80 km/h, on a straight line.
TEST(RunCycles, ConverterFactorFollowsTheMeanSpeed) {
  std::vector<double> urban = read_points(Source / "src/sim/cycles/je05.txt", 1831);
  double sum = 0.0;
  for (std::size_t k = 1; k < urban.size(); ++k) sum += urban[k];
  const double urbanMean = sum / 1830.0;
  const auto factor = [](double mean) {
    Cycle c;
    c.target_speed_km_per_h.assign(101, mean);
    c.target_speed_km_per_h[0] = 1000.0;  // point 0 is not averaged
    return converter_factor_for(c);
  };
  EXPECT_EQ(converter_factor_for(Cycle{"u", urban, {}, {}, {}, {}}), 0.91);
  EXPECT_EQ(factor(0.0), 0.91);
  EXPECT_EQ(factor(urbanMean - 1.0), 0.91);
  EXPECT_NEAR(factor((urbanMean + 80.0) / 2.0), 0.935, 1e-12);
  EXPECT_NEAR(factor(urbanMean + 0.25 * (80.0 - urbanMean)), 0.9225, 1e-12);
  EXPECT_EQ(factor(80.0), 0.96);
  EXPECT_EQ(factor(120.0), 0.96);
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

// Where the energy went balances: every term 0 or more, and the residual within 1 % of the
// engine's positive work. Returns the residual's share of it.
double ExpectBalanced(const CycleFigures& f, const Classification& c) {
  const EnergyAudit& e = f.energy;
  // Rolling resistance over the distance driven [kWh].
  const double rolling = c.spec.mu_roll * c.spec.test_weight_kg * f.distance_km * 1000.0 / 3.6e6;
  EXPECT_NEAR(e.rolling_resistance_kwh, rolling, 1e-9 * rolling) << f.name;
  if (f.cycle != "HIGHWAY") {  // the library cycles and URBAN are level
    EXPECT_EQ(e.climbing_kwh, 0.0) << f.name;
    EXPECT_EQ(e.descending_kwh, 0.0) << f.name;
  } else {
    EXPECT_GT(e.climbing_kwh, 0.0);
    EXPECT_GT(e.descending_kwh, 0.0);
  }
  for (const EnergyTermInfo& term : energy_audit_table()) {
    if (term.member != &EnergyAudit::residual_kwh) {
      EXPECT_GE(e.*term.member, 0.0) << f.name << " " << term.name;
    }
  }
  EXPECT_GT(e.engine_positive_kwh, 0.0) << f.name;
  EXPECT_GT(e.air_drag_kwh, 0.0) << f.name;
  const double sources = e.engine_positive_kwh + e.descending_kwh + e.kinetic_released_kwh;
  const double sinks = e.engine_motoring_kwh + e.driveline_loss_kwh + e.air_drag_kwh + e.rolling_resistance_kwh +
                       e.climbing_kwh + e.kinetic_given_kwh + e.braking_kwh;
  EXPECT_NEAR(sources - sinks, e.residual_kwh, 1e-9 * sources) << f.name;
  const double share = std::fabs(e.residual_kwh) / e.engine_positive_kwh;
  EXPECT_LE(share, 0.01) << f.name;
  return share;
}

// Every public cycle runs on every example: the vehicle covers its target distance, and the
// energy audit of every cycle balances, as it does on URBAN, HIGHWAY and MID-TOWN.
TEST(RunCycles, PublicCyclesOnTheExamples) {
  std::vector<Cycle> cycles;
  for (const auto& entry : std::filesystem::directory_iterator(Source / "data/cycles")) {
    if (entry.path().extension() == ".csv") cycles.push_back(read_cycle_file(entry.path()));
  }
  ASSERT_EQ(cycles.size(), 10u);
  double largest = 0.0;
  for (const char* example : {"bus_BR4_220kW_AT6", "lighttruck_T3_130kW_MT6", "tractor_TT1_325kW_AMT12",
                              "truck_T8_175kW_MT6"}) {
    const Vehicle vehicle = load_vehicle(Source / "examples" / example / "spec.txt");
    const Result r = run_cycles(vehicle, cycles);
    ASSERT_EQ(r.cycles.size(), cycles.size());
    for (std::size_t k = 0; k < cycles.size(); ++k) {
      const CycleFigures& f = r.cycles[k];
      EXPECT_EQ(f.name, cycles[k].name);
      EXPECT_EQ(static_cast<std::size_t>(f.seconds) + 1, cycles[k].target_speed_km_per_h.size());
      EXPECT_NEAR(f.distance_km / f.target_distance_km, 1.0, 0.02) << example << " " << f.name;
      largest = std::max(largest, ExpectBalanced(f, r.classification));
    }
    for (const CycleFigures& f : run(vehicle).cycles) largest = std::max(largest, ExpectBalanced(f, r.classification));
  }
  std::printf("largest energy-audit residual: %.4f %% of the positive engine work\n", largest * 100.0);
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
