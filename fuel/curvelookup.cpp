#include "fuel/curvelookup.h"

double CURVELOOKUP(const TorqueCurve& curve, double s) {
  const int m = curve.PointCount;
  const double* speed = curve.Speeds.data();
  const double* torque = curve.Torques.data();
  if (m < 2) return m == 1 ? torque[0] : 0.0;
  int i = m - 2;  // 0-based segment; the last one unless a lower segment holds s
  if (s < speed[0]) {
    i = 0;
  } else if (!(s >= speed[m - 1])) {
    for (int k = 0; k < m - 1; ++k) {
      if (speed[k] <= s && s < speed[k + 1]) {
        i = k;
        break;
      }
    }
  }
  return torque[i] + ((s - speed[i]) * (torque[i + 1] - torque[i])) / (speed[i + 1] - speed[i]);
}
