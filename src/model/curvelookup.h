// Straight-line lookup of a torque curve.
#pragma once
#include <algorithm>
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

  // The same lookup, trying first the segment named by hint (a 0-based segment, or -1
  // for none) and then its neighbours, and leaving hint at the segment used: a run of
  // nearby speeds looks the curve up in a comparison or two. The segment holding s is the
  // only one whose speeds bracket it, so the value is the same. Beyond an end of the curve
  // (or at NaN) the end segment named by hint extends, as in find, and hint stays on it:
  // engine speeds past the last point come in runs too.
  double near(double s, int& hint) const {
    if (hint >= 0) {
      const Segment* at = segments_.data() + hint;
      if (s < at->to) {
        if (at->from <= s) return at->at(s);
        if (hint > 0) {
          if (at[-1].from <= s) {
            --hint;
            return at[-1].at(s);
          }
        } else {
          return at->at(s);  // below the first point
        }
      } else if (hint + 2 < count_) {
        if (s < at[1].to) {
          ++hint;
          return at[1].at(s);
        }
      } else {
        return at->at(s);  // at or past the last point, or NaN
      }
    }
    return find(s, hint);
  }

  // near's lookup, leaving seg at the segment named by the hint it leaves (unset for
  // none): the segment used, which need not hold s beyond the curve's ends.
  double near(double s, int& hint, Segment& seg) const {
    const double value = near(s, hint);
    seg = segment(hint);
    return value;
  }

  // Segment `hint` as near leaves it: set for a segment (0-based), unset for -1.
  Segment segment(int hint) const { return hint < 0 ? Segment{} : segments_[static_cast<std::size_t>(hint)]; }

 private:
  // The lookup; hint is left at the segment used (-1 for a curve without an index).
  // Inside the speeds of an indexed curve the bucket of s names a segment near the one
  // holding s (s at most one bucket width past the last bucket's start, by rounding,
  // falls in the extra bucket); outside them the first segment extends below the first
  // point, the last one from the last point on (and at NaN).
  double find(double s, int& hint) const {
    if (indexedFrom_ <= s && s < indexedTo_) {
      int i = bucket_[static_cast<std::size_t>(static_cast<int32_t>((s - indexedFrom_) * scale_))];
      const Segment* segment = segments_.data();
      while (i > 0 && s < segment[i].from) --i;
      while (segment[i].to <= s) ++i;
      hint = i;
      return segment[i].at(s);
    }
    return find_outside(s, hint);
  }
  // find's lookup outside the indexed speeds, and on a curve without an index.
  double find_outside(double s, int& hint) const;

  const TorqueCurve& curve_;
  int count_ = 0;  // the curve's points
  // The speeds the index covers, its first point's up to its last [rpm]: NaN, which
  // holds no speed, without an index.
  double indexedFrom_ = std::numeric_limits<double>::quiet_NaN();
  double indexedTo_ = std::numeric_limits<double>::quiet_NaN();
  double scale_ = 0.0;           // buckets per rpm
  std::vector<int32_t> bucket_;  // one per bucket and an extra one; empty: no index
  // The curve's segments, their rise and run computed as the plain lookup computes them
  // (none for a curve of fewer than two points).
  std::vector<Segment> segments_;
};

}  // namespace hdfe
