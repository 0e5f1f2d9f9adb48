// The energy audit of a driven cycle: where the engine's work and the vehicle's energy went.
#pragma once
#include <cstdint>

#include "hdfe/hdfe.h"
#include "model/curvelookup.h"

namespace hdfe {

// Audits the seconds of driven cycles of one classified vehicle. Each second is charged as
// the simulation charges it: its forces at its end speed V over its distance, V / 3.6 m.
//
// In gear, the engine's own torque (the demand, not below the motoring curve) works at the
// engine speed: above 0 it is the engine's work, below 0 the engine's friction. The driveline
// loses (1 - efficiency) of what it carries, and the brakes take the rest of the demand
// (braking torque, through the driveline's ratio, at the wheels). In neutral and at a
// standstill the cycle sets the speed and the engine does no work: the brakes absorb a net
// negative road load, and a positive one is left to the residual.
class EnergyAuditor {
 public:
  // The records must outlive the auditor unchanged.
  EnergyAuditor(const Classification& classification, const TorqueCurve& motoring);

  // Splits every step's engine torque into trace.engine_own_torque_nm and braking_torque_nm
  // (in neutral or at idle speed the whole torque is the engine's own) and calls
  // add(i, second) with the energy of each step i = 1..n in turn [J, residual 0]. The cycle
  // is entered at startSpeed [km/h].
  template <class Add>
  void audit(const DriveCycle& cycle, CycleTrace& trace, double startSpeed, Add add) const {
    const std::size_t steps = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
    trace.engine_own_torque_nm.clear();
    trace.braking_torque_nm.clear();
    trace.engine_own_torque_nm.reserve(steps);
    trace.braking_torque_nm.reserve(steps);
    Hints hints;
    double Vp = startSpeed;
    for (int32_t i = 1; i <= cycle.n; ++i) {
      const EnergyAudit energy = second(cycle, trace, i, Vp, hints);
      Vp = trace.speed_km_per_h[static_cast<std::size_t>(i - 1)];
      add(i, energy);
    }
  }

 private:
  // What the seconds of one cycle carry on to the next: the motoring curve's segment and
  // the last gradient's lift per newton of weight.
  struct Hints {
    int segment = -1;
    bool grade_set = false;
    double grade_percent = 0.0;
    double lift = 0.0;
  };
  EnergyAudit second(const DriveCycle& cycle, CycleTrace& trace, int32_t i, double Vp, Hints& hints) const;

  const Classification& c_;
  IndexedCurve motoring_;
  double neutral_mass_kg_ = 0.0;
};

// Adds a second's (or a section's) terms to sums, the residual as well.
void add_energy(EnergyAudit& sums, const EnergyAudit& more);

// The audit in kWh of terms summed in J, with the residual that balances them.
EnergyAudit finished_audit(const EnergyAudit& joules);

}  // namespace hdfe
