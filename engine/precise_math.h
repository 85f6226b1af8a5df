#pragma once
// Deterministic elementary functions for building lookup tables.
//
// The C runtimes of the different builds do not agree on the last bit of
// exp, log, pow, sin and cos, so the tables are computed with these instead.
// They use IEEE-754 double arithmetic only (no long double, no fused
// multiply-add, no library transcendental), which gives the same bits on every
// build with SSE2 doubles and round-to-nearest.
//
// Results are correctly rounded apart from rare hard cases: each function
// carries its intermediate result in double-double with a relative error far
// below 2^-64 before the one final rounding.
//
// Special values follow the C library conventions: a NaN argument gives NaN
// (except pow(x, 0) = pow(1, y) = 1), log(0) = -inf, log of a negative number
// is NaN, exp overflows to +inf and underflows through subnormals to 0, and
// pow of a negative base with a non-integer exponent is NaN.

namespace velmor {

double preciseExp(double x);
double preciseLog(double x);
double precisePow(double x, double y);
double preciseSin(double x);
double preciseCos(double x);

}  // namespace velmor
