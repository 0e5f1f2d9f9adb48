// Monotone piecewise cubic Hermite interpolation (Fritsch-Carlson with Brodlie's
// interior formula) and its failure report.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace hdfe {

// Sets derivatives d (stride incfd, like f) so that the cubic Hermite interpolant of
// (x, f) is monotone where the data are. ierr: changes of direction, or -1 (n < 2),
// -2 (incfd < 1), -3 (x not strictly increasing); d untouched on failure.
void hermite_derivatives(int32_t n, const double* x, const double* f, double* d, int32_t incfd, int32_t& ierr);

// Evaluates the interpolant at xe(1..ne) into fe, extrapolating with the end cubics.
// ierr: points extrapolated, or -1..-3 as hermite_derivatives (unless skip), -4 (ne < 1), -5.
void hermite_evaluate(int32_t n, const double* x, const double* f, const double* d, int32_t incfd, bool& skip,
            int32_t ne, const double* xe, double* fe, int32_t& ierr);

// The cubic of one interval as the evaluation uses it: f1 + t (d1 + t (c2 + t c3)) at
// t = xe - x1. Left unset by default, so that a table of them costs nothing until
// hermite_cubic fills its places.
struct HermiteCubic {
  double x1, f1, d1, c2, c3;
};

// Status of the table checks of both routines for x: 0, or -1, -2, -3.
int32_t hermite_table_check(int32_t n, const double* x, int32_t incfd);

// The cubic of [x1, x2] with end values f1, f2 and end derivatives d1, d2, computed with
// exactly the operations of hermite_evaluate. False when the interval has zero length.
inline void hermite_cubic_of_slope(double x1, double h, double f1, double delta, double d1, double d2, HermiteCubic& c);
inline bool hermite_cubic(double x1, double x2, double f1, double f2, double d1, double d2, HermiteCubic& c) {
  const double h = x2 - x1;
  if (h == 0.0) return false;
  hermite_cubic_of_slope(x1, h, f1, (f2 - f1) / h, d1, d2, c);
  return true;
}

// The same cubic from the interval's length h = x2 - x1 (not 0) and its slope
// delta = (f2 - f1) / h, computed by those operations.
inline void hermite_cubic_of_slope(double x1, double h, double f1, double delta, double d1, double d2, HermiteCubic& c) {
  const double del1 = (d1 - delta) / h;
  const double del2 = (d2 - delta) / h;
  c.x1 = x1;
  c.f1 = f1;
  c.d1 = d1;
  c.c2 = -(del1 + del1 + del2);
  c.c3 = (del1 + del2) / h;
}

// Value of the cubic at xe, as hermite_evaluate computes it.
inline double hermite_cubic_value(const HermiteCubic& c, double xe) {
  const double t = xe - c.x1;
  return c.f1 + t * (c.d1 + t * (c.c2 + t * c.c3));
}

// The interval hermite_evaluate uses for the single point xe on a checked table x(0..n-1),
// n >= 2: the 0-based index m of its right end, x(m-1) <= xe < x(m), 1 or n-1 beyond the
// ends, 1 for NaN.
int32_t hermite_interval(int32_t n, const double* x, double xe);

// The same, walking from interval k (any number: a guess, or the interval of an earlier
// call on the same points) to the only interval that brackets xe: the same answer.
inline int32_t hermite_interval_near(int32_t n, const double* x, double xe, int32_t k) {
  if (n <= 2 || !(xe >= x[1])) return 1;  // NaN included
  int32_t m = std::clamp(k, 2, n - 1);
  while (m > 2 && xe < x[m - 1]) --m;
  while (m < n - 1 && xe >= x[m]) ++m;
  return m;
}

// hermite_evaluate's values (with skip) at points xe(0..ne-1) that strictly increase, on a
// checked table x(0..n-1), n >= 2, with derivatives d, each point on the cubic of the
// interval hermite_interval gives it: the evaluation without its failure codes, which
// such points never raise, nor the count of the points beyond the ends.
void hermite_evaluate_increasing(int32_t n, const double* x, const double* f, const double* d, int32_t ne,
                                 const double* xe, double* fe);

// Whether x(0..n-1) are finite and strictly increase.
bool hermite_increasing(int32_t n, const double* x);

// Derivative i (0-based) exactly as hermite_derivatives sets it with incfd 1 on a checked
// table, n >= 2; it reads f(i-1..i+1), at the ends the three end values.
double hermite_derivative_at(int32_t n, const double* x, const double* f, int32_t i);

// Product of the signs of a and b, 0 when either is 0; a sign of 0 or NaN counts as +1.
inline double hermite_sign_product(double a, double b) {
  if (a == 0.0 || b == 0.0) return 0.0;
  const double sa = a < 0.0 ? -1.0 : 1.0;
  const double sb = b < 0.0 ? -1.0 : 1.0;
  return sa * sb;
}

// hermite_sign_product(a, b) > 0: a and b non-zero with the same sign, NaN counting as +1.
inline bool hermite_same_sign(double a, double b) {
  if (a > 0.0 && b > 0.0) return true;  // the usual case, first
  return a != 0.0 && b != 0.0 && (a < 0.0) == (b < 0.0);
}

// The terms of the derivative at an interior point i (0 < i < n - 1) that depend on the
// table x alone, as hermite_derivative_at computes them: for a table whose derivatives
// are taken again and again with other values f.
struct HermiteWeights {
  double h1 = 0.0, h2 = 0.0, w1 = 0.0, w2 = 0.0;
};
HermiteWeights hermite_weights(const double* x, int32_t i);

// The derivative at an interior point from the slopes of the intervals left and right of
// it, del1 = (f(i) - f(i-1)) / w.h1 and del2 = (f(i+1) - f(i)) / w.h2.
inline double hermite_derivative_of_slopes(const HermiteWeights& w, double del1, double del2) {
  if (!hermite_same_sign(del1, del2)) return 0.0;
  const double dmax = std::max(std::fabs(del1), std::fabs(del2));
  const double dmin = std::min(std::fabs(del1), std::fabs(del2));
  return dmin / (w.w1 * (del1 / dmax) + w.w2 * (del2 / dmax));
}

// hermite_derivative_at(n, x, f, i) at an interior point i, w being hermite_weights(x, i).
inline double hermite_derivative_at(const HermiteWeights& w, const double* f, int32_t i) {
  return hermite_derivative_of_slopes(w, (f[i] - f[i - 1]) / w.h1, (f[i + 1] - f[i]) / w.h2);
}

// The calls of the two routines whose failure stops the run: the fuel grid built from the
// map (along torque, then along speed) and the fuel rate read from the grid (along speed,
// then along torque), each a derivatives call and an evaluation.
enum class HermiteCall : int32_t {
  MapSlopesAlongTorque = 1,
  MapValuesAlongTorque = 2,
  GridSlopesAlongSpeed = 3,
  GridValuesAlongSpeed = 4,
  RateSlopesAlongSpeed = 5,
  RateValuesAlongSpeed = 6,
  RateSlopesAlongTorque = 7,
  RateValuesAlongTorque = 8,
};

// Reports a failed call (its return code ierr) and stops the run.
[[noreturn]] void hermite_error(HermiteCall call, int32_t ierr);

}  // namespace hdfe
