// Physical constants and the fixed factors of the evaluation.
#pragma once
#include <cstdint>

#include "hdfe/units.h"

namespace hdfe {


// A torque-converter automatic's fuel economy is lowered by these factors.
inline constexpr double ConverterTownFactor = 0.91;
inline constexpr double ConverterHighwayFactor = 0.96;

// Town fuel economy is divided by this allowance for transient engine operation.
inline constexpr double TransientFactor = 1.03;

// The MID-TOWN section of the URBAN cycle: steps 645 .. 645 + 766 - 1.
inline constexpr int32_t MidtownFirstStep = 645;
inline constexpr int32_t MidtownSteps = 766;

// Most gears a transmission may have. The gear choice tries every gear at every second, and
// a vehicle that cannot reach its gears' minimum engine speeds searches the cycle gear by
// gear; far beyond any real gearbox, the count would make a run take hours.
inline constexpr int64_t MaxGearCount = 99;

}  // namespace hdfe
