#include "sim/geareval.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "model/curvelookup.h"
#include "core/constants.h"
#include "hdfe/freeform.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

// Closing tolerance of the speed search [N·m]: the single-precision 1.0e-6 widened.
constexpr double SearchTolerance = 9.999999974752427e-07;
// Passes of the speed search; the last one warns, converged or not.
constexpr int32_t SearchPasses = 9999;
// First step of the speed search [km/h].
constexpr double SearchStep = 1.0;

// The constants of one gear, each computed as the road-load and engine formulas below
// use it, so that holding them gives the same values.
struct GearTerms {
  double i = 0.0;         // total ratio, final drive times gearbox
  double eta = 0.0;       // total efficiency
  double mass = 0.0;      // test weight and rotating-mass equivalent [kg]
  double ratio60 = 0.0;   // i * 60
  double etaRatio = 0.0;  // eta * i
  double Nmin = 0.0;      // lowest engine speed of the gear [rpm]
  double TmaxNmin = 0.0;  // full-load torque at Nmin [N·m]
  double minuteRatio = 0.0;  // SecondsPerMinute * i, for the speed at an engine speed
};
// Eight doubles: a gear's row is found by a shift.
static_assert(sizeof(GearTerms) == 64);

// Gear g, which check_gear has passed.
GearTerms gear_terms(int32_t g, const VehicleSpec& spec, const EngineData& eng, const TransmissionData& trn,
                     const IndexedCurve& fullLoad) {
  const GearRow& row = trn.gears[static_cast<std::size_t>(g - 1)];
  GearTerms t;
  t.i = trn.final_ratio * row.ratio;
  t.eta = trn.final_efficiency * row.efficiency;
  t.mass = row.rotating_mass_kg + spec.test_weight_kg;
  t.ratio60 = t.i * SecondsPerMinute;
  t.etaRatio = t.eta * t.i;
  t.Nmin = eng.gear_min_speed_rpm[static_cast<std::size_t>(g - 1)];
  t.TmaxNmin = fullLoad(t.Nmin);
  t.minuteRatio = SecondsPerMinute * t.i;
  return t;
}

// The values of the vehicle that the evaluations read, side by side, and the full-load
// torque at the engine's fixed speeds [N·m], looked up once.
struct RunTerms {
  double muAir = 0.0;          // air resistance [N per (km/h)^2]
  double radius = 0.0;         // tire radius [m]
  double circumference = 0.0;  // tire circumference [m]
  double perRpm = 0.0;         // circumference * KmhPerMs, as engine_speed computes it
  double release = 0.0;        // engine speeds [rpm]: release, idle, Nex and Nes
  double idle = 0.0;
  double top = 0.0;
  double engage = 0.0;
  double TmaxIdle = 0.0;       // full-load torques at the idle speed, at Nex and at Nes
  double TmaxTop = 0.0;
  double TmaxEngage = 0.0;
  int32_t gearCount = 0;
  int32_t startGears = 0;
  int32_t reengageGear = 0;

  RunTerms(const VehicleSpec& spec, const EngineData& eng, const TransmissionData& trn, const IndexedCurve& fullLoad)
      : muAir(spec.mu_air),
        radius(spec.tire_radius_m),
        circumference(spec.tire_circumference_m),
        perRpm(spec.tire_circumference_m * KmhPerMs),
        release(eng.release_speed_rpm),
        idle(eng.idle_speed_rpm),
        top(eng.max_speed_rpm),
        engage(eng.engage_speed_rpm),
        TmaxIdle(fullLoad(idle)),
        TmaxTop(fullLoad(top)),
        TmaxEngage(fullLoad(engage)),
        gearCount(trn.gear_count()),
        startGears(trn.start_gears),
        reengageGear(trn.reengage_gear) {}
};

// The drivetrain of one gear and the conditions of the second being driven.
struct Drive {
  const GearTerms& gear;
  double gradeForce = 0.0;  // rolling and gradient resistance [N]
  double Vp = 0.0;          // speed at the start of the second [km/h]
};

// Rolling and gradient resistance on a gradient whose slope angle has the sine given [N].
double grade_force_of_sine(double sine, const VehicleSpec& spec) {
  return (spec.mu_roll + sine * Gravity) * spec.test_weight_kg;
}

// Rolling and gradient resistance on gradient s [%] [N].
double grade_force(double s, const VehicleSpec& spec) { return grade_force_of_sine(std::sin(std::atan(s / Percent)), spec); }

// The full-load curve looked up through its index, starting from the segment of the
// previous lookup (hint).
struct HintedLoad {
  const IndexedCurve& index;
  int& hint;
  double operator()(double s) const { return index.near(s, hint); }
  // The same lookup, taken on seg when it holds s, and leaving seg at the segment used.
  double operator()(double s, IndexedCurve::Segment& seg) const {
    return seg.holds(s) ? seg.at(s) : index.near(s, hint, seg);
  }
  IndexedCurve::Segment segment() const { return index.segment(hint); }
};

// Road load at speed v [km/h]: air, inertia over the one-second step, rolling and gradient [N].
double road_load(const Drive& d, double v, const RunTerms& run) {
  return (v * v * run.muAir + ((v - d.Vp) / KmhPerMs) * d.gear.mass) + d.gradeForce;
}

// Engine speed at vehicle speed v [km/h] [rpm].
double engine_speed(const Drive& d, double v, const RunTerms& run) {
  return (v * d.gear.ratio60) / run.perRpm;
}

// Engine torque for road load F [N]: losses on the engine side when it drives,
// on the wheel side when the wheels drive it [N·m].
double engine_torque(const Drive& d, double F, const RunTerms& run) {
  if (F >= 0.0) return (F * run.radius) / d.gear.etaRatio;
  return ((F * d.gear.eta) * run.radius) / d.gear.i;
}

GearEvalResult outcome(double V, double Ne, double Te, double Tmax, GearStatus status) {
  return GearEvalResult{V, Ne, Te, Tmax, status, false};
}

bool same_bits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

// Speeds whose passes are known without being taken: their difference Tmax - Te has the
// tolerance to spare, or falls short, for certain.
struct PassEstimate {
  double spareFrom = std::numeric_limits<double>::infinity();  // [km/h]
  double spareTo = -std::numeric_limits<double>::infinity();
  double shortFrom = std::numeric_limits<double>::infinity();
  double shortTo = -std::numeric_limits<double>::infinity();
};

// Relative margin of the estimates' speeds and bounds. A pass and the quadratic each
// round at most some 17 times a unit in the last place of the sum of their terms' sizes;
// 2^-44 is 30 times that.
constexpr double EstimateMargin = 0x1p-44;
// A crossing of the quadratic is moved by this share of its speed to the side where it
// is checked: beyond the rounding of its formula and of the check.
constexpr double CrossingNudge = 0x1p-45;
// Sums of terms outside these are not estimated: the bound would not be relative.
constexpr double EstimateSmallest = 1e-250;
constexpr double EstimateLargest = 1e250;
// Segments above the spare speed's that are tried for the closing speed.
constexpr int EstimatedSegments = 3;

// The estimates of one speed search. Over the speeds at which the engine runs on one
// segment of the full-load curve (and not below lookedUp), a pass's difference is a
// quadratic in the speed. Where the quadratic falls and the engine pulls, it splits the
// speeds into those whose pass has the tolerance to spare, those whose pass falls short,
// and a narrow band between them around the closing speed. Each split is checked on the
// quadratic against a bound thousands of times the rounding of a pass, so that a pass on
// either side gives the verdict the estimate gives.
class PassEstimator {
 public:
  // The search's terms as its passes use them; vmax: no speed of the search is above it.
  PassEstimator(double vmax, double lookedUp, double muAir, double mass, double gradeForce, double Vp, double radius,
                double etaRatio, double ratio60, double perRpm)
      : vmax_(vmax), lookedUp_(lookedUp), perKmh_(ratio60 / perRpm) {
    const double pull = radius / etaRatio;  // engine torque per road load [N·m per N]
    te2_ = muAir * pull;
    te1_ = (mass / KmhPerMs) * pull;
    te0_ = (gradeForce - (Vp / KmhPerMs) * mass) * pull;
    // The terms of a pass's road load and of the quadratic's torque, at their largest.
    terms_ = ((muAir * vmax + (mass / KmhPerMs)) * vmax + (mass / KmhPerMs) * std::abs(Vp) + std::abs(gradeForce)) * pull +
             (te2_ * vmax + te1_) * vmax + std::abs(te0_);
    usable_ = perKmh_ > 0.0 && perKmh_ < EstimateLargest && pull > 0.0 && pull < EstimateLargest && muAir >= 0.0 &&
              mass > 0.0 && !std::isnan(lookedUp) && terms_ < EstimateLargest;
  }

  // The estimate from the spare speed's segment seg on, up to the segment where the search
  // closes, through the curve's lookup; the passes tried go up to `reach` at most.
  template <class Lookup>
  PassEstimate closing(const Lookup& fullLoad, IndexedCurve::Segment seg, double reach) const {
    PassEstimate e;
    Fit f;
    if (!usable_ || !fit(seg, f)) return e;
    // Up to the segment where the search closes: above it while every pass over the segment
    // has the tolerance to spare. Between one segment's speeds and the next's a pass runs on
    // either: every pass there has it when both quadratics fall over the gap (the lower one
    // falls on) and have it at its upper end; the passes told spare then reach down to the
    // lower segment's.
    e.spareFrom = f.low;
    for (int k = 0; difference(f, f.high) >= f.spare; ++k) {
      IndexedCurve::Segment next = seg;
      fullLoad(seg.to, next);  // the segment that starts where this one ends
      Fit g;
      if (k == EstimatedSegments || !(seg.to <= next.from) || !fit(next, g, f.high)) return e;
      if (!(difference(f, g.low) >= f.spare && difference(g, g.low) >= g.spare)) e.spareFrom = g.low;
      seg = next;
      f = g;
    }
    if (const double to = nudged(crossing(f, f.spare), -1.0); f.low <= to && to <= f.high &&
                                                            difference(f, to) >= f.spare) {
      e.spareTo = to;
    }
    const double from = nudged(crossing(f, -f.bound), 1.0);
    if (!(f.low <= from && from <= f.high && difference(f, from) < -f.bound)) return e;
    e.shortFrom = from;
    e.shortTo = f.high;
    // Short up to the speeds the search may try. Between one segment's speeds and the
    // next's a pass runs on either: every pass there falls short when both quadratics fall
    // over the gap (the lower one falls on) and the upper one falls short at its lower end.
    for (int k = 0; k < EstimatedSegments && e.shortTo < reach; ++k) {
      IndexedCurve::Segment next = seg;
      fullLoad(seg.to, next);
      Fit g;
      if (!(seg.to <= next.from) || !fit(next, g, f.high) || !(difference(g, f.high) < -g.bound)) break;
      e.shortTo = g.high;
      seg = next;
      f = g;
    }
    return e;
  }

 private:
  // The quadratic over one segment.
  struct Fit {
    double low = 0.0, high = 0.0;  // the speeds whose passes run on the segment [km/h]
    double t1 = 0.0, t0 = 0.0;     // Tmax = t1 v + t0
    double bound = 0.0;            // [N·m]
    double spare = 0.0;            // the tolerance and the bound [N·m]
  };

  // The fit of segment seg; false when it has none: no speeds, or the quadratic does not
  // fall over them and down from `fallsFrom`, or the engine does not pull.
  bool fit(const IndexedCurve::Segment& seg, Fit& f,
           double fallsFrom = std::numeric_limits<double>::infinity()) const {
    const double lowest = std::max(seg.from, lookedUp_);
    if (!(lowest < seg.to)) return false;
    const double slope = seg.rise / seg.run;
    f.t1 = perKmh_ * slope;
    f.t0 = seg.torque - seg.from * slope;
    f.low = (lowest / perKmh_) * (1.0 + EstimateMargin);
    f.high = std::min((seg.to / perKmh_) * (1.0 - EstimateMargin), vmax_);
    const double terms = terms_ + std::abs(f.t1) * vmax_ + std::abs(f.t0) + std::abs(seg.torque) +
                         std::abs(seg.from * slope) + std::abs(seg.rise);
    if (!(f.low > 0.0 && f.low < f.high && terms >= EstimateSmallest && terms <= EstimateLargest)) return false;
    f.bound = terms * EstimateMargin;
    f.spare = SearchTolerance + f.bound;
    // The quadratic's slope falls with v (te2 is not negative): falling where it starts,
    // it falls from there on, by more than the rounding of the slope. The torque rises
    // with v: from the lowest speed on, the engine pulls (by more than the bound).
    const double steep = (std::abs(f.t1) + 2.0 * te2_ * vmax_ + te1_) * 0x1p-30;
    if (!(falling(f, std::min(f.low, fallsFrom)) < -steep)) return false;
    if (torque(f.low) > 2.0 * f.bound) return true;
    // The engine brakes at the segment's lowest speeds (the vehicle slows down): the fit
    // starts where it pulls.
    const double c = te0_ - 4.0 * f.bound;
    const double pulls = nudged((-2.0 * c) / (te1_ + std::sqrt(te1_ * te1_ - 4.0 * te2_ * c)), 1.0);
    if (!(f.low < pulls && pulls < f.high && torque(pulls) > 2.0 * f.bound)) return false;
    f.low = pulls;
    return true;
  }
  double torque(double u) const { return (te2_ * u + te1_) * u + te0_; }
  double difference(const Fit& f, double u) const { return (f.t1 * u + f.t0) - torque(u); }
  double falling(const Fit& f, double u) const { return f.t1 - (2.0 * te2_ * u + te1_); }
  // The speed where the quadratic is `level`, on its falling side.
  double crossing(const Fit& f, double level) const {
    const double b = te1_ - f.t1, c = (te0_ - f.t0) + level;
    return (-2.0 * c) / (b + std::sqrt(b * b - 4.0 * te2_ * c));
  }
  // u moved a little below (side -1) or above (+1).
  static double nudged(double u, double side) { return u + side * std::abs(u) * CrossingNudge; }

  double vmax_, lookedUp_, perKmh_;
  double te2_ = 0.0, te1_ = 0.0, te0_ = 0.0;  // Te = (te2 v + te1) v + te0
  double terms_ = 0.0;
  bool usable_ = false;
};

// Where the halving passes told by an estimate hand back to the search.
enum class Handback {
  Halve,   // at the spare speed v, before halving the step
  Take,    // at a speed v whose pass the estimate does not tell
  Finish,  // the search ends on the pass at passV
};

// The halving passes of the search, from the spare pass at v, as long as the estimate tells
// each pass: the moves of the search alone, kept in registers.
struct Halving {
  double v = 0.0;
  double step = 0.0;
  int32_t left = 0;
  uint64_t spareBits = 0;  // of the spare speed
  double passV = 0.0;      // the speed of the pass the search finishes on
};

// The halving passes told by the estimate from the spare pass at h.v, worked out at once
// when every speed they reach is exact: the spare speed plus whole steps, all in its
// binade. In units of its last place the step is 2^j and the speeds from it on are whole
// numbers: a pass at p moves the spare speed up when p is at most the spare estimate's end
// XS and steps back when it is at least the short estimate's start YS, so that the passes
// go down the bits of XS from bit j - 1, moving up on its ones, until the first pass in
// neither: the pass at the highest bit where XS and YS - 1 differ. False when the speeds
// are not all exact, or a pass left out is not told, or the search would run out on
// the way: the passes are then made one by one.
bool halve_at_once(Halving& h, const PassEstimate& e) {
  const double s0 = h.v, step = h.step;
  if (!(s0 > 0.0 && s0 <= e.spareTo && e.spareTo < e.shortFrom)) return false;
  const uint64_t bits = std::bit_cast<uint64_t>(s0);
  const uint64_t exponent = bits >> 52;  // biased; s0 is positive
  if (exponent <= 52 || exponent >= 0x7FF) return false;
  const double ulp = std::bit_cast<double>((exponent - 52) << 52);
  const double top = s0 + step;
  if ((std::bit_cast<uint64_t>(top) >> 52) != exponent) return false;  // leaves the binade, or not a number
  const double steps = step / ulp;
  if (!(steps >= 2.0 && steps <= 0x1p52)) return false;
  const uint64_t H = static_cast<uint64_t>(steps);
  if ((H & (H - 1)) != 0 || static_cast<double>(H) != steps || !(e.spareTo < top)) return false;
  const int j = std::countr_zero(H);
  const uint64_t XS = static_cast<uint64_t>((e.spareTo - s0) / ulp);
  const uint64_t YS = e.shortFrom < top ? static_cast<uint64_t>((e.shortFrom - s0) / ulp) : H;
  if (YS < XS + 2) return false;
  const int t = std::bit_width(XS ^ (YS - 1)) - 1;
  // The passes that step back: at the zero bits of XS above t; the highest of them is the
  // farthest up, and must be told short.
  if (const uint64_t zeros = ~XS & (H - 1) & ~((uint64_t{2} << t) - 1); zeros != 0) {
    const int b = std::bit_width(zeros) - 1;
    const uint64_t farthest = (XS | ((uint64_t{1} << b) - 1)) + 1;
    if (!(s0 + static_cast<double>(farthest) * ulp <= e.shortTo)) return false;
  }
  // The passes that move up: at the ones of XS above t; the first of them is the lowest,
  // and must be told spare.
  if (const uint64_t ones = XS & ~((uint64_t{2} << t) - 1); ones != 0) {
    const uint64_t lowest = uint64_t{1} << (std::bit_width(ones) - 1);
    if (!(s0 + static_cast<double>(lowest) * ulp >= e.spareFrom)) return false;
  }
  const int decided = j - 1 - t;
  const int up = std::popcount(XS >> (t + 1));
  const int32_t used = up + 2 * (decided - up) + 1;  // a move up takes a pass, a step back two
  if (h.left < used) return false;
  const uint64_t spare = XS & ~((uint64_t{2} << t) - 1);
  h.spareBits = std::bit_cast<uint64_t>(s0 + static_cast<double>(spare) * ulp);
  h.v = s0 + static_cast<double>(spare + (uint64_t{1} << t)) * ulp;
  h.step = static_cast<double>(uint64_t{1} << t) * ulp;
  h.left -= used;
  return true;
}

Handback halve_told(Halving& h, const PassEstimate e) {
  if (halve_at_once(h, e)) return Handback::Take;
  double v = h.v, step = h.step;
  int32_t left = h.left;
  uint64_t spareBits = h.spareBits;
  Handback back = Handback::Halve;
  for (;;) {
    const double half = step / 2.0;
    const double up = v + half;
    if (std::bit_cast<uint64_t>(up) == spareBits) break;  // the general halving takes it
    step = half;
    v = up;
    if (--left < 0) {
      h.passV = std::bit_cast<double>(spareBits);
      back = Handback::Finish;
      break;
    }
    for (;;) {
      if (e.spareFrom <= v && v <= e.spareTo) {
        spareBits = std::bit_cast<uint64_t>(v);
        break;
      }
      if (!(e.shortFrom <= v && v <= e.shortTo)) {
        back = Handback::Take;
        break;
      }
      const uint64_t before = std::bit_cast<uint64_t>(v);
      v = v - step;
      if (--left < 0) {
        h.passV = std::bit_cast<double>(before);
        back = Handback::Finish;
        break;
      }
      const uint64_t bits = std::bit_cast<uint64_t>(v);
      if (bits == spareBits) break;
      if (bits == before) {
        h.passV = v;
        back = Handback::Finish;
        break;
      }
    }
    if (back != Handback::Halve) break;
  }
  h.v = v;
  h.step = step;
  h.left = left;
  h.spareBits = spareBits;
  return back;
}

// Lowers the speed from v until the engine can hold it: 1 km/h steps down while the
// torque falls short, a halved step before every move up, until the full-load torque
// exceeds the demand by less than the tolerance. The last pass warns, converged or not.
//
// A pass computes from v alone. Once a pass has the tolerance to spare (the spare pass),
// every move up starts from it, and a pass that then falls short steps back down by the
// step it went up by, most often to exactly the spare speed again: that pass is taken
// from the spare one, its values and its move up. A pass that leaves v and step as they
// were (a step lost in the rounding of v, a step halved to zero, a difference that is not
// a number) would be repeated unchanged by every pass left, so the last pass ends as it
// does.
//
// Most passes are far from closing: their difference is told by the estimate, and their
// values are worked out only if the search ends on them.
template <class Lookup>
GearEvalResult speed_search(int32_t g, const SearchStart& start, const Drive& d, const RunTerms& run,
                            const Lookup& fullLoad) {
  double v = start.from;
  const GearTerms& gear = d.gear;
  const double Nmin = gear.Nmin;
  // The terms of road_load, engine_torque and engine_speed that do not change from pass
  // to pass, each computed as those functions compute it, so that the passes give the
  // same values.
  const double MuAir = run.muAir, mass = gear.mass, gradeForce = d.gradeForce, Vp = d.Vp;
  const double radius = run.radius, eta = gear.eta, ratio = gear.i, etaRatio = gear.etaRatio;
  const double ratio60 = gear.ratio60, circumference = run.perRpm;
  const double Nes = run.engage;
  // Gears above the re-engagement gear are held at Nmin: below it no engine speed is.
  const double heldBelow = g > run.reengageGear ? Nmin : -std::numeric_limits<double>::infinity();
  // At or above both (neither a NaN), a pass looks the curve up at its engine speed.
  const double lookedUp = std::max(Nes, heldBelow);
  // The passes move the engine speed little: most look the curve up on one segment.
  IndexedCurve::Segment segment = fullLoad.segment();
  double step = SearchStep;
  double N = 0.0, Te = 0.0, Tmax = 0.0;
  // The pass at v; false when the clutch slips with the engine held at Nes and the engine
  // holds the torque, which ends the search.
  const auto pass = [&] {
    const double F = (v * v * MuAir + ((v - Vp) / KmhPerMs) * mass) + gradeForce;
    Te = F >= 0.0 ? (F * radius) / etaRatio : ((F * eta) * radius) / ratio;
    N = (v * ratio60) / circumference;
    if (N >= lookedUp) [[likely]] {
      Tmax = fullLoad(N, segment);
    } else if (N < heldBelow) {
      Tmax = gear.TmaxNmin;
    } else if (N >= Nes) {
      Tmax = fullLoad(N, segment);
    } else {
      // Below the engagement speed the clutch slips with the engine held at Nes.
      N = Nes;
      Tmax = run.TmaxEngage;
      return !(Te < Tmax);
    }
    return true;
  };
  // No speed of the search is above the first: each move up is by half the step that
  // came down.
  const double vmax = std::abs(v) + SearchStep;
  // N, Te and Tmax are those of the pass at passV once worked out (`exact`).
  double passV = v;
  bool exact = false;
  // The difference of the pass at v; false as pass().
  const auto take = [&](double& diff) {
    passV = v;
    exact = true;
    if (!pass()) return false;
    diff = Tmax - Te;
    return true;
  };
  // The outcome of the last pass, at v with N, Te and Tmax.
  const auto finish = [&](bool exhausted) {
    if (!exact) {
      const double at = v;
      v = passV;
      pass();
      v = at;
    }
    GearEvalResult out;
    if (N < Nmin) {
      out = outcome(0.0, N, Te, gear.TmaxNmin, GearStatus::UnderSpeed);
    } else if (N < run.top) {
      out = outcome(v, N, Te, Tmax, GearStatus::Lowered);
    } else {
      out = outcome(0.0, N, Te, run.TmaxTop, GearStatus::OverSpeed);
    }
    out.search_exhausted = exhausted;
    return out;
  };
  // The passes left after the current one: the current pass is pass SearchPasses - left.
  int32_t left = SearchPasses - 1;
  double diff = 0.0;
  // Down by the first step until a pass has the tolerance to spare. The first pass falls
  // short for certain when the evaluation that called for the search found it so.
  for (bool told = start.fallsShort;; told = false) {
    if (told) {
      passV = v;
      exact = false;
    } else {
      if (!take(diff)) return outcome(v, N, Te, Tmax, GearStatus::Lowered);
      if (diff >= SearchTolerance) break;
      if (!(diff < 0.0)) return finish(!(diff >= 0.0) || left == 0);  // closed, or not a number
    }
    const double next = v - step;
    if (same_bits(next, v)) return finish(true);
    v = next;
    if (--left < 0) return finish(true);
  }
  // The estimate, from the first spare pass; no pass of the search goes above v + step.
  const PassEstimate guess =
      PassEstimator(vmax, lookedUp, MuAir, mass, gradeForce, Vp, radius, etaRatio, ratio60, circumference)
          .closing(fullLoad, segment, v + step);
  for (;;) {
    // The current pass, at v with N, Te and Tmax, is the spare one.
    bool moved = false;  // the halving passes told moved on to the pass at v
    if (guess.spareFrom <= guess.spareTo) {
      Halving h{v, step, left, std::bit_cast<uint64_t>(v), 0.0};
      const Handback back = halve_told(h, guess);
      if (h.spareBits != std::bit_cast<uint64_t>(v)) exact = false;  // a spare pass told
      v = h.v;
      step = h.step;
      left = h.left;
      if (back == Handback::Finish) {
        passV = h.passV;
        exact = false;
        return finish(true);
      }
      if (back == Handback::Take) moved = true;
      passV = std::bit_cast<double>(h.spareBits);
    }
    const uint64_t spareBits = std::bit_cast<uint64_t>(passV);
    const double spareN = N, spareTe = Te, spareTmax = Tmax;
    const bool spareExact = exact;
    // Halves the step and moves up by it; a move up lost in the rounding of v leaves the
    // next pass at the spare speed, and one that changes neither v nor the step (a step
    // halved to zero) would be repeated by every pass left.
    for (; !moved;) {
      const double half = step / 2.0;
      const double up = v + half;
      if (std::bit_cast<uint64_t>(up) != spareBits) [[likely]] {
        step = half;
        v = up;
        break;
      }
      if (same_bits(half, step)) return finish(true);
      step = half;
      if (--left < 0) return finish(true);
    }
    if (!moved && --left < 0) return finish(true);
    // The passes from the speed moved up to (never the spare speed), until one has the
    // tolerance to spare or one steps back down to the spare speed. A step down that
    // leaves v as it was, and the last pass, end the search alike.
    for (;;) {
      if (!take(diff)) return outcome(v, N, Te, Tmax, GearStatus::Lowered);
      if (diff >= SearchTolerance) break;
      if (!(diff < 0.0)) return finish(!(diff >= 0.0) || left == 0);
      const uint64_t before = std::bit_cast<uint64_t>(v);
      v = v - step;
      if (--left < 0) return finish(true);
      const uint64_t bits = std::bit_cast<uint64_t>(v);
      if (bits == spareBits) [[likely]] {
        N = spareN;
        Te = spareTe;
        Tmax = spareTmax;
        passV = v;
        exact = spareExact;
        break;
      }
      if (bits == before) return finish(true);
    }
  }
}

}  // namespace

// A starting or re-engagement gear that the transmission does not have cannot be
// evaluated: the run stops instead of reading past the gear table.
void stop_gear_not_in_table(int32_t g, const TransmissionData& trn) {
  throw Error(ErrorKind::VehicleCheck,
              "Gear " + std::to_string(g) + " is not in the gear table of " + std::to_string(trn.gear_count()) + " gears");
}

namespace {

// Gear g from Vp towards V against the resistance gradeForce [N], g having passed
// check_gear, with its constants gear: true with the outcome in out, or false, out left
// as it was, when the speed search decides it, start then set to where it starts.
template <class Lookup>
bool evaluate_plain(int32_t g, double V, double gradeForce, double Vp, const RunTerms& run, const GearTerms& gear,
                    const Lookup& fullLoad, GearEvalResult& out, SearchStart& start) {
  const Drive d{gear, gradeForce, Vp};
  const double Nmin = gear.Nmin;
  const double Ne = engine_speed(d, V, run);
  const double Te = engine_torque(d, road_load(d, V, run), run);

  if (V - Vp < 0.0) {
    if (Ne >= run.release) {
      out = outcome(V, Ne, Te, fullLoad(Ne), GearStatus::Meets);
    } else {
      out = outcome(V, run.idle, 0.0, run.TmaxIdle, GearStatus::Idles);
    }
    return true;
  }
  if (Ne >= Nmin) {
    if (Ne < run.top) {
      const double Tmax = fullLoad(Ne);
      if (Te <= Tmax || Tmax <= 0.0) {
        out = outcome(V, Ne, Te, Tmax, GearStatus::Meets);
        return true;
      }
      // At or above Nes (and Nmin), the search's first pass at V looks the curve up here too:
      // it falls short unless a torque is not a number.
      start = SearchStart{V, Ne >= run.engage && Te > Tmax};
      return false;
    }
    // At or past Nex: the top gear is held at Nex, a lower gear keeps its speed.
    const bool top = g == run.gearCount;
    const double Nlim = top ? run.top : Ne;
    const double Vlim = ((Nlim * run.circumference) * KmhPerMs) / gear.minuteRatio;
    const double Tmax = top ? run.TmaxTop : fullLoad(Nlim);
    const double TeLim = engine_torque(d, road_load(d, Vlim, run), run);
    if (!top || TeLim <= Tmax || Tmax <= 0.0) {
      out = outcome(Vlim, Nlim, TeLim, Tmax, GearStatus::OverSpeed);
      return true;
    }
    start = SearchStart{Vlim, false};
    return false;
  }
  if (g > run.startGears) {
    out = outcome(V, Ne, Te, gear.TmaxNmin, GearStatus::UnderSpeed);
    return true;
  }
  const double Tmax = run.TmaxEngage;
  if (Te <= Tmax) {
    out = outcome(V, run.engage, Te, Tmax, GearStatus::Slips);
    return true;
  }
  start = SearchStart{V, false};
  return false;
}

}  // namespace

namespace {

// The constants of every gear that check_gear passes, by gear number (row 0 unused).
std::vector<GearTerms> all_gear_terms(const VehicleSpec& spec, const EngineData& eng, const TransmissionData& trn,
                                      const IndexedCurve& fullLoad) {
  const int32_t gears = static_cast<int32_t>(std::min(
      {static_cast<std::size_t>(std::max(trn.gear_count(), 0)), trn.gears.size(), eng.gear_min_speed_rpm.size()}));
  std::vector<GearTerms> terms(static_cast<std::size_t>(gears) + 1);
  for (int32_t g = 1; g <= gears; ++g) terms[static_cast<std::size_t>(g)] = gear_terms(g, spec, eng, trn, fullLoad);
  return terms;
}

}  // namespace

// What the evaluator reads besides its table.
struct GearEvaluator::Records {
  // Gradient forces by the gradient's bits, direct-mapped; all start at gradient +0.
  struct GradeSlot {
    uint64_t bits = 0;
    double force = 0.0;
  };
  static constexpr std::size_t GradeSlots = 64;

  const VehicleSpec& spec;
  const EngineData& eng;
  const TransmissionData& trn;
  const TorqueCurve& fullLoad;
  IndexedCurve index;
  // The evaluations of one second share its gradient: the last one is tried first.
  GradeSlot last{0, grade_force(0.0, spec)};
  std::array<GradeSlot, GradeSlots> grades = filled<GradeSlots>(last);
  // By gear, the full-load segment of its last lookup: a gear's evaluations from one
  // second to the next, and the passes of its speed searches, move its engine speed little.
  std::vector<int> segments = std::vector<int>(trn.gears.size() + 1, -1);
  // By gear, its constants; gears past the table have none.
  std::vector<GearTerms> terms = all_gear_terms(spec, eng, trn, index);
  RunTerms run{spec, eng, trn, index};

  template <std::size_t Count>
  static std::array<GradeSlot, Count> filled(const GradeSlot& slot) {
    std::array<GradeSlot, Count> slots;
    slots.fill(slot);
    return slots;
  }

  double grade(double s) {
    if (std::bit_cast<uint64_t>(s) == last.bits) [[likely]] return last.force;
    return grade_afresh(s);
  }
  [[gnu::noinline]] double grade_afresh(double s) {
    const uint64_t bits = std::bit_cast<uint64_t>(s);
    GradeSlot& slot = grades[(bits ^ (bits >> 29) ^ (bits >> 47)) % GradeSlots];
    if (slot.bits != bits) slot = GradeSlot{bits, grade_force(s, spec)};
    last = slot;
    return slot.force;
  }

  // evaluate_plain for gear g, which check_gear has passed.
  bool evaluate_plain(int32_t g, double V, double gradeForce, double Vp, GearEvalResult& out, SearchStart& start) {
    const std::size_t row = static_cast<std::size_t>(g);
    return hdfe::evaluate_plain(g, V, gradeForce, Vp, run, terms[row], HintedLoad{index, segments[row]}, out, start);
  }
  // The speed search for gear g from start, where evaluate_plain left it.
  GearEvalResult search(int32_t g, const SearchStart& start, double gradeForce, double Vp) {
    const std::size_t row = static_cast<std::size_t>(g);
    return speed_search(g, start, Drive{terms[row], gradeForce, Vp}, run, HintedLoad{index, segments[row]});
  }
};

namespace {

// Past this many entries further evaluations are not kept.
constexpr std::size_t MemoLimit = std::size_t{1} << 20;

}  // namespace

GearEvaluator::GearEvaluator(const VehicleSpec& spec, const EngineData& eng, const TransmissionData& trn,
                             const TorqueCurve& fullLoad, std::size_t expected)
    : records_(std::make_unique<Records>(Records{spec, eng, trn, fullLoad, IndexedCurve(fullLoad)})),
      gears_(static_cast<int32_t>(std::min({static_cast<std::size_t>(std::max(trn.gear_count(), 0)), trn.gears.size(),
                                             eng.gear_min_speed_rpm.size()}))) {
  size_slots(2 * std::min(std::max<std::size_t>(expected, 256), MemoLimit));
}

GearEvaluator::~GearEvaluator() = default;

// The storage of the entries, in which they begin their lifetime (an aggregate of
// integers and doubles), with only the gear of each key set: a key is compared gear
// first, so the rest of an empty place is never read.
std::unique_ptr<GearEvaluator::Entry[], GearEvaluator::FreeRecent> GearEvaluator::empty_recent() {
  constexpr std::size_t places = std::size_t{1} << RecentBits;
  Entry* entries = static_cast<Entry*>(::operator new(places * sizeof(Entry)));
  static_assert(places % 4 == 0);
  for (Entry* e = entries; e != entries + places; e += 4) {
    e[0].key.g = 0;
    e[1].key.g = 0;
    e[2].key.g = 0;
    e[3].key.g = 0;
  }
  return std::unique_ptr<Entry[], FreeRecent>(entries);
}

void GearEvaluator::FreeRecent::operator()(Entry* entries) const { ::operator delete(entries); }

// At least count slots, a power of two; every entry placed again.
void GearEvaluator::size_slots(std::size_t count) {
  const int bits = std::max(static_cast<int>(std::bit_width(count - 1)), 4);
  slots_.assign(std::size_t{1} << bits, 0);
  mask_ = slots_.size() - 1;
  shift_ = 64 - bits;
  for (std::size_t e = 0; e < count_; ++e) {
    std::size_t at = hash(chunks_[e >> ChunkBits][e & (ChunkSize - 1)].key) >> shift_;
    while (slots_[at] != 0) at = (at + 1) & mask_;
    slots_[at] = static_cast<uint32_t>(e + 1);
  }
}

const GearEvalResult& GearEvaluator::add(const Key& key, std::size_t at, double V, double s, double Vp) {
  // A gear outside the table stops the run here, before anything is kept.
  check_gear(key.g, records_->eng, records_->trn);
  Records& r = *records_;
  const double gradeForce = r.grade(s);
  GearEvalResult result;
  SearchStart start;
  if (!r.evaluate_plain(key.g, V, gradeForce, Vp, result, start)) result = r.search(key.g, start, gradeForce, Vp);
  return keep(key, at, result);
}

const TransmissionData& GearEvaluator::records_trn() const { return records_->trn; }

const IndexedCurve& GearEvaluator::full_load_index() const { return records_->index; }

void GearEvaluator::evaluate_afresh(Entry& recent, int32_t g, double V, double s, double Vp, const double* sine) {
  const Key key{g, std::bit_cast<uint64_t>(V), std::bit_cast<uint64_t>(s), std::bit_cast<uint64_t>(Vp)};
  Records& r = *records_;
  const double gradeForce = sine != nullptr ? grade_force_of_sine(*sine, r.spec) : r.grade(s);
  SearchStart start;
  // A plain evaluation is written to its place at once (nothing on the way can fail).
  if (r.evaluate_plain(g, V, gradeForce, Vp, recent.result, start)) [[likely]] {
    recent.key = key;
    return;
  }
  search_afresh(recent, key, start, gradeForce, Vp);
}

void GearEvaluator::search_afresh(Entry& recent, const Key& key, const SearchStart& start, double gradeForce,
                                  double Vp) {
  std::size_t at = 0;
  const GearEvalResult* kept = find(key, at);
  if (kept == nullptr) {
    const GearEvalResult result = records_->search(key.g, start, gradeForce, Vp);
    exhausted_seen_ = exhausted_seen_ || result.search_exhausted;
    if (count_ < MemoLimit) keep(key, at, result);
    recent.result = result;
  } else {
    recent.result = *kept;
  }
  recent.key = key;
}

const GearEvalResult& GearEvaluator::keep(const Key& key, std::size_t at, const GearEvalResult& result) {
  if (count_ >= MemoLimit) {
    unkept_.push_back(result);
    return unkept_.back();
  }
  if ((count_ & (ChunkSize - 1)) == 0) {
    chunks_.emplace_back();
    chunks_.back().reserve(ChunkSize);
  }
  std::vector<Entry>& chunk = chunks_.back();
  chunk.push_back({key, result});
  ++count_;
  slots_[at] = static_cast<uint32_t>(count_);
  if (2 * count_ > slots_.size()) size_slots(2 * slots_.size());
  return chunk.back().result;
}

}  // namespace hdfe
