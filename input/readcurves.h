// The torque-curve and fuel-map files.
#pragma once
#include <string_view>
#include "records/input.h"

namespace hdfe {

// Reads a full-load or motoring torque curve and sorts it by speed.
TorqueCurve read_torque_curve(std::string_view name);
// Reads the fuel map and sorts it by speed, then each speed line by torque.
FuelMap read_fuel_map(std::string_view name);

}  // namespace hdfe
