// Physical constants and unit conversions shared by every surface.
#pragma once

namespace hdfe {

inline constexpr double Gravity = 9.8;          // [m/s^2]
inline constexpr double KmhPerMs = 3.6;         // [km/h per m/s]
inline constexpr double SecondsPerHour = 3600.0;

}  // namespace hdfe
