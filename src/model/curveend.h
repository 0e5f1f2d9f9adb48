// Where a torque curve's straight-line extension has no slope: beyond an end at which
// two points share one speed (a vertical drop at the cut-off speed).
#pragma once
#include "hdfe/vehicle.h"

namespace hdfe {

// True when curve_lookup at engine speed s [rpm] would divide by zero: s at or above the
// highest speed when the last two points share it, or s below the lowest speed when the
// first two share it. Such a curve is sound as long as a run drives no second there.
bool beyond_vertical_end(const TorqueCurve& curve, double s);

// True when the curve has such an end at either side.
bool has_vertical_end(const TorqueCurve& curve);

}  // namespace hdfe
