// How the command line reports an error: its records on standard error and its exit status.
#pragma once
#include <string>
#include <vector>

#include "hdfe/error.h"

namespace hdfe {

// The records written on standard error for the error, without their line ends.
std::vector<std::string> error_records(const Error& error);

// The exit status of a run stopped by the error: 2 for a command line that is not
// understood, 1 for any other failure.
int error_status(const Error& error);

// Flushes standard output, writes the error's records on standard error and returns its
// exit status.
int report_error(const Error& error);

}  // namespace hdfe
