// A small hand-built vehicle for the simulation tests: a 14-t truck with a six-speed
// box (start in gear 1 or 2, re-engage in gear 2) and a five-point full-load curve.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "hdfe/traces.h"
#include "hdfe/vehicle.h"
#include "sim/geareval.h"
#include "sim/simstep.h"

namespace hdfe {

struct TestVehicle {
  VehicleSpec spec;
  EngineData eng;
  TransmissionData trn;
  TorqueCurve fullLoad;
};

inline TestVehicle make_test_vehicle() {
  TestVehicle v;
  v.spec.mu_air = 0.06;
  v.spec.mu_roll = 0.07;
  v.spec.tire_radius_m = 0.45;
  v.spec.tire_circumference_m = 2.826;
  v.spec.test_weight_kg = 14000.0;

  v.eng.idle_speed_rpm = 600.0;
  v.eng.rated_speed_rpm = 2000.0;
  v.eng.max_speed_rpm = 2400.0;
  v.eng.engage_speed_rpm = 670.0;
  v.eng.release_speed_rpm = 656.0;
  v.eng.gear_min_speed_rpm = {614.0, 614.0, 656.0, 796.0, 908.0, 908.0};

  v.trn.type = TransmissionType::Manual;
  v.trn.start_gears = 2;
  v.trn.reengage_gear = 2;
  v.trn.max_upshift_span = 3;
  v.trn.final_ratio = 4.1;
  v.trn.final_efficiency = 0.95;
  v.trn.gears = {{6.0, 0.95, 2.0, 1200.0}, {3.8, 0.95, 2.0, 800.0}, {2.4, 0.95, 1.7, 600.0},
                 {1.6, 0.95, 1.3, 500.0},  {1.25, 0.95, 1.3, 450.0}, {1.0, 0.98, 1.3, 400.0}};

  v.fullLoad.speeds_rpm = {600.0, 1000.0, 1600.0, 2400.0, 2600.0};
  v.fullLoad.torques_nm = {800.0, 1400.0, 1400.0, 1000.0, 0.0};
  return v;
}

// Gear g evaluated afresh, by an evaluator that has made no evaluation before.
inline GearEvalResult eval_gear_at(const TestVehicle& v, int32_t g, double V, double s, double Vp) {
  GearEvaluator fresh(v.spec, v.eng, v.trn, v.fullLoad);
  return fresh(g, V, s, Vp);
}

// A step with a memo of its own, as if it were the first of its run.
inline StepOutcome step_alone(const DriveCycle& cycle, const TestVehicle& v, int32_t* exhausted, int32_t i, double Vin,
                              int32_t gear_in, int32_t& hold, int32_t depth, double deficit) {
  GearEvaluator own(v.spec, v.eng, v.trn, v.fullLoad);
  const SimContext context{cycle, v.spec, v.eng, v.trn, v.fullLoad, exhausted, own};
  return sim_step(context, i, Vin, gear_in, hold, depth, deficit);
}

// A cycle over the given target points (point 0 first) on a constant gradient; the
// table holds exactly the points given, so reads past them are out of range.
struct TestCycle {
  std::vector<double> target_speed_km_per_h;
  std::vector<double> grade_percent;
  DriveCycle cycle;
};

inline void set_cycle(TestCycle& c, int32_t n, std::vector<double> points, double gradient = 0.0) {
  c.target_speed_km_per_h = std::move(points);
  c.grade_percent.assign(c.target_speed_km_per_h.size(), gradient);
  c.cycle = DriveCycle{n, c.target_speed_km_per_h, c.grade_percent};
}

// Outputs of one sim_step call.
struct StepResult {
  double engine_speed_rpm = 0.0;
  double engine_torque_nm = 0.0;
  int32_t gear = -1;
  double V = -1.0;
  double deficit = 0.0;
  int32_t hold = 0;
};

inline StepResult run_step(const TestVehicle& v, const DriveCycle& cycle, int32_t i, double Vin, int32_t gear_in,
                          int32_t hold, int32_t depth = 3, double deficit = 0.0) {
  StepResult r;
  r.hold = hold;
  r.deficit = deficit;
  int32_t exhausted = 0;
  const StepOutcome o = step_alone(cycle, v, &exhausted, i, Vin, gear_in, r.hold, depth, deficit);
  r.engine_speed_rpm = o.engine_speed_rpm;
  r.engine_torque_nm = o.engine_torque_nm;
  r.gear = o.gear;
  r.V = o.V;
  r.deficit = o.deficit;
  return r;
}

}  // namespace hdfe
