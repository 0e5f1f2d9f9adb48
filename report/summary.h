// The vehicle summary on the console.
#pragma once
#include <ostream>
#include "records/input.h"

namespace hdfe {

// Writes the summary of the classified vehicle, one CR LF record per line.
void print_vehicle(const SpecValues& values, const VehicleSpec& spec, const EngineData& eng,
              const TransmissionData& trn, std::ostream& out);

}  // namespace hdfe
