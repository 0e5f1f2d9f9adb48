// Checks of the whole vehicle before the fuel grid is built and the cycles are driven.
#pragma once
#include <cstdint>
#include <string_view>

#include "hdfe/vehicle.h"

namespace hdfe {

// Stops the run with one line naming the file and the problem when the vehicle cannot be
// driven: no gears, a starting or re-engagement gear outside the gear table, a tire radius,
// final ratio or gear ratio of 0 or less, FlatRoadTireRadius of -1 or less, a derived value
// that is not finite, a torque curve of fewer than two points or of a single speed, an
// empty fuel map or one of more than MaxMapPoints points. specName is the spec file's
// name; the other names come from the records.
void check_vehicle(std::string_view specName, const SpecValues& values, const VehicleSpec& spec,
                  const EngineData& eng, const EngineInput& files, const TransmissionData& trn,
                  const TransmissionInput& ratios, const TorqueCurve& fullLoad, const TorqueCurve& motoring,
                  const FuelMap& map);

}  // namespace hdfe
