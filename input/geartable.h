// The transmission's derived counts and the gear table.
#pragma once
#include <cstdint>
#include "records/input.h"

namespace hdfe {

// Most gears a transmission may have. The gear choice tries every gear at every second, and
// a vehicle that cannot reach its gears' minimum engine speeds searches the cycle gear by
// gear; far beyond any real gearbox, the count would make a run take hours.
inline constexpr int64_t MaxGearCount = 99;

// Sets StartGears, ReengageGear, MaxUpshiftSpan, GearCount, FinalEfficiency and the gear
// table of trn, and GearMinSpeed of eng, from the ratio lists, the engine speeds, and
// Wcurb, GVW, EngineInertia and TireRadius of spec. Gear k = (i - 1) * auxes + j of main
// position i and auxiliary position j. Stops the run when a count exceeds 32 bits or the
// gear count exceeds MaxGearCount.
void build_gear_table(const SpecValues& values, const VehicleSpec& spec, EngineData& eng,
               TransmissionData& trn, const RatioLists& ratios);

}  // namespace hdfe
