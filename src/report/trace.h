// The trace blocks of the results file.
#pragma once
#include <string>
#include <string_view>
#include "hdfe/traces.h"

namespace hdfe {

// Appends the cycle's trace block: a blank record, the cycle name, the column titles and
// one record per step.
void append_trace(std::string& block, const DriveCycle& cycle, const CycleTrace& trace,
                  std::string_view cycleName);

}  // namespace hdfe
