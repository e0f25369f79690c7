#include "simulation/fourstepfft.h"

#include "simulation/parallel.h"

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <new>
#include <numbers>
#include <stdexcept>

namespace simulation {

namespace {

// The divisor of n nearest above its square root: the two passes then do
// transforms of about the same, small length. With no prime factor above 5
// there is one below five times the root.
std::size_t squarestDivisor(std::size_t n)
{
    const std::uint64_t length = n; // its square does not fit a 32-bit size_t
    std::uint64_t best = length;
    for (std::uint64_t d = 1; d * d <= length * 25 && d <= length; ++d)
        if (length % d == 0 && d * d >= length && d < best)
            best = d;
    return std::size_t(best);
}

kiss_fft_state *plan(std::size_t length)
{
    kiss_fft_state *state = kiss_fft_alloc(int(length), 1, nullptr, nullptr);
    if (!state)
        throw std::bad_alloc();
    return state;
}

// Twiddles are a base, exact every so many rows, times a power from a
// table of that many: two float products where a sine and a cosine were.
constexpr std::size_t kExactEvery = 64;

// kissfft takes its lengths as int.
std::size_t checkedLength(std::size_t n)
{
    if (n == 0 || std::uint64_t(n) > std::uint64_t(std::numeric_limits<int>::max()))
        throw std::invalid_argument("transform length out of range");
    return n;
}

} // namespace

FourStepFft::FourStepFft(std::size_t n, unsigned parts)
    : n_(checkedLength(n)), rows_(n / squarestDivisor(n)), columns_(squarestDivisor(n)), parts_(parts),
      byRow_(plan(rows_), kiss_fft_free), byColumn_(plan(columns_), kiss_fft_free)
{
}

// With m = r + rows c and k = columns j + q:
// z[m] = sum over q of w_columns^(c q) w^(r q) [sum over j of x[columns j + q] w_rows^(r j)].
void FourStepFft::inverse(const Complex *spectrum, Complex *scratch, Complex *out) const
{
    const std::size_t rows = rows_, columns = columns_, n = n_;
    // First pass, one transform of length rows for each q, read with a
    // stride of columns; then the twiddle w^(r q).
    inParallel(parts_, columns, [&](std::size_t begin, std::size_t end) {
        std::array<Complex, kExactEvery> powers;
        for (std::size_t q = begin; q < end; ++q) {
            Complex *line = scratch + q * rows;
            kiss_fft_stride(byRow_.get(), spectrum + q, line, int(columns));
            // w^(r q) = w^(r0 q) w^(j q) for r = r0 + j: the powers w^(j q)
            // once a line, the base exactly every kExactEvery rows.
            const double turn = 2 * std::numbers::pi / double(n);
            std::complex<double> power(1, 0);
            const std::complex<double> step = std::polar(1.0, turn * double(q));
            for (Complex &p : powers) {
                p = {float(power.real()), float(power.imag())};
                power *= step;
            }
            for (std::size_t r0 = 0; r0 < rows; r0 += kExactEvery) {
                const std::complex<double> exact = std::polar(1.0, turn * double((r0 * q) % n));
                const float br = float(exact.real()), bi = float(exact.imag());
                const std::size_t count = std::min(kExactEvery, rows - r0);
                Complex *at = line + r0;
                for (std::size_t j = 0; j < count; ++j) {
                    const float tr = br * powers[j].r - bi * powers[j].i;
                    const float ti = br * powers[j].i + bi * powers[j].r;
                    const float vr = at[j].r, vi = at[j].i;
                    at[j].r = vr * tr - vi * ti;
                    at[j].i = vr * ti + vi * tr;
                }
            }
        }
    });
    // Second pass, one transform of length columns for each r, read with
    // a stride of rows.
    inParallel(parts_, rows, [&](std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r)
            kiss_fft_stride(byColumn_.get(), scratch + r, out + r * columns, int(rows));
    });
}

} // namespace simulation
