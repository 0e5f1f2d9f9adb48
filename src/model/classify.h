// Vehicle classification: the standard vehicle of a category and its derived quantities.
#pragma once
#include "hdfe/vehicle.h"

namespace hdfe {

// Upper-cases values.CategoryCode in place, fills the category-table fields of spec
// and derives weights, resistance coefficients, engine speed marks and the gear table.
// Stops the run on an unknown category code.
// The engineering values that are set take the place of what the category gives: TestMass
// (or, without it, Payload on the curb weight) the test weight, with the rolling resistance's
// weight term computed from it; RollingResistance MuRoll; CdA, else FrontalArea, MuAir.
void classify(SpecValues& values, VehicleSpec& spec, EngineData& eng, TransmissionData& trn,
              const TransmissionInput& ratios);

// The payload of the CO2 per tonne-kilometre [kg] of classified values: Payload when set;
// with TestMass alone, the test mass above the empty vehicle (with its driver for a truck),
// 0 when it is below; else the standard load (MaxPayload x LoadFactor for a truck,
// Crew x 55 kg x LoadFactor for a bus).
double payload_kg(const SpecValues& values, const VehicleSpec& spec);

}  // namespace hdfe
