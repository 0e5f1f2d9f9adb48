// Simulating one drive cycle second by second.
#pragma once
#include "records/driver.h"
#include "records/input.h"

namespace hdfe {

// Sizes the trace for the cycle and fills Vreal, Shift, Ne, Te, N_norm and T_norm of
// every step, starting in the top gear at the target speed of point 1.
void run_cycle(const DriveCycle& cycle, CycleTrace& trace, const VehicleSpec& spec, const EngineData& eng,
              const TransmissionData& trn, const TorqueCurve& fullLoad);

}  // namespace hdfe
