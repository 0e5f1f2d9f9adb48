// The torque-curve and fuel-map files.
#pragma once
#include <string_view>
#include "records/input.h"

// Reads a full-load or motoring torque curve and sorts it by speed.
void READTRQ(std::string_view name, TorqueCurve& curve);
// Reads the fuel map and sorts it by speed, then each speed line by torque.
void READMAP(std::string_view name, FuelMap& map);
