// The transmission's derived counts and the gear table.
#pragma once
#include <cstdint>
#include "core/constants.h"
#include "hdfe/vehicle.h"

namespace hdfe {

// The rotating-mass equivalent of the wheels and axles [kg]: part of every gear's rotating
// mass, and all of it in neutral.
inline double wheel_rotating_mass_kg(const VehicleSpec& spec) { return WheelMassShare * spec.curb_weight_kg; }

// Sets StartGears, ReengageGear, MaxUpshiftSpan, GearCount, FinalEfficiency and the gear
// table of trn, and GearMinSpeed of eng, from the ratio lists, the engine speeds, and
// Wcurb, GVW, EngineInertia and TireRadius of spec. Gear k = (i - 1) * auxes + j of main
// position i and auxiliary position j. Stops the run when a count exceeds 32 bits or the
// gear count exceeds MaxGearCount.
void build_gear_table(const SpecValues& values, const VehicleSpec& spec, EngineData& eng,
               TransmissionData& trn, const TransmissionInput& ratios);

}  // namespace hdfe
