// Physical constants and the fixed factors of the evaluation.
#pragma once
#include <cstdint>

#include "hdfe/units.h"

namespace hdfe {

// The tire circumference is this multiple of its radius (2 pi as the evaluation rounds it).
inline constexpr double CircumferencePerRadius = 6.28;

// The clutch engages at idle plus this share of the span from idle to rated speed, and is
// released at idle plus the smaller share.
inline constexpr double EngageSpeedShare = 0.05;
inline constexpr double ReleaseSpeedShare = 0.04;

// Efficiencies of the final drive, of a direct gear (ratio 1) and of any other gear.
inline constexpr double FinalDriveEfficiency = 0.95;
inline constexpr double DirectGearEfficiency = 0.98;
inline constexpr double GearEfficiency = 0.95;

// The rotating masses of the wheels and axles, as a share of the curb weight.
inline constexpr double WheelMassShare = 0.05;

// The idle-stop wait [s] of a run without idle stop: so long that no stop of the cycles
// reaches it, though a stop that did would still be counted.
inline constexpr int32_t NoIdleStopWait = 999;

// A torque-converter automatic's fuel economy is lowered by these factors.
inline constexpr double ConverterTownFactor = 0.91;
inline constexpr double ConverterHighwayFactor = 0.96;

// The speed of the HIGHWAY cycle [km/h]: a user's cycle of this mean speed or more gets the
// highway converter factor.
inline constexpr double HighwaySpeedKmh = 80.0;

// Town fuel economy is divided by this allowance for transient engine operation.
inline constexpr double TransientFactor = 1.03;

// The MID-TOWN section of the URBAN cycle: steps 645 .. 645 + 766 - 1.
inline constexpr int32_t MidtownFirstStep = 645;
inline constexpr int32_t MidtownSteps = 766;

// Most gears a transmission may have. The gear choice tries every gear at every second, and
// a vehicle that cannot reach its gears' minimum engine speeds searches the cycle gear by
// gear; far beyond any real gearbox, the count would make a run take hours.
inline constexpr int64_t MaxGearCount = 99;

}  // namespace hdfe
