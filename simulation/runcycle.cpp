#include "simulation/runcycle.h"

#include "fuel/curvelookup.h"
#include "simulation/cycles.h"
#include "simulation/simstep.h"

namespace hdfe {

CycleSimulation run_cycle(const DriveCycle& cycle, const VehicleSpec& spec, const EngineData& eng,
                          const TransmissionData& trn, const TorqueCurve& fullLoad) {
  constexpr int32_t LookAhead = 3;
  CycleSimulation run;
  CycleTrace& trace = run.trace;
  size_trace(trace, cycle.n);
  int32_t exhausted = 0;  // in the whole cycle, so that the context can bound it
  // A run keeps one to one and a half evaluations per second of the cycle.
  const std::size_t seconds = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  GearEvaluator evaluator(spec, eng, trn, fullLoad, seconds + seconds / 4);
  const SimContext context{cycle, spec, eng, trn, fullLoad, &exhausted, &evaluator};
  const IndexedCurve fullLoadAt(fullLoad);
  const auto note_exhausted = [&](int32_t second) {
    const std::size_t noted = run.exhausted_searches.size();
    if (static_cast<std::size_t>(exhausted) == noted) return;
    run.exhausted_searches.insert(run.exhausted_searches.end(), static_cast<std::size_t>(exhausted) - noted, second);
  };
  int32_t hold = 3;
  // A preparatory step 1 settles speed and gear before the cycle starts.
  StepOutcome step = sim_step(context, 1, cycle.Vtarget[1], trn.GearCount, hold, LookAhead, 0.0);
  note_exhausted(0);
  const double nSpan = eng.Nrate - eng.Nidle;
  int segment = -1;  // of the last full-load lookup: the engine speed moves little per second
  for (int32_t i = 1; i <= cycle.n; ++i) {
    step = sim_step(context, i, step.V, step.gear, hold, LookAhead, 0.0);
    evaluator.release_unkept();
    note_exhausted(i);
    const double tmax = fullLoadAt.near(step.Ne, segment);
    const std::size_t k = static_cast<std::size_t>(i - 1);
    trace.Vreal[k] = step.V;
    trace.Shift[k] = step.gear;
    trace.Ne[k] = step.Ne;
    trace.Te[k] = step.Te;
    trace.N_norm[k] = (step.Ne - eng.Nidle) / nSpan * 100.0;
    trace.T_norm[k] = step.Te / tmax * 100.0;
  }
  return run;
}

}  // namespace hdfe
