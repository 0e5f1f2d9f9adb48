// The torque-curve and fuel-map files.
#pragma once
#include <string_view>
#include "records/input.h"

namespace hdfe {

// Reads a full-load or motoring torque curve and sorts it by speed.
void read_torque_curve(std::string_view name, TorqueCurve& curve);
// Reads the fuel map and sorts it by speed, then each speed line by torque.
void read_fuel_map(std::string_view name, FuelMap& map);

}  // namespace hdfe
