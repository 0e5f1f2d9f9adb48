// Straight-line lookup of a torque curve.
#pragma once
#include "records/input.h"

// Torque [N·m] of the curve at engine speed s [rpm], interpolated between neighbouring
// points and extended beyond the ends along the first and last segments.
double CURVELOOKUP(const TorqueCurve& curve, double s);
