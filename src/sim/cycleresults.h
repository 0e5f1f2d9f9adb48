// Idle stop and the reduction of a run to average speed and fuel economy.
#pragma once
#include <cstdint>
#include <span>

namespace hdfe {

// Average speed and fuel economy of a run or of a section of it.
struct CycleResult {
  double average_speed_km_per_h = 0.0;  // [km/h]
  double fuel_economy_km_per_l = 0.0;   // [km/l]
  double distance_km = 0.0;      // [km]
  double fuel_l = 0.0;          // [l]
};


// Steps of the URBAN cycle's start whose target speed is 0.
inline constexpr int32_t UrbanStartSteps = 25;

// Switches the engine off at long standstills of the first n steps: Ne and FC become 0
// at every marked step. B = StopDelay, C = StartIdleTime, A = RestartLead [s]. The first
// startSteps steps are the cycle's leading standstill, where the start rule applies.
void idle_stop(std::span<const double> Vreal, std::span<double> Ne, std::span<double> FC, int32_t n,
              int32_t B, int32_t C, int32_t A, int32_t startSteps = UrbanStartSteps);

// The steps of a cycle's leading standstill: those from step 1 on whose target speed is 0.
int32_t leading_standstill(std::span<const double> targetSpeed, int32_t n);

// Average speed and fuel economy over steps first .. first + count - 1 (1-based).
CycleResult cycle_average(std::span<const double> Vreal, std::span<const double> FC, int32_t count,
                          int32_t first);

}  // namespace hdfe
