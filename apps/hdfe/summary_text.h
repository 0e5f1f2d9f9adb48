// The plain-text results block of --summary.
#pragma once
#include <string>

#include "hdfe/hdfe.h"

namespace hdfe {

// The four economies with their average speeds, fuel per cycle, the cycle-following metrics
// and any cycle-following warning, in LF-ended lines.
std::string summary_text(const Result& result);

}  // namespace hdfe
