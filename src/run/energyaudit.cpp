#include "run/energyaudit.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "hdfe/tables.h"
#include "hdfe/units.h"
#include "model/geartable.h"

namespace hdfe {

namespace {

constexpr double JoulesPerKwh = 3.6e6;
// Engine speed [rpm] to angular speed [rad/s].
constexpr double RadiansPerRevolutionMinute = 2.0 * std::numbers::pi / SecondsPerMinute;

}  // namespace

EnergyAuditor::EnergyAuditor(const Classification& classification, const TorqueCurve& motoring)
    : c_(classification), motoring_(motoring),
      neutral_mass_kg_(classification.spec.test_weight_kg + wheel_rotating_mass_kg(classification.spec)) {}

EnergyAudit EnergyAuditor::second(const DriveCycle& cycle, CycleTrace& trace, int32_t i, double Vp,
                                  Hints& hints) const {
  const VehicleSpec& spec = c_.spec;
  const TransmissionData& trn = c_.transmission;
  const auto k = static_cast<std::size_t>(i - 1);
  const double V = trace.speed_km_per_h[k];
  const int32_t gear = trace.gear[k];
  const double Ne = trace.engine_speed_rpm[k];
  const double Te = trace.engine_torque_nm[k];
  const bool inGear = gear >= 1 && gear <= trn.gear_count() && static_cast<std::size_t>(gear) <= trn.gears.size();

  // The engine's own torque: the fuel rates look the motoring curve up at the same seconds.
  double own = Te;
  if (inGear && Ne != c_.engine.idle_speed_rpm) own = std::max(Te, motoring_.near(Ne, hints.segment));
  const double braking = Te - own;
  trace.engine_own_torque_nm.push_back(own);
  trace.braking_torque_nm.push_back(braking);

  const double grade = cycle.grade_percent[static_cast<std::size_t>(i)];
  if (!hints.grade_set || grade != hints.grade_percent) {
    hints = {hints.segment, true, grade, std::sin(std::atan(grade / Percent)) * Gravity};
  }
  const double metres = V / KmhPerMs;  // over the second
  const double W = spec.test_weight_kg;
  const GearRow* row = inGear ? &trn.gears[static_cast<std::size_t>(gear - 1)] : nullptr;
  const double mass = row != nullptr ? row->rotating_mass_kg + W : neutral_mass_kg_;
  const double air = V * V * spec.mu_air * metres;
  const double rolling = spec.mu_roll * W * metres;
  const double lift = hints.lift * W * metres;
  const double inertia = ((V - Vp) / KmhPerMs) * mass * metres;

  EnergyAudit e;
  e.air_drag_kwh = air;
  e.rolling_resistance_kwh = rolling;
  (lift >= 0.0 ? e.climbing_kwh : e.descending_kwh) = std::fabs(lift);
  (inertia >= 0.0 ? e.kinetic_given_kwh : e.kinetic_released_kwh) = std::fabs(inertia);
  if (row == nullptr) {
    const double net = ((air + rolling) + lift) + inertia;
    if (net < 0.0) e.braking_kwh = -net;
    return e;
  }
  const double work = own * (Ne * RadiansPerRevolutionMinute);
  (own >= 0.0 ? e.engine_positive_kwh : e.engine_motoring_kwh) = std::fabs(work);
  // Engine torque to wheel force: i / r, and the efficiency on the side that receives.
  const double ratio = (trn.final_ratio * row->ratio) / spec.tire_radius_m;
  const double eta = trn.final_efficiency * row->efficiency;
  const double carried = own >= 0.0 ? own * ratio : -own * ratio / eta;  // at the driving side [N]
  e.driveline_loss_kwh = carried * (1.0 - eta) * metres;
  e.braking_kwh += -braking * ratio / eta * metres;
  return e;
}

void add_energy(EnergyAudit& sums, const EnergyAudit& more) {
  for (const EnergyTermInfo& term : energy_audit_table()) sums.*term.member += more.*term.member;
}

EnergyAudit finished_audit(const EnergyAudit& joules) {
  EnergyAudit a;
  for (const EnergyTermInfo& term : energy_audit_table()) a.*term.member = joules.*term.member / JoulesPerKwh;
  const double sources = (a.engine_positive_kwh + a.descending_kwh) + a.kinetic_released_kwh;
  const double sinks = a.engine_motoring_kwh + a.driveline_loss_kwh + a.air_drag_kwh + a.rolling_resistance_kwh +
                       a.climbing_kwh + a.kinetic_given_kwh + a.braking_kwh;
  a.residual_kwh = sources - sinks;
  return a;
}

}  // namespace hdfe
