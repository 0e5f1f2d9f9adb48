// Number fields of fixed-layout records. Rounding is of the exact binary value to
// d decimals, exact halves to even.
#pragma once
#include <cstdint>
#include <string>

namespace hdfe {

// Fw.d: right-aligned in exactly w characters; w asterisks when it does not fit.
std::string format_f(double value, int w, int d);
// Iw: right-aligned in exactly w characters; w asterisks when it does not fit.
std::string format_i(int64_t value, int w);
// F0.d: fewest characters, no zero before the decimal point below magnitude 1.
std::string format_f0(double value, int d);
// I0: fewest digits.
std::string format_i0(int64_t value);

}  // namespace hdfe
