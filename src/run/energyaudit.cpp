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
constexpr double MsPerKmh = 1.0 / KmhPerMs;
// Engine speed [rpm] to angular speed [rad/s].
constexpr double RadiansPerRevolutionMinute = 2.0 * std::numbers::pi / SecondsPerMinute;

// Adds the terms of a second to a section's sums [J].
inline void add_energy(EnergyAudit& sums, const EnergyAudit& e) {
  static_assert(sizeof(EnergyAudit) == 11 * sizeof(double), "a new term of the energy audit is summed here too");
  sums.engine_positive_kwh += e.engine_positive_kwh;
  sums.engine_motoring_kwh += e.engine_motoring_kwh;
  sums.driveline_loss_kwh += e.driveline_loss_kwh;
  sums.air_drag_kwh += e.air_drag_kwh;
  sums.rolling_resistance_kwh += e.rolling_resistance_kwh;
  sums.climbing_kwh += e.climbing_kwh;
  sums.descending_kwh += e.descending_kwh;
  sums.kinetic_given_kwh += e.kinetic_given_kwh;
  sums.kinetic_released_kwh += e.kinetic_released_kwh;
  sums.braking_kwh += e.braking_kwh;
}

// The audit in kWh of terms summed in J, with the residual that balances them.
EnergyAudit finished(const EnergyAudit& joules) {
  EnergyAudit a;
  for (const EnergyTermInfo& term : energy_audit_table()) a.*term.member = joules.*term.member / JoulesPerKwh;
  const double sources = (a.engine_positive_kwh + a.descending_kwh) + a.kinetic_released_kwh;
  const double sinks = a.engine_motoring_kwh + a.driveline_loss_kwh + a.air_drag_kwh + a.rolling_resistance_kwh +
                       a.climbing_kwh + a.kinetic_given_kwh + a.braking_kwh;
  a.residual_kwh = sources - sinks;
  return a;
}

}  // namespace

EnergyAuditor::EnergyAuditor(const Classification& classification, const TorqueCurve& motoring)
    : c_(classification), motoring_(motoring),
      neutral_mass_kg_(classification.spec.test_weight_kg + wheel_rotating_mass_kg(classification.spec)) {
  const VehicleSpec& spec = c_.spec;
  const TransmissionData& trn = c_.transmission;
  for (const GearRow& row : trn.gears) {
    GearTerms g;
    const double ratio = trn.final_ratio * row.ratio;
    g.mass_kg = row.rotating_mass_kg + spec.test_weight_kg;
    g.eta = trn.final_efficiency * row.efficiency;
    g.force_per_torque = ratio / spec.tire_radius_m;
    g.ratio60 = ratio * SecondsPerMinute;
    gears_.push_back(g);
  }
}

std::vector<EnergyAudit> EnergyAuditor::audit(const DriveCycle& cycle, CycleTrace& trace, double startSpeed,
                                              std::span<const SectionSteps* const> sections) const {
  const VehicleSpec& spec = c_.spec;
  const double W = spec.test_weight_kg;
  const double idle = c_.engine.idle_speed_rpm;
  const double circumference = spec.tire_circumference_m * KmhPerMs;
  const std::size_t steps = static_cast<std::size_t>(cycle.n > 0 ? cycle.n : 0);
  trace.engine_own_torque_nm.resize(steps);
  trace.braking_torque_nm.resize(steps);
  std::vector<EnergyAudit> sums(sections.size());
  std::vector<std::size_t> at(sections.size(), 0);  // each section's range holding or after the step
  int segment = -1;  // of the last motoring lookup
  double grade = 0.0, lift = 0.0;  // the last gradient [%] and its lift per weight [N/kg]: level
  double Vp = startSpeed;
  for (std::size_t k = 0; k < steps; ++k) {
    const auto i = static_cast<int32_t>(k + 1);
    const double V = trace.speed_km_per_h[k];
    const int32_t gear = trace.gear[k];
    const double Ne = trace.engine_speed_rpm[k];
    const double Te = trace.engine_torque_nm[k];
    const GearTerms* g =
        gear >= 1 && static_cast<std::size_t>(gear) <= gears_.size() ? &gears_[static_cast<std::size_t>(gear - 1)] : nullptr;

    // The engine's own torque: the fuel rates look the motoring curve up at the same seconds.
    double own = Te;
    if (g != nullptr && Ne != idle) own = std::max(Te, motoring_.near(Ne, segment));
    const double braking = Te - own;
    trace.engine_own_torque_nm[k] = own;
    trace.braking_torque_nm[k] = braking;

    // Standing still from a standstill: nothing moves, nothing works.
    if (V == 0.0 && Vp == 0.0 && g == nullptr) continue;

    const double s = cycle.grade_percent[k + 1];
    if (s != grade) {
      grade = s;
      lift = std::sin(std::atan(s / Percent)) * Gravity;
    }
    const double metres = V * MsPerKmh;  // over the second
    const double air = V * V * spec.mu_air * metres;
    const double rolling = spec.mu_roll * W * metres;
    const double climb = lift * W * metres;
    const double inertia = ((V - Vp) * MsPerKmh) * (g != nullptr ? g->mass_kg : neutral_mass_kg_) * metres;
    Vp = V;

    EnergyAudit e;
    e.air_drag_kwh = air;
    e.rolling_resistance_kwh = rolling;
    e.climbing_kwh = std::max(climb, 0.0);
    e.descending_kwh = std::max(-climb, 0.0);
    e.kinetic_given_kwh = std::max(inertia, 0.0);
    e.kinetic_released_kwh = std::max(-inertia, 0.0);
    if (g == nullptr) {
      const double net = ((air + rolling) + climb) + inertia;
      e.braking_kwh = std::max(-net, 0.0);
    } else {
      const double work = own * (Ne * RadiansPerRevolutionMinute);
      e.engine_positive_kwh = std::max(work, 0.0);
      e.engine_motoring_kwh = std::max(-work, 0.0);
      // Engine torque to wheel force, the efficiency on the side that receives: the driveline
      // loses (1 - eta) of the force at its driving side.
      const double driving = own >= 0.0 ? own * g->force_per_torque : -own * g->force_per_torque / g->eta;
      e.driveline_loss_kwh = driving * (1.0 - g->eta) * metres;
      // A slipping clutch loses the torque it carries times the speed it slips by: the engine
      // speed above the one the wheels turn it at.
      const double slip = Ne - (V * g->ratio60) / circumference;
      if (own > 0.0 && slip > 0.0) e.driveline_loss_kwh += own * (slip * RadiansPerRevolutionMinute);
      e.braking_kwh = -braking * g->force_per_torque / g->eta * metres;
    }

    for (std::size_t n = 0; n < sections.size(); ++n) {
      const SectionSteps& ranges = *sections[n];
      std::size_t& r = at[n];
      while (r < ranges.size() && i >= ranges[r].first + ranges[r].count) ++r;
      if (r < ranges.size() && i >= ranges[r].first) add_energy(sums[n], e);
    }
  }
  for (EnergyAudit& sum : sums) sum = finished(sum);
  return sums;
}

}  // namespace hdfe
