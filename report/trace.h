// Trace output and run checks of a finished cycle run.
#pragma once
#include <ostream>
#include <string_view>
#include "records/driver.h"

namespace hdfe {

// Writes a console line for each step above its target speed or above full-load torque.
void check_run(const DriveCycle& cycle, const CycleTrace& trace, std::string_view cycleName,
              std::ostream& out);

// Appends the cycle's trace block to the results file. Stops the run with a failure
// status when the file cannot be written.
void write_trace(std::string_view outputName, const DriveCycle& cycle, const CycleTrace& trace,
              std::string_view cycleName);

}  // namespace hdfe
