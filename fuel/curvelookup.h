// Straight-line lookup of a torque curve.
#pragma once
#include <cstdint>
#include <vector>
#include "records/input.h"

namespace hdfe {

// Torque [N·m] of the curve at engine speed s [rpm], interpolated between neighbouring
// points and extended beyond the ends along the first and last segments.
double curve_lookup(const TorqueCurve& curve, double s);

// The same lookup through an index of equal speed buckets, each naming a segment near
// its speeds: a step or two instead of a binary search, the same segment, the same
// value. A curve whose speeds do not ascend is looked up plainly. The curve must outlive
// the index and stay unchanged.
class IndexedCurve {
 public:
  explicit IndexedCurve(const TorqueCurve& curve);
  double operator()(double s) const;

 private:
  const TorqueCurve& curve_;
  double origin_ = 0.0;  // speed of the first point [rpm]
  double scale_ = 0.0;   // buckets per rpm
  std::vector<int32_t> bucket_;  // empty: no index
};

}  // namespace hdfe
