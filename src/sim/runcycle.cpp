#include "sim/runcycle.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <optional>

#include "model/curvelookup.h"
#include "sim/cycles.h"
#include "sim/simstep.h"
#include "sim/stepper.h"
#include "hdfe/units.h"

namespace hdfe {

namespace {

// The engine speed [rpm] as a share of the span from idle to rated speed, nSpan [%].
double speed_share(double ne, const EngineData& eng, double nSpan) { return (ne - eng.idle_speed_rpm) / nSpan * Percent; }

// The engine torque as a share of the full-load torque tmax [%].
double torque_share(double te, double tmax) { return te / tmax * Percent; }

using Records = Stepper::Records;
constexpr std::size_t RowBatch = Stepper::RecordBatch;

// Appends the first count values of a batch's column to a trace column.
template <class Column, class Values>
void append(Column& column, const Values& values, std::size_t count) {
  column.insert(column.end(), values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));
}

}  // namespace

void record_step(CycleTrace& trace, const StepOutcome& step, const EngineData& eng, double fullLoadTorque) {
  trace.speed_km_per_h.push_back(step.V);
  trace.gear.push_back(step.gear);
  trace.engine_speed_rpm.push_back(step.engine_speed_rpm);
  trace.engine_torque_nm.push_back(step.engine_torque_nm);
  trace.normalised_speed_percent.push_back(
      speed_share(step.engine_speed_rpm, eng, eng.rated_speed_rpm - eng.idle_speed_rpm));
  trace.normalised_torque_percent.push_back(torque_share(step.engine_torque_nm, fullLoadTorque));
}

CycleSimulation run_cycle(const DriveCycle& cycle, const VehicleSpec& spec, const EngineData& eng,
                          const TransmissionData& trn, const TorqueCurve& fullLoad) {
  CycleSimulation run;
  CycleTrace& trace = run.trace;
  // The steps are simulated RowBatch at a time into a batch of records, whose columns are
  // then appended to the trace's: appending to six columns at every second, or
  // zero-filling them first, costs more.
  const std::size_t seconds = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  for (std::vector<double>* column : {&trace.speed_km_per_h, &trace.engine_speed_rpm, &trace.engine_torque_nm,
                                      &trace.normalised_speed_percent, &trace.normalised_torque_percent}) {
    column->reserve(seconds);
  }
  trace.gear.reserve(seconds);
  const std::unique_ptr<Records> records(new Records);  // each batch writes what it reads
  const double nSpan = eng.rated_speed_rpm - eng.idle_speed_rpm;
  int32_t exhausted = 0;  // in the whole cycle, so that the context can bound it
  // The stepper keeps the evaluations that need the speed search: about one in twelve
  // seconds of the example vehicles' cycles.
  GearEvaluator evaluator(spec, eng, trn, fullLoad, seconds / 8);
  const SimContext context{cycle, spec, eng, trn, fullLoad, &exhausted, evaluator};
  Stepper stepper(context);
  const IndexedCurve& fullLoadAt = evaluator.full_load_index();
  // A preparatory step 1 settles speed and gear before the cycle starts; what it notes
  // belongs to second 0.
  Stepper::Start from{cycle.target_speed_km_per_h[1], trn.gear_count(), HoldSeconds};
  stepper.steps(1, 1, from, *records, run.exhausted_searches);
  std::fill(run.exhausted_searches.begin(), run.exhausted_searches.end(), 0);
  run.start_speed_km_per_h = from.V;
  int segment = -1;  // of the last full-load lookup: the engine speed moves little per second
  std::array<double, RowBatch> speedShare, torqueShare;  // normalised engine speed and torque [%]
  for (int64_t first = 1; first <= cycle.n; first += static_cast<int64_t>(RowBatch)) {
    const auto last = static_cast<int32_t>(std::min<int64_t>(cycle.n, first + static_cast<int64_t>(RowBatch) - 1));
    Records& batch = *records;
    stepper.steps(static_cast<int32_t>(first), last, from, batch, run.exhausted_searches);
    const std::size_t count = static_cast<std::size_t>(last - first + 1);
    for (std::size_t k = 0; k < count; ++k) {
      const double ne = batch.engine_speed_rpm[k];
      const std::optional<double>& known = batch.full_load_torque_nm[k];
      const double tmax = known ? *known : fullLoadAt.near(ne, segment);
      speedShare[k] = speed_share(ne, eng, nSpan);
      torqueShare[k] = torque_share(batch.engine_torque_nm[k], tmax);
    }
    append(trace.speed_km_per_h, batch.V, count);
    append(trace.gear, batch.gear, count);
    append(trace.engine_speed_rpm, batch.engine_speed_rpm, count);
    append(trace.engine_torque_nm, batch.engine_torque_nm, count);
    append(trace.normalised_speed_percent, speedShare, count);
    append(trace.normalised_torque_percent, torqueShare, count);
  }
  return run;
}

}  // namespace hdfe
