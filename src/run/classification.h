// Classification of a loaded vehicle, shared by loading (which checks the category as soon
// as it can) and the run.
#pragma once
#include "hdfe/hdfe.h"

namespace hdfe {

// The spec values as the run uses them: no idle stop is a wait of 999 s, and the
// rolling-resistance addend is scaled by the flat-road radius.
SpecValues values_for_run(const SpecValues& read);

// The spec values as the run uses them, the standard vehicle, the engine speed marks and
// the gear table. ratios receives the ratio lists the gear table was built from. Throws
// Error on an unknown category or a gear count out of range.
Classification classify_vehicle(const Vehicle& vehicle, TransmissionInput& ratios);

}  // namespace hdfe
