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

// Reports a failed call (code 1..8 names the call site) and stops the run.
[[noreturn]] void hermite_error(int32_t code, int32_t ierr);

}  // namespace hdfe
