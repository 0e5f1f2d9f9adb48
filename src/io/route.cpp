// Routes put together from columns, and their checks.
#include <algorithm>
#include <cmath>
#include <string>

#include "hdfe/error.h"
#include "hdfe/route.h"

namespace hdfe {

namespace {

// The centred moving mean of the elevations over window_m: the mean of the points within
// half the window either side of each point.
std::vector<double> smoothed(const std::vector<double>& d, const std::vector<double>& e, double window_m) {
  if (!(window_m > 0.0)) return e;
  const double half = window_m / 2.0;
  std::vector<double> out(e.size());
  std::size_t lo = 0, hi = 0;  // points lo .. hi - 1 lie within the window
  double sum = 0.0;
  for (std::size_t k = 0; k < e.size(); ++k) {
    while (hi < e.size() && d[hi] <= d[k] + half) sum += e[hi++];
    while (d[lo] < d[k] - half) sum -= e[lo++];
    out[k] = sum / static_cast<double>(hi - lo);
  }
  return out;
}

std::string at(std::size_t k) { return "row " + std::to_string(k + 1); }

}  // namespace

void check_route_values(const Route& route) {
  const std::size_t rows = route.distance_m.size();
  const auto fail = [&](const std::string& message) {
    throw Error(ErrorKind::BadValue, "route " + route.name + ": " + message);
  };
  if (rows < 2) fail("a route needs at least two rows (its start and its end)");
  if (rows > MaxRouteRows) fail("more than " + std::to_string(MaxRouteRows) + " rows");
  const auto sized = [&](const std::vector<double>& column, const char* name, bool optional) {
    if (column.size() == rows || (optional && column.empty())) return;
    fail(std::string("the ") + name + " column has " + std::to_string(column.size()) + " rows, the distance " +
         std::to_string(rows));
  };
  sized(route.speed_km_per_h, "speed", false);
  sized(route.grade_percent, "grade", false);
  sized(route.stop_s, "stop", true);
  sized(route.elevation_m, "elevation", true);
  for (std::size_t k = 0; k < rows; ++k) {
    const double d = route.distance_m[k];
    if (!std::isfinite(d)) fail("the distance at " + at(k) + " is not a finite number");
    if (k == 0 && d != 0.0) fail("the distance does not start at 0");
    if (k > 0 && !(d > route.distance_m[k - 1])) fail("the distance does not increase at " + at(k));
    if (d > MaxRouteLengthM) fail("the route is longer than " + std::to_string(MaxRouteLengthM / 1000.0) + " km");
    const double v = route.speed_km_per_h[k];
    if (!(std::isfinite(v) && v > 0.0)) fail("the speed at " + at(k) + " is not a finite speed above 0 (stop with stop_s)");
    if (!(std::fabs(route.grade_percent[k]) <= MaxRouteGradePercent)) {
      fail("the grade at " + at(k) + " is not within ±30 %");
    }
    if (!route.stop_s.empty()) {
      const double s = route.stop_s[k];
      if (!(s >= 0.0 && s <= MaxRouteStopS && s == std::floor(s))) {
        fail("the stop at " + at(k) + " is not a whole number of seconds from 0 to 86400");
      }
    }
    if (!route.elevation_m.empty() && !std::isfinite(route.elevation_m[k])) {
      fail("the elevation at " + at(k) + " is not a finite number");
    }
  }
}

Route make_route(std::string name, std::vector<double> distance_m, std::vector<double> speed_km_per_h,
                 std::vector<double> grade_percent, std::vector<double> elevation_m, std::vector<double> stop_s,
                 double elevation_window_m) {
  Route route;
  route.name = std::move(name);
  route.distance_m = std::move(distance_m);
  route.speed_km_per_h = std::move(speed_km_per_h);
  route.stop_s = std::move(stop_s);
  const std::size_t rows = route.distance_m.size();
  if (!grade_percent.empty() && !elevation_m.empty()) {
    throw Error(ErrorKind::BadValue, "route " + route.name + ": give the road as grades or as elevations, not both");
  }
  if (!elevation_m.empty()) {
    route.elevation_m = std::move(elevation_m);
    route.grade_percent.assign(rows, 0.0);
    check_route_values(route);  // the distances and elevations, before they are used
    route.elevation_m = smoothed(route.distance_m, route.elevation_m, elevation_window_m);
    for (std::size_t k = 0; k + 1 < rows; ++k) {
      route.grade_percent[k] = (route.elevation_m[k + 1] - route.elevation_m[k]) /
                               (route.distance_m[k + 1] - route.distance_m[k]) * 100.0;
      if (!(std::fabs(route.grade_percent[k]) <= MaxRouteGradePercent)) {
        throw Error(ErrorKind::BadValue, "route " + route.name + ": the elevation changes by " +
                                             std::to_string(route.grade_percent[k]) + " % between " + at(k) +
                                             " and " + at(k + 1) + ", beyond ±30 % (smooth it, or give grades)");
      }
    }
    route.grade_percent[rows - 1] = rows > 1 ? route.grade_percent[rows - 2] : 0.0;
  } else {
    route.grade_percent = grade_percent.empty() ? std::vector<double>(rows, 0.0) : std::move(grade_percent);
    route.elevation_m.assign(route.grade_percent.size(), 0.0);
    for (std::size_t k = 1; k < route.elevation_m.size() && k < rows; ++k) {
      route.elevation_m[k] = route.elevation_m[k - 1] +
                             route.grade_percent[k - 1] / 100.0 * (route.distance_m[k] - route.distance_m[k - 1]);
    }
  }
  check_route_values(route);
  return route;
}

}  // namespace hdfe
