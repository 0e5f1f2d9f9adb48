// Roads of the user's own, known by distance: where the speed limit changes, where the
// vehicle stops and for how long, and how the road rises and falls.
//
//   hdfe::Route route = hdfe::read_route_file("depot-to-depot.csv");
//   hdfe::Result result = hdfe::run_routes(vehicle, {&route, 1});
//   double lost = result.routes.front().time_lost_s;
//
// How a route is driven. Each second the driver aims at the route's speed where the vehicle
// is, at most RouteAccelerationMs2 above the speed the vehicle has, lowered ahead of every lower limit and every stop along a braking curve of
// RouteBrakingDecelerationMs2, so that the vehicle reaches the limit or the stop and never
// passes it faster: the target u [m/s] of a second that starts x metres before a point whose
// speed is w [m/s] is at most -a + sqrt(a^2 + w^2 + 2 a x) — the speed from which braking at
// a reaches w at the point, counting the second's own distance at its end speed, as the
// simulation counts distance. Within RouteArrivalDistanceM of a stop the second's target is
// the remaining distance itself, so the vehicle ends the second at the stop; it then stands
// for the stop's seconds and moves off towards the next limit. The grade of a second is
// the road's grade where the second starts. The simulation's look-ahead sees the targets
// and grades of the next seconds as the driver would meet them at the targets. When the
// vehicle cannot hold its target (a climb, a weak engine), the driver's position is where
// the vehicle is: the route waits for it and the run ends at the route's end, whatever the
// time. A route starts rolling at its first target, as the built-in cycles start, unless its
// first row is a stop, which it starts standing at; it ends at its last row, standing there
// only if that row is a stop.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hdfe/hdfe.h"

namespace hdfe {

// Deceleration of the driver's braking curve ahead of lower limits and stops [m/s^2]: a
// heavy vehicle's anticipating driver lifts off early and brakes gently, well below the
// 1.5 to 3 m/s^2 of ordinary service braking.
inline constexpr double RouteBrakingDecelerationMs2 = 0.5;
// Most a target rises from the speed the vehicle has [m/s^2]: a heavy vehicle's driver speeds
// up gently, and a weaker engine speeds up less, as the simulation finds.
inline constexpr double RouteAccelerationMs2 = 1.0;
// Distance before a stop from which one second's target ends the second at the stop [m].
inline constexpr double RouteArrivalDistanceM = 0.5;
// Most rows a route file may hold.
inline constexpr std::size_t MaxRouteRows = 10'000'000;
// Longest route [m] (a hundred thousand km).
inline constexpr double MaxRouteLengthM = 1.0e8;
// Steepest grade a route may give, either way [%].
inline constexpr double MaxRouteGradePercent = 30.0;
// Longest stop [s] (a day).
inline constexpr double MaxRouteStopS = 86400.0;
// Window of a GPX track's elevation smoothing [m]: a centred moving mean over this distance
// takes out the metre-scale noise of GPS heights, which would otherwise read as grades of
// tens of per cent between points a few metres apart.
inline constexpr double GpxElevationWindowM = 100.0;

// A road by distance. Row k holds what starts at its distance: the speed limit and grade up
// to row k + 1, and a stop at it. The last row ends the road; its speed and grade are not
// driven.
struct Route {
  std::string name;
  std::vector<double> distance_m;      // from the start: 0 first, strictly increasing
  std::vector<double> speed_km_per_h;  // the target from row k on [km/h], more than 0
  std::vector<double> grade_percent;   // rise per 100 of horizontal distance from row k on [%]
  std::vector<double> stop_s;          // whole seconds standing at row k; 0: no stop. Empty: none
  std::vector<double> elevation_m;     // at row k: as given, or from the grades from 0 at the start
  std::string source;                  // the file read, or empty
};

// How a route file is read.
struct RouteReadOptions {
  // The speed limit of a GPX track everywhere [km/h] (a GPX file gives no limits); a CSV
  // route's own speed column wins.
  std::optional<double> speed_km_per_h;
  // The window of the elevation smoothing [m]: GPX tracks GpxElevationWindowM, CSV
  // elevations none (taken as surveyed) unless given.
  std::optional<double> elevation_window_m;
};

// Reads a route from a CSV file (UTF-8, a header row, lines starting with '#' ignored):
// distance_m, speed_km_per_h, grade_percent or elevation_m, optional stop_s; or from a GPX
// file (.gpx): its track points give the distance (along the great circle between points,
// on a sphere of radius 6,371,000 m) and the elevation, the speed limit coming from options.
// The route is named after the file's stem. Throws Error (BadValue, naming the file and line)
// on a file that does not give a valid route, MissingFile when it cannot be opened.
Route read_route_file(const std::filesystem::path& path, const RouteReadOptions& options = {});

// Puts a route together from its columns as a route file gives them: distances and speeds,
// the road as grades or as elevations (the other left empty; both empty: a level road), and
// stops (empty: none). Elevations give each stretch's grade as the difference of their
// centred moving means over elevation_window_m (0: as given) over the stretch's length, and
// are kept as smoothed; grades give elevations from 0 at the start. Checks the result as
// check_route_values does.
Route make_route(std::string name, std::vector<double> distance_m, std::vector<double> speed_km_per_h,
                 std::vector<double> grade_percent, std::vector<double> elevation_m, std::vector<double> stop_s,
                 double elevation_window_m = 0.0);

// Throws Error (BadValue) unless the route is valid as read_route_file requires: at least two
// rows, distances from 0 strictly increasing up to MaxRouteLengthM, speeds finite and more
// than 0, grades within MaxRouteGradePercent, stops whole seconds from 0 to MaxRouteStopS,
// and every column one value per row (stop_s and elevation_m may be empty).
void check_route_values(const Route& route);

// Runs the vehicle along each route as run_cycles() runs cycles (the same checks, idle stop,
// engineering values and figures, the torque-converter factor from the driven speeds), and
// gives each route's own figures (RouteFigures) in Result::routes. Throws Error as run_cycles() does, on a
// route check_route_values refuses, and (Limit) when the vehicle stops moving for good.
Result run_routes(const Vehicle& vehicle, std::span<const Route> routes, const RunOptions& options = {});

}  // namespace hdfe
