// What a route did to the vehicle's time, and the route kilometre by kilometre.
#pragma once
#include <span>

#include "hdfe/hdfe.h"
#include "hdfe/route.h"
#include "sim/routedriver.h"

namespace hdfe {

// The figures of a driven route from its simulation and its fuel rates (idle stop applied).
RouteFigures route_figures(const Route& route, const RouteDriver& driver, const RouteSimulation& simulation,
                           std::span<const double> fuel_rate_l_per_h);

}  // namespace hdfe
