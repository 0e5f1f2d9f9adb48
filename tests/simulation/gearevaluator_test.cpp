// The run's memo of gear evaluations against fresh evaluations, and steps sharing one
// memo against steps that each make their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "hdfe/units.h"
#include "model/curvelookup.h"
#include "sim/runcycle.h"
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

// The evaluation as first written: every pass of the speed search computed afresh, the
// full-load curve looked up plainly. The evaluator's faster paths must give its bits.
GearEvalResult reference_eval(const TestVehicle& v, int32_t g, double V, double s, double Vp) {
  check_gear(g, v.eng, v.trn);
  const VehicleSpec& spec = v.spec;
  const EngineData& eng = v.eng;
  const TransmissionData& trn = v.trn;
  const GearRow& row = trn.gears[static_cast<std::size_t>(g - 1)];
  const double i = trn.final_ratio * row.ratio, eta = trn.final_efficiency * row.efficiency;
  const double mass = row.rotating_mass_kg + spec.test_weight_kg, ratio60 = i * SecondsPerMinute, etaRatio = eta * i;
  const double Nmin = eng.gear_min_speed_rpm[static_cast<std::size_t>(g - 1)];
  const double gradeForce = (spec.mu_roll + std::sin(std::atan(s / Percent)) * Gravity) * spec.test_weight_kg;
  const auto Tmax = [&](double N) { return curve_lookup(v.fullLoad, N); };
  const auto load = [&](double u) { return (u * u * spec.mu_air + ((u - Vp) / KmhPerMs) * mass) + gradeForce; };
  const auto speed = [&](double u) { return (u * ratio60) / (spec.tire_circumference_m * KmhPerMs); };
  const auto torque = [&](double F) { return F >= 0.0 ? (F * spec.tire_radius_m) / etaRatio : ((F * eta) * spec.tire_radius_m) / i; };
  const auto result = [](double a, double b, double c, double d, GearStatus st) { return GearEvalResult{a, b, c, d, st, false}; };
  const auto search = [&](double u) {
    double step = 1.0, N = 0.0, Te = 0.0, T = 0.0;
    bool exhausted = false;
    for (int32_t k = 1;; ++k) {
      Te = torque(load(u));
      N = speed(u);
      if (g > trn.reengage_gear && N < Nmin) {
        T = Tmax(Nmin);
      } else if (N >= eng.engage_speed_rpm) {
        T = Tmax(N);
      } else {
        N = eng.engage_speed_rpm;
        T = Tmax(N);
        if (Te < T) return result(u, N, Te, T, GearStatus::Lowered);
      }
      const double diff = T - Te;
      if (diff < 0.0) {
        if (std::bit_cast<uint64_t>(u - step) == std::bit_cast<uint64_t>(u)) {
          exhausted = true;
          break;
        }
        u = u - step;
      } else if (diff >= 9.999999974752427e-07) {
        const double half = step / 2.0;
        if (std::bit_cast<uint64_t>(half) == std::bit_cast<uint64_t>(step) &&
            std::bit_cast<uint64_t>(u + half) == std::bit_cast<uint64_t>(u)) {
          exhausted = true;
          break;
        }
        step = half;
        u = u + half;
      } else {
        exhausted = !(diff >= 0.0) || k >= 9999;
        break;
      }
      if (k >= 9999) {
        exhausted = true;
        break;
      }
    }
    GearEvalResult out = N < Nmin ? result(0.0, N, Te, Tmax(Nmin), GearStatus::UnderSpeed)
                         : N < eng.max_speed_rpm ? result(u, N, Te, T, GearStatus::Lowered)
                                                 : result(0.0, N, Te, Tmax(eng.max_speed_rpm), GearStatus::OverSpeed);
    out.search_exhausted = exhausted;
    return out;
  };
  const double Ne = speed(V), Te = torque(load(V));
  if (V - Vp < 0.0) {
    if (Ne >= eng.release_speed_rpm) return result(V, Ne, Te, Tmax(Ne), GearStatus::Meets);
    return result(V, eng.idle_speed_rpm, 0.0, Tmax(eng.idle_speed_rpm), GearStatus::Idles);
  }
  if (Ne >= Nmin) {
    if (Ne < eng.max_speed_rpm) {
      const double T = Tmax(Ne);
      if (Te <= T || T <= 0.0) return result(V, Ne, Te, T, GearStatus::Meets);
      return search(V);
    }
    const double Nlim = g == trn.gear_count() ? eng.max_speed_rpm : Ne;
    const double Vlim = ((Nlim * spec.tire_circumference_m) * KmhPerMs) / (SecondsPerMinute * i);
    const double T = Tmax(Nlim), TeLim = torque(load(Vlim));
    if (g != trn.gear_count() || TeLim <= T || T <= 0.0) return result(Vlim, Nlim, TeLim, T, GearStatus::OverSpeed);
    return search(Vlim);
  }
  if (g > trn.start_gears) return result(V, Ne, Te, Tmax(Nmin), GearStatus::UnderSpeed);
  const double T = Tmax(eng.engage_speed_rpm);
  if (Te <= T) return result(V, eng.engage_speed_rpm, Te, T, GearStatus::Slips);
  return search(V);
}

TEST(GearEvaluator, RepeatsAndFreshCallsGiveTheFreshEvaluationBitForBit) {
  const TestVehicle v = make_test_vehicle();
  GearEvaluator memo(v.spec, v.eng, v.trn, v.fullLoad);  // a small table: it grows on the way
  GearEvaluator recent(v.spec, v.eng, v.trn, v.fullLoad);  // its table of recent evaluations
  Draw d;
  struct Kept {
    const GearEvalResult* result;
    GearEvalResult copy;
  };
  std::vector<Kept> kept;
  int searched = 0;
  for (int call = 0; call < Calls; ++call) {
    const int32_t g = d.gear();
    const double V = d.speed(), s = d.pick(d.grades), Vp = d.speed();
    const GearEvalResult& r = memo(g, V, s, Vp);
    const GearEvalResult expected = reference_eval(v, g, V, s, Vp);
    expect_same_bits(r, expected);
    expect_same_bits(recent.evaluate(g, V, s, Vp), expected);
    searched += expected.status == GearStatus::Lowered ? 1 : 0;
    if (call % 97 == 0) kept.push_back({&r, r});
    if (HasFailure()) FAIL() << "call " << call << ": gear " << g << " V " << V << " s " << s << " Vp " << Vp;
  }
  // A result stays where it is, unchanged, while the memo grows.
  for (const Kept& k : kept) expect_same_bits(*k.result, k.copy);
  EXPECT_GT(searched, Calls / 20);  // many speed searches among them
}

// More gradients than the evaluator keeps forces for, revisited in turns so that they
// evict each other, with -0 and +0 (the gradient every kept force starts at) among them:
// every evaluation gives the reference's bits, the resistance of a gradient met before
// included.
TEST(GearEvaluator, GradientsThatEvictEachOtherGiveTheReferenceBitForBit) {
  const TestVehicle v = make_test_vehicle();
  GearEvaluator recent(v.spec, v.eng, v.trn, v.fullLoad);
  std::mt19937_64 random(9);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> grades{-0.0, 0.0};
  for (int k = 0; k < 300; ++k) grades.push_back(std::round(160.0 * unit(random) - 60.0) / 10.0 + 1e-7 * k);
  for (int turn = 0; turn < 3; ++turn) {
    for (std::size_t k = 0; k < grades.size(); ++k) {
      const double s = grades[(k * 7 + static_cast<std::size_t>(turn)) % grades.size()];
      const double V = 10.0 + static_cast<double>(k % 50), Vp = V - 0.5;
      expect_same_bits(recent.evaluate(3, V, s, Vp), reference_eval(v, 3, V, s, Vp));
      if (HasFailure()) FAIL() << "turn " << turn << " gradient " << s;
    }
  }
}

// Full-load curves with a sudden drop (a repeated speed) where the search closes: the
// difference jumps past the tolerance, so the search halves its step until a move up is
// lost in the rounding of the speed and its passes repeat the spare speed's, then runs out
// of passes; and curves with flats and rises where it closes normally. The evaluator (its
// memo and its table of recent evaluations) gives the reference's bits either way.
TEST(GearEvaluator, SearchesThatHalveTheirStepAwayGiveTheReferenceBitForBit) {
  std::mt19937_64 random(21);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int exhausted = 0, closed = 0;
  for (int round = 0; round < 12; ++round) {
    TestVehicle v = make_test_vehicle();
    const double drop = 900.0 + 1200.0 * unit(random);
    v.fullLoad.speeds_rpm = {600.0, drop - 200.0 * unit(random), drop, drop, 2400.0, 2600.0};
    v.fullLoad.torques_nm = {700.0, 1300.0 + 200.0 * unit(random), 1400.0, 300.0 + 900.0 * unit(random), 900.0, 0.0};
    if (round % 3 == 2) v.fullLoad.torques_nm[3] = v.fullLoad.torques_nm[2];  // no drop: a flat
    GearEvaluator memo(v.spec, v.eng, v.trn, v.fullLoad);
    GearEvaluator recent(v.spec, v.eng, v.trn, v.fullLoad);
    const int before = exhausted;
    for (int call = 0; call < 200; ++call) {
      const int32_t g = 1 + static_cast<int32_t>(random() % 6);
      const double V = 5.0 + 100.0 * unit(random), Vp = V - 3.0 * unit(random), s = 8.0 * unit(random) - 2.0;
      const GearEvalResult expected = reference_eval(v, g, V, s, Vp);
      expect_same_bits(memo(g, V, s, Vp), expected);
      expect_same_bits(recent.evaluate(g, V, s, Vp), expected);
      expect_same_bits(recent.evaluate(g, V, s, Vp), expected);  // from the table of recent ones
      if (expected.status == GearStatus::Lowered) (expected.search_exhausted ? exhausted : closed) += 1;
      if (HasFailure()) FAIL() << "round " << round << " call " << call << ": gear " << g << " V " << V;
    }
    EXPECT_EQ(recent.exhausted_seen(), exhausted > before) << "round " << round;
  }
  EXPECT_GE(exhausted, 4);
  EXPECT_GT(closed, 10);
}

// Searches that start some 9,900 to 9,960 km/h above the speed where they close (a drive
// ratio so small that the engine stays below Nex): the 1 km/h steps down take nearly all
// the passes, so that the last pass falls anywhere in the halving that follows, on a step
// down, on a move up, on a pass back at the spare speed or on the pass that closes.
TEST(GearEvaluator, SearchesWhoseLastPassFallsWhileHalvingGiveTheReferenceBitForBit) {
  // From rest, the searches close below the curve's speeds, where the clutch slips; from
  // 6800 km/h without air resistance, on its first segment, where the halving passes are
  // told.
  for (const double Vp : {0.0, 6800.0}) {
    TestVehicle v = make_test_vehicle();
    v.trn.final_ratio = Vp > 0.0 ? 0.0237 : 0.03;
    if (Vp > 0.0) v.spec.mu_air = 0.0;
    GearEvaluator memo(v.spec, v.eng, v.trn, v.fullLoad);
    GearEvaluator recent(v.spec, v.eng, v.trn, v.fullLoad);
    int exhausted = 0, closed = 0;
    for (int k = 0; k < 300; ++k) {
      const double V = Vp + 9900.0 + (Vp > 0.0 ? 0.3 : 0.2) * k;
      const GearEvalResult expected = reference_eval(v, 6, V, 0.0, Vp);
      expect_same_bits(memo(6, V, 0.0, Vp), expected);
      expect_same_bits(recent.evaluate(6, V, 0.0, Vp), expected);
      (expected.search_exhausted ? exhausted : closed) += 1;
      if (HasFailure()) FAIL() << "Vp " << Vp << " V " << V;
    }
    EXPECT_GT(exhausted, 10) << Vp;
    EXPECT_GT(closed, 10) << Vp;
    EXPECT_TRUE(recent.exhausted_seen());
  }
}

// Speed searches over finely drawn full-load curves (their closing speed then lies some
// segments above where the 1 km/h steps down stop, and most passes are told by the
// quadratic of a segment): random vehicles, with and without air resistance, curves of 20
// to 240 points with flats, drops and rises, speeds on both sides of 64 and 128 km/h,
// and drive ratios so small that the searches start far above where they close. Every
// result gives the reference's bits.
TEST(GearEvaluator, SearchesOverFinelyDrawnCurvesGiveTheReferenceBitForBit) {
  std::mt19937_64 random(26);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int lowered = 0;
  for (int round = 0; round < 60; ++round) {
    TestVehicle v = make_test_vehicle();
    v.spec.mu_air = round % 5 == 0 ? 0.0 : 0.2 * unit(random);
    v.spec.test_weight_kg = 1000.0 + 60000.0 * unit(random);
    v.trn.final_ratio = round % 7 == 0 ? 0.05 + 0.2 * unit(random) : 1.5 + 4.0 * unit(random);
    const int points = 20 + static_cast<int>(220.0 * unit(random));
    v.fullLoad.speeds_rpm.clear();
    v.fullLoad.torques_nm.clear();
    double speed = 600.0, torque = 300.0 + 900.0 * unit(random);
    for (int k = 0; k < points; ++k) {
      v.fullLoad.speeds_rpm.push_back(speed);
      v.fullLoad.torques_nm.push_back(torque);
      const double draw = unit(random);
      speed += draw < 0.06 ? 0.0 : 1900.0 / points * (0.2 + 1.6 * unit(random));  // now and then a drop
      torque = draw < 0.1 ? torque : std::max(50.0, torque + (draw < 0.06 ? -400.0 : 120.0 * (unit(random) - 0.45)));
    }
    v.fullLoad.speeds_rpm.push_back(speed + 200.0);
    v.fullLoad.torques_nm.push_back(0.0);
    v.eng.max_speed_rpm = speed;
    GearEvaluator evaluator(v.spec, v.eng, v.trn, v.fullLoad);
    for (int call = 0; call < 150; ++call) {
      const int32_t g = 1 + static_cast<int32_t>(random() % 6);
      const double V = call % 3 == 0 ? 56.0 + 16.0 * unit(random) : call % 3 == 1 ? 120.0 + 16.0 * unit(random)
                                                                                 : 150.0 * unit(random);
      const double Vp = V - 4.0 * unit(random), s = 16.0 * unit(random) - 8.0;
      const GearEvalResult expected = reference_eval(v, g, V, s, Vp);
      expect_same_bits(evaluator.evaluate(g, V, s, Vp), expected);
      lowered += expected.status == GearStatus::Lowered ? 1 : 0;
      if (HasFailure()) FAIL() << "round " << round << " call " << call << ": gear " << g << " V " << V;
    }
  }
  EXPECT_GT(lowered, 1200);  // most of them closed by a search
}

TEST(GearEvaluator, ARepeatedSearchThatRanOutOfPassesIsFlaggedAgain) {
  TestVehicle v = make_test_vehicle();
  // A repeated last point leaves the full-load torque undefined above it: no search closes.
  v.fullLoad.speeds_rpm = {600.0, 1000.0, 1000.0};
  v.fullLoad.torques_nm = {800.0, 1400.0, 1400.0};
  GearEvaluator memo(v.spec, v.eng, v.trn, v.fullLoad);
  const GearEvalResult plain = eval_gear_at(v, 6, 60.0, 0.0, 60.0);
  ASSERT_TRUE(plain.search_exhausted);
  expect_same_bits(plain, reference_eval(v, 6, 60.0, 0.0, 60.0));
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

// A cycle run against the same steps taken one after the other by sim_step, with its own
// count of searches that ran out of passes: run_cycle keeps what the look-ahead finds and
// hands the run to sim_step at the first such search or stop, which must not show.
namespace {

struct ExactStep {
  double V = 0.0, Ne = 0.0, Te = 0.0;
  int32_t gear = 0;
  int32_t hold = 0;
};

struct ExactRun {
  std::vector<ExactStep> steps;
  std::vector<int32_t> exhausted;  // the step of each search that ran out of passes
  std::string stopped;             // the message of the error that stopped the run
};

ExactRun exact_run(const DriveCycle& cycle, const TestVehicle& v) {
  ExactRun run;
  int32_t count = 0;
  GearEvaluator memo(v.spec, v.eng, v.trn, v.fullLoad);
  const SimContext context{cycle, v.spec, v.eng, v.trn, v.fullLoad, &count, memo};
  const auto note = [&](int32_t second) { run.exhausted.resize(static_cast<std::size_t>(count), second); };
  try {
    int32_t hold = 3;
    StepOutcome step = sim_step(context, 1, cycle.target_speed_km_per_h[1], v.trn.gear_count(), hold, 3, 0.0);
    note(0);
    for (int32_t i = 1; i <= cycle.n; ++i) {
      step = sim_step(context, i, step.V, step.gear, hold, 3, 0.0);
      note(i);
      run.steps.push_back({step.V, step.engine_speed_rpm, step.engine_torque_nm, step.gear, hold});
    }
  } catch (const Error& e) {
    run.stopped = e.what();
  }
  return run;
}

// A random vehicle near the test vehicle: from 3 to 8 gears, and now and then one that
// cannot hold any speed (every search runs out), one whose gear table is cut short by its
// minimum speeds, or one without a starting gear.
TestVehicle random_vehicle(std::mt19937_64& random) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto between = [&](double a, double b) { return a + (b - a) * unit(random); };
  TestVehicle v = make_test_vehicle();
  v.spec.mu_air *= between(0.5, 2.0);
  v.spec.mu_roll *= between(0.3, 3.0);
  v.spec.test_weight_kg *= between(0.4, 3.0);
  v.trn.final_ratio *= between(0.5, 1.6);
  const int32_t gears = 3 + static_cast<int32_t>(random() % 6);
  v.trn.gears.clear();
  v.eng.gear_min_speed_rpm.clear();
  double ratio = between(5.0, 14.0);
  for (int32_t g = 0; g < gears; ++g) {
    v.trn.gears.push_back({ratio, between(0.9, 0.98), between(1.0, 2.5), between(100.0, 1500.0)});
    v.eng.gear_min_speed_rpm.push_back(g < 2 ? between(600.0, 660.0) : between(650.0, 1000.0));
    ratio /= between(1.2, 1.7);
  }
  v.trn.start_gears = 1 + static_cast<int32_t>(random() % 3);
  v.trn.reengage_gear = 1 + static_cast<int32_t>(random() % 3);
  v.trn.max_upshift_span = 1 + static_cast<int32_t>(random() % 4);
  const double torque = between(0.4, 1.5);
  for (double& t : v.fullLoad.torques_nm) t *= torque;
  switch (random() % 16) {
    case 0:  // no torque above 1000 rpm: every search that starts there runs out
      v.fullLoad.speeds_rpm = {600.0, 1000.0, 1000.0};
      v.fullLoad.torques_nm = {800.0, 1400.0, 1400.0};
      break;
    case 1:
      v.eng.gear_min_speed_rpm.pop_back();
      break;
    case 2:
      v.trn.start_gears = 0;
      break;
    case 3:
      v.trn.reengage_gear = gears + 1;
      break;
    default:
      break;
  }
  return v;
}

// A random cycle of stops, speed-ups, cruising and slowing down over random gradients;
// now and then its table ends at point n, so that the look-ahead reads past it.
void random_cycle(std::mt19937_64& random, TestCycle& c) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int32_t n = 30 + static_cast<int32_t>(random() % 300);
  std::vector<double> points{0.0}, grades{0.0};
  double target = 0.0, grade = 0.0;
  for (int32_t k = 1; k <= n; ++k) {
    if (random() % 40 == 0) target = 0.0;
    else if (random() % 3 != 0) target = std::max(0.0, std::min(110.0, target + 14.0 * (unit(random) - 0.45)));
    if (random() % 10 == 0) target = std::round(target);  // exact repeats of earlier speeds
    if (random() % 8 == 0) grade = random() % 3 == 0 ? 0.0 : 16.0 * (unit(random) - 0.4);
    points.push_back(target);
    grades.push_back(grade);
  }
  if (random() % 3 != 0) {
    points.insert(points.end(), 3, 0.0);
    grades.insert(grades.end(), 3, 0.0);
  }
  c.target_speed_km_per_h = std::move(points);
  c.grade_percent = std::move(grades);
  c.cycle = DriveCycle{n, c.target_speed_km_per_h, c.grade_percent};
}

bool same_bits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

}  // namespace

TEST(GearEvaluator, CycleRunsGiveTheStepsOfSimStepBitForBit) {
#if HDFE_SANITIZED
  constexpr int Runs = 150;
#else
  constexpr int Runs = 1500;
#endif
  std::mt19937_64 random(2024);
  int stopped = 0, exhausted = 0, shifted = 0;
  for (int run = 0; run < Runs; ++run) {
    const TestVehicle v = random_vehicle(random);
    TestCycle c;
    random_cycle(random, c);
    const ExactRun expected = exact_run(c.cycle, v);
    CycleSimulation got;
    std::string message;
    try {
      got = run_cycle(c.cycle, v.spec, v.eng, v.trn, v.fullLoad);
    } catch (const Error& e) {
      message = e.what();
    }
    ASSERT_EQ(message, expected.stopped) << "run " << run;
    stopped += message.empty() ? 0 : 1;
    if (!message.empty()) continue;
    ASSERT_EQ(got.exhausted_searches, expected.exhausted) << "run " << run;
    exhausted += expected.exhausted.empty() ? 0 : 1;
    const CycleTrace& t = got.trace;
    ASSERT_EQ(t.gear.size(), expected.steps.size()) << "run " << run;
    for (std::size_t k = 0; k < expected.steps.size(); ++k) {
      const ExactStep& e = expected.steps[k];
      ASSERT_TRUE(same_bits(t.speed_km_per_h[k], e.V) && same_bits(t.engine_speed_rpm[k], e.Ne) &&
                  same_bits(t.engine_torque_nm[k], e.Te) && t.gear[k] == e.gear)
          << "run " << run << " step " << k + 1 << ": V " << t.speed_km_per_h[k] << " / " << e.V << ", gear "
          << t.gear[k] << " / " << e.gear;
      // The normalised torque takes the full-load torque from the step's own evaluation
      // where it can: the same value as a plain lookup at the engine speed.
      const double nSpan = v.eng.rated_speed_rpm - v.eng.idle_speed_rpm;
      ASSERT_TRUE(same_bits(t.normalised_torque_percent[k], e.Te / curve_lookup(v.fullLoad, e.Ne) * Percent) &&
                  same_bits(t.normalised_speed_percent[k], (e.Ne - v.eng.idle_speed_rpm) / nSpan * Percent))
          << "run " << run << " step " << k + 1;
      if (k > 0 && e.gear != expected.steps[k - 1].gear && e.gear != 0 && expected.steps[k - 1].gear != 0) ++shifted;
    }
  }
  // The draws reach runs that stop, runs with searches that ran out, and many shifts.
  EXPECT_GT(stopped, Runs / 50);
  EXPECT_GT(exhausted, Runs / 50);
  EXPECT_GT(shifted, Runs * 5);
}

}  // namespace hdfe
