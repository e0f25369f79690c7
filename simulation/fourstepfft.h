#pragma once

#include <kiss_fft.h>

#include <cstddef>
#include <memory>

namespace simulation {

using Complex = kiss_fft_cpx;

// The inverse DFT of a length n = rows x columns, z[m] = sum over k of
// x[k] exp(2 pi i k m / n), as two passes of short kissfft transforms
// (Bailey's four-step, without its transposes): short transforms work in
// the cache, where one long transform of millions of points does not, and
// each pass splits over the cores. The result comes as a rows x columns
// matrix: row r holds z[r], z[r + rows], z[r + 2 rows], ...
class FourStepFft {
public:
    // n must have no prime factor above 5; each pass splits over parts cores.
    FourStepFft(std::size_t n, unsigned parts);

    std::size_t rows() const { return rows_; }
    std::size_t columns() const { return columns_; }

    // spectrum and scratch hold n values each; out may be spectrum.
    void inverse(const Complex *spectrum, Complex *scratch, Complex *out) const;

private:
    std::size_t n_;
    std::size_t rows_;
    std::size_t columns_;
    unsigned parts_;
    std::unique_ptr<kiss_fft_state, void (*)(void *)> byRow_;
    std::unique_ptr<kiss_fft_state, void (*)(void *)> byColumn_;
};

} // namespace simulation
