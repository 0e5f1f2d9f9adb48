// The built-in drive cycles.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "hdfe/traces.h"

namespace hdfe {

inline constexpr int32_t UrbanSteps = 1830;
inline constexpr int32_t HighwaySteps = 3120;

// URBAN: the JE05 speed pattern on a level road. HIGHWAY: 80 km/h over the gradient profile.
DriveCycle urban_cycle();
DriveCycle highway_cycle();

// The sine of the slope angle of each point of the gradient table `grade` (as the gear
// evaluations work it out) when grade is a built-in table; empty for any other table.
std::span<const double> known_grade_sines(std::span<const double> grade);

// A built-in cycle: its name, its tables, and whether the engine stops at long standstills.
struct CycleDefinition {
  std::string_view name;
  DriveCycle table;
  bool idle_stop = false;
};

// A set of reported figures: a window of a cycle and the corrections its fuel economy gets.
struct SectionDefinition {
  std::string_view name;
  std::size_t cycle = 0;      // index into built_in_cycles()
  int32_t first = 1;          // first step, 1-based
  int32_t steps = 0;          // steps averaged; 0: to the cycle's end
  bool transient_correction = false;
  double converter_factor = 1.0;  // applied for a torque-converter automatic
  int32_t kf = 1;             // Kf1 or Kf2
};

// URBAN, HIGHWAY.
std::span<const CycleDefinition> built_in_cycles();
// URBAN, HIGHWAY, MID-TOWN, in the order of the result.
std::span<const SectionDefinition> reported_sections();

// Sizes every series of the trace for n steps.
void size_trace(CycleTrace& trace, int32_t n);

}  // namespace hdfe
