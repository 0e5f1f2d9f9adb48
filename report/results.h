// The results file.
#pragma once
#include <string>
#include <string_view>
#include "hdfe/hdfe.h"

namespace hdfe {

// The 30 records of the results file of a run of the spec file named inputName.
std::string results_text(const Result& result, std::string_view inputName);

// The whole results file: results_text, then a trace block per cycle when the spec's
// TraceFlag is 1 (the run must then have kept its traces).
std::string results_file(const Result& result, std::string_view inputName);

}  // namespace hdfe
