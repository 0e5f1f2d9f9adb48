#include "sim/runcycle.h"

#include "model/curvelookup.h"
#include "sim/cycles.h"
#include "sim/simstep.h"
#include "sim/stepper.h"
#include "hdfe/units.h"

namespace hdfe {

namespace {

// Appends a step's values to every column the simulation fills.
inline void append_step(CycleTrace& trace, const StepOutcome& step, const EngineData& eng, double fullLoadTorque) {
  const double nSpan = eng.rated_speed_rpm - eng.idle_speed_rpm;
  trace.speed_km_per_h.push_back(step.V);
  trace.gear.push_back(step.gear);
  trace.engine_speed_rpm.push_back(step.engine_speed_rpm);
  trace.engine_torque_nm.push_back(step.engine_torque_nm);
  trace.normalised_speed_percent.push_back((step.engine_speed_rpm - eng.idle_speed_rpm) / nSpan * Percent);
  trace.normalised_torque_percent.push_back(step.engine_torque_nm / fullLoadTorque * Percent);
}

}  // namespace

void record_step(CycleTrace& trace, const StepOutcome& step, const EngineData& eng, double fullLoadTorque) {
  append_step(trace, step, eng, fullLoadTorque);
}

CycleSimulation run_cycle(const DriveCycle& cycle, const VehicleSpec& spec, const EngineData& eng,
                          const TransmissionData& trn, const TorqueCurve& fullLoad) {
  CycleSimulation run;
  CycleTrace& trace = run.trace;
  // Each second's values are appended: zero-filling the columns first costs more than
  // writing them.
  const std::size_t seconds = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  for (std::vector<double>* column : {&trace.speed_km_per_h, &trace.engine_speed_rpm, &trace.engine_torque_nm,
                                      &trace.normalised_speed_percent, &trace.normalised_torque_percent}) {
    column->reserve(seconds);
  }
  trace.gear.reserve(seconds);
  int32_t exhausted = 0;  // in the whole cycle, so that the context can bound it
  // The stepper keeps the evaluations that need the speed search: about one in twelve
  // seconds of the example vehicles' cycles.
  GearEvaluator evaluator(spec, eng, trn, fullLoad, seconds / 8);
  const SimContext context{cycle, spec, eng, trn, fullLoad, &exhausted, evaluator};
  Stepper stepper(context);
  const IndexedCurve& fullLoadAt = evaluator.full_load_index();
  const auto note_exhausted = [&](int32_t second) {
    const std::size_t noted = run.exhausted_searches.size();
    if (static_cast<std::size_t>(exhausted) == noted) return;
    run.exhausted_searches.insert(run.exhausted_searches.end(), static_cast<std::size_t>(exhausted) - noted, second);
  };
  int32_t hold = 3;
  // A preparatory step 1 settles speed and gear before the cycle starts.
  StepOutcome step = stepper.step(1, cycle.target_speed_km_per_h[1], trn.gear_count(), hold);
  note_exhausted(0);
  run.start_speed_km_per_h = step.V;
  int segment = -1;  // of the last full-load lookup: the engine speed moves little per second
  for (int32_t i = 1; i <= cycle.n; ++i) {
    step = stepper.step(i, step.V, step.gear, hold);
    evaluator.release_unkept();
    note_exhausted(i);
    const double tmax = fullLoadAt.near(step.engine_speed_rpm, segment);
    append_step(trace, step, eng, tmax);
  }
  // The fuel rates are written over every second.
  trace.fuel_rate_l_per_h.assign(seconds, 0.0);
  return run;
}

}  // namespace hdfe
