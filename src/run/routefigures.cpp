#include "run/routefigures.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/constants.h"

namespace hdfe {

namespace {

constexpr double MetresPerKm = 1000.0;

// The route's elevation at x, linear between rows.
double elevation_at(const Route& route, double x) {
  const std::vector<double>& d = route.distance_m;
  const auto after = std::upper_bound(d.begin(), d.end(), x);
  if (after == d.begin()) return route.elevation_m.front();
  if (after == d.end()) return route.elevation_m.back();
  const std::size_t k = static_cast<std::size_t>(after - d.begin()) - 1;
  const double w = (x - d[k]) / (d[k + 1] - d[k]);
  return route.elevation_m[k] + (route.elevation_m[k + 1] - route.elevation_m[k]) * w;
}

// The mean grade over [from, to), weighted by distance.
double mean_grade(const Route& route, const RouteDriver& driver, double from, double to) {
  double sum = 0.0;
  const std::size_t last = route.distance_m.size() - 1;
  for (std::size_t k = driver.row_at(from); k < last && route.distance_m[k] < to; ++k) {
    const double lo = std::max(from, route.distance_m[k]);
    const double hi = std::min(to, route.distance_m[k + 1]);
    if (hi > lo) sum += route.grade_percent[k] * (hi - lo);
  }
  return to > from ? sum / (to - from) : 0.0;
}

}  // namespace

RouteFigures route_figures(const Route& route, const RouteDriver& driver, std::span<const double> start_position_m,
                           const CycleTrace& trace) {
  RouteFigures f;
  f.name = route.name;
  const double length = route.distance_m.back();
  f.length_km = length / MetresPerKm;
  f.time_s = static_cast<double>(start_position_m.size());
  const std::vector<int64_t> ideal = driver.seconds_at_targets();
  std::vector<int64_t> actual(ideal.size(), 0);
  for (const double x : start_position_m) ++actual[driver.row_at(x)];
  for (std::size_t k = 0; k < ideal.size(); ++k) {
    f.time_at_targets_s += static_cast<double>(ideal[k]);
    if (route.grade_percent[k] > 0.0 && k + 1 < ideal.size()) {
      f.time_lost_climbing_s += static_cast<double>(actual[k] - ideal[k]);
    }
    if (!route.stop_s.empty()) f.stopped_s += route.stop_s[k];
  }
  f.time_lost_s = f.time_s - f.time_at_targets_s;

  const std::size_t kms = static_cast<std::size_t>(std::ceil(length / MetresPerKm));
  f.kilometres.assign(std::max<std::size_t>(kms, 1), RouteKilometre{});
  const std::vector<double>& speed = trace.speed_km_per_h;
  const std::vector<double>& fuel = trace.fuel_rate_l_per_h;
  for (std::size_t i = 0; i < start_position_m.size(); ++i) {
    const double x = start_position_m[i];
    const std::size_t k = std::min(static_cast<std::size_t>(std::max(x, 0.0) / MetresPerKm), f.kilometres.size() - 1);
    RouteKilometre& km = f.kilometres[k];
    km.time_s += 1.0;
    km.distance_km += speed[i] / SecondsPerHour;
    if (i < fuel.size()) km.fuel_l += fuel[i] / SecondsPerHour;
  }
  for (std::size_t k = 0; k < f.kilometres.size(); ++k) {
    RouteKilometre& km = f.kilometres[k];
    const double from = static_cast<double>(k) * MetresPerKm;
    const double to = std::min(from + MetresPerKm, length);
    km.start_km = from / MetresPerKm;
    km.average_speed_km_per_h = km.time_s > 0.0 ? km.distance_km / km.time_s * SecondsPerHour : 0.0;
    km.grade_percent = mean_grade(route, driver, from, to);
    km.elevation_m = elevation_at(route, to);
  }
  return f;
}

}  // namespace hdfe
