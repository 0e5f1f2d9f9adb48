// Simulating one drive cycle second by second.
#pragma once
#include <cstdint>
#include <vector>

#include "hdfe/traces.h"
#include "hdfe/vehicle.h"
#include "sim/simstep.h"

namespace hdfe {

struct CycleSimulation {
  CycleTrace trace;  // Vreal, Shift, Ne, Te, N_norm and T_norm of every step; FC empty
  // One entry per gear evaluation whose speed search ran out of passes: the step (1-based)
  // that made it, 0 for the settling step before the cycle.
  std::vector<int32_t> exhausted_searches;
  // The speed step 1 starts from: that of the settling step [km/h].
  double start_speed_km_per_h = 0.0;
};

// Appends a step's speed, gear, engine speed and torque, and its normalised engine speed and
// torque (over the full-load torque at its engine speed) to the trace.
void record_step(CycleTrace& trace, const StepOutcome& step, const EngineData& eng, double fullLoadTorque);

// Drives the cycle, starting in the top gear at the target speed of point 1.
CycleSimulation run_cycle(const DriveCycle& cycle, const VehicleSpec& spec, const EngineData& eng,
                          const TransmissionData& trn, const TorqueCurve& fullLoad);

}  // namespace hdfe
