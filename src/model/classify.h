// Vehicle classification: the standard vehicle of a category and its derived quantities.
#pragma once
#include "hdfe/vehicle.h"

namespace hdfe {

// Upper-cases values.CategoryCode in place, fills the category-table fields of spec
// and derives weights, resistance coefficients, engine speed marks and the gear table.
// Stops the run on an unknown category code.
void classify(SpecValues& values, VehicleSpec& spec, EngineData& eng, TransmissionData& trn,
              const TransmissionInput& ratios);

}  // namespace hdfe
