// Trace output and run checks of a finished cycle run.
#pragma once
#include <ostream>
#include <string_view>
#include "records/driver.h"

// Writes a console line for each step above its target speed or above full-load torque.
void CHECKRUN(const DriveCycle& cycle, const CycleTrace& trace, std::string_view cycleName,
              std::ostream& out);

// Appends the cycle's trace block to the results file. Stops the run with a failure
// status when the file cannot be written.
void WRITETRC(std::string_view outputName, const DriveCycle& cycle, const CycleTrace& trace,
              std::string_view cycleName);
