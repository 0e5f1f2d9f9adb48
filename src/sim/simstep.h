// One second of a drive cycle with gear choice by look-ahead.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include "hdfe/traces.h"
#include "hdfe/vehicle.h"
#include "sim/geareval.h"

namespace hdfe {

// Most gear evaluations of one cycle whose speed search may run out of passes. The example
// vehicles have none; each costs up to 9999 passes, and a vehicle that cannot hold the
// cycle's speeds at all (a rolling resistance hundreds of times too high, a final ratio
// of nearly 0) has tens of thousands, which took minutes.
inline constexpr int32_t MaxExhaustedSearches = 500;

// The look-ahead depth of a cycle run's steps: the step and two more seconds.
inline constexpr int32_t LookAheadDepth = 3;
// The shift hold counter: the seconds a gear has been driven since it was chosen. A new gear
// is chosen only from HoldSeconds on; neutral and idling set the counter there.
inline constexpr int32_t HoldSeconds = 3;
// The longest horizon of the retry search [s].
inline constexpr int32_t RetryHorizon = 3;
// The counter after a shift found over a horizon of `horizon` seconds: the seconds the
// search did not look through count as held.
constexpr int32_t hold_after_shift(int32_t horizon) { return HoldSeconds + 1 - horizon; }
// The hold counter after a step driven in gear (0: neutral) that came in gear_in with
// counter hold; a shift found by a search of horizon m.
constexpr int32_t hold_after_step(int32_t gear, int32_t gear_in, int32_t hold, int32_t m) {
  if (gear == 0) return HoldSeconds;
  if (gear == gear_in) return hold + 1;
  return hold_after_shift(m);
}
// The torque reserve of an upshift whose engine gives no torque.
inline constexpr double UnloadedReserve = 100.0;

// Point k of a cycle table; the tables continue with zeros past their last point.
inline double cycle_point(std::span<const double> table, int32_t k) {
  const std::size_t at = static_cast<std::size_t>(k);
  return at < table.size() ? table[at] : 0.0;
}

// Trapezoidal distance [km/h·s] by which one second falls behind its targets.
inline double shortfall(double targetFrom, double targetTo, double vFrom, double vTo) {
  return 0.5 * (((targetFrom + targetTo) - vFrom) - vTo);
}

// The records of a cycle run, passed on to every gear evaluation, and the count of gear
// evaluations whose speed search ran out of passes. An evaluation past MaxExhaustedSearches
// stops the run (Error of kind Limit).
struct SimContext {
  const DriveCycle& cycle;
  const VehicleSpec& spec;
  const EngineData& eng;
  const TransmissionData& trn;
  const TorqueCurve& fullLoad;
  int32_t* exhausted_searches;
  GearEvaluator& evaluator;  // the run's memoised evaluations
};

// What one step decides.
struct StepOutcome {
  double engine_speed_rpm = 0.0;       // engine speed [rpm]
  double engine_torque_nm = 0.0;       // engine torque [N·m]
  double V = 0.0;        // achieved speed [km/h]
  int32_t gear = 0;      // 0 = neutral
  double deficit = 0.0;  // look-ahead distance deficit, the one handed in included [km/h·s]
};

// Step i of the cycle from speed Vin [km/h] in gear gear_in; hold is the shift hold
// counter, depth the look-ahead depth, deficit the deficit so far [km/h·s]. Past the
// look-ahead or the cycle's end the step keeps gear_in and the deficit and gives zeros.
StepOutcome sim_step(const SimContext& context, int32_t i, double Vin, int32_t gear_in, int32_t& hold,
                     int32_t depth, double deficit);

}  // namespace hdfe
