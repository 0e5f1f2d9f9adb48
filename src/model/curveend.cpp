#include "model/curveend.h"

namespace hdfe {

bool beyond_vertical_end(const TorqueCurve& curve, double s) {
  const int32_t m = curve.point_count();
  if (m < 2 || curve.speeds_rpm.size() < static_cast<std::size_t>(m)) return false;
  const double* speed = curve.speeds_rpm.data();
  return (s >= speed[m - 1] && speed[m - 2] == speed[m - 1]) || (s < speed[0] && speed[0] == speed[1]);
}

bool has_vertical_end(const TorqueCurve& curve) {
  const int32_t m = curve.point_count();
  if (m < 2 || curve.speeds_rpm.size() < static_cast<std::size_t>(m)) return false;
  const double* speed = curve.speeds_rpm.data();
  return speed[m - 2] == speed[m - 1] || speed[0] == speed[1];
}

}  // namespace hdfe
