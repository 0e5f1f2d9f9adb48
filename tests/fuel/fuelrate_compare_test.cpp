// The per-step fuel rate against the plain interpolation it replaces: every column
// evaluated along speed with hermite_evaluate, derivatives along torque set afresh at
// every step. Results must agree bit for bit, errors must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "sim/fuelgrid.h"
#include "model/curvelookup.h"
#include "sim/hermite.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

constexpr int32_t N = FuelGrid::Size;
#if HDFE_SANITIZED
constexpr int Rounds = 10;
#else
constexpr int Rounds = 100;
#endif

double reference_fuel(const FuelGrid& grid, const std::array<double, N * N>& deriv, double ne, double te) {
  const int32_t nS = std::min(grid.speed_count, N);
  const int32_t nT = std::min(grid.torque_count, N);
  std::array<double, N> column{};
  std::array<double, N> columnDeriv{};
  int32_t ierr = 0;
  for (int32_t j = 0; j < nT; ++j) {
    const std::size_t at = static_cast<std::size_t>(j) * nS;
    bool skip = true;
    hermite_evaluate(nS, grid.speed_axis_rpm.data(), &grid.fuel_rate_table_l_per_h[at], &deriv[at], 1, skip, 1, &ne, &column[j], ierr);
    if (ierr < 0) hermite_error(HermiteCall::RateValuesAlongSpeed, ierr);
  }
  hermite_derivatives(nT, grid.torque_axis_nm.data(), column.data(), columnDeriv.data(), 1, ierr);
  if (ierr < 0) hermite_error(HermiteCall::RateSlopesAlongTorque, ierr);
  double fc = 0.0;
  bool skip = true;
  hermite_evaluate(nT, grid.torque_axis_nm.data(), column.data(), columnDeriv.data(), 1, skip, 1, &te, &fc, ierr);
  if (ierr < 0) hermite_error(HermiteCall::RateValuesAlongTorque, ierr);
  return std::max(0.0, fc);
}

void reference_fuel_rates(const std::vector<double>& Ne, const std::vector<double>& Te,
                          const std::vector<int32_t>& Shift, std::vector<double>& FC, const TorqueCurve& motoring,
                          const FuelGrid& grid, const EngineData& eng) {
  std::array<double, N * N> deriv{};
  bool derivSet = false;
  for (std::size_t q = 0; q < Ne.size(); ++q) {
    if (Shift[q] == 0 || Ne[q] == eng.idle_speed_rpm) {
      FC[q] = grid.idle_fuel_rate_l_per_h;
      continue;
    }
    if (curve_lookup(motoring, Ne[q]) >= Te[q]) {
      FC[q] = 0.0;
      continue;
    }
    if (!derivSet) {
      const int32_t nS = std::min(grid.speed_count, N);
      for (int32_t j = 0; j < std::min(grid.torque_count, N); ++j) {
        const std::size_t at = static_cast<std::size_t>(j) * nS;
        int32_t ierr = 0;
        hermite_derivatives(nS, grid.speed_axis_rpm.data(), &grid.fuel_rate_table_l_per_h[at], &deriv[at], 1, ierr);
        if (ierr < 0) hermite_error(HermiteCall::RateSlopesAlongSpeed, ierr);
      }
      derivSet = true;
    }
    FC[q] = reference_fuel(grid, deriv, Ne[q], Te[q]);
  }
}

struct Case {
  FuelGrid grid;
  TorqueCurve motoring;
  EngineData eng;
  std::vector<double> engine_speed_rpm, engine_torque_nm;
  std::vector<int32_t> gear;
};

// A grid of nS x nT nodes with smooth, wavy or flat columns, and steps inside, on and
// beyond its nodes, with repeated speeds, idle speed, neutral and motoring torques.
Case random_case(std::mt19937_64& random, int steps) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); };
  Case c;
  FuelGrid& g = c.grid;
  g.speed_count = pick(4) == 0 ? 2 + pick(N - 1) : N;
  g.torque_count = pick(4) == 0 ? 2 + pick(N - 1) : N;
  g.idle_fuel_rate_l_per_h = 1.0 + unit(random);
  const double s0 = 500.0 + 500.0 * unit(random), sStep = (1500.0 + 1000.0 * unit(random)) / 19.0;
  const double t0 = -300.0 * unit(random), tStep = (1000.0 + 2000.0 * unit(random)) / 19.0;
  for (int32_t k = 0; k < N; ++k) {
    g.speed_axis_rpm[k] = static_cast<double>(k) * sStep + s0;
    g.torque_axis_nm[k] = static_cast<double>(k) * tStep + t0;
  }
  if (pick(4) == 0) {  // unevenly spaced axes over the same spans: speeds crowded low, torques high
    for (int32_t k = 0; k < N; ++k) {
      const double at = static_cast<double>(k) / (N - 1), rest = 1.0 - at;
      g.speed_axis_rpm[k] = s0 + 19.0 * sStep * at * at;
      g.torque_axis_nm[k] = t0 + 19.0 * tStep * (1.0 - rest * rest * rest);
    }
  }
  const int shape = pick(3);
  for (int32_t k = 0; k < g.torque_count; ++k) {
    for (int32_t i = 0; i < g.speed_count; ++i) {
      const double s = g.speed_axis_rpm[i], t = g.torque_axis_nm[k];
      double f = 1e-6 * s * (t - t0) * (1.0 + 0.3 * unit(random));
      if (shape == 1) f = 40.0 * std::sin(0.01 * s + 0.02 * t) + 10.0 * unit(random);
      if (shape == 2) f = pick(3) == 0 ? 5.0 : std::round(4.0 * unit(random));  // flats and ties
      g.fuel_rate_table_l_per_h[static_cast<std::size_t>(k) * g.speed_count + i] = f;
    }
  }
  c.motoring = {{s0, s0 + 19.0 * sStep}, {t0 + 50.0, t0 - 100.0}};
  if (pick(2) == 0) {  // a curve of many points, looked up through its index
    c.motoring = {};
    for (double s = s0 - 100.0; s < s0 + 19.0 * sStep + 100.0; s += 10.0 + 90.0 * unit(random)) {
      c.motoring.speeds_rpm.push_back(s);
      c.motoring.torques_nm.push_back(t0 + 50.0 - 200.0 * unit(random));
    }
  }
  c.eng.idle_speed_rpm = s0 + sStep * pick(5);
  const auto speed = [&]() {
    switch (pick(6)) {
      case 0: return g.speed_axis_rpm[pick(N)];  // a node
      case 1: return s0 - 200.0 + (19.0 * sStep + 400.0) * unit(random);  // beyond the ends too
      default: return s0 + 19.0 * sStep * unit(random);
    }
  };
  const auto torque = [&]() {
    switch (pick(6)) {
      case 0: return g.torque_axis_nm[pick(N)];
      case 1: return t0 - 100.0 + (19.0 * tStep + 300.0) * unit(random);
      default: return t0 + 19.0 * tStep * unit(random);
    }
  };
  double ne = speed();
  for (int q = 0; q < steps; ++q) {
    if (pick(3) != 0) ne = speed();  // else the speed repeats
    if (pick(50) == 0) ne = c.eng.idle_speed_rpm;
    double te = !c.engine_torque_nm.empty() && pick(4) == 0 ? c.engine_torque_nm.back() : torque();  // with the speed: a repeated step
    if (pick(50) == 0) te = curve_lookup(c.motoring, ne);
    if (pick(200) == 0) te = std::numeric_limits<double>::quiet_NaN();
    c.engine_speed_rpm.push_back(ne);
    c.engine_torque_nm.push_back(te);
    c.gear.push_back(pick(20) == 0 ? 0 : 1 + pick(12));
  }
  return c;
}

void expect_same_rates(const Case& c) {
  std::vector<double> expected(c.engine_speed_rpm.size()), actual(c.engine_speed_rpm.size());
  reference_fuel_rates(c.engine_speed_rpm, c.engine_torque_nm, c.gear, expected, c.motoring, c.grid, c.eng);
  const DriveCycle cycle{static_cast<int32_t>(c.engine_speed_rpm.size()), {}, {}};
  calc_fuel_rates(c.engine_speed_rpm, c.engine_torque_nm, c.gear, actual, cycle, c.motoring, c.grid, c.eng);
  for (std::size_t q = 0; q < c.engine_speed_rpm.size(); ++q) {
    ASSERT_EQ(std::bit_cast<uint64_t>(actual[q]), std::bit_cast<uint64_t>(expected[q]))
        << "step " << q << " Ne " << c.engine_speed_rpm[q] << " Te " << c.engine_torque_nm[q] << ": " << actual[q] << " vs " << expected[q];
  }
}

// The report and kind of the stop the call ends with.
std::pair<std::string, ErrorKind> stop_of(auto&& call) {
  try {
    call();
  } catch (const Error& stop) {
    return {stop.what(), stop.kind()};
  }
  return {"no stop", ErrorKind::Usage};
}

}  // namespace

TEST(FuelRateCompare, MatchesThePlainInterpolationBitForBit) {
  std::mt19937_64 random(14);
  for (int round = 0; round < Rounds; ++round) expect_same_rates(random_case(random, 10000));
}

TEST(FuelRateCompare, MatchesOnASpeedAndTorqueSweep) {
  std::mt19937_64 random(1);
  Case c = random_case(random, 0);
  // Slowly rising speeds with torques sweeping the axis again and again.
  for (int i = 0; i < 20000; ++i) {
    c.engine_speed_rpm.push_back(c.grid.speed_axis_rpm[0] + 0.37 * i);
    c.engine_torque_nm.push_back(c.grid.torque_axis_nm[0] + std::fmod(13.3 * i, 19.0 * (c.grid.torque_axis_nm[1] - c.grid.torque_axis_nm[0])));
    c.gear.push_back(3);
  }
  expect_same_rates(c);
}

// One reader over many cycles of a run: what it kept from the earlier cycles changes no rate.
TEST(FuelRateCompare, AReaderSharedByCyclesGivesEachCyclesOwnRates) {
  std::mt19937_64 random(21);
  for (int round = 0; round < Rounds / 10 + 1; ++round) {
    const Case base = random_case(random, 0);
    FuelRateReader reader(base.grid, base.motoring);
    for (int cycle = 0; cycle < 4; ++cycle) {
      Case c = random_case(random, 2000);
      c.grid = base.grid;
      c.motoring = base.motoring;
      c.eng = base.eng;
      std::vector<double> expected(c.engine_speed_rpm.size());
      reference_fuel_rates(c.engine_speed_rpm, c.engine_torque_nm, c.gear, expected, c.motoring, c.grid, c.eng);
      std::vector<double> actual{-1.0};  // appended after what the column holds
      reader.append(c.engine_speed_rpm, c.engine_torque_nm, c.gear, actual,
                    DriveCycle{static_cast<int32_t>(c.engine_speed_rpm.size()), {}, {}}, c.eng);
      ASSERT_EQ(actual.size(), expected.size() + 1);
      for (std::size_t q = 0; q < expected.size(); ++q) {
        ASSERT_EQ(std::bit_cast<uint64_t>(actual[q + 1]), std::bit_cast<uint64_t>(expected[q])) << cycle << " " << q;
      }
    }
  }
}

// Torques at and next to the motoring curve's highest torque, at speeds inside, at and beyond
// its ends, on curves whose lookup rounds, rises steeply, holds one point, repeats or reverses a
// speed, or has torques too large to bound: the engine is driven by the vehicle exactly where
// the curve's lookup says so.
TEST(FuelRateCompare, TorquesNextToTheMotoringCurvesHighestTorque) {
  std::mt19937_64 random(5);
  Case c = random_case(random, 0);
  const double s0 = c.grid.speed_axis_rpm[0], s19 = c.grid.speed_axis_rpm[N - 1];
  const double mid = 0.5 * (s0 + s19), t0 = c.grid.torque_axis_nm[2];
  const std::vector<TorqueCurve> curves = {
      {{s0, s19}, {t0, t0 + 0.1}},
      {{885.2615699154003, 2539.6174484497787}, {-41.913066323835096, 4.522159288767817}},  // above 4.5221 at the end
      {{s0, mid, s19}, {t0 + 1.0 / 3.0, t0 + 0.7, t0}},
      {{s0, s0 + 1e-9, s19}, {t0, t0 + 400.0, t0}},  // nearly upright: the division rounds
      {{s0, mid, mid, s19}, {t0, t0 + 5.0, t0 + 9.0, t0}},  // a repeated speed
      {{s19, mid, s0}, {t0, t0 + 5.0, t0}},  // speeds that fall
      {{mid}, {t0}},
      {{s0, s19}, {1e300, -1e300}},
      {{s0, mid, s19}, {t0, std::numeric_limits<double>::infinity(), t0}},
  };
  for (std::size_t v = 0; v < curves.size(); ++v) {
    c.motoring = curves[v];
    c.engine_speed_rpm.clear();
    c.engine_torque_nm.clear();
    c.gear.clear();
    const double top = *std::max_element(c.motoring.torques_nm.begin(), c.motoring.torques_nm.end());
    for (int q = 0; q < 4000; ++q) {
      const double ne = q % 5 == 0 ? c.motoring.speeds_rpm[random() % c.motoring.speeds_rpm.size()]
                                   : s0 - 50.0 + (s19 - s0 + 100.0) * static_cast<double>(random() % 10000) / 10000.0;
      double te = std::isfinite(top) ? top : t0;
      for (int steps = static_cast<int>(random() % 4); steps > 0; --steps) te = std::nextafter(te, q % 2 ? -1e308 : 1e308);
      if (q % 7 == 0) te = curve_lookup(c.motoring, ne);
      c.engine_speed_rpm.push_back(ne);
      c.engine_torque_nm.push_back(te);
      c.gear.push_back(4);
    }
    SCOPED_TRACE(v);
    expect_same_rates(c);
  }
}

TEST(FuelRateCompare, BadAxesStopWithTheSameReport) {
  std::mt19937_64 random(7);
  for (int variant = 0; variant < 4; ++variant) {
    Case c = random_case(random, 50);
    if (variant == 0) c.grid.speed_axis_rpm[5] = c.grid.speed_axis_rpm[4];       // code 5
    if (variant == 1) c.grid.torque_axis_nm[3] = c.grid.torque_axis_nm[2];     // code 7
    if (variant == 2) c.grid.torque_count = 1;                          // code 5 passes, 7 fails
    if (variant == 3) {                                                // no columns: code 7
      c.grid.torque_count = 0;
      c.grid.speed_axis_rpm[1] = std::numeric_limits<double>::quiet_NaN();
    }
    std::fill(c.gear.begin(), c.gear.end(), 2);
    std::vector<double> fc(c.engine_speed_rpm.size());
    const DriveCycle cycle{static_cast<int32_t>(c.engine_speed_rpm.size()), {}, {}};
    const auto expected = stop_of([&] { reference_fuel_rates(c.engine_speed_rpm, c.engine_torque_nm, c.gear, fc, c.motoring, c.grid, c.eng); });
    const auto actual = stop_of([&] { calc_fuel_rates(c.engine_speed_rpm, c.engine_torque_nm, c.gear, fc, cycle, c.motoring, c.grid, c.eng); });
    EXPECT_EQ(actual, expected) << variant;
  }
}

// The single-point helpers against the table routines on short and long tables with
// changes of direction, flat stretches and points beyond the ends.
TEST(FuelRateCompare, HermiteHelpersMatchTheTableRoutines) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int round = 0; round < 20000; ++round) {
    const int32_t n = 2 + static_cast<int32_t>(random() % 19);
    std::vector<double> x(n), f(n), d(n);
    double at = 10.0 * unit(random);
    for (int32_t i = 0; i < n; ++i) {
      x[i] = at;
      at += 0.1 + unit(random);
      f[i] = random() % 4 == 0 ? 1.0 : 10.0 * unit(random) - 5.0;
    }
    int32_t ierr = 0;
    hermite_derivatives(n, x.data(), f.data(), d.data(), 1, ierr);
    for (int32_t i = 0; i < n; ++i) {
      ASSERT_EQ(std::bit_cast<uint64_t>(hermite_derivative_at(n, x.data(), f.data(), i)), std::bit_cast<uint64_t>(d[i]))
          << "n " << n << " i " << i;
      if (i == 0 || i == n - 1) continue;
      // With the terms of the table alone worked out once.
      ASSERT_EQ(std::bit_cast<uint64_t>(hermite_derivative_at(hermite_weights(x.data(), i), f.data(), i)),
                std::bit_cast<uint64_t>(d[i]))
          << "n " << n << " i " << i;
    }
    const double xe = random() % 5 == 0 ? x[random() % n] : x[0] - 1.0 + (at - x[0] + 1.0) * unit(random);
    double expected = 0.0;
    bool skip = true;
    hermite_evaluate(n, x.data(), f.data(), d.data(), 1, skip, 1, &xe, &expected, ierr);
    const int32_t m = hermite_interval(n, x.data(), xe);
    // Starting from any interval, the near search finds the same one.
    for (int32_t k = -1; k <= n + 1; ++k) ASSERT_EQ(hermite_interval_near(n, x.data(), xe, k), m) << n << " " << xe << " " << k;
    HermiteCubic c;
    ASSERT_TRUE(hermite_cubic(x[m - 1], x[m], f[m - 1], f[m], d[m - 1], d[m], c));
    ASSERT_EQ(std::bit_cast<uint64_t>(hermite_cubic_value(c, xe)), std::bit_cast<uint64_t>(expected)) << n << " " << xe;
    // Increasing points, from below the table to beyond it, some on its points: the table
    // routine's values.
    std::vector<double> points;
    for (double p = x[0] - 2.0 * unit(random); p < at + 1.0; p += 0.05 + 0.6 * unit(random)) {
      if (random() % 6 == 0 && points.size() < x.size() && x[points.size()] > p) p = x[points.size()];
      points.push_back(p);
    }
    const auto ne = static_cast<int32_t>(points.size());
    std::vector<double> plain(points.size()), increasing(points.size());
    ASSERT_TRUE(hermite_increasing(ne, points.data()));
    skip = true;
    hermite_evaluate(n, x.data(), f.data(), d.data(), 1, skip, ne, points.data(), plain.data(), ierr);
    ASSERT_GE(ierr, 0);
    hermite_evaluate_increasing(n, x.data(), f.data(), d.data(), ne, points.data(), increasing.data());
    for (std::size_t i = 0; i < points.size(); ++i) {
      ASSERT_EQ(std::bit_cast<uint64_t>(increasing[i]), std::bit_cast<uint64_t>(plain[i])) << n << " " << points[i];
    }
  }
  const double falls[] = {1.0, 2.0, 2.0}, notFinite[] = {1.0, std::numeric_limits<double>::infinity()};
  EXPECT_FALSE(hermite_increasing(3, falls));
  EXPECT_FALSE(hermite_increasing(2, notFinite));
  // The sign test of the derivatives, on zeros, infinities, NaN and the smallest values.
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const double specials[] = {0.0, -0.0, 1.0, -2.5, inf, -inf, nan, -nan, 5e-324, -5e-324};
  for (const double a : specials) {
    for (const double b : specials) EXPECT_EQ(hermite_same_sign(a, b), hermite_sign_product(a, b) > 0.0) << a << " " << b;
  }
  const double x[] = {1.0, 2.0, 3.0};
  EXPECT_EQ(hermite_interval(3, x, std::numeric_limits<double>::quiet_NaN()), 1);
  EXPECT_EQ(hermite_interval(3, x, 2.0), 2);
  EXPECT_EQ(hermite_interval(3, x, 9.0), 2);
  EXPECT_EQ(hermite_interval(2, x, 9.0), 1);
}

}  // namespace hdfe
