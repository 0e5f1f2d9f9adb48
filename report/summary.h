// The vehicle summary shown on the console.
#pragma once
#include <string>
#include "records/input.h"

namespace hdfe {

// The summary of the classified vehicle, one CR LF record per line.
std::string vehicle_summary(const SpecValues& values, const VehicleSpec& spec, const EngineData& eng,
                            const TransmissionData& trn);

}  // namespace hdfe
