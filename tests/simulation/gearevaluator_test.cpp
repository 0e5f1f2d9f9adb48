// The run's memo of gear evaluations against fresh evaluations, and steps sharing one
// memo against steps that each make their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/simulation/testvehicle.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

#if HDFE_SANITIZED
constexpr int Calls = 4000;
#else
constexpr int Calls = 40000;
#endif

void expect_same_bits(const GearEvalResult& a, const GearEvalResult& b) {
  EXPECT_EQ(std::bit_cast<uint64_t>(a.V), std::bit_cast<uint64_t>(b.V));
  EXPECT_EQ(std::bit_cast<uint64_t>(a.engine_speed_rpm), std::bit_cast<uint64_t>(b.engine_speed_rpm));
  EXPECT_EQ(std::bit_cast<uint64_t>(a.engine_torque_nm), std::bit_cast<uint64_t>(b.engine_torque_nm));
  EXPECT_EQ(std::bit_cast<uint64_t>(a.Tmax), std::bit_cast<uint64_t>(b.Tmax));
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.search_exhausted, b.search_exhausted);
}

// Arguments drawn from small pools, so that most calls repeat an earlier one exactly, and
// now and then a fresh value; every status and speed searches on both sides of Nex.
struct Draw {
  std::mt19937_64 random{14};
  std::vector<double> speeds, grades;
  Draw() {
    std::uniform_real_distribution<double> V(0.0, 110.0), s(-6.0, 6.0);
    for (int k = 0; k < 40; ++k) speeds.push_back(V(random));
    for (int k = 0; k < 12; ++k) grades.push_back(s(random));
    speeds.push_back(0.0);
    grades.push_back(0.0);
  }
  double pick(const std::vector<double>& pool) { return pool[random() % pool.size()]; }
  double speed() { return random() % 8 == 0 ? std::uniform_real_distribution<double>(0.0, 110.0)(random) : pick(speeds); }
  int32_t gear() { return 1 + static_cast<int32_t>(random() % 6); }
};

TEST(GearEvaluator, RepeatsAndFreshCallsGiveTheFreshEvaluationBitForBit) {
  const TestVehicle v = make_test_vehicle();
  GearEvaluator memo(v.spec, v.eng, v.trn, v.fullLoad);  // a small table: it grows on the way
  Draw d;
  struct Kept {
    const GearEvalResult* result;
    GearEvalResult copy;
  };
  std::vector<Kept> kept;
  for (int call = 0; call < Calls; ++call) {
    const int32_t g = d.gear();
    const double V = d.speed(), s = d.pick(d.grades), Vp = d.speed();
    const GearEvalResult& r = memo(g, V, s, Vp);
    expect_same_bits(r, eval_gear_at(v, g, V, s, Vp));
    if (call % 97 == 0) kept.push_back({&r, r});
    if (HasFailure()) FAIL() << "call " << call << ": gear " << g << " V " << V << " s " << s << " Vp " << Vp;
  }
  // A result stays where it is, unchanged, while the memo grows.
  for (const Kept& k : kept) expect_same_bits(*k.result, k.copy);
}

TEST(GearEvaluator, ARepeatedSearchThatRanOutOfPassesIsFlaggedAgain) {
  TestVehicle v = make_test_vehicle();
  // A repeated last point leaves the full-load torque undefined above it: no search closes.
  v.fullLoad.speeds_rpm = {600.0, 1000.0, 1000.0};
  v.fullLoad.torques_nm = {800.0, 1400.0, 1400.0};
  GearEvaluator memo(v.spec, v.eng, v.trn, v.fullLoad);
  const GearEvalResult plain = eval_gear_at(v, 6, 60.0, 0.0, 60.0);
  ASSERT_TRUE(plain.search_exhausted);
  for (int k = 0; k < 3; ++k) expect_same_bits(memo(6, 60.0, 0.0, 60.0), plain);
}

// Steps of a cycle driven one after the other with one memo for the run, against the same
// steps each with a memo of its own: the same outcome, hold counter and count of
// searches that ran out of passes, to the last bit.
TEST(GearEvaluator, StepsSharingTheRunsMemoMatchStepsWithTheirOwn) {
  for (const bool hopeless : {false, true}) {
    TestVehicle v = make_test_vehicle();
    if (hopeless) {
      v.fullLoad.speeds_rpm = {600.0, 1000.0, 1000.0};
      v.fullLoad.torques_nm = {800.0, 1400.0, 1400.0};
    }
    std::mt19937_64 random(hopeless ? 5 : 6);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    TestCycle c;
    std::vector<double> points{0.0};
    double target = 0.0;
    for (int k = 0; k < 120; ++k) {
      // Stops, speed-ups, cruising and slowing down, on one gradient.
      target = k % 40 < 3 ? 0.0 : std::max(0.0, std::min(90.0, target + 12.0 * (unit(random) - 0.4)));
      points.push_back(target);
    }
    points.insert(points.end(), 5, 0.0);
    set_cycle(c, 120, points, hopeless ? 0.0 : 1.5);

    int32_t sharedCount = 0, ownCount = 0;
    GearEvaluator memo(v.spec, v.eng, v.trn, v.fullLoad, 16);
    const SimContext shared{c.cycle, v.spec, v.eng, v.trn, v.fullLoad, &sharedCount, memo};
    int32_t sharedHold = 3, ownHold = 3;
    std::vector<bool> gearsUsed(8, false);
    double V = points[1];
    int32_t gear = v.trn.gear_count();
    for (int32_t i = 1; i <= c.cycle.n; ++i) {
      StepOutcome a, b;
      bool sharedStopped = false, ownStopped = false;
      try {
        a = sim_step(shared, i, V, gear, sharedHold, 3, 0.0);
      } catch (const Error&) {
        sharedStopped = true;
      }
      try {
        b = step_alone(c.cycle, v, &ownCount, i, V, gear, ownHold, 3, 0.0);
      } catch (const Error&) {
        ownStopped = true;
      }
      ASSERT_EQ(sharedStopped, ownStopped) << i;
      ASSERT_EQ(sharedCount, ownCount) << i;
      if (sharedStopped) {
        ASSERT_TRUE(hopeless);  // the cap on searches that run out, reached alike
        break;
      }
      ASSERT_EQ(std::bit_cast<uint64_t>(a.V), std::bit_cast<uint64_t>(b.V)) << i;
      ASSERT_EQ(std::bit_cast<uint64_t>(a.engine_speed_rpm), std::bit_cast<uint64_t>(b.engine_speed_rpm)) << i;
      ASSERT_EQ(std::bit_cast<uint64_t>(a.engine_torque_nm), std::bit_cast<uint64_t>(b.engine_torque_nm)) << i;
      ASSERT_EQ(std::bit_cast<uint64_t>(a.deficit), std::bit_cast<uint64_t>(b.deficit)) << i;
      ASSERT_EQ(a.gear, b.gear) << i;
      ASSERT_EQ(sharedHold, ownHold) << i;
      ASSERT_EQ(sharedCount, ownCount) << i;
      V = a.V;
      gear = a.gear;
      gearsUsed[static_cast<std::size_t>(std::clamp(gear, 0, 7))] = true;
    }
    if (hopeless) {
      EXPECT_GT(sharedCount, 0);
    } else {
      EXPECT_GE(std::count(gearsUsed.begin(), gearsUsed.end(), true), 4);  // neutral and several gears
    }
  }
}

}  // namespace

}  // namespace hdfe
