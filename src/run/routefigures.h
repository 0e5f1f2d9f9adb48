// What a route did to the vehicle's time, and the route kilometre by kilometre.
#pragma once
#include <span>

#include "hdfe/hdfe.h"
#include "hdfe/route.h"
#include "sim/routedriver.h"

namespace hdfe {

// The figures of a driven route from where each of its seconds started and its trace (fuel
// rates with idle stop applied).
RouteFigures route_figures(const Route& route, const RouteDriver& driver, std::span<const double> start_position_m,
                           const CycleTrace& trace);

}  // namespace hdfe
