#include "sim/simstep.h"

#include <cstddef>
#include <string>

#include "core/constants.h"
#include "sim/geareval.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

using Run = SimContext;

StepOutcome step_at(const Run& r, int32_t i, double Vin, int32_t gear_in, int32_t& hold, int32_t depth,
                    double deficit);

// Counts an evaluation whose speed search ran out of passes. An evaluation taken again
// from an earlier one of the same call counts as the fresh evaluation it replaces.
[[noreturn, gnu::noinline]] void stop_not_converging() {
  throw Error(ErrorKind::Limit,
              "The speed search did not converge in more than " + std::to_string(MaxExhaustedSearches) +
                  " gear evaluations of one cycle: the engine cannot hold the cycle's speeds (check RollAddend,"
                  " FinalRatio, the gear ratios and the full-load curve)");
}

void note(const Run& r, const GearEvalResult& e) {
  if (e.search_exhausted && ++*r.exhausted_searches > MaxExhaustedSearches) stop_not_converging();
}

// Gear g driven towards point k from speed v: the run's evaluation, which stays put for
// the whole step.
[[gnu::always_inline]] inline const GearEvalResult* eval_step(const Run& r, int32_t g, int32_t k, double v) {
  const GearEvalResult& e = r.evaluator(g, cycle_point(r.cycle.target_speed_km_per_h, k), cycle_point(r.cycle.grade_percent, k), v);
  note(r, e);
  return &e;
}

// An evaluation already made in this call at its own point and speed.
struct Known {
  int32_t gear = 0;  // 0: none
  const GearEvalResult* e = nullptr;
};

// Gear g driven towards the call's own point from its own speed: the evaluation known
// when it is of gear g, else the run's.
[[gnu::always_inline]] inline const GearEvalResult* eval_known(const Run& r, const Known& known, int32_t g, int32_t i,
                                                                 double Vin) {
  if (known.gear != g) return eval_step(r, g, i, Vin);
  note(r, *known.e);
  return known.e;
}

// Direct trial of gear k over h seconds from step i and speed v. False when a second
// ends past Nex or below the gear's minimum speed; else dk is the summed deficit. The
// first second is taken from first when it holds gear k, and kept there.
bool look_ahead(const Run& r, int32_t k, int32_t i, int32_t h, double v, double& dk, Known& first) {
  dk = 0.0;
  if (h < 1) return true;
  first = Known{k, eval_known(r, first, k, i, v)};
  const GearEvalResult* e = first.e;
  for (int32_t j = 0; j < h; ++j) {
    if (j > 0) e = eval_step(r, k, i + j, v);
    if (e->status == GearStatus::OverSpeed || e->status == GearStatus::UnderSpeed) return false;
    dk += shortfall(cycle_point(r.cycle.target_speed_km_per_h, i + j - 1), cycle_point(r.cycle.target_speed_km_per_h, i + j), v, e->V);
    v = e->V;
  }
  return true;
}

// Single-second test of an upshift into gear k: the target is met with the gear's
// torque reserve. The evaluation is left in e.
bool upshift_ok(const Run& r, int32_t k, int32_t i, double Vin, Known& known) {
  known = Known{k, eval_step(r, k, i, Vin)};
  const GearEvalResult& e = *known.e;
  if (e.status != GearStatus::Meets) return false;
  const double reserve = e.engine_torque_nm <= 0.0 ? UnloadedReserve : e.Tmax / e.engine_torque_nm;
  return reserve >= r.trn.gears[static_cast<std::size_t>(k - 1)].torque_margin;
}

// Upshift search above gear g over h seconds, limited to MaxUpshiftSpan gears when
// spanLimit is set; ties go to the higher gear. known is left with the best gear's
// first second when one is found.
bool up_search(const Run& r, int32_t i, int32_t g, double Vin, int32_t h, bool spanLimit, int32_t& best,
              double& dBest, Known& known) {
  bool found = false;
  Known first;
  for (int32_t k = g + 1; k <= r.trn.gear_count(); ++k) {
    if (spanLimit && k > g + r.trn.max_upshift_span) break;
    double dk = 0.0;
    if (!upshift_ok(r, k, i, Vin, first) || !look_ahead(r, k, i, h, Vin, dk, first)) continue;
    if (!found || dk <= dBest) {
      best = k;
      dBest = dk;
      found = true;
      known = first;
    }
  }
  return found;
}

// Search above gear g over horizons of RetryHorizon down to 1 s, without upshift test; ties keep
// the lower gear. m is left at the horizon that found a gear, or 0 when none did.
bool retry(const Run& r, int32_t i, int32_t g, double Vin, bool takeZero, int32_t& best, int32_t& m,
           Known& known) {
  for (m = RetryHorizon; m >= 1; --m) {
    bool found = false;
    double dBest = 0.0;
    for (int32_t k = g + 1; k <= r.trn.gear_count(); ++k) {
      double dk = 0.0;
      Known first;
      if (!look_ahead(r, k, i, m, Vin, dk, first)) continue;
      if (takeZero && dk == 0.0) {
        best = k;
        known = first;
        return true;
      }
      if (!found || dk < dBest) {
        best = k;
        dBest = dk;
        found = true;
        known = first;
      }
    }
    if (found) return true;
  }
  return false;
}

// Downshift search from ReengageGear up to g - 1 over h seconds; ties go to the higher gear.
bool down_search(const Run& r, int32_t i, int32_t g, double Vin, int32_t h, int32_t& best, double& dBest,
                 Known& known) {
  bool found = false;
  for (int32_t k = r.trn.reengage_gear; k <= g - 1; ++k) {
    double dk = 0.0;
    Known first;
    if (!look_ahead(r, k, i, h, Vin, dk, first)) continue;
    if (!found || dk <= dBest) {
      best = k;
      dBest = dk;
      found = true;
      known = first;
    }
  }
  return found;
}

// Moving-off gear: the highest gear up to StartGears that meets the target, each tried
// from the previous point's target while its clutch slips or idles;
// c counts the evaluations of the gear returned. The search stops at the last point of
// the table, taking the gear it is trying.
void move_off(const Run& r, int32_t i, int32_t& g, int32_t& c) {
  g = 0;
  c = 0;
  const int32_t last = static_cast<int32_t>(r.cycle.target_speed_km_per_h.size()) - 1;
  for (int32_t g0 = r.trn.start_gears; g0 >= 1; --g0) {
    g = g0;
    c = 0;
    for (int32_t k = i;; ++k) {
      c = c + 1;
      const GearStatus status = eval_step(r, g0, k, cycle_point(r.cycle.target_speed_km_per_h, k - 1))->status;
      if (status == GearStatus::Meets || status == GearStatus::OverSpeed) return;
      if (status == GearStatus::Lowered || status == GearStatus::UnderSpeed) break;
      if (k >= last) return;
    }
  }
}

// Keep option: the deficit of driving on from speed v in gear g2 with hold counter h2,
// simulated by the next step at one less look-ahead depth.
double rec(const Run& r, int32_t i, double Vin, double v, int32_t g2, int32_t h2, int32_t D,
           double deficit) {
  int32_t hold = h2;
  const double recDeficit =
      deficit + shortfall(r.cycle.target_speed_km_per_h[static_cast<std::size_t>(i - 1)],
                          r.cycle.target_speed_km_per_h[static_cast<std::size_t>(i)], Vin, v);
  // Past the look-ahead or the cycle's end the next step gives the deficit back as it is.
  if (D < 1 || i + 1 > r.cycle.n) return recDeficit;
  return step_at(r, i + 1, v, g2, hold, D, recDeficit).deficit;
}

// The fixed quantities of one call.
struct Step {
  int32_t i = 0;
  double Vin = 0.0;
  int32_t D = 0;         // further seconds of the look-ahead
  double deficit = 0.0;  // deficit handed in by the caller
};

// Re-engagement while rolling: the best upshift from ReengageGear, else the retry search,
// else ReengageGear itself.
void reengage_gear(const Run& r, const Step& s, int32_t g, int32_t& gear, int32_t& m, Known& known) {
  int32_t best = g;
  double dBest = 0.0;
  if (up_search(r, s.i, g, s.Vin, s.D + 1, false, best, dBest, known) ||
      retry(r, s.i, g, s.Vin, false, best, m, known)) {
    gear = best;
  } else {
    gear = g;
  }
}

// Engine past Nex below the top gear: the best upshift, else the retry search, else the
// gear kept; returns the deficit of driving on in the chosen gear.
double overspeed(const Run& r, const Step& s, int32_t g, int32_t& gear, int32_t& m, double& V, Known& known) {
  int32_t best = g;
  double dBest = 0.0;
  if (!up_search(r, s.i, g, s.Vin, s.D + 1, true, best, dBest, known) &&
      !retry(r, s.i, g, s.Vin, true, best, m, known)) {
    best = g;
    m = RetryHorizon;
  }
  gear = best;
  known = Known{best, eval_known(r, known, best, s.i, s.Vin)};
  V = known.e->V;
  return rec(r, s.i, s.Vin, V, best, hold_after_shift(m), s.D, s.deficit);
}

// Ordinary decision between keeping gear g (at speed V), the best upshift and, when the
// gear falls short, the best downshift; returns the chosen option's deficit.
// known holds gear g's evaluation and is left with the chosen gear's.
double decide(const Run& r, const Step& s, int32_t g, GearStatus s0, int32_t hold, double V, int32_t& gear,
              Known& known) {
  const double Dstay = rec(r, s.i, s.Vin, V, g, hold + 1, s.D, s.deficit);
  int32_t best = g;
  double dBest = 0.0;
  Known found;
  if (g < r.trn.gear_count() && up_search(r, s.i, g, s.Vin, s.D + 1, true, best, dBest, found) &&
      dBest + s.deficit <= Dstay) {
    gear = best;
    known = found;
    return dBest + s.deficit;
  }
  gear = g;
  double Dfinal = Dstay;
  if ((s0 == GearStatus::Lowered || s0 == GearStatus::UnderSpeed) && down_search(r, s.i, g, s.Vin, s.D + 1, best, dBest, found) &&
      dBest + s.deficit <= Dfinal) {
    gear = best;
    known = found;
    Dfinal = dBest + s.deficit;
  }
  return Dfinal;
}

// The gear evaluated first: the moving-off gear from rest, ReengageGear when drive is
// taken up while rolling or the gear is too high to speed up in, else the gear in use.
// Sets reengage for the last two cases; moving off and re-engaging reset the hold counter.
int32_t first_gear(const Run& r, const Step& s, int32_t gear_in, double Vt, int32_t& hold, bool& reengage) {
  const TransmissionData& trn = r.trn;
  reengage = false;
  if (gear_in == 0 && s.Vin == 0.0) {
    int32_t g = 0, c = 0;
    move_off(r, s.i, g, c);
    hold = HoldSeconds - c;
    return g;
  }
  if (gear_in == 0) {
    hold = HoldSeconds;
    reengage = true;
    return trn.reengage_gear;
  }
  if (!r.evaluator.in_table(gear_in)) check_gear(gear_in, r.eng, trn);
  const std::size_t row = static_cast<std::size_t>(gear_in - 1);
  const double NeTarget =
      (((trn.final_ratio * SecondsPerMinute) * Vt) * trn.gears[row].ratio) / (r.spec.tire_circumference_m * KmhPerMs);
  if (Vt - s.Vin >= 0.0 && r.eng.gear_min_speed_rpm[row] > NeTarget && gear_in > trn.start_gears) {
    reengage = true;
    return trn.reengage_gear;
  }
  return gear_in;
}

StepOutcome step_at(const Run& r, int32_t i, double Vin, int32_t gear_in, int32_t& hold, int32_t depth,
                    double deficit) {
  const DriveCycle& cycle = r.cycle;
  const EngineData& eng = r.eng;
  const TransmissionData& trn = r.trn;
  double Ne = 0.0, Te = 0.0, V = 0.0;
  int32_t gear = gear_in;
  const auto outcome = [&] { return StepOutcome{Ne, Te, V, gear, deficit}; };
  const int32_t D = depth - 1;
  if (D < 0 || i > cycle.n) return outcome();
  const Step s{i, Vin, D, deficit};
  const double Vprev = cycle.target_speed_km_per_h[static_cast<std::size_t>(i - 1)];
  const double Vt = cycle.target_speed_km_per_h[static_cast<std::size_t>(i)];
  const double dV = Vt - Vin;
  // Standing still, or rolling in neutral while the target still falls: the engine idles.
  const bool standstill = Vt <= 0.0;
  if (standstill || (gear_in == 0 && Vin != 0.0 && dV < 0.0)) {
    if (!standstill) hold = HoldSeconds;
    V = Vt;
    Te = 0.0;
    gear = 0;
    Ne = eng.idle_speed_rpm;
    deficit += shortfall(Vprev, Vt, Vin, Vt);
    return outcome();
  }
  bool reengage = false;
  const int32_t g = first_gear(r, s, gear_in, Vt, hold, reengage);

  gear = g;
  const GearEvalResult* e = eval_step(r, g, i, Vin);
  V = e->V;
  Ne = e->engine_speed_rpm;
  Te = e->engine_torque_nm;
  const GearStatus s0 = e->status;

  if (hold < HoldSeconds || dV < 0.0) {
    if (s0 == GearStatus::UnderSpeed || s0 == GearStatus::Idles) {
      gear = 0;
      hold = HoldSeconds;
    } else if (s0 == GearStatus::OverSpeed && g < trn.gear_count()) {
      V = 0.0;
    } else {
      deficit = rec(r, i, Vin, V, g, hold + 1, D, deficit);
      hold = hold + 1;
    }
    return outcome();
  }

  int32_t m = RetryHorizon;
  double Dfinal = 0.0;
  Known known{g, e};
  if (reengage) {
    reengage_gear(r, s, g, gear, m, known);
  } else if (s0 == GearStatus::OverSpeed && g == trn.gear_count()) {
    Dfinal = rec(r, i, Vin, V, g, hold + 1, D, deficit);
  } else if (s0 == GearStatus::OverSpeed) {
    Dfinal = overspeed(r, s, g, gear, m, V, known);
  } else {
    Dfinal = decide(r, s, g, s0, hold, V, gear, known);
  }

  // Final evaluation in the chosen gear; the clutch slips below Nes.
  e = eval_known(r, known, gear, i, Vin);
  V = e->V;
  Ne = e->engine_speed_rpm;
  Te = e->engine_torque_nm;
  deficit = Dfinal;
  if (Ne < eng.engage_speed_rpm) {
    Ne = eng.engage_speed_rpm;
  } else if (Ne < eng.release_speed_rpm) {
    Te = 0.0;
    Ne = eng.idle_speed_rpm;
    gear = 0;
    hold = HoldSeconds;
    return outcome();
  }
  hold = hold_after_step(gear, gear_in, hold, m);
  return outcome();
}

}  // namespace

StepOutcome sim_step(const SimContext& context, int32_t i, double Vin, int32_t gear_in, int32_t& hold,
                     int32_t depth, double deficit) {
  return step_at(context, i, Vin, gear_in, hold, depth, deficit);
}

}  // namespace hdfe
