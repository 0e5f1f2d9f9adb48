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

IndexedCurve::IndexedCurve(const TorqueCurve& curve) : curve_(curve) {
  const int m = curve.point_count();
  if (m < 3 || curve.speeds_rpm.size() < static_cast<std::size_t>(m) || curve.torques_nm.size() < static_cast<std::size_t>(m))
    return;
  const double* speed = curve.speeds_rpm.data();
  for (int i = 1; i < m; ++i) {
    if (!(speed[i] >= speed[i - 1])) return;  // descending or NaN: plain lookup
  }
  const double span = speed[m - 1] - speed[0];
  if (!(span > 0.0) || !std::isfinite(span)) return;
  const int buckets = m;
  origin_ = speed[0];
  scale_ = buckets / span;
  bucket_.resize(static_cast<std::size_t>(buckets));
  // The bucket starts ascend, so the last point at or below each one (what a binary
  // search finds) is reached by walking on from the previous bucket's.
  int i = -1;
  for (int b = 0; b < buckets; ++b) {
    const double start = origin_ + b / scale_;
    while (i + 1 < m && speed[i + 1] <= start) ++i;
    bucket_[static_cast<std::size_t>(b)] = std::clamp(i, 0, m - 2);
  }
}

double IndexedCurve::operator()(double s) const {
  int segment = -1;
  return find(s, segment);
}

double IndexedCurve::find(double s, int& hint) const {
  hint = -1;
  if (bucket_.empty()) return curve_lookup(curve_, s);
  const int m = curve_.point_count();
  const double* speed = curve_.speeds_rpm.data();
  int i = m - 2;
  if (s < speed[0]) {
    i = 0;
  } else if (s < speed[m - 1]) {
    // The bucket's segment is near; walk to the last point at or below s, as the binary
    // search finds it.
    const double at = std::min((s - origin_) * scale_, static_cast<double>(bucket_.size() - 1));
    i = bucket_[static_cast<std::size_t>(at)];
    while (i > 0 && s < speed[i]) --i;
    while (speed[i + 1] <= s) ++i;
    hint = i;
  }
  return on_segment(i, s);
}

}  // namespace hdfe
