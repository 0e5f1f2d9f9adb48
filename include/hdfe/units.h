// Physical constants and unit conversions shared by every surface.
#pragma once

namespace hdfe {

inline constexpr double Gravity = 9.8;          // [m/s^2]
inline constexpr double KmhPerMs = 3.6;         // [km/h per m/s]
inline constexpr double SecondsPerHour = 3600.0;
inline constexpr double SecondsPerMinute = 60.0;  // engine speeds are per minute
inline constexpr double Percent = 100.0;          // a share of 1 in percent

// A second counts as missed when its speed falls more than this below its target [km/h].
inline constexpr double ShortfallSpeedKmh = 2.0;

// Density of diesel fuel, which turns the fuel map's litres into grams [kg/l].
inline constexpr double DieselDensityKgPerL = 0.832;

}  // namespace hdfe
