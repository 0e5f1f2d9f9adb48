#include "simulation/geareval.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <string>
#include <vector>

#include "fuel/curvelookup.h"
#include "records/constants.h"
#include "textio/freeform.h"
#include "textio/stop.h"

namespace hdfe {

namespace {

// Closing tolerance of the speed search [N·m]: the single-precision 1.0e-6 widened.
constexpr double SearchTolerance = 9.999999974752427e-07;
// Passes of the speed search; the last one warns, converged or not.
constexpr int32_t SearchPasses = 9999;

// The drivetrain of one gear and the conditions of the second being driven.
struct Drive {
  double i = 0.0;    // total ratio, final drive times gearbox
  double eta = 0.0;  // total efficiency
  double DW = 0.0;   // rotating-mass equivalent [kg]
  double gradeForce = 0.0;  // rolling and gradient resistance [N]
  double Vp = 0.0;   // speed at the start of the second [km/h]
};

// Rolling and gradient resistance on gradient s [%] [N].
double grade_force(double s, const VehicleSpec& spec) {
  return (spec.MuRoll + std::sin(std::atan(s / 100.0)) * Gravity) * spec.Wtest;
}

// The full-load curve, looked up through its index where the caller has one, and then
// starting from the segment of the previous lookup where the caller keeps one (hint).
struct FullLoad {
  const TorqueCurve& curve;
  const IndexedCurve* index = nullptr;
  int* hint = nullptr;
  double operator()(double s) const {
    if (index == nullptr) return curve_lookup(curve, s);
    return hint != nullptr ? index->near(s, *hint) : (*index)(s);
  }
};

// Road load at speed v [km/h]: air, inertia over the one-second step, rolling and gradient [N].
double road_load(const Drive& d, double v, const VehicleSpec& spec) {
  return (v * v * spec.MuAir + ((v - d.Vp) / KmhPerMs) * (d.DW + spec.Wtest)) + d.gradeForce;
}

// Engine speed at vehicle speed v [km/h] [rpm].
double engine_speed(const Drive& d, double v, const VehicleSpec& spec) {
  return (v * (d.i * 60.0)) / (spec.TireCircumference * KmhPerMs);
}

// Engine torque for road load F [N]: losses on the engine side when it drives,
// on the wheel side when the wheels drive it [N·m].
double engine_torque(const Drive& d, double F, const VehicleSpec& spec) {
  if (F >= 0.0) return (F * spec.TireRadius) / (d.eta * d.i);
  return ((F * d.eta) * spec.TireRadius) / d.i;
}

GearEvalResult outcome(double V, double Ne, double Te, double Tmax, int32_t status) {
  return GearEvalResult{V, Ne, Te, Tmax, status, false};
}

bool same_bits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

// Lowers the speed from v until the engine can hold it: 1 km/h steps down while the
// torque falls short, a halved step before every move up, until the full-load torque
// exceeds the demand by less than the tolerance.
GearEvalResult speed_search(int32_t g, double v, const Drive& d, const VehicleSpec& spec, const EngineData& eng,
                            const TransmissionData& trn, const FullLoad& fullLoad) {
  const double Nmin = eng.GearMinSpeed[static_cast<std::size_t>(g - 1)];
  // The terms of road_load, engine_torque and engine_speed that do not change from pass
  // to pass, each computed as those functions compute it, so that the passes give the
  // same values.
  const double MuAir = spec.MuAir, mass = d.DW + spec.Wtest, gradeForce = d.gradeForce, Vp = d.Vp;
  const double radius = spec.TireRadius, eta = d.eta, ratio = d.i, etaRatio = d.eta * d.i;
  const double ratio60 = d.i * 60.0, circumference = spec.TireCircumference * KmhPerMs;
  const double Nes = eng.Nes;
  const bool heldAtNmin = g > trn.ReengageGear;
  double step = 1.0;
  double N = 0.0, Te = 0.0, Tmax = 0.0;
  bool exhausted = false;
  for (int32_t k = 1; k <= SearchPasses; ++k) {
    const double F = (v * v * MuAir + ((v - Vp) / KmhPerMs) * mass) + gradeForce;
    Te = F >= 0.0 ? (F * radius) / etaRatio : ((F * eta) * radius) / ratio;
    N = (v * ratio60) / circumference;
    if (heldAtNmin && N < Nmin) {
      Tmax = fullLoad(Nmin);
    } else if (N >= Nes) {
      Tmax = fullLoad(N);
    } else {
      // Below the engagement speed the clutch slips with the engine held at Nes.
      N = Nes;
      Tmax = fullLoad(N);
      if (Te < Tmax) {
        return outcome(v, N, Te, Tmax, 1);
      }
    }
    const double diff = Tmax - Te;
    const bool converged = 0.0 <= diff && diff < SearchTolerance;
    const double vBefore = v, stepBefore = step;
    if (diff < 0.0) {
      v = v - step;
    } else if (diff >= SearchTolerance) {
      step = step / 2.0;
      v = v + step;
    }
    if (k > SearchPasses - 1) exhausted = true;
    if (converged) break;
    // A pass computes from v alone; one that leaves v and step as they were (a step lost
    // in the rounding of v, a step halved to zero, a difference that is not a number) is
    // repeated unchanged by every pass left, so the last pass ends as this one did.
    if (same_bits(v, vBefore) && same_bits(step, stepBefore)) {
      exhausted = true;
      break;
    }
  }
  GearEvalResult out;
  if (N < Nmin) {
    out = outcome(0.0, N, Te, fullLoad(Nmin), 3);
  } else if (N < eng.Nex) {
    out = outcome(v, N, Te, Tmax, 1);
  } else {
    out = outcome(0.0, N, Te, fullLoad(eng.Nex), 2);
  }
  out.search_exhausted = exhausted;
  return out;
}

}  // namespace

// A starting or re-engagement gear that the transmission does not have cannot be
// evaluated: the run stops instead of reading past the gear table.
void stop_gear_not_in_table(int32_t g, const TransmissionData& trn) {
  throw RunStop{{" Gear " + std::to_string(g) + " is not in the gear table of " +
                 std::to_string(trn.GearCount) + " gears"},
                0, ErrorKind::VehicleCheck};
}

namespace {

// Gear g from Vp towards V against the resistance gradeForce [N].
GearEvalResult evaluate(int32_t g, double V, double gradeForce, double Vp, const VehicleSpec& spec,
                        const EngineData& eng, const TransmissionData& trn, const FullLoad& fullLoad) {
  check_gear(g, eng, trn);
  const GearRow& row = trn.Gears[static_cast<std::size_t>(g - 1)];
  const Drive d{trn.FinalRatio * row.Ratio, trn.FinalEfficiency * row.Efficiency, row.DW, gradeForce, Vp};
  const double Nmin = eng.GearMinSpeed[static_cast<std::size_t>(g - 1)];
  const double Ne = engine_speed(d, V, spec);
  const double Te = engine_torque(d, road_load(d, V, spec), spec);

  if (V - Vp < 0.0) {
    if (Ne >= eng.Nec) return outcome(V, Ne, Te, fullLoad(Ne), 0);
    return outcome(V, eng.Nidle, 0.0, fullLoad(eng.Nidle), 4);
  }
  if (Ne >= Nmin) {
    if (Ne < eng.Nex) {
      const double Tmax = fullLoad(Ne);
      if (Te <= Tmax || Tmax <= 0.0) {
        return outcome(V, Ne, Te, Tmax, 0);
      }
      return speed_search(g, V, d, spec, eng, trn, fullLoad);
    }
    // At or past Nex: the top gear is held at Nex, a lower gear keeps its speed.
    const double Nlim = g == trn.GearCount ? eng.Nex : Ne;
    const double Vlim = ((Nlim * spec.TireCircumference) * KmhPerMs) / (60.0 * d.i);
    const double Tmax = fullLoad(Nlim);
    const double TeLim = engine_torque(d, road_load(d, Vlim, spec), spec);
    if (g != trn.GearCount || TeLim <= Tmax || Tmax <= 0.0) {
      return outcome(Vlim, Nlim, TeLim, Tmax, 2);
    }
    return speed_search(g, Vlim, d, spec, eng, trn, fullLoad);
  }
  if (g > trn.StartGears) {
    return outcome(V, Ne, Te, fullLoad(Nmin), 3);
  }
  const double Tmax = fullLoad(eng.Nes);
  if (Te <= Tmax) {
    return outcome(V, eng.Nes, Te, Tmax, 5);
  }
  return speed_search(g, V, d, spec, eng, trn, fullLoad);
}

}  // namespace

GearEvalResult gear_eval(int32_t g, double V, double s, double Vp, const VehicleSpec& spec, const EngineData& eng,
                         const TransmissionData& trn, const TorqueCurve& fullLoad) {
  return evaluate(g, V, grade_force(s, spec), Vp, spec, eng, trn, FullLoad{fullLoad});
}

// What the evaluator reads besides its table.
struct GearEvaluator::Records {
  // Gradient forces by the gradient's bits, direct-mapped.
  struct GradeSlot {
    uint64_t bits = 0;
    double force = 0.0;
    bool set = false;
  };
  static constexpr std::size_t GradeSlots = 64;

  const VehicleSpec& spec;
  const EngineData& eng;
  const TransmissionData& trn;
  const TorqueCurve& fullLoad;
  IndexedCurve index;
  std::array<GradeSlot, GradeSlots> grades{};
  // By gear, the full-load segment of its last lookup: a gear's evaluations from one
  // second to the next, and the passes of its speed searches, move its engine speed little.
  std::vector<int> segments = std::vector<int>(trn.Gears.size() + 1, -1);

  double grade(double s) {
    const uint64_t bits = std::bit_cast<uint64_t>(s);
    GradeSlot& slot = grades[(bits ^ (bits >> 29) ^ (bits >> 47)) % GradeSlots];
    if (!slot.set || slot.bits != bits) slot = GradeSlot{bits, grade_force(s, spec), true};
    return slot.force;
  }

  GearEvalResult evaluate(int32_t g, double V, double s, double Vp) {
    int* hint = g >= 1 && static_cast<std::size_t>(g) < segments.size() ? &segments[static_cast<std::size_t>(g)] : nullptr;
    return hdfe::evaluate(g, V, grade(s), Vp, spec, eng, trn, FullLoad{fullLoad, &index, hint});
  }
};

namespace {

// Past this many entries further evaluations are not kept.
constexpr std::size_t MemoLimit = std::size_t{1} << 20;

}  // namespace

GearEvaluator::GearEvaluator(const VehicleSpec& spec, const EngineData& eng, const TransmissionData& trn,
                             const TorqueCurve& fullLoad, std::size_t expected)
    : records_(std::make_unique<Records>(Records{spec, eng, trn, fullLoad, IndexedCurve(fullLoad)})),
      gears_(static_cast<int32_t>(std::min({static_cast<std::size_t>(std::max(trn.GearCount, 0)), trn.Gears.size(),
                                             eng.GearMinSpeed.size()}))) {
  size_slots(2 * std::min(std::max<std::size_t>(expected, 256), MemoLimit));
}

GearEvaluator::~GearEvaluator() = default;

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
  const GearEvalResult result = records_->evaluate(key.g, V, s, Vp);
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
