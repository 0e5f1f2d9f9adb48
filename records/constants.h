// Physical constants and the fixed factors of the evaluation.
#pragma once
#include <cstdint>

namespace hdfe {

inline constexpr double Gravity = 9.8;          // [m/s^2]
inline constexpr double KmhPerMs = 3.6;         // [km/h per m/s]
inline constexpr double SecondsPerHour = 3600.0;

// A torque-converter automatic's fuel economy is lowered by these factors.
inline constexpr double ConverterTownFactor = 0.91;
inline constexpr double ConverterHighwayFactor = 0.96;

// Town fuel economy is divided by this allowance for transient engine operation.
inline constexpr double TransientFactor = 1.03;

// The MID-TOWN section of the URBAN cycle: steps 645 .. 645 + 766 - 1.
inline constexpr int32_t MidtownFirstStep = 645;
inline constexpr int32_t MidtownSteps = 766;

}  // namespace hdfe
