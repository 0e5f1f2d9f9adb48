// Monotone piecewise cubic Hermite interpolation (Fritsch-Carlson with Brodlie's
// interior formula) and its failure report.
#pragma once
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
// t = xe - x1.
struct HermiteCubic {
  double x1 = 0.0, f1 = 0.0, d1 = 0.0, c2 = 0.0, c3 = 0.0;
};

// Status of the table checks of both routines for x: 0, or -1, -2, -3.
int32_t hermite_table_check(int32_t n, const double* x, int32_t incfd);

// The cubic of [x1, x2] with end values f1, f2 and end derivatives d1, d2, computed with
// exactly the operations of hermite_evaluate. False when the interval has zero length.
bool hermite_cubic(double x1, double x2, double f1, double f2, double d1, double d2, HermiteCubic& c);

// Value of the cubic at xe, as hermite_evaluate computes it.
double hermite_cubic_value(const HermiteCubic& c, double xe);

// The interval hermite_evaluate uses for the single point xe on a checked table x(0..n-1),
// n >= 2: the 0-based index m of its right end, x(m-1) <= xe < x(m), 1 or n-1 beyond the
// ends, 1 for NaN.
int32_t hermite_interval(int32_t n, const double* x, double xe);

// The same, trying first the interval k of an earlier call on the same points: the only
// interval that brackets xe, so the same answer.
inline int32_t hermite_interval_near(int32_t n, const double* x, double xe, int32_t k) {
  if (n > 2 && k >= 2 && k <= n - 1 && x[k - 1] <= xe && (k == n - 1 || xe < x[k])) return k;
  return hermite_interval(n, x, xe);
}

// Derivative i (0-based) exactly as hermite_derivatives sets it with incfd 1 on a checked
// table, n >= 2; it reads f(i-1..i+1), at the ends the three end values.
double hermite_derivative_at(int32_t n, const double* x, const double* f, int32_t i);

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
