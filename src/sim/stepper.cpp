#include "sim/stepper.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <span>
#include <vector>

#include "core/constants.h"
#include "hdfe/error.h"
#include "sim/cycles.h"
#include "sim/geareval.h"

namespace hdfe {

namespace {

// Seconds of the longest look-ahead: the step's own and the further ones of its depth.
constexpr int32_t MaxHorizon = LookAheadDepth;
static_assert(RetryHorizon <= MaxHorizon);
// Seconds whose states are kept: a step reaches LookAheadDepth seconds, and the next step
// keeps all but the first of them (a power of two).
constexpr int32_t KeptSeconds = 4;
static_assert(KeptSeconds > LookAheadDepth && std::has_single_bit(static_cast<unsigned>(KeptSeconds)));
// States kept per second; further ones are explored each time they are reached.
constexpr int32_t StatesPerSecond = 6;

// Gear k driven from a state's own speed over the next seconds.
struct GearAhead {
  uint64_t stamp = 0;    // of the state it belongs to; any other: not set
  GearEvalResult first;  // the evaluation at the state's own point
  double v = 0.0;        // speed after the seconds looked through [km/h]
  std::array<double, MaxHorizon> dk{};  // deficit after each second looked through [km/h·s]
  int32_t seconds = 0;   // seconds looked through, none past Nex or below the gear's minimum speed
  bool blocked = false;  // the second after them is
};

// What a gear search found.
struct Search {
  bool found = false;
  int32_t best = 0;
  double dBest = 0.0;
  int32_t m = 0;  // the retry search: the horizon that found the gear, 0 when none did
};

// The way a state goes on once its first gear is evaluated.
enum class Course : uint8_t {
  Hold,      // the gear is held (hold counter below HoldSeconds, or slowing down)
  Reengage,  // drive taken up again while rolling
  OverTop,   // the top gear at Nex
  Over,      // a lower gear past Nex
  Decide,    // keep, shift up or shift down
};

// What preparing a state's look-ahead takes beyond its first evaluation.
enum class Preparing : uint8_t {
  Stop,      // nothing: the step ends in neutral, or at Nex below the top gear
  DriveOn,   // only the next second driven on in the first gear
  Searches,  // gear searches (and then the next second, if the course goes on)
};

// A step's start: the second, speed, gear and hold counter it is called with, and what
// its look-ahead found.
struct State {
  int32_t i = 0;
  uint64_t vinBits = 0;
  int32_t gear_in = 0;
  int32_t hold_in = 0;

  uint64_t stamp = 0;  // distinct for every state explored
  double Vin = 0.0;
  int32_t g = 0;     // the gear evaluated first
  int32_t hold = 0;  // the hold counter once g is chosen
  Course course = Course::Hold;
  // What prepare does at this state: stop, or go on to the state of driving on in gear g,
  // with or without gear searches first.
  Preparing preparing = Preparing::Stop;
  // No second follows in gear: past the cycle's end, or at a standstill target (the next
  // step, in gear, idles).
  bool ends = false;
  uint32_t searched = 0;       // bit of each search below that is set
  std::array<Search, 2 * (MaxHorizon + 1)> up{};  // by span limit, then horizon
  std::array<Search, MaxHorizon + 1> down{};      // by horizon
  std::array<Search, 2> retry{};                  // by whether a zero deficit is taken at once
  GearAhead* gears = nullptr;                     // by gear number
  // The state the next second starts from when gear g is driven on, once looked up; it
  // is still that state while its stamp is keepStamp.
  State* keep = nullptr;
  uint64_t keepStamp = 0;
  // Bit D: prepare has made what the step with D further seconds makes (all of them for
  // a state at which it stops).
  uint32_t prepared = 0;
};

constexpr uint32_t up_bit(bool spanLimit, int32_t h) { return 1U << ((spanLimit ? MaxHorizon + 1 : 0) + h); }
constexpr uint32_t down_bit(int32_t h) { return 1U << (2 * (MaxHorizon + 1) + h); }
constexpr uint32_t retry_bit(bool takeZero) { return 1U << (3 * (MaxHorizon + 1) + (takeZero ? 1 : 0)); }
static_assert(3 * (MaxHorizon + 1) + 1 < 32);

bool stops_look_ahead(GearStatus s) { return s == GearStatus::OverSpeed || s == GearStatus::UnderSpeed; }

}  // namespace

struct Stepper::States {
  const SimContext& r;
  std::span<const double> target;
  std::span<const double> grade;
  std::span<const double> gradeSine;  // the sines of the gradients' slope angles, when known
  int32_t n = 0;
  int32_t gearCount = 0;
  int32_t tableGears = 0;  // the gears check_gear passes: 1..tableGears
  // The factors of the engine speed at a target speed that do not depend on the gear.
  double speedFactor = 0.0;   // FinalRatio x 60
  double speedDivisor = 0.0;  // tyre circumference x 3.6

  struct Second {
    int32_t i = 0;  // the second whose states these are
    int32_t count = 0;
    std::array<State, StatesPerSecond> states;
  };
  // The states kept, by second modulo KeptSeconds.
  std::unique_ptr<Second[]> seconds{new Second[KeptSeconds]};
  // A state not kept, by look-ahead depth: one per call that may be in progress.
  std::unique_ptr<State[]> loose{new State[LookAheadDepth + 1]};
  std::unique_ptr<GearAhead[]> aheads;
  uint64_t stamps = 0;

  explicit States(const SimContext& context)
      : r(context),
        target(context.cycle.target_speed_km_per_h),
        grade(context.cycle.grade_percent),
        gradeSine(known_grade_sines(context.cycle.grade_percent)),
        n(context.cycle.n),
        gearCount(context.trn.gear_count()),
        speedFactor(context.trn.final_ratio * SecondsPerMinute),
        speedDivisor(context.spec.tire_circumference_m * KmhPerMs) {
    while (tableGears < gearCount && r.evaluator.in_table(tableGears + 1)) ++tableGears;
    const std::size_t perState = static_cast<std::size_t>(tableGears) + 1;
    aheads.reset(new GearAhead[perState * (KeptSeconds * StatesPerSecond + LookAheadDepth + 1)]);
    GearAhead* next = aheads.get();
    for (int32_t k = 0; k < KeptSeconds; ++k) {
      for (State& x : seconds[static_cast<std::size_t>(k)].states) {
        x.gears = next;
        next += perState;
      }
    }
    for (int32_t depth = 0; depth <= LookAheadDepth; ++depth) {
      loose[static_cast<std::size_t>(depth)].gears = next;
      next += perState;
    }
  }

  // Gear k driven towards point p from speed v; the reference holds until the next eval.
  const GearEvalResult& eval(int32_t k, int32_t p, double v) {
    return r.evaluator.evaluate(k, cycle_point(target, p), cycle_point(grade, p), v);
  }

  // Gear k, which the gear table has, driven towards point p from speed v.
  const GearEvalResult& eval_in_table(int32_t k, int32_t p, double v) {
    return r.evaluator.evaluate_in_table(k, cycle_point(target, p), cycle_point(grade, p), v, sine_at(p));
  }

  // The sine of the slope angle at point p, when the cycle's table of them is known.
  const double* sine_at(int32_t p) const {
    const std::size_t at = static_cast<std::size_t>(p);
    return at < gradeSine.size() ? &gradeSine[at] : nullptr;
  }

  // Gear k at state x, its first second evaluated.
  GearAhead& ahead(State& x, int32_t k) {
    if (static_cast<uint32_t>(k - 1) >= static_cast<uint32_t>(tableGears)) stop_gear_not_in_table(k, r.trn);
    GearAhead& a = x.gears[k];
    if (a.stamp != x.stamp) {
      a.first = eval_in_table(k, x.i, x.Vin);
      a.stamp = x.stamp;
      a.v = x.Vin;
      a.seconds = 0;
      a.blocked = false;
    }
    return a;
  }

  // Direct trial of gear k over h seconds from state x: false when a second ends past
  // Nex or below the gear's minimum speed, else dk is the summed deficit.
  bool look(State& x, int32_t k, int32_t h, double& dk) { return look(x, ahead(x, k), k, h, dk); }

  // look with gear k's a = ahead(x, k).
  bool look(State& x, GearAhead& a, int32_t k, int32_t h, double& dk) {
    while (a.seconds < h && !a.blocked) {
      const int32_t j = a.seconds;
      const GearEvalResult& e = j == 0 ? a.first : eval_in_table(k, x.i + j, a.v);
      if (stops_look_ahead(e.status)) {
        a.blocked = true;
        break;
      }
      a.dk[static_cast<std::size_t>(j)] = (j == 0 ? 0.0 : a.dk[static_cast<std::size_t>(j - 1)]) +
                                          shortfall(cycle_point(target, x.i + j - 1), cycle_point(target, x.i + j), a.v, e.V);
      a.v = e.V;
      ++a.seconds;
    }
    if (a.seconds < h) return false;
    dk = a.dk[static_cast<std::size_t>(h - 1)];
    return true;
  }

  // Upshift search above the first gear over h seconds, limited to MaxUpshiftSpan gears
  // when spanLimit is set; ties go to the higher gear.
  const Search& up(State& x, int32_t h, bool spanLimit) {
    Search& s = x.up[static_cast<std::size_t>((spanLimit ? MaxHorizon + 1 : 0) + h)];
    if ((x.searched & up_bit(spanLimit, h)) != 0) return s;
    return up_search(x, h, spanLimit, s);
  }

  // up's search, its result left in s.
  [[gnu::noinline]] const Search& up_search(State& x, int32_t h, bool spanLimit, Search& s) {
    s = Search{};
    const int32_t last = spanLimit ? static_cast<int32_t>(std::min<int64_t>(gearCount, int64_t{x.g} + r.trn.max_upshift_span))
                                   : gearCount;
    for (int32_t k = x.g + 1; k <= last; ++k) {
      GearAhead& a = ahead(x, k);
      const GearEvalResult& e = a.first;
      if (e.status != GearStatus::Meets) continue;
      const double reserve = e.engine_torque_nm <= 0.0 ? UnloadedReserve : e.Tmax / e.engine_torque_nm;
      if (!(reserve >= r.trn.gears[static_cast<std::size_t>(k - 1)].torque_margin)) continue;
      double dk = 0.0;
      if (!look(x, a, k, h, dk)) continue;
      if (!s.found || dk <= s.dBest) s = Search{true, k, dk, 0};
    }
    x.searched |= up_bit(spanLimit, h);
    // Each gear failed the upshift test or stopped before h seconds, and so before any
    // longer horizon: no longer search finds one either, nor evaluates anything more.
    if (!s.found) {
      for (int32_t longer = h + 1; longer <= MaxHorizon; ++longer) {
        x.up[static_cast<std::size_t>((spanLimit ? MaxHorizon + 1 : 0) + longer)] = Search{};
        x.searched |= up_bit(spanLimit, longer);
      }
    }
    return s;
  }

  // Search above the first gear over horizons of RetryHorizon down to 1 s, without upshift
  // test; ties keep the lower gear.
  [[gnu::noinline]] const Search& retry(State& x, bool takeZero) {
    Search& s = x.retry[takeZero ? 1 : 0];
    if ((x.searched & retry_bit(takeZero)) != 0) return s;
    s = Search{};
    for (int32_t m = RetryHorizon; m >= 1 && !s.found; --m) {
      for (int32_t k = x.g + 1; k <= gearCount; ++k) {
        double dk = 0.0;
        if (!look(x, k, m, dk)) continue;
        if (takeZero && dk == 0.0) {
          s = Search{true, k, dk, m};
          break;
        }
        if (!s.found || dk < s.dBest) s = Search{true, k, dk, m};
      }
    }
    x.searched |= retry_bit(takeZero);
    return s;
  }

  // Downshift search from ReengageGear up to the gear below the first one over h seconds;
  // ties go to the higher gear.
  [[gnu::noinline]] const Search& down(State& x, int32_t h) {
    Search& s = x.down[static_cast<std::size_t>(h)];
    if ((x.searched & down_bit(h)) != 0) return s;
    s = Search{};
    for (int32_t k = r.trn.reengage_gear; k <= x.g - 1; ++k) {
      double dk = 0.0;
      if (!look(x, k, h, dk)) continue;
      if (!s.found || dk <= s.dBest) s = Search{true, k, dk, 0};
    }
    x.searched |= down_bit(h);
    // Each gear stopped before h seconds: as for the upshift search.
    if (!s.found) {
      for (int32_t longer = h + 1; longer <= MaxHorizon; ++longer) {
        x.down[static_cast<std::size_t>(longer)] = Search{};
        x.searched |= down_bit(longer);
      }
    }
    return s;
  }

  // Moving-off gear from rest at point i: the highest gear up to StartGears that meets the
  // target, each tried from the previous point's target while its clutch slips or idles;
  // c counts the evaluations of the gear returned. The search stops at the last point of
  // the table, taking the gear it is trying.
  [[gnu::noinline]] void move_off(int32_t i, int32_t& g, int32_t& c) {
    g = 0;
    c = 0;
    const int32_t last = static_cast<int32_t>(target.size()) - 1;
    for (int32_t g0 = r.trn.start_gears; g0 >= 1; --g0) {
      g = g0;
      c = 0;
      for (int32_t k = i;; ++k) {
        c = c + 1;
        const GearStatus status = eval(g0, k, cycle_point(target, k - 1)).status;
        if (status == GearStatus::Meets || status == GearStatus::OverSpeed) return;
        if (status == GearStatus::Lowered || status == GearStatus::UnderSpeed) break;
        if (k >= last) return;
      }
    }
  }

  // The gear evaluated first: the moving-off gear from rest, ReengageGear when drive is
  // taken up while rolling or the gear is too high to speed up in, else the gear in use.
  // Sets reengage for the last two cases; moving off and re-engaging reset the hold counter.
  int32_t first_gear(const State& x, double Vt, int32_t& hold, bool& reengage) {
    const TransmissionData& trn = r.trn;
    if (x.gear_in == 0 && x.Vin == 0.0) {
      int32_t g = 0, c = 0;
      move_off(x.i, g, c);
      hold = HoldSeconds - c;
      return g;
    }
    if (x.gear_in == 0) {
      hold = HoldSeconds;
      reengage = true;
      return trn.reengage_gear;
    }
    if (!r.evaluator.in_table(x.gear_in)) check_gear(x.gear_in, r.eng, trn);
    if (x.gear_in <= trn.start_gears || Vt - x.Vin < 0.0) return x.gear_in;
    // Too high a gear to speed up in: the engine would run below the gear's lowest speed.
    const std::size_t row = static_cast<std::size_t>(x.gear_in - 1);
    const double NeTarget = ((speedFactor * Vt) * trn.gears[row].ratio) / speedDivisor;
    if (r.eng.gear_min_speed_rpm[row] > NeTarget) {
      reengage = true;
      return trn.reengage_gear;
    }
    return x.gear_in;
  }

  // Sets x to the state given and evaluates its first gear.
  void explore(State& x, int32_t i, double Vin, int32_t gear_in, int32_t hold_in) {
    x.i = i;
    x.vinBits = std::bit_cast<uint64_t>(Vin);
    x.gear_in = gear_in;
    x.hold_in = hold_in;
    x.Vin = Vin;
    x.stamp = ++stamps;
    x.searched = 0;
    x.keep = nullptr;
    x.ends = i + 1 > n || target[static_cast<std::size_t>(i + 1)] <= 0.0;
    const double Vt = target[static_cast<std::size_t>(i)];
    const double dV = Vt - Vin;
    int32_t hold = hold_in;
    bool reengage = false;
    x.g = first_gear(x, Vt, hold, reengage);
    x.hold = hold;
    // A new state: gear g's first second is evaluated here (at a point of the table), and
    // only that of it is used, as the searches try the other gears.
    if (static_cast<uint32_t>(x.g - 1) >= static_cast<uint32_t>(tableGears)) stop_gear_not_in_table(x.g, r.trn);
    GearAhead& first = x.gears[x.g];
    first.first = r.evaluator.evaluate_in_table(x.g, Vt, cycle_point(grade, i), Vin, sine_at(i));
    first.stamp = x.stamp;
    first.v = Vin;
    first.seconds = 0;
    first.blocked = false;
    const GearEvalResult& e = first.first;
    const GearStatus s0 = e.status;
    if (hold < HoldSeconds || dV < 0.0) {
      x.course = Course::Hold;
      const bool stops = s0 == GearStatus::UnderSpeed || s0 == GearStatus::Idles ||
                         (s0 == GearStatus::OverSpeed && x.g < gearCount);
      x.preparing = stops ? Preparing::Stop : Preparing::DriveOn;
    } else if (reengage) {
      x.course = Course::Reengage;
      x.preparing = Preparing::Searches;
    } else if (s0 == GearStatus::OverSpeed) {
      x.course = x.g == gearCount ? Course::OverTop : Course::Over;
      x.preparing = x.g == gearCount ? Preparing::DriveOn : Preparing::Searches;
    } else {
      x.course = Course::Decide;
      const bool searches = x.g < gearCount || s0 == GearStatus::Lowered || s0 == GearStatus::UnderSpeed;
      x.preparing = searches ? Preparing::Searches : Preparing::DriveOn;
    }
    x.prepared = x.preparing == Preparing::Stop ? ~0U : 0U;
  }

  // The state of a call at depth `depth`, explored when it is new.
  State& state(int32_t depth, int32_t i, double Vin, int32_t gear_in, int32_t hold) {
    Second& second = seconds[static_cast<std::size_t>(i) & (KeptSeconds - 1)];
    if (second.i != i) {
      second.i = i;
      second.count = 0;
    }
    const uint64_t vinBits = std::bit_cast<uint64_t>(Vin);
    for (int32_t k = 0; k < second.count; ++k) {
      State& x = second.states[static_cast<std::size_t>(k)];
      if (x.vinBits == vinBits && x.gear_in == gear_in && x.hold_in == hold) return x;
    }
    if (second.count == StatesPerSecond) {
      State& x = loose[static_cast<std::size_t>(depth)];
      explore(x, i, Vin, gear_in, hold);
      return x;
    }
    State& x = second.states[static_cast<std::size_t>(second.count)];
    explore(x, i, Vin, gear_in, hold);
    ++second.count;
    return x;
  }

  // Keep option: the deficit of driving on from speed v in gear g2 with hold counter h2,
  // simulated by the next step at one less look-ahead depth; sf is this second's shortfall.
  double rec(const State& x, int32_t D, double deficit, double v, int32_t g2, int32_t h2, double sf) {
    const double recDeficit = deficit + sf;
    // Past the look-ahead or the cycle's end the next step gives the deficit back as it is.
    if (D < 1 || x.i + 1 > n) return recDeficit;
    return deficit_at(D, x.i + 1, v, g2, h2, recDeficit);
  }

  // rec for driving on in the first gear: the next step starts from the state's own keep
  // successor, which is looked up once.
  double rec_keep(State& x, int32_t D, double deficit) {
    const double recDeficit =
        deficit + shortfall(target[static_cast<std::size_t>(x.i - 1)], target[static_cast<std::size_t>(x.i)], x.Vin,
                            x.gears[x.g].first.V);
    if (D < 1 || x.i + 1 > n) return recDeficit;
    const GearEvalResult& e = x.gears[x.g].first;
    const double Vt = target[static_cast<std::size_t>(x.i + 1)];
    // In gear the next step idles only at a standstill target.
    if (Vt <= 0.0) return recDeficit + shortfall(target[static_cast<std::size_t>(x.i)], Vt, e.V, Vt);
    return deficit_of(keep_successor(x, D), D - 1, recDeficit);
  }

  // The deficit sim_step gives at depth `depth` (the outcome's other values are not used
  // below the first step).
  double deficit_at(int32_t depth, int32_t i, double Vin, int32_t gear_in, int32_t hold, double deficit) {
    const int32_t D = depth - 1;
    if (D < 0 || i > n) return deficit;
    const double Vt = target[static_cast<std::size_t>(i)];
    if (Vt <= 0.0 || (gear_in == 0 && Vin != 0.0 && Vt - Vin < 0.0)) {
      return deficit + shortfall(target[static_cast<std::size_t>(i - 1)], Vt, Vin, Vt);
    }
    return deficit_of(state(depth, i, Vin, gear_in, hold), D, deficit);
  }

  // The deficit of explored state x with D further seconds of look-ahead.
  double deficit_of(State& x, int32_t D, double deficit) {
    if (x.course == Course::Hold) {
      const GearStatus s0 = x.gears[x.g].first.status;
      if (s0 == GearStatus::UnderSpeed || s0 == GearStatus::Idles) return deficit;
      if (s0 == GearStatus::OverSpeed && x.g < gearCount) return deficit;
      return rec_keep(x, D, deficit);
    }
    return choose(x, D, deficit).deficit;
  }

  // What a step chooses past the hold counter's test.
  struct Choice {
    int32_t gear = 0;
    int32_t m = RetryHorizon;
    double deficit = 0.0;
  };

  Choice choose(State& x, int32_t D, double deficit) {
    const int32_t g = x.g;
    Choice c{g, RetryHorizon, 0.0};
    switch (x.course) {
      case Course::Reengage:
        // The best upshift from ReengageGear, else the retry search, else ReengageGear
        // itself; re-engaging gives no deficit.
        if (const Search& s = up(x, D + 1, false); s.found) {
          c.gear = s.best;
        } else {
          const Search& t = retry(x, false);
          c.m = t.m;
          if (t.found) c.gear = t.best;
        }
        break;
      case Course::OverTop:
        c.deficit = rec_keep(x, D, deficit);
        break;
      case Course::Over: {
        // The best upshift, else the retry search, else the gear kept.
        if (const Search& s = up(x, D + 1, true); s.found) {
          c.gear = s.best;
        } else if (const Search& t = retry(x, true); t.found) {
          c.gear = t.best;
          c.m = t.m;
        }
        const double v = x.gears[c.gear].first.V;
        c.deficit = rec(x, D, deficit, v, c.gear, hold_after_shift(c.m),
                        shortfall(target[static_cast<std::size_t>(x.i - 1)], target[static_cast<std::size_t>(x.i)], x.Vin, v));
        break;
      }
      case Course::Decide: {
        // Keeping gear g, the best upshift and, when the gear falls short, the best downshift.
        const double Dstay = rec_keep(x, D, deficit);
        c.deficit = Dstay;
        if (g < gearCount) {
          const Search& s = up(x, D + 1, true);
          if (s.found && s.dBest + deficit <= Dstay) {
            c.gear = s.best;
            c.deficit = s.dBest + deficit;
            return c;
          }
        }
        const GearStatus s0 = x.gears[g].first.status;
        if (s0 == GearStatus::Lowered || s0 == GearStatus::UnderSpeed) {
          const Search& s = down(x, D + 1);
          if (s.found && s.dBest + deficit <= c.deficit) {
            c.gear = s.best;
            c.deficit = s.dBest + deficit;
          }
        }
        break;
      }
      case Course::Hold:
        break;
    }
    return c;
  }

  // The state the next second starts from when state x drives on in its first gear,
  // explored at depth `depth` when it is new.
  State& keep_successor(State& x, int32_t depth) {
    State* next = x.keep;
    if (next == nullptr || next->stamp != x.keepStamp) {
      next = &state(depth, x.i + 1, x.gears[x.g].first.V, x.g, x.hold + 1);
      x.keep = next;
      x.keepStamp = next->stamp;
    }
    return *next;
  }

  // Makes every evaluation and search that sim_step makes from state x with D further
  // seconds of look-ahead, whatever the deficits handed in: the states it reaches do not
  // depend on them, nor do the searches but the downshift one, which is made whenever the
  // gear falls short. Its outcome then needs no evaluation that is not made here.
  void prepare(State* x, int32_t D) {
    for (;;) {
      const uint32_t bit = 1U << D;
      if ((x->prepared & bit) != 0) return;
      x->prepared |= bit;
      State* next = nullptr;
      if (x->preparing == Preparing::Searches) {
        const int32_t g = x->g;
        const GearStatus s0 = x->gears[g].first.status;
        switch (x->course) {
          case Course::Reengage:
            if (!up(*x, D + 1, false).found) retry(*x, false);
            return;
          case Course::Over: {
            int32_t gear = g, m = RetryHorizon;
            if (const Search& s = up(*x, D + 1, true); s.found) {
              gear = s.best;
            } else if (const Search& t = retry(*x, true); t.found) {
              gear = t.best;
              m = t.m;
            }
            if (D < 1 || x->ends) return;
            next = &state(D, x->i + 1, x->gears[gear].first.V, gear, hold_after_shift(m));
            break;
          }
          case Course::Decide:
            if (g < gearCount) up(*x, D + 1, true);
            if (s0 == GearStatus::Lowered || s0 == GearStatus::UnderSpeed) down(*x, D + 1);
            break;
          case Course::Hold:
          case Course::OverTop:
            break;
        }
      }
      // Past the look-ahead, the cycle's end or at a standstill target there is nothing
      // further.
      if (D < 1 || x->ends) return;
      x = next != nullptr ? next : &keep_successor(*x, D);
      --D;
    }
  }

  // The state the next step most likely starts from: the last step's keep successor, as
  // long as its stamp is rootStamp.
  State* root = nullptr;
  uint64_t rootStamp = 0;

  // The state of the step at point i from `from`, at the full look-ahead depth.
  State& root_state(int32_t i, const Start& from) {
    State* x = root;
    if (x != nullptr && x->stamp == rootStamp && x->i == i && x->vinBits == std::bit_cast<uint64_t>(from.V) &&
        x->gear_in == from.gear && x->hold_in == from.hold) {
      return *x;
    }
    return state(LookAheadDepth, i, from.V, from.gear, from.hold);
  }

  // Records the step's outcome of evaluation e with engine speed Ne and gear in place k, and
  // where the next step starts.
  static void finish(Start& from, Records& out, std::size_t k, const GearEvalResult& e, double V, double Ne,
                     double Te, int32_t gear, int32_t hold) {
    out.set(k, V, Ne, Te, gear);
    // The evaluation looked its full-load torque up at its own engine speed, unless it ended
    // past Nex or below the gear's lowest speed.
    if (e.status != GearStatus::OverSpeed && e.status != GearStatus::UnderSpeed &&
        std::bit_cast<uint64_t>(Ne) == std::bit_cast<uint64_t>(e.engine_speed_rpm)) {
      out.full_load_torque_nm[k] = e.Tmax;
    }
    from = Start{V, gear, hold};
  }

  // prepare at the full look-ahead depth. Most steps drive on in their gear, as did the step
  // before: its look-ahead prepared this state and its successor one second less far, and
  // only the state after them is new.
  void prepare_root(State& x) {
    constexpr int32_t D = LookAheadDepth - 1;
    static_assert(D == 2);
    if (x.preparing == Preparing::DriveOn && (x.prepared & (1U << D)) == 0 && !x.ends) {
      State* y = x.keep;
      if (y != nullptr && y->stamp == x.keepStamp && y->preparing == Preparing::DriveOn &&
          (y->prepared & (1U << (D - 1))) == 0) {
        x.prepared |= 1U << D;
        y->prepared |= 1U << (D - 1);
        if (!y->ends) prepare(&keep_successor(*y, D - 1), D - 2);
        return;
      }
    }
    prepare(&x, D);
  }

  // sim_step's step at the full look-ahead depth, but for the deficit, which is not worked
  // out: it weighs the gears of this step only, and only when a shift is found. The step
  // starts from `from` and leaves it where it ends.
  [[gnu::always_inline]] void step(int32_t i, Start& from, Records& out, std::size_t k) {
    constexpr int32_t D = LookAheadDepth - 1;
    const EngineData& eng = r.eng;
    if (i > n) {
      out.set(k, 0.0, 0.0, 0.0, from.gear);
      from.V = 0.0;
      return;
    }
    const double Vt = target[static_cast<std::size_t>(i)];
    const int32_t gear_in = from.gear;
    // Standing still, or rolling in neutral while the target still falls: the engine idles.
    const bool standstill = Vt <= 0.0;
    if (standstill || (gear_in == 0 && from.V != 0.0 && Vt - from.V < 0.0)) {
      out.set(k, Vt, eng.idle_speed_rpm, 0.0, 0);
      from = Start{Vt, 0, standstill ? from.hold : HoldSeconds};
      return;
    }
    State& x = root_state(i, from);
    prepare_root(x);
    int32_t hold = x.hold;
    const int32_t g = x.g;
    const GearEvalResult& e = x.gears[g].first;
    int32_t gear = g;
    int32_t m = RetryHorizon;
    switch (x.course) {
      case Course::Hold:
        if (e.status == GearStatus::UnderSpeed || e.status == GearStatus::Idles) {
          finish(from, out, k, e, e.V, e.engine_speed_rpm, e.engine_torque_nm, 0, HoldSeconds);
          return;
        }
        if (e.status == GearStatus::OverSpeed && g < gearCount) {
          finish(from, out, k, e, 0.0, e.engine_speed_rpm, e.engine_torque_nm, g, hold);
          return;
        }
        root = x.keep;
        rootStamp = x.keepStamp;
        finish(from, out, k, e, e.V, e.engine_speed_rpm, e.engine_torque_nm, g, hold + 1);
        return;
      case Course::Reengage:
        if (const Search& s = up(x, D + 1, false); s.found) {
          gear = s.best;
        } else {
          const Search& t = retry(x, false);
          m = t.m;
          if (t.found) gear = t.best;
        }
        break;
      case Course::OverTop:
        break;
      case Course::Over:
        if (const Search& s = up(x, D + 1, true); s.found) {
          gear = s.best;
        } else if (const Search& t = retry(x, true); t.found) {
          gear = t.best;
          m = t.m;
        }
        break;
      case Course::Decide: {
        // Keeping gear g against the best upshift and, when the gear falls short, the
        // best downshift: the deficit of keeping it is needed only when one is found.
        const Search* upward = g < gearCount ? &up(x, D + 1, true) : nullptr;
        const GearStatus s0 = e.status;
        const Search* downward =
            s0 == GearStatus::Lowered || s0 == GearStatus::UnderSpeed ? &down(x, D + 1) : nullptr;
        const bool upFound = upward != nullptr && upward->found;
        const bool downFound = downward != nullptr && downward->found;
        if (upFound || downFound) {
          constexpr double deficit = 0.0;
          const double Dstay = rec_keep(x, D, deficit);
          if (upFound && upward->dBest + deficit <= Dstay) {
            gear = upward->best;
          } else if (downFound && downward->dBest + deficit <= Dstay) {
            gear = downward->best;
          }
        }
        break;
      }
    }
    // The chosen gear's evaluation; the clutch slips below Nes.
    const GearEvalResult& f = x.gears[gear].first;
    double Ne = f.engine_speed_rpm;
    if (Ne < eng.engage_speed_rpm) {
      Ne = eng.engage_speed_rpm;
    } else if (Ne < eng.release_speed_rpm) {
      out.set(k, f.V, eng.idle_speed_rpm, 0.0, 0);
      from = Start{f.V, 0, HoldSeconds};
      return;
    }
    if (gear == g) {
      root = x.keep;
      rootStamp = x.keepStamp;
    }
    finish(from, out, k, f, f.V, Ne, f.engine_torque_nm, gear, hold_after_step(gear, gear_in, hold, m));
  }
};

Stepper::Stepper(const SimContext& context) : context_(context), states_(std::make_unique<States>(context)) {}

Stepper::~Stepper() = default;

void Stepper::steps(int32_t first, int32_t last, Start& from, Records& records, std::vector<int32_t>& exhausted) {
  int32_t i = first;
  GearEvaluator& evaluator = context_.evaluator;
  if (states_ != nullptr) {
    States& states = *states_;
    Start at = from;  // where step i starts
    try {
      for (; i <= last; ++i) {
        Start next = at;
        states.step(i, next, records, static_cast<std::size_t>(i - first));
        if (evaluator.exhausted_seen()) [[unlikely]] break;
        evaluator.release_unkept();
        at = next;
      }
    } catch (const Error&) {
      // sim_step takes the step again and stops as it stops.
    }
    from = at;
    if (i > last) return;
    states_.reset();
  }
  int32_t& count = *context_.exhausted_searches;
  for (; i <= last; ++i) {
    const StepOutcome o = sim_step(context_, i, from.V, from.gear, from.hold, LookAheadDepth, 0.0);
    evaluator.release_unkept();
    if (static_cast<std::size_t>(count) > exhausted.size()) exhausted.resize(static_cast<std::size_t>(count), i);
    records.set(static_cast<std::size_t>(i - first), o.V, o.engine_speed_rpm, o.engine_torque_nm, o.gear);
    from.V = o.V;
    from.gear = o.gear;
  }
}

}  // namespace hdfe
