// The energy audit of a driven cycle: where the engine's work and the vehicle's energy went.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "hdfe/hdfe.h"
#include "model/curvelookup.h"

namespace hdfe {

// Steps first .. first + count - 1 of a driven cycle (1-based).
struct StepRange {
  int32_t first = 1;
  int32_t count = 0;
};

// The steps of a reported section, in order: one range for a built-in section or a whole
// cycle, one or more for a phase.
using SectionSteps = std::vector<StepRange>;

// Audits the seconds of driven cycles of one classified vehicle. Each second is charged as
// the simulation charges it: its forces at its end speed V over its distance, V / 3.6 m.
//
// In gear, the engine's own torque (the demand, not below the motoring curve) works at the
// engine speed: above 0 it is the engine's work, below 0 the engine's friction. The driveline
// loses (1 - efficiency) of what it carries, a slipping clutch the engine torque times the
// speed it slips by (both counted as driveline loss), and the brakes take the rest of the
// demand (the braking torque, through the driveline, at the wheels). In neutral and at a
// standstill the cycle sets the speed and the engine does no work: the brakes absorb a net
// negative road load, and a positive one is left to the residual.
class EnergyAuditor {
 public:
  // The records must outlive the auditor unchanged.
  EnergyAuditor(const Classification& classification, const TorqueCurve& motoring);

  // Splits every step's engine torque into trace.engine_own_torque_nm and braking_torque_nm
  // (in neutral or at idle speed the whole torque is the engine's own), and gives the audit
  // of each section, in one pass over the steps. The cycle is entered at startSpeed [km/h].
  std::vector<EnergyAudit> audit(const DriveCycle& cycle, CycleTrace& trace, double startSpeed,
                                 std::span<const SectionSteps* const> sections) const;

 private:
  // A gear's terms, from the gear table as the simulation reads it.
  struct GearTerms {
    double mass_kg = 0.0;              // test weight and rotating mass
    double eta = 0.0;                  // total efficiency
    double force_per_torque = 0.0;     // total ratio over the tyre radius [1/m]
    double ratio60 = 0.0;              // total ratio times 60, as the simulation's engine speed
  };

  const Classification& c_;
  IndexedCurve motoring_;
  double neutral_mass_kg_ = 0.0;
  std::vector<GearTerms> gears_;  // gear g at [g - 1]
};

}  // namespace hdfe
