#include "driver/runcycle.h"

#include "driver/cycles.h"
#include "fuel/curvelookup.h"
#include "simulation/simstep.h"

namespace hdfe {

void run_cycle(const DriveCycle& cycle, CycleTrace& trace, const VehicleSpec& spec, const EngineData& eng,
              const TransmissionData& trn, const TorqueCurve& fullLoad) {
  constexpr int32_t LookAhead = 3;
  size_trace(trace, cycle.n);
  double vPrev = cycle.Vtarget[1];
  int32_t gearPrev = trn.GearCount;
  int32_t hold = 3;
  double ne = 0.0, te = 0.0, v = 0.0, deficit = 0.0;
  int32_t gear = 0;
  // A preparatory step 1 settles speed and gear before the cycle starts.
  sim_step(1, cycle, vPrev, gearPrev, hold, LookAhead, spec, eng, trn, fullLoad, ne, te, gear, v, deficit);
  vPrev = v;
  gearPrev = gear;
  const double nSpan = eng.Nrate - eng.Nidle;
  for (int32_t i = 1; i <= cycle.n; ++i) {
    deficit = 0.0;
    sim_step(i, cycle, vPrev, gearPrev, hold, LookAhead, spec, eng, trn, fullLoad, ne, te, gear, v, deficit);
    const double tmax = curve_lookup(fullLoad, ne);
    const std::size_t k = static_cast<std::size_t>(i - 1);
    trace.Vreal[k] = v;
    trace.Shift[k] = gear;
    trace.Ne[k] = ne;
    trace.Te[k] = te;
    trace.N_norm[k] = (ne - eng.Nidle) / nSpan * 100.0;
    trace.T_norm[k] = te / tmax * 100.0;
    vPrev = v;
    gearPrev = gear;
  }
}

}  // namespace hdfe
