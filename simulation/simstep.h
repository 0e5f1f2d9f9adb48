// One second of a drive cycle with gear choice by look-ahead.
#pragma once
#include <cstdint>
#include "records/driver.h"
#include "records/input.h"

namespace hdfe {

// Step i of the cycle from speed Vin [km/h] in gear gear_in; hold is the shift hold
// counter, depth the look-ahead depth. Writes Ne [rpm], Te [N·m], gear and V [km/h]
// and adds this step's look-ahead distance deficit [km/h·s] to deficit.
void sim_step(int32_t i, const DriveCycle& cycle, double Vin, int32_t gear_in, int32_t& hold,
             int32_t depth, const VehicleSpec& spec, const EngineData& eng,
             const TransmissionData& trn, const TorqueCurve& fullLoad, double& Ne, double& Te,
             int32_t& gear, double& V, double& deficit);

}  // namespace hdfe
