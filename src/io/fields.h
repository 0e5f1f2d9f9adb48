// Number fields of fixed-layout records. Rounding is of the exact binary value to
// d decimals, exact halves to even.
#pragma once
#include <cstddef>
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

// The same fields appended to out.
void append_f(std::string& out, double value, int w, int d);
void append_i(std::string& out, int64_t value, int w);
void append_f0(std::string& out, double value, int d);
void append_i0(std::string& out, int64_t value);

// Room an F0.d field may take besides its d decimals: a sign, 309 integer digits and
// the point [characters].
inline constexpr std::size_t F0Room = 311;
// Room an I0 field may take [characters].
inline constexpr std::size_t I0Room = 20;

// Writes F0.d at `at`, which has room for F0Room + d characters; returns the end.
char* put_f0(char* at, double value, int d);
// Writes I0 at `at`, which has room for I0Room characters; returns the end.
char* put_i0(char* at, int64_t value);

}  // namespace hdfe
