// Sine, cosine and arctangent rounded correctly: the double nearest to the
// exact value, but for an argument whose exact value lies within some
// 2^-100 of halfway between two doubles, where the series that settles the
// rounding has too few bits (none of the millions checked against 113-bit
// arithmetic). The C library's are not: glibc's results depend on whether
// the processor has fused multiply-add (86 of the 30,000 values of one
// curve differ between the two), and a browser's C library differs from
// both in 3 % of them. These are the same on every machine, for every
// compiler and in the browser, so a curve's file is too.
#pragma once

#include <cstddef>

namespace model::elementary {

// For |x| up to 2^20 (the model's lags reach a few hundred); beyond, the
// C library's. NaN for a NaN or an infinity.
double sin(double x);
double cos(double x);
// For every double.
double atan(double x);

// The same for the n arguments at x, into y (which may be x): twice as fast
// as one at a time.
void sin(const double *x, double *y, std::size_t n);
void cos(const double *x, double *y, std::size_t n);
void atan(const double *x, double *y, std::size_t n);

} // namespace model::elementary
