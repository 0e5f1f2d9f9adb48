#include "fuel/curvelookup.h"

#include <algorithm>

namespace hdfe {

double curve_lookup(const TorqueCurve& curve, double s) {
  const int m = curve.PointCount;
  const double* speed = curve.Speeds.data();
  const double* torque = curve.Torques.data();
  if (m < 2) return m == 1 ? torque[0] : 0.0;
  int i = m - 2;  // 0-based segment; the last one unless a lower segment holds s
  if (s < speed[0]) {
    i = 0;
  } else if (s < speed[m - 1]) {
    // The speeds ascend, so the segment with speed(i) <= s < speed(i + 1) ends at the
    // first point above s.
    i = static_cast<int>(std::upper_bound(speed, speed + m, s) - speed) - 1;
  }
  return torque[i] + ((s - speed[i]) * (torque[i + 1] - torque[i])) / (speed[i + 1] - speed[i]);
}

}  // namespace hdfe
