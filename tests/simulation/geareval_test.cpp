#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

#include "model/curvelookup.h"
#include "tests/simulation/testvehicle.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

constexpr double Tolerance = 9.999999974752427e-07;

TEST(GearEval, WorkedExampleInTopGear) {
  const TestVehicle v = make_test_vehicle();
  const GearEvalResult r = eval_gear_at(v, 6, 80.0, 2.0, 79.0);
  EXPECT_EQ(r.status, GearStatus::Meets);
  EXPECT_EQ(r.V, 80.0);
  EXPECT_NEAR(r.engine_speed_rpm, 1934.42, 0.005);
  // F = 384.0 + 4000.0 + 3723.45 = 8107.45 N
  EXPECT_NEAR(r.engine_torque_nm, 955.79, 0.005);
  EXPECT_EQ(r.Tmax, curve_lookup(v.fullLoad, r.engine_speed_rpm));
  EXPECT_FALSE(r.search_exhausted);
}

// Results are compared to the last bit with other implementations: the road load and
// the engine speed keep the evaluation order of their definitions.
TEST(GearEval, RoadLoadAndEngineSpeedKeepTheirEvaluationOrder) {
  const TestVehicle v = make_test_vehicle();
  const double i = 4.1 * 1.0;
  const double eta = 0.95 * 0.98;
  for (double V = 40.3; V < 95.0; V += 0.731) {
    const double Vp = V - 1.3 + std::fmod(V, 1.9);  // meets the target with the torque unchanged
    const GearEvalResult r = eval_gear_at(v, 6, V, 1.3, Vp);
    ASSERT_EQ(r.status, GearStatus::Meets);
    const double F = (V * V * 0.06 + ((V - Vp) / 3.6) * (400.0 + 14000.0)) +
                     (0.07 + std::sin(std::atan(1.3 / 100.0)) * 9.8) * 14000.0;
    EXPECT_EQ(r.engine_speed_rpm, (V * (i * 60.0)) / (2.826 * 3.6)) << V;
    EXPECT_EQ(r.engine_torque_nm, F >= 0.0 ? (F * 0.45) / (eta * i) : ((F * eta) * 0.45) / i) << V;
  }
}

TEST(GearEval, SlowingDownHoldsTheClutchDownToNec) {
  TestVehicle v = make_test_vehicle();
  const GearEvalResult drag = eval_gear_at(v, 6, 40.0, 0.0, 45.0);
  EXPECT_EQ(drag.status, GearStatus::Meets);
  EXPECT_EQ(drag.V, 40.0);
  // F = 96 - 20000 + 980 = -18924 N; the wheels drive the engine through the losses.
  EXPECT_NEAR(drag.engine_torque_nm, -18924.0 * 0.95 * 0.98 * 0.45 / 4.1, 1e-9);
  EXPECT_EQ(drag.Tmax, curve_lookup(v.fullLoad, drag.engine_speed_rpm));

  v.eng.release_speed_rpm = drag.engine_speed_rpm;  // exactly at Nec: still engaged
  const GearEvalResult atNec = eval_gear_at(v, 6, 40.0, 0.0, 45.0);
  EXPECT_EQ(atNec.status, GearStatus::Meets);
  EXPECT_EQ(atNec.engine_speed_rpm, drag.engine_speed_rpm);

  v.eng.release_speed_rpm = std::nextafter(drag.engine_speed_rpm, 1e9);  // just below Nec: clutch open, engine idling
  const GearEvalResult open = eval_gear_at(v, 6, 40.0, 0.0, 45.0);
  EXPECT_EQ(open.status, GearStatus::Idles);
  EXPECT_EQ(open.V, 40.0);
  EXPECT_EQ(open.engine_speed_rpm, v.eng.idle_speed_rpm);
  EXPECT_EQ(open.engine_torque_nm, 0.0);
  EXPECT_EQ(open.Tmax, curve_lookup(v.fullLoad, v.eng.idle_speed_rpm));
}

TEST(GearEval, SteadySpeedIsNotSlowingDown) {
  const TestVehicle v = make_test_vehicle();
  // At Vp = V the inertia term vanishes: a low engine speed in a high gear is under speed, not idling.
  const GearEvalResult r = eval_gear_at(v, 4, 10.0, 0.0, 10.0);
  EXPECT_EQ(r.status, GearStatus::UnderSpeed);
  EXPECT_EQ(r.V, 10.0);
  EXPECT_LT(r.engine_speed_rpm, v.eng.gear_min_speed_rpm[3]);
  EXPECT_EQ(r.Tmax, curve_lookup(v.fullLoad, v.eng.gear_min_speed_rpm[3]));
}

TEST(GearEval, MovingOffSlipsTheClutchAtNes) {
  const TestVehicle v = make_test_vehicle();
  const GearEvalResult r = eval_gear_at(v, 1, 3.0, 0.0, 0.0);
  EXPECT_EQ(r.status, GearStatus::Slips);
  EXPECT_EQ(r.V, 3.0);
  EXPECT_EQ(r.engine_speed_rpm, v.eng.engage_speed_rpm);
  EXPECT_GT(r.engine_torque_nm, 0.0);
  EXPECT_EQ(r.Tmax, curve_lookup(v.fullLoad, v.eng.engage_speed_rpm));
}

TEST(GearEval, PastNexTheTopGearIsCappedAndLowerGearsKeepTheTarget) {
  const TestVehicle v = make_test_vehicle();
  const GearEvalResult top = eval_gear_at(v, 6, 110.0, 0.0, 110.0);
  EXPECT_EQ(top.status, GearStatus::OverSpeed);
  EXPECT_EQ(top.engine_speed_rpm, v.eng.max_speed_rpm);
  EXPECT_LT(top.V, 110.0);
  EXPECT_NEAR(top.V, 2400.0 * 2.826 * 3.6 / (60.0 * 4.1), 1e-9);
  EXPECT_EQ(top.Tmax, curve_lookup(v.fullLoad, v.eng.max_speed_rpm));

  const GearEvalResult fifth = eval_gear_at(v, 5, 90.0, 0.0, 90.0);
  EXPECT_EQ(fifth.status, GearStatus::OverSpeed);
  EXPECT_DOUBLE_EQ(fifth.V, 90.0);
  EXPECT_GT(fifth.engine_speed_rpm, v.eng.max_speed_rpm);
  EXPECT_EQ(fifth.Tmax, curve_lookup(v.fullLoad, fifth.engine_speed_rpm));
}

TEST(GearEval, TopGearPastNexWithoutTorqueSearchesBelowTheCap) {
  const TestVehicle v = make_test_vehicle();
  const GearEvalResult r = eval_gear_at(v, 6, 110.0, 8.0, 100.0);
  EXPECT_EQ(r.status, GearStatus::Lowered);
  EXPECT_LT(r.V, 2400.0 * 2.826 * 3.6 / (60.0 * 4.1));
  EXPECT_LT(r.engine_speed_rpm, v.eng.max_speed_rpm);
  const double reserve = curve_lookup(v.fullLoad, r.engine_speed_rpm) - r.engine_torque_nm;
  EXPECT_GE(reserve, 0.0);
  EXPECT_LT(reserve, Tolerance);
}

TEST(GearEval, SpeedSearchConvergesOnTheFullLoadCurve) {
  const TestVehicle v = make_test_vehicle();
  const GearEvalResult r = eval_gear_at(v, 6, 60.0, 15.0, 60.0);
  EXPECT_EQ(r.status, GearStatus::Lowered);
  EXPECT_LT(r.V, 60.0);
  EXPECT_GT(r.V, 50.0);
  EXPECT_EQ(r.Tmax, curve_lookup(v.fullLoad, r.engine_speed_rpm));
  EXPECT_GE(r.Tmax - r.engine_torque_nm, 0.0);
  EXPECT_LT(r.Tmax - r.engine_torque_nm, Tolerance);
  // The returned engine speed belongs to the returned speed.
  EXPECT_NEAR(r.engine_speed_rpm, r.V * (4.1 * 60.0) / (2.826 * 3.6), 1e-9);
}

TEST(GearEval, SpeedSearchBelowTheGearMinimumGivesStatus3AndZeroSpeed) {
  TestVehicle v = make_test_vehicle();
  v.trn.start_gears = 3;  // a starting gear above ReengageGear is still held to its minimum speed
  const GearEvalResult r = eval_gear_at(v, 3, 15.0, 30.0, 15.0);
  EXPECT_EQ(r.status, GearStatus::UnderSpeed);
  EXPECT_EQ(r.V, 0.0);
  EXPECT_LT(r.engine_speed_rpm, v.eng.gear_min_speed_rpm[2]);
  EXPECT_EQ(r.Tmax, curve_lookup(v.fullLoad, v.eng.gear_min_speed_rpm[2]));
}

TEST(GearEval, SpeedSearchStopsWhenTheSlippingClutchCarriesTheLoad) {
  const TestVehicle v = make_test_vehicle();
  // Gear 2 is at or below ReengageGear, so the search may go below Nmin down to Nes.
  const GearEvalResult r = eval_gear_at(v, 2, 12.0, 40.0, 12.0);
  EXPECT_EQ(r.status, GearStatus::Lowered);
  EXPECT_EQ(r.engine_speed_rpm, v.eng.engage_speed_rpm);
  EXPECT_EQ(r.V, 6.0);  // whole 1 km/h steps down from the target
  EXPECT_EQ(r.Tmax, curve_lookup(v.fullLoad, v.eng.engage_speed_rpm));
  EXPECT_LT(r.engine_torque_nm, r.Tmax);
}

TEST(GearEval, NoTorqueLimitBeyondTheEndOfTheCurve) {
  TestVehicle v = make_test_vehicle();
  v.eng.max_speed_rpm = 3000.0;
  const GearEvalResult r = eval_gear_at(v, 6, 111.7, 5.0, 110.0);
  EXPECT_EQ(r.status, GearStatus::Meets);
  EXPECT_EQ(r.V, 111.7);
  EXPECT_LE(r.Tmax, 0.0);
  EXPECT_GT(r.engine_torque_nm, 0.0);
}

TEST(GearEval, SearchWithoutConvergenceIsFlaggedAfter9999Passes) {
  TestVehicle v = make_test_vehicle();
  // A repeated last point makes the full-load torque undefined above it: the search never closes.
  v.fullLoad.speeds_rpm = {600.0, 1000.0, 1000.0};
  v.fullLoad.torques_nm = {800.0, 1400.0, 1400.0};
  const GearEvalResult r = eval_gear_at(v, 6, 60.0, 0.0, 60.0);
  EXPECT_TRUE(r.search_exhausted);
  EXPECT_EQ(r.status, GearStatus::Lowered);
  EXPECT_EQ(r.V, 60.0);
  EXPECT_TRUE(std::isnan(r.Tmax));
}

// A final ratio of 1e-14 turns the engine at about 1770 rpm at 3e16 km/h, where 1 km/h is
// lost in the rounding of the speed: the first step down leaves the search where it
// was, so it stops there, flagged as not converging, in the evaluator as in the plain call.
TEST(GearEval, SearchWhoseStepIsLostInTheRoundingStopsAtOnceFlagged) {
  TestVehicle v = make_test_vehicle();
  v.trn.final_ratio = 1e-14;
  const double V = 3e16;
  const GearEvalResult r = eval_gear_at(v, 6, V, 0.0, V);
  EXPECT_TRUE(r.search_exhausted);
  EXPECT_EQ(r.status, GearStatus::Lowered);
  EXPECT_EQ(r.V, V);
  EXPECT_GT(r.engine_torque_nm, r.Tmax);
  GearEvaluator evaluator(v.spec, v.eng, v.trn, v.fullLoad);
  const GearEvalResult& kept = evaluator(6, V, 0.0, V);
  EXPECT_TRUE(kept.search_exhausted);
  EXPECT_EQ(kept.status, r.status);
  EXPECT_EQ(kept.V, r.V);
  EXPECT_EQ(kept.engine_speed_rpm, r.engine_speed_rpm);
  EXPECT_EQ(kept.engine_torque_nm, r.engine_torque_nm);
  EXPECT_EQ(kept.Tmax, r.Tmax);
}

TEST(GearEval, AGearOutsideTheTableStopsTheRun) {
  const TestVehicle v = make_test_vehicle();
  for (const int32_t g : {0, 7, -1}) {
    try {
      eval_gear_at(v, g, 10.0, 0.0, 10.0);
      ADD_FAILURE() << "gear " << g << " was evaluated";
    } catch (const Error& stop) {
      EXPECT_EQ(stop.kind(), ErrorKind::VehicleCheck);
      EXPECT_EQ(stop.what(), "Gear " + std::to_string(g) + " is not in the gear table of 6 gears");
    }
  }
}

}  // namespace

}  // namespace hdfe
