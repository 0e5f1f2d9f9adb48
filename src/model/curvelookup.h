// Straight-line lookup of a torque curve.
#pragma once
#include <cstdint>
#include <limits>
#include <vector>
#include "hdfe/vehicle.h"

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

  // The same lookup, trying first the segment named by hint (a 0-based segment, or -1
  // for none) and then its neighbours, and leaving hint at the segment used: a run of
  // nearby speeds looks the curve up in a comparison or two. The segment holding s is the only one whose speeds
  // bracket it, so the value is the same.
  double near(double s, int& hint) const {
    if (hint >= 0) {
      const double* speed = curve_.speeds_rpm.data();
      const int i = hint;
      if (s < speed[i + 1]) {
        if (speed[i] <= s) return on_segment(i, s);
        if (i > 0 && speed[i - 1] <= s) return on_segment(hint = i - 1, s);
      } else if (i + 2 < curve_.point_count() && s < speed[i + 2]) {
        return on_segment(hint = i + 1, s);
      }
    }
    return find(s, hint);
  }

 // A segment of the curve between two of its points, for a run of lookups that mostly
  // stays on it: the value of a speed it holds is the lookup's, by the same operations.
  struct Segment {
    double from = std::numeric_limits<double>::infinity();  // [rpm]; holds nothing when unset
    double to = -std::numeric_limits<double>::infinity();   // [rpm]
    double torque = 0.0;  // at `from` [N·m]
    double rise = 0.0;    // torque at `to` less torque at `from` [N·m]
    double run = 0.0;     // to - from [rpm]
    bool holds(double s) const { return from <= s && s < to; }
    double at(double s) const { return torque + ((s - from) * rise) / run; }
  };

  // near's lookup, leaving seg at the segment it used when that holds s (else unset).
  double near(double s, int& hint, Segment& seg) const {
    const double value = near(s, hint);
    seg = segment(hint);
    return value;
  }

  // Segment `hint` as near leaves it: set for a segment (0-based), unset for -1.
  Segment segment(int hint) const {
    if (hint < 0) return Segment{};
    const double* speed = curve_.speeds_rpm.data();
    const double* torque = curve_.torques_nm.data();
    return Segment{speed[hint], speed[hint + 1], torque[hint], torque[hint + 1] - torque[hint],
                   speed[hint + 1] - speed[hint]};
  }

 private:
  // Value of segment i (0-based) at speed s.
  double on_segment(int i, double s) const {
    const double* speed = curve_.speeds_rpm.data();
    const double* torque = curve_.torques_nm.data();
    return torque[i] + ((s - speed[i]) * (torque[i + 1] - torque[i])) / (speed[i + 1] - speed[i]);
  }
  // The lookup; hint is left at the segment used strictly inside the curve's speeds,
  // else at -1.
  double find(double s, int& hint) const;

  const TorqueCurve& curve_;
  double origin_ = 0.0;  // speed of the first point [rpm]
  double scale_ = 0.0;   // buckets per rpm
  std::vector<int32_t> bucket_;  // empty: no index
};

}  // namespace hdfe
