// The results file.
#pragma once
#include <string_view>
#include "records/fuel.h"
#include "records/input.h"

namespace hdfe {

// Writes the 30 records of the results file under the output name, replacing any
// earlier file. Stops the run with a failure status when the file cannot be written.
void write_results(std::string_view outputName, std::string_view inputName, const SpecValues& values,
              const VehicleSpec& spec, const TransmissionData& trn, const CycleResult& urban,
              const CycleResult& highway, const CycleResult& midtown);

}  // namespace hdfe
