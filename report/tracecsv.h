// The per-second traces of a run as one CSV table.
#pragma once
#include <string>

#include "hdfe/hdfe.h"

namespace hdfe {

// The CSV columns, in order.
inline constexpr const char* TraceCsvHeader =
    "cycle,second,target_speed_km_per_h,speed_km_per_h,gradient_percent,distance_km,gear,engine_speed_rpm,"
    "engine_torque_Nm,normalised_speed_percent,normalised_torque_percent,fuel_rate_l_per_h,cumulative_fuel_l";

// The header and one row per second of every traced cycle (UTF-8, LF). Numbers are written
// in the shortest form that reads back to the same value. Distance and fuel accumulate from
// the cycle's start, so the last row's cumulative fuel is the cycle's fuel.
std::string trace_csv(const Result& result);

}  // namespace hdfe
