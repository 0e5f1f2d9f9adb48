#include "model/curvelookup.h"

#include <algorithm>
#include <cmath>

namespace hdfe {

namespace {

// Value of segment i (0-based) at speed s.
double on_segment(const double* speed, const double* torque, int i, double s) {
  return torque[i] + ((s - speed[i]) * (torque[i + 1] - torque[i])) / (speed[i + 1] - speed[i]);
}

}  // namespace

double curve_lookup(const TorqueCurve& curve, double s) {
  const int m = curve.point_count();
  const double* speed = curve.speeds_rpm.data();
  const double* torque = curve.torques_nm.data();
  if (m < 2) return m == 1 ? torque[0] : 0.0;
  int i = m - 2;  // 0-based segment; the last one unless a lower segment holds s
  if (s < speed[0]) {
    i = 0;
  } else if (s < speed[m - 1]) {
    // The speeds ascend, so the segment with speed(i) <= s < speed(i + 1) ends at the
    // first point above s.
    i = static_cast<int>(std::upper_bound(speed, speed + m, s) - speed) - 1;
  }
  return on_segment(speed, torque, i, s);
}

IndexedCurve::IndexedCurve(const TorqueCurve& curve)
    : curve_(curve), count_(curve.point_count()) {
  const int m = count_;
  if (m < 2 || curve.torques_nm.size() < static_cast<std::size_t>(m)) return;
  const double* speed = curve.speeds_rpm.data();
  const double* torque = curve.torques_nm.data();
  segments_.resize(static_cast<std::size_t>(m - 1));
  for (int i = 0; i + 1 < m; ++i) {
    segments_[static_cast<std::size_t>(i)] =
        Segment{speed[i], speed[i + 1], torque[i], torque[i + 1] - torque[i], speed[i + 1] - speed[i]};
  }
  if (m < 3) return;
  // Speeds that do not ascend (or NaN) leave the curve without an index: it is looked up
  // plainly.
  for (int i = 0; i + 1 < m; ++i) {
    if (!(speed[i + 1] >= speed[i])) return;
  }
  const double span = speed[m - 1] - speed[0];
  const int buckets = m;
  // A span too narrow for the buckets to be counted in it is looked up plainly too.
  if (!(span > 0.0) || !std::isfinite(span) || !std::isfinite(buckets / span)) return;
  scale_ = buckets / span;
  // Each bucket names the segment that holds its start (what a binary search finds), the
  // last one from the last point on. The start only needs to be near its true value: find
  // walks from the segment named. A speed below the last point is at most (by rounding)
  // at the start of bucket `buckets`, which names the last segment.
  bucket_.resize(static_cast<std::size_t>(buckets) + 1);
  int32_t* bucket = bucket_.data();
  const double width = span / buckets;
  double start = speed[0];  // of bucket b, summed up
  int i = 0;
  for (int b = 0; b < buckets; ++b, start += width) {
    while (i < m - 2 && speed[i + 1] <= start) ++i;
    bucket[b] = i;
  }
  bucket[buckets] = m - 2;
  indexedFrom_ = speed[0];
  indexedTo_ = speed[m - 1];
}

double IndexedCurve::operator()(double s) const {
  int segment = -1;
  return find(s, segment);
}

double IndexedCurve::find_outside(double s, int& hint) const {
  if (bucket_.empty()) {
    hint = -1;
    return curve_lookup(curve_, s);
  }
  hint = s < indexedFrom_ ? 0 : count_ - 2;
  return segments_[static_cast<std::size_t>(hint)].at(s);
}

}  // namespace hdfe
