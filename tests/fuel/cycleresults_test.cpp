#include "sim/cycleresults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace hdfe {

namespace {

// Runs idle_stop on a speed series and returns the 1-based steps it switched off.
std::vector<int> Stopped(const std::vector<double>& v, int32_t B, int32_t C, int32_t A) {
  std::vector<double> ne(v.size(), 700.0), fc(v.size(), 2.0);
  idle_stop(v, ne, fc, static_cast<int32_t>(v.size()), B, C, A);
  std::vector<int> steps;
  for (size_t i = 0; i < v.size(); ++i) {
    EXPECT_EQ(ne[i] == 0.0, fc[i] == 0.0);
    if (fc[i] == 0.0) steps.push_back(static_cast<int>(i) + 1);
  }
  return steps;
}

// n steps moving at 20 km/h except standstill at the 1-based steps lo..hi.
std::vector<double> Standstill(int n, int lo, int hi) {
  std::vector<double> v(n, 20.0);
  for (int i = lo; i <= hi; ++i) v[i - 1] = 0.0;
  return v;
}

TEST(Idlestop, WorkedExample) {
  EXPECT_EQ(Stopped(Standstill(40, 30, 35), 2, 999, 1), (std::vector<int>{32, 33, 34}));
}

TEST(Idlestop, Windows) {
  // No delays: every standstill step, the start included once C allows it.
  std::vector<double> v = Standstill(40, 1, 25);
  v[29] = 0.0;
  std::vector<int> all;
  for (int i = 1; i <= 25; ++i) all.push_back(i);
  all.push_back(30);
  EXPECT_EQ(Stopped(v, 0, 0, 0), all);
  EXPECT_EQ(Stopped(v, 0, 999, 0), std::vector<int>{30});
  EXPECT_EQ(Stopped(v, 0, 10, 0).front(), 11);
  // A standstill of exactly B + 1 steps: only its last step.
  EXPECT_EQ(Stopped(Standstill(60, 40, 44), 4, 999, 0), std::vector<int>{44});
  // The engine restarts A seconds before moving off.
  EXPECT_EQ(Stopped(Standstill(60, 40, 49), 0, 999, 3), (std::vector<int>{40, 41, 42, 43, 44, 45, 46}));
  // A standstill to the end of the run is marked up to the last step.
  EXPECT_EQ(Stopped(Standstill(50, 45, 50), 2, 999, 3), (std::vector<int>{47, 48, 49, 50}));
  // Near-zero speeds are not standstill.
  EXPECT_TRUE(Stopped(std::vector<double>(40, 1e-300), 0, 0, 0).empty());
}

TEST(Idlestop, OddArgumentsStaySafe) {
  // A negative restart lead never switches off a moving engine.
  EXPECT_TRUE(Stopped(std::vector<double>(30, 5.0), 0, 0, -2).empty());
  std::vector<double> v(10, 0.0), ne(10, 700.0), fc(10, 2.0);
  idle_stop(v, ne, fc, 0, 0, 0, 0);
  EXPECT_EQ(fc, std::vector<double>(10, 2.0));
  idle_stop(v, ne, fc, 500, 0, 0, 0);  // n beyond the series is cut to it
  EXPECT_EQ(fc, std::vector<double>(10, 0.0));
}

// The rule step by step: stopped at i, and at every step from i - B to i + A (clipped
// to the run); the first startSteps steps stop only after C and while stopped to i + A.
std::vector<int> StoppedByRule(const std::vector<double>& v, int32_t B, int32_t C, int32_t A, int32_t startSteps) {
  const int64_t n = static_cast<int64_t>(v.size());
  const auto still = [&](int64_t lo, int64_t hi) {
    for (int64_t j = lo; j <= hi; ++j) {
      if (v[static_cast<size_t>(j - 1)] != 0.0) return false;
    }
    return true;
  };
  std::vector<int> steps;
  for (int64_t i = 1; i <= n; ++i) {
    const bool stopped = v[static_cast<size_t>(i - 1)] == 0.0;
    const bool off = i <= startSteps ? i > C && stopped && still(i, std::min<int64_t>(i + A, n))
                                     : stopped && still(std::max<int64_t>(i - B, 1), std::min<int64_t>(i + A, n));
    if (off) steps.push_back(static_cast<int>(i));
  }
  return steps;
}

TEST(Idlestop, AgreesWithTheRuleOnMixedSeries) {
  // Standstills of every length, at the start, across the start steps and at the end, with
  // delays and leads short, long, zero and negative.
  uint32_t state = 12345;
  const auto next = [&] { return state = state * 1664525U + 1013904223U; };
  for (int series = 0; series < 200; ++series) {
    std::vector<double> v(static_cast<size_t>(20 + next() % 80));
    for (size_t k = 0; k < v.size();) {
      const size_t run = 1 + next() % 12;
      const double speed = next() % 2 == 0 ? 0.0 : (next() % 3 == 0 ? -0.0 : 12.5);
      for (size_t j = 0; j < run && k < v.size(); ++j, ++k) v[k] = speed == -0.0 && j % 5 == 4 ? 3.0 : speed;
    }
    for (const int32_t B : {0, 1, 3, 7, -1, 9999}) {
      for (const int32_t A : {0, 2, 5, -2}) {
        const int32_t C = static_cast<int32_t>(next() % 30);
        std::vector<double> ne(v.size(), 700.0), fc(v.size(), 2.0);
        const int32_t start = static_cast<int32_t>(next() % 30);
        idle_stop(v, ne, fc, static_cast<int32_t>(v.size()), B, C, A, start);
        std::vector<int> stopped;
        for (size_t i = 0; i < v.size(); ++i) {
          if (fc[i] == 0.0) stopped.push_back(static_cast<int>(i) + 1);
        }
        ASSERT_EQ(stopped, StoppedByRule(v, B, C, A, start)) << "series " << series << " B " << B << " A " << A;
      }
    }
  }
}

TEST(Cycleavg, SumsOverTheRange) {
  const std::vector<double> v = {10, 20, 30, 40, 50}, fc = {1, 2, 3, 4, 5};
  CycleResult r = cycle_average(v, fc, 2, 2);
  EXPECT_EQ(r.average_speed_km_per_h, 25.0);
  EXPECT_EQ(r.fuel_economy_km_per_l, 10.0);
  r = cycle_average(v, std::vector<double>(5, 0.0), 5, 1);
  EXPECT_EQ(r.average_speed_km_per_h, 30.0);
  EXPECT_TRUE(std::isinf(r.fuel_economy_km_per_l));
}

}  // namespace

}  // namespace hdfe
