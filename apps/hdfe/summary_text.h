// The plain-text results block of --summary, and the list of --list-cycles.
#pragma once
#include <string>

#include "hdfe/hdfe.h"

namespace hdfe {

// The results of a run in LF-ended lines. A standard run: the four economies with their
// average speeds, fuel per cycle, the cycle-following metrics and any cycle-following
// warning. An engineering run (Result::engineering): a line per cycle and phase with km/l,
// l/100 km, g CO2/km and g CO2/t·km, average speed, fuel and distance, then the metrics of
// each cycle, the torque-converter factors applied and the warnings.
std::string summary_text(const Result& result);

// The library's cycles, one aligned line each: name, duration, distance, mean and maximum
// speed, and source.
std::string cycle_list_text();

}  // namespace hdfe
