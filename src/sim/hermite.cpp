#include "sim/hermite.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "hdfe/error.h"

namespace hdfe {

int32_t hermite_table_check(int32_t n, const double* x, int32_t incfd) {
  if (n < 2) return -1;
  if (incfd < 1) return -2;
  for (int32_t i = 1; i < n; ++i) {
    if (!(x[i] > x[i - 1])) return -3;  // NaN counts as not increasing
  }
  return 0;
}

int32_t hermite_interval(int32_t n, const double* x, double xe) {
  if (n <= 2 || !(xe >= x[1])) return 1;  // NaN included
  // x ascends: the first point above xe ends the interval; the last interval takes the rest
  return static_cast<int32_t>(std::upper_bound(x + 2, x + n - 1, xe) - x);
}

namespace {

// Shape-preserving three-point end derivative: zeroed when its sign disagrees with the
// end slope, limited to three times that slope next to a change of direction.
double end_derivative(double d, double delEnd, double delOther) {
  if (hermite_sign_product(d, delEnd) <= 0.0) return 0.0;
  if (hermite_sign_product(delEnd, delOther) < 0.0) {
    const double dmax = 3.0 * delEnd;
    if (std::fabs(d) > std::fabs(dmax)) return dmax;
  }
  return d;
}

// Evaluates the cubic of [x1, x2] at xe[0..ne-1]; counts points left of and right of
// the interval in next1, next2. False when the interval has zero length.
bool cubic_eval(double x1, double x2, double f1, double f2, double d1, double d2, int32_t ne,
               const double* xe, double* fe, int32_t& next1, int32_t& next2) {
  HermiteCubic c;
  if (!hermite_cubic(x1, x2, f1, f2, d1, d2, c)) return false;
  next1 = 0;
  next2 = 0;
  const double h = x2 - x1;
  const double xmi = std::min(0.0, h);
  const double xma = std::max(0.0, h);
  for (int32_t i = 0; i < ne; ++i) {
    const double t = xe[i] - x1;
    fe[i] = hermite_cubic_value(c, xe[i]);
    if (t < xmi) ++next1;
    if (t > xma) ++next2;
  }
  return true;
}

}  // namespace

HermiteWeights hermite_weights(const double* x, int32_t i) {
  const double h1 = x[i] - x[i - 1];
  const double h2 = x[i + 1] - x[i];
  const double hsum = h1 + h2;
  const double hsumt3 = 3.0 * hsum;
  return HermiteWeights{h1, h2, (hsum + h1) / hsumt3, (hsum + h2) / hsumt3};
}

double hermite_derivative_at(int32_t n, const double* x, const double* f, int32_t i) {
  if (n == 2) return (f[1] - f[0]) / (x[1] - x[0]);
  if (i == 0 || i == n - 1) {
    const int32_t a = i == 0 ? 0 : n - 3;  // the three end points a, a + 1, a + 2
    const double h1 = x[a + 1] - x[a];
    const double h2 = x[a + 2] - x[a + 1];
    const double del1 = (f[a + 1] - f[a]) / h1;
    const double del2 = (f[a + 2] - f[a + 1]) / h2;
    const double hsum = h1 + h2;
    if (i == 0) return end_derivative(((h1 + hsum) / hsum) * del1 + (-h1 / hsum) * del2, del1, del2);
    return end_derivative((-h2 / hsum) * del1 + ((h2 + hsum) / hsum) * del2, del2, del1);
  }
  const double h1 = x[i] - x[i - 1];
  const double h2 = x[i + 1] - x[i];
  const double del1 = (f[i] - f[i - 1]) / h1;
  const double del2 = (f[i + 1] - f[i]) / h2;
  if (!hermite_same_sign(del1, del2)) return 0.0;
  const double hsum = h1 + h2;
  const double hsumt3 = 3.0 * hsum;
  const double w1 = (hsum + h1) / hsumt3;
  const double w2 = (hsum + h2) / hsumt3;
  const double dmax = std::max(std::fabs(del1), std::fabs(del2));
  const double dmin = std::min(std::fabs(del1), std::fabs(del2));
  return dmin / (w1 * (del1 / dmax) + w2 * (del2 / dmax));
}

void hermite_derivatives(int32_t n, const double* x, const double* f, double* d, int32_t incfd, int32_t& ierr) {
  ierr = hermite_table_check(n, x, incfd);
  if (ierr < 0) return;
  // 1-based value and derivative i of the strided tables
  const auto F = [&](int32_t i) { return f[static_cast<std::ptrdiff_t>(i - 1) * incfd]; };
  const auto D = [&](int32_t i) -> double& { return d[static_cast<std::ptrdiff_t>(i - 1) * incfd]; };

  double h1 = x[1] - x[0];
  double del1 = (F(2) - F(1)) / h1;
  double dsave = del1;
  if (n == 2) {
    D(1) = del1;
    D(2) = del1;
    return;
  }
  double h2 = x[2] - x[1];
  double del2 = (F(3) - F(2)) / h2;
  double hsum = h1 + h2;

  double w1 = (h1 + hsum) / hsum;
  double w2 = -h1 / hsum;
  D(1) = end_derivative(w1 * del1 + w2 * del2, del1, del2);

  for (int32_t i = 2; i <= n - 1; ++i) {
    if (i > 2) {
      h1 = h2;
      h2 = x[i] - x[i - 1];
      hsum = h1 + h2;
      del1 = del2;
      del2 = (F(i + 1) - F(i)) / h2;
    }
    D(i) = 0.0;
    const double s = hermite_sign_product(del1, del2);
    if (s < 0.0) {
      ierr = ierr + 1;
      dsave = del2;
    } else if (s == 0.0) {
      if (del2 != 0.0) {
        if (hermite_sign_product(dsave, del2) < 0.0) ierr = ierr + 1;
        dsave = del2;
      }
    } else {
      const double hsumt3 = 3.0 * hsum;
      w1 = (hsum + h1) / hsumt3;
      w2 = (hsum + h2) / hsumt3;
      const double dmax = std::max(std::fabs(del1), std::fabs(del2));
      const double dmin = std::min(std::fabs(del1), std::fabs(del2));
      const double drat1 = del1 / dmax;
      const double drat2 = del2 / dmax;
      D(i) = dmin / (w1 * drat1 + w2 * drat2);
    }
  }

  w1 = -h2 / hsum;
  w2 = (h2 + hsum) / hsum;
  D(n) = end_derivative(w1 * del1 + w2 * del2, del2, del1);
}

bool hermite_increasing(int32_t n, const double* x) {
  for (int32_t i = 0; i < n; ++i) {
    if (!std::isfinite(x[i]) || (i > 0 && !(x[i] > x[i - 1]))) return false;
  }
  return true;
}

void hermite_evaluate_increasing(int32_t n, const double* x, const double* f, const double* d, int32_t ne,
                                 const double* xe, double* fe) {
  HermiteCubic c{};
  int32_t m = 1;      // the interval of the point: its right end
  int32_t built = 0;  // the interval of c; 0: none
  for (int32_t i = 0; i < ne; ++i) {
    while (m < n - 1 && xe[i] >= x[m]) ++m;
    if (m != built) {
      hermite_cubic(x[m - 1], x[m], f[m - 1], f[m], d[m - 1], d[m], c);
      built = m;
    }
    fe[i] = hermite_cubic_value(c, xe[i]);
  }
}

void hermite_evaluate(int32_t n, const double* x, const double* f, const double* d, int32_t incfd, bool& skip,
            int32_t ne, const double* xe, double* fe, int32_t& ierr) {
  if (!skip) {
    ierr = hermite_table_check(n, x, incfd);
    if (ierr < 0) return;
  }
  if (ne < 1) {
    ierr = -4;
    return;
  }
  ierr = 0;
  skip = true;
  const auto F = [&](int32_t i) { return f[static_cast<std::ptrdiff_t>(i - 1) * incfd]; };
  const auto D = [&](int32_t i) { return d[static_cast<std::ptrdiff_t>(i - 1) * incfd]; };
  const auto XE = [&](int32_t j) { return xe[j - 1]; };

  // Sweep the intervals [x(ir-1), x(ir)) left to right; xe(jfirst..) are still to do.
  int32_t jfirst = 1;
  for (int32_t ir = 2; ir <= n; ++ir) {
    if (jfirst > ne) return;
    int32_t j = jfirst;
    while (j <= ne && !(XE(j) >= x[ir - 1])) ++j;
    if (j <= ne && ir == n) j = ne + 1;  // the last interval takes every remaining point
    const int32_t nj = j - jfirst;
    if (nj == 0) continue;

    int32_t next1 = 0;
    int32_t next2 = 0;
    if (!cubic_eval(x[ir - 2], x[ir - 1], F(ir - 1), F(ir), D(ir - 1), D(ir), nj, &xe[jfirst - 1],
                   &fe[jfirst - 1], next1, next2)) {
      ierr = -5;
      return;
    }
    if (next2 > 0) {
      if (ir < n) {
        ierr = -5;
        return;
      }
      ierr = ierr + next2;
    }
    if (next1 > 0) {
      if (ir == 2) {
        ierr = ierr + next1;
      } else {
        // Points out of ascending order: back up to the first one left of this interval
        // and resume in the interval that holds it.
        int32_t i = jfirst;
        while (i <= j - 1 && !(XE(i) < x[ir - 2])) ++i;
        if (i > j - 1) {
          ierr = -5;
          return;
        }
        j = i;
        i = 1;
        while (i <= ir - 1 && !(XE(j) < x[i - 1])) ++i;
        ir = std::max(1, i - 1);
      }
    }
    jfirst = j;
  }
}

void hermite_error(HermiteCall call, int32_t ierr) {
  static constexpr std::array<const char*, 8> Messages = {
      "Error : DPCHIM ( called from FCGRID, 1st )", "Error : DPCHFE ( called from FCGRID, 1st )",
      "Error : DPCHIM ( called from FCGRID, 2nd )", "Error : DPCHFE ( called from FCGRID, 2nd )",
      "Error : DPCHIM ( called from CALCFC, 1st )", "Error : DPCHFE ( called from CALCFC, 1st )",
      "Error : DPCHIM ( called from CALCFC, 2nd )", "Error : DPCHFE ( called from CALCFC, 2nd )"};
  const auto site = static_cast<int32_t>(call);
  const std::string message =
      site >= 1 && site <= 8 ? Messages[static_cast<std::size_t>(site - 1)] : "Error : Hermite function ( unknown call site )";
  throw Error(ErrorKind::Interpolation, message)
      .with_detail("ierr = " + std::to_string(ierr))
      .with_detail("Terminated by error of Hermite function. Check input fuel map.");
}

}  // namespace hdfe
