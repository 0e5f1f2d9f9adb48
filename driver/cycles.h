// The built-in drive cycles.
#pragma once
#include <cstdint>
#include "records/driver.h"

namespace hdfe {

inline constexpr int32_t UrbanSteps = 1830;
inline constexpr int32_t HighwaySteps = 3120;

// URBAN: the JE05 speed pattern on a level road. HIGHWAY: 80 km/h over the gradient profile.
DriveCycle urban_cycle();
DriveCycle highway_cycle();

// Sizes every series of the trace for n steps.
void size_trace(CycleTrace& trace, int32_t n);

}  // namespace hdfe
