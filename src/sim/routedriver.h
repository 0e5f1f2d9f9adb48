// The driver of a route: where the vehicle is along it, and what it aims at each second
// (the model is described in <hdfe/route.h>).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hdfe/route.h"
#include "hdfe/vehicle.h"
#include "sim/runcycle.h"

namespace hdfe {

class RouteDriver {
 public:
  // Where the driver is.
  struct State {
    double x_m = 0.0;          // position along the route
    std::size_t row = 0;       // the row whose stretch holds x (the last row at the end)
    std::size_t stop = 0;      // the next stop not yet served (an index into the stops)
    int64_t standing_s = 0;    // seconds still to stand at the stop it is at
    double v_km_per_h = 0.0;   // the speed the last second ended at
    bool finished = false;
  };
  // What one second aims at.
  struct Aim {
    double target_km_per_h = 0.0;
    double grade_percent = 0.0;
  };

  // The route must outlive the driver and pass check_route_values.
  explicit RouteDriver(const Route& route);

  State start() const;
  Aim aim(const State& s) const;
  // Moves s on by a second that ended at speed V [km/h].
  void advance(State& s, double V_km_per_h) const;

  double length_m() const { return route_.distance_m.back(); }
  // The seconds the driver takes when every target is met at once, by the row whose stretch
  // each second starts in.
  std::vector<int64_t> seconds_at_targets() const;
  // The row whose stretch holds position x.
  std::size_t row_at(double x_m) const;

 private:
  const Route& route_;
  std::vector<std::size_t> stops_;  // rows with a stop, in order
  double reach_m_ = 0.0;            // farthest a braking curve looks ahead
};

// A route driven second by second: the trace, and the cycle table the driver made of it
// (the targets and grades of points 0..n, then zeros).
struct RouteSimulation {
  CycleSimulation simulation;
  std::vector<double> target_speed_km_per_h;
  std::vector<double> grade_percent;
  std::vector<double> start_position_m;  // where each step starts, step i at [i - 1]
  int32_t steps = 0;
};

// Drives the route (throws Error of kind Limit when the vehicle stops moving for good or the
// run would pass MaxCyclePoints seconds).
RouteSimulation run_route_cycle(const RouteDriver& driver, const VehicleSpec& spec, const EngineData& eng,
                                const TransmissionData& trn, const TorqueCurve& fullLoad);

}  // namespace hdfe
