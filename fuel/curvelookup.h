// Straight-line lookup of a torque curve.
#pragma once
#include "records/input.h"

namespace hdfe {

// Torque [N·m] of the curve at engine speed s [rpm], interpolated between neighbouring
// points and extended beyond the ends along the first and last segments.
double curve_lookup(const TorqueCurve& curve, double s);

}  // namespace hdfe
