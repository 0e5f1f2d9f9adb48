// Every result of a run as JSON (UTF-8).
#pragma once
#include <string>

#include "hdfe/hdfe.h"

namespace hdfe {

// The JSON document of a run of the vehicle: program and cycle-table versions, input files
// with their paths and SHA-256, the classification, every cycle's figures and metrics, the
// average, the run-check findings and the warnings. Indented by two, ending in a newline.
std::string result_json(const Vehicle& vehicle, const Result& result);

}  // namespace hdfe
