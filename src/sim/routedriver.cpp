#include "sim/routedriver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "core/constants.h"
#include "hdfe/cycle.h"
#include "hdfe/error.h"
#include "model/curvelookup.h"
#include "sim/geareval.h"
#include "sim/simstep.h"

namespace hdfe {

namespace {

constexpr double MsPerKmh = 1.0 / KmhPerMs;
// A second that ends this close to a stop has reached it [m].
constexpr double ArrivalTolerance = 1.0e-6;
// Seconds the simulation's look-ahead is given beyond the second being driven: it reads three
// further points, and the moving-off search a few more.
constexpr int32_t PredictedPoints = 8;
// Seconds in a row that a moving vehicle may go without advancing before the run stops.
constexpr int64_t MaxStalledSeconds = 600;

}  // namespace

RouteDriver::RouteDriver(const Route& route) : route_(route) {
  double top = 0.0;
  for (std::size_t k = 0; k < route.distance_m.size(); ++k) {
    top = std::max(top, route.speed_km_per_h[k] * MsPerKmh);
    if (!route.stop_s.empty() && route.stop_s[k] > 0.0) stops_.push_back(k);
  }
  const double a = RouteBrakingDecelerationMs2;
  // Braking from the top speed to a standstill, and one second at the top speed.
  reach_m_ = (top * top) / (2.0 * a) + top + 1.0;
}

std::size_t RouteDriver::row_at(double x_m) const {
  const std::vector<double>& d = route_.distance_m;
  const auto after = std::upper_bound(d.begin(), d.end(), x_m);
  return after == d.begin() ? 0 : static_cast<std::size_t>(after - d.begin()) - 1;
}

RouteDriver::State RouteDriver::start() const {
  State s;
  if (!stops_.empty() && stops_.front() == 0) {
    s.standing_s = static_cast<int64_t>(route_.stop_s.front());
  } else {
    s.v_km_per_h = std::numeric_limits<double>::infinity();  // rolling at the first target
    s.v_km_per_h = aim(s).target_km_per_h;
  }
  return s;
}

RouteDriver::Aim RouteDriver::aim(const State& s) const {
  const std::size_t last = route_.distance_m.size() - 1;
  // The last row ends the road: its stretch is the one before it.
  const std::size_t stretch = std::min(s.row, last - 1);
  Aim out{route_.speed_km_per_h[stretch], route_.grade_percent[stretch]};
  const bool endsStanding = !stops_.empty() && stops_.back() == last;
  if (s.standing_s > 0 || (s.finished && endsStanding)) {
    out.target_km_per_h = 0.0;
    return out;
  }
  if (s.finished) return out;  // the road goes on at its last limit for the look-ahead
  const double a = RouteBrakingDecelerationMs2;
  double target = out.target_km_per_h;
  // The speed from which braking at a reaches w [m/s] at a point gap metres on.
  const auto curve = [a](double w, double gap) { return (-a + std::sqrt(a * a + w * w + 2.0 * a * gap)) * KmhPerMs; };
  for (std::size_t j = stretch + 1; j < last && route_.distance_m[j] - s.x_m <= reach_m_; ++j) {
    const double limit = route_.speed_km_per_h[j];
    if (limit >= target) continue;
    target = std::min(target, std::max(limit, curve(limit * MsPerKmh, route_.distance_m[j] - s.x_m)));
  }
  if (s.stop < stops_.size()) {
    const double gap = route_.distance_m[stops_[s.stop]] - s.x_m;
    if (gap <= RouteArrivalDistanceM) {
      target = std::min(target, std::max(gap, 0.0) * KmhPerMs);
    } else if (gap <= reach_m_) {
      target = std::min(target, curve(0.0, gap));
    }
  }
  out.target_km_per_h = std::min(target, s.v_km_per_h + RouteAccelerationMs2 * KmhPerMs);
  return out;
}

void RouteDriver::advance(State& s, double V_km_per_h) const {
  if (s.finished) return;
  const std::size_t last = route_.distance_m.size() - 1;
  s.v_km_per_h = V_km_per_h;
  if (s.standing_s > 0) {
    if (--s.standing_s == 0) {
      s.finished = stops_[s.stop] == last;
      ++s.stop;
    }
    return;
  }
  s.x_m += V_km_per_h * MsPerKmh;
  if (s.stop < stops_.size()) {
    const std::size_t row = stops_[s.stop];
    if (s.x_m >= route_.distance_m[row] - ArrivalTolerance) {
      s.x_m = route_.distance_m[row];
      s.row = row;
      s.standing_s = static_cast<int64_t>(route_.stop_s[row]);
      return;
    }
  }
  while (s.row < last && route_.distance_m[s.row + 1] <= s.x_m) ++s.row;
  if (s.x_m >= route_.distance_m[last] - ArrivalTolerance) s.finished = true;
}

std::vector<int64_t> RouteDriver::seconds_at_targets() const {
  std::vector<int64_t> seconds(route_.distance_m.size(), 0);
  State s = start();
  for (std::size_t k = 0; !s.finished && k < MaxCyclePoints; ++k) {
    ++seconds[std::min(s.row, seconds.size() - 1)];
    advance(s, aim(s).target_km_per_h);
  }
  return seconds;
}

namespace {

[[noreturn]] void stop_stalled(double x_m, double grade) {
  char text[200];
  std::snprintf(text, sizeof text,
                "The vehicle stopped moving at %.3f km of the route (grade %.2f %%) and cannot go on: check the "
                "grades, the full-load curve and the gear ratios",
                x_m / 1000.0, grade);
  throw Error(ErrorKind::Limit, text);
}

}  // namespace

RouteSimulation run_route_cycle(const RouteDriver& driver, const VehicleSpec& spec, const EngineData& eng,
                                const TransmissionData& trn, const TorqueCurve& fullLoad) {
  constexpr int32_t LookAhead = 3;
  RouteSimulation out;
  std::vector<double>& speed = out.target_speed_km_per_h;
  std::vector<double>& grade = out.grade_percent;
  CycleTrace& trace = out.simulation.trace;
  RouteDriver::State s = driver.start();

  // The table is written as the driver goes: before step i, point i from where the vehicle
  // is and the points after it as the driver would meet them at its targets.
  DriveCycle cycle;
  // A vehicle that has lost all its speed in gear on a climb stands for a second, so that it
  // moves off again in a starting gear (the gear choice moves off only from neutral).
  bool restart = false;
  const auto predict = [&](int32_t i) {
    const std::size_t need = static_cast<std::size_t>(i + PredictedPoints) + 1;
    if (speed.size() < need) {
      speed.resize(std::max(need, 2 * speed.size()), 0.0);
      grade.resize(speed.size(), 0.0);
    }
    RouteDriver::State ahead = s;
    for (int32_t j = 0; j <= PredictedPoints; ++j) {
      const RouteDriver::Aim a = driver.aim(ahead);
      speed[static_cast<std::size_t>(i + j)] = a.target_km_per_h;
      grade[static_cast<std::size_t>(i + j)] = a.grade_percent;
      driver.advance(ahead, a.target_km_per_h);
    }
    if (restart) speed[static_cast<std::size_t>(i)] = 0.0;
    cycle.n = i + PredictedPoints;
    cycle.target_speed_km_per_h = speed;
    cycle.grade_percent = grade;
  };

  const std::vector<int64_t> ideal = driver.seconds_at_targets();
  int64_t expected = 0;
  for (const int64_t seconds : ideal) expected += seconds;
  int32_t exhausted = 0;
  const std::size_t reserve = static_cast<std::size_t>(std::min<int64_t>(expected, 1'000'000));
  GearEvaluator evaluator(spec, eng, trn, fullLoad, reserve + reserve / 4);
  const SimContext context{cycle, spec, eng, trn, fullLoad, &exhausted, evaluator};
  const IndexedCurve& fullLoadAt = evaluator.full_load_index();
  std::vector<int32_t>& noted = out.simulation.exhausted_searches;
  const auto note_exhausted = [&](int32_t second) {
    if (static_cast<std::size_t>(exhausted) == noted.size()) return;
    noted.insert(noted.end(), static_cast<std::size_t>(exhausted) - noted.size(), second);
  };

  // Point 0 is where the route starts: standing at a first stop, else rolling at its target.
  predict(0);
  int32_t hold = 3;
  StepOutcome step = sim_step(context, 1, speed[1], trn.gear_count(), hold, LookAhead, 0.0);
  note_exhausted(0);
  int segment = -1;
  double progress = 0.0;  // where the vehicle last moved on from
  int64_t stalled = 0;
  for (int32_t i = 1;; ++i) {
    if (static_cast<std::size_t>(i) >= MaxCyclePoints) {
      throw Error(ErrorKind::Limit, "The route takes more than " + std::to_string(MaxCyclePoints) + " seconds");
    }
    predict(i);
    out.start_position_m.push_back(s.x_m);
    step = sim_step(context, i, step.V, step.gear, hold, LookAhead, 0.0);
    evaluator.release_unkept();
    note_exhausted(i);
    const double tmax = fullLoadAt.near(step.engine_speed_rpm, segment);
    record_step(trace, step, eng, tmax);
    const bool standing = s.standing_s > 0;
    restart = step.V == 0.0 && step.gear != 0;
    driver.advance(s, step.V);
    if (s.finished) {
      out.steps = i;
      break;
    }
    if (standing || s.x_m > progress) {
      progress = s.x_m;
      stalled = 0;
    } else if (++stalled > MaxStalledSeconds) {
      stop_stalled(s.x_m, grade[static_cast<std::size_t>(i)]);
    }
  }
  // Points past n read as 0, as the built-in tables hold them.
  const std::size_t points = static_cast<std::size_t>(out.steps) + 1;
  speed.resize(points + 3);
  grade.resize(points + 3);
  std::fill(speed.begin() + static_cast<std::ptrdiff_t>(points), speed.end(), 0.0);
  std::fill(grade.begin() + static_cast<std::ptrdiff_t>(points), grade.end(), 0.0);
  return out;
}

}  // namespace hdfe
