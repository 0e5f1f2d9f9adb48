// The constant tables of the built-in drive cycles, point 0 first.
#pragma once
#include <array>
#include <cstddef>

namespace hdfe {

inline constexpr std::size_t UrbanPoints = 1832;    // points 0..1831
inline constexpr std::size_t HighwayPoints = 3124;  // points 0..3123

// JE05 target speed [km/h]; generated from simulation/cycles/je05.txt.
extern const std::array<double, UrbanPoints> UrbanSpeedTable;
// HIGHWAY gradient [%]; generated from simulation/cycles/highway_grade.txt.
extern const std::array<double, HighwayPoints> HighwayGradeTable;
// The sine of the slope angle of each HIGHWAY gradient s, sin(atan(s / 100)); worked out
// at build time by hdfe_grade_sines.
extern const std::array<double, HighwayPoints> HighwayGradeSineTable;
// URBAN gradient [%]: a level road.
extern const std::array<double, UrbanPoints> UrbanGradeTable;
// HIGHWAY target speed [km/h]: 80 km/h to point 3120, standstill after.
extern const std::array<double, HighwayPoints> HighwaySpeedTable;

}  // namespace hdfe
