// The torque-curve and fuel-map files.
#pragma once
#include <cstdint>
#include <string_view>
#include "hdfe/vehicle.h"
#include "io/inputfile.h"

namespace hdfe {

// Most points a torque curve or a fuel map may hold: a thousand times what measured ones
// have, and small enough that reading, sorting and gridding stay within seconds and a few
// hundred megabytes. A file with more stops the run (Error of kind Limit).
inline constexpr int32_t MaxCurvePoints = 1'000'000;
inline constexpr int32_t MaxMapPoints = 1'000'000;

// Reads a full-load or motoring torque curve and sorts it by speed.
TorqueCurve read_torque_curve(std::string_view name, InputBytes* files = nullptr);
// Reads the fuel map and sorts it by speed, then each speed line by torque.
FuelMap read_fuel_map(std::string_view name, InputBytes* files = nullptr);

}  // namespace hdfe
