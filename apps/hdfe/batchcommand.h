// The batch command: many vehicles or variants of one, on every core, into one table.
#pragma once
#include "options.h"

namespace hdfe {

// Runs `hdfe --batch ...`; returns the exit status.
int run_batch_command(const CommandLine& command);

}  // namespace hdfe
