// The run check: the seconds a simulated cycle could not follow.
#pragma once
#include <string_view>
#include <vector>

#include "hdfe/hdfe.h"

namespace hdfe {

// Appends, step by step, a finding for each step above its target speed by more than the
// single-precision 0.01 km/h, then one for each step above full-load torque.
void check_cycle(std::string_view name, const DriveCycle& cycle, const CycleTrace& trace,
                 std::vector<RunFinding>& findings);

}  // namespace hdfe
