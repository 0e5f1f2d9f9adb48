// Routes driven by distance against the time cycles they stand for, and their own figures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "hdfe/cycle.h"
#include "hdfe/fuel_grid.h"
#include "hdfe/hdfe.h"
#include "hdfe/route.h"

namespace hdfe {
namespace {

const std::filesystem::path ExampleFolder = std::filesystem::path(HDFE_SOURCE_DIR) / "examples";
const char* const RouteVehicles[] = {"tractor_TT1_325kW_AMT12", "truck_T8_175kW_MT6", "bus_BR4_220kW_AT6",
                                "lighttruck_T3_130kW_MT6"};

double relative(double a, double b) { return std::fabs(a - b) / std::fabs(b); }

TEST(Routes, AFlatRouteAtOneLimitIsItsTimeCycle) {
  // 900 s at 72 km/h (20 m/s): 18 km, with no stop; the cycle holds the same target at every
  // point. Both start rolling at the target.
  const int32_t seconds = 900;
  const Route route = make_route("flat", {0.0, 20.0 * seconds}, {72.0, 72.0}, {}, {}, {});
  const Cycle cycle{"flat", std::vector<double>(seconds + 1, 72.0), {}, {}, {}, {}};
  for (const char* name : RouteVehicles) {
    SCOPED_TRACE(name);
    const Vehicle v = load_vehicle(ExampleFolder / name / "spec.txt");
    const Result byRoute = run_routes(v, {&route, 1});
    const Result byTime = run_cycles(v, {&cycle, 1});
    const CycleFigures& r = byRoute.cycles.front();
    const CycleFigures& t = byTime.cycles.front();
    EXPECT_LT(relative(r.distance_km, t.distance_km), 0.001) << r.distance_km << " " << t.distance_km;
    EXPECT_LT(relative(r.fuel_l, t.fuel_l), 0.001) << r.fuel_l << " " << t.fuel_l;
    ASSERT_EQ(byRoute.routes.size(), 1u);
    EXPECT_EQ(byRoute.routes.front().time_s, static_cast<double>(r.seconds));
    EXPECT_NEAR(byRoute.routes.front().time_lost_s, 0.0, 1.0);
  }
}

TEST(Routes, TheHighwayLaidOutByDistanceGivesTheHighwayFigures) {
  // Step i of the built-in HIGHWAY drives 22.22 m at 80 km/h on the gradient of point i: as
  // a route, the stretch from 22.22 (i - 1) m to 22.22 i m. The route ends rolling where the
  // cycle ends; it differs only where a vehicle falls behind on a climb.
  const Cycle highway = library_cycle("HIGHWAY");
  const std::size_t points = highway.target_speed_km_per_h.size();
  std::vector<double> d, v, g;
  for (std::size_t k = 0; k < points; ++k) {
    d.push_back(80.0 / 3.6 * static_cast<double>(k));
    v.push_back(80.0);
    g.push_back(k + 1 < points ? highway.grade_percent[k + 1] : 0.0);
  }
  const Route route = make_route("HIGHWAY-by-distance", d, v, g, {}, {});
  for (const char* name : RouteVehicles) {
    SCOPED_TRACE(name);
    const Vehicle vehicle = load_vehicle(ExampleFolder / name / "spec.txt");
    const CycleFigures byTime = run_cycles(vehicle, {&highway, 1}).cycles.front();
    const Result r = run_routes(vehicle, {&route, 1});
    const CycleFigures& byRoute = r.cycles.front();
    std::printf("%-26s time %4d s / %4d s  fuel %.4f / %.4f l  km/l %.4f / %.4f  (%+.3f %%)  lost %.0f s\n", name,
                byRoute.seconds, byTime.seconds, byRoute.fuel_l, byTime.fuel_l, byRoute.fuel_economy_km_per_l,
                byTime.fuel_economy_km_per_l,
                (byRoute.fuel_economy_km_per_l / byTime.fuel_economy_km_per_l - 1.0) * 100.0,
                r.routes.front().time_lost_s);
    EXPECT_LT(relative(byRoute.fuel_economy_km_per_l, byTime.fuel_economy_km_per_l), 0.005);
    EXPECT_LT(relative(byRoute.distance_km, byTime.distance_km), 0.005);
  }
}

TEST(Routes, TheExampleRouteStopsWhereItSaysBalancesItsEnergyAndReportsItsKilometres) {
  const Route route = read_route_file(ExampleFolder / "routes" / "depot-run.csv");
  for (const char* name : RouteVehicles) {
    SCOPED_TRACE(name);
    const Vehicle vehicle = load_vehicle(ExampleFolder / name / "spec.txt");
    RunOptions traced;
    traced.traces = true;
    const Result r = run_routes(vehicle, {&route, 1}, traced);
    const RouteFigures& f = r.routes.front();
    const CycleFigures& figures = r.cycles.front();
    EXPECT_NEAR(figures.distance_km, route.distance_m.back() / 1000.0, 0.03);
    EXPECT_EQ(f.stopped_s, 205.0);
    EXPECT_GE(f.time_s, f.time_at_targets_s - 1.0);
    EXPECT_EQ(f.kilometres.size(), 26u);
    double fuel = 0.0;
    for (const RouteKilometre& km : f.kilometres) fuel += km.fuel_l;
    EXPECT_NEAR(fuel, figures.fuel_l, 1e-9);
    // The stops of 25, 40, 20 and 30 s in the route: a standstill of exactly that long.
    const std::vector<double>& speed = r.traces.front().trace.speed_km_per_h;
    std::vector<int> standstills;
    int run = 0;
    for (const double V : speed) {
      if (V == 0.0) {
        ++run;
      } else if (run > 0) {
        standstills.push_back(run);
        run = 0;
      }
    }
    if (run > 0) standstills.push_back(run);
    EXPECT_EQ(standstills, (std::vector<int>{30, 25, 40, 20, 30, 60})) << name;
    const EnergyAudit& e = figures.energy;
    EXPECT_LT(std::fabs(e.residual_kwh), 0.01 * e.engine_positive_kwh) << e.residual_kwh << " of " << e.engine_positive_kwh;
    EXPECT_GT(e.climbing_kwh, 0.0);
    EXPECT_GT(e.descending_kwh, 0.0);
    // A grid given by the caller (as a batch shares one between its rows) is the grid used.
    int asked = 0;
    const std::shared_ptr<const FuelGrid> grid = fuel_grid(vehicle);
    const Result shared = run_routes(vehicle, {&route, 1}, traced, [&](const Vehicle&) {
      ++asked;
      return grid;
    });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(shared.traces.front().trace.fuel_rate_l_per_h, r.traces.front().trace.fuel_rate_l_per_h);
    EXPECT_EQ(shared.cycles.front().fuel_l, figures.fuel_l);
  }
}

}  // namespace
}  // namespace hdfe
