#include "simulation/efficiency.h"

#include "model/correlation.h"
#include "simulation/random.h"

#include <kiss_fft.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <new>
#include <numbers>

namespace simulation {

namespace {

constexpr std::array kQuantizers{model::Levels::Two, model::Levels::Three, model::Levels::Four,
                                 model::Levels::Analog};

// Enough realisations that each measured efficiency is within a few
// thousandths: independent samples are independent estimates at every lag;
// the band's are correlated over some tens of lags, and need more.
constexpr std::size_t kWhiteSamples = std::size_t(1) << 16;
constexpr std::size_t kWhiteBlocks = 4;
constexpr std::size_t kSignalBlocks = 12;
constexpr std::uint64_t kSeed = 20260101;

// The quantizer's output for an input of x standard deviations.
double quantized(model::Levels levels, double x)
{
    const double sign = x > 0 ? 1 : -1;
    switch (levels) {
    case model::Levels::Two:
        return sign;
    case model::Levels::Three:
        return std::fabs(x) > model::thresholdSigma(levels) ? sign : 0;
    case model::Levels::Four:
        return std::fabs(x) > model::thresholdSigma(levels) ? 3 * sign : sign;
    case model::Levels::Analog:
        break;
    }
    return x;
}

using Plan = std::unique_ptr<kiss_fft_state, void (*)(void *)>;

Plan planOf(std::size_t n, bool inverse)
{
    kiss_fft_state *state = kiss_fft_alloc(int(n), inverse ? 1 : 0, nullptr, nullptr);
    if (!state)
        throw std::bad_alloc();
    return Plan(state, kiss_fft_free);
}

// The circular cross-correlation of two real sequences at every lag,
// normalised by their zero-lag products: one transform of x + i y, the
// spectra of x and y parted by symmetry, and back.
class CrossCorrelation {
public:
    explicit CrossCorrelation(std::size_t n)
        : n_(n), forward_(planOf(n, false)), inverse_(planOf(n, true)), in_(n), out_(n)
    {
    }

    const std::vector<double> &of(const std::vector<double> &x, const std::vector<double> &y)
    {
        double xx = 0, yy = 0;
        for (std::size_t m = 0; m < n_; ++m) {
            in_[m] = {float(x[m]), float(y[m])};
            xx += x[m] * x[m];
            yy += y[m] * y[m];
        }
        kiss_fft(forward_.get(), in_.data(), out_.data());
        // conj(X) Y = conj(A + B) (A - B) / 4i, A = Z[f], B = conj(Z[-f]).
        for (std::size_t f = 0; f < n_; ++f) {
            const std::complex<double> a(out_[f].r, out_[f].i);
            const std::complex<double> b(out_[(n_ - f) % n_].r, -out_[(n_ - f) % n_].i);
            const std::complex<double> c = std::conj(a + b) * (a - b) / std::complex<double>(0, 4);
            in_[f] = {float(c.real()), float(c.imag())};
        }
        kiss_fft(inverse_.get(), in_.data(), out_.data());
        correlation_.resize(n_);
        const double norm = double(n_) * std::sqrt(xx * yy);
        for (std::size_t k = 0; k < n_; ++k)
            correlation_[k] = out_[k].r / norm;
        return correlation_;
    }

private:
    std::size_t n_;
    Plan forward_;
    Plan inverse_;
    std::vector<kiss_fft_cpx> in_;
    std::vector<kiss_fft_cpx> out_;
    std::vector<double> correlation_;
};

// The correlation coefficient of each quantizer's estimates with the
// unquantized ones, over every lag of every realisation it is given.
class Pairs {
public:
    void add(std::size_t quantizer, const std::vector<double> &estimates, const std::vector<double> &analog)
    {
        Sums &s = sums_[quantizer];
        for (std::size_t k = 0; k < estimates.size(); ++k) {
            s.q += estimates[k];
            s.a += analog[k];
            s.qq += estimates[k] * estimates[k];
            s.aa += analog[k] * analog[k];
            s.qa += estimates[k] * analog[k];
            s.n += 1;
        }
    }
    double coefficient(std::size_t quantizer) const
    {
        const Sums &s = sums_[quantizer];
        const double qa = s.qa - s.q * s.a / s.n, qq = s.qq - s.q * s.q / s.n, aa = s.aa - s.a * s.a / s.n;
        return qa / std::sqrt(qq * aa);
    }

private:
    struct Sums {
        double q = 0, a = 0, qq = 0, aa = 0, qa = 0, n = 0;
    };
    std::array<Sums, kQuantizers.size()> sums_{};
};

// One realisation of the two inputs, in standard deviations, through every
// quantizer and the unquantized correlator.
void measure(CrossCorrelation &correlation, const std::vector<double> &x, const std::vector<double> &y, Pairs &pairs)
{
    const std::size_t n = x.size();
    const std::vector<double> analog = correlation.of(x, y);
    std::vector<double> qx(n), qy(n);
    for (std::size_t i = 0; i + 1 < kQuantizers.size(); ++i) {
        for (std::size_t m = 0; m < n; ++m) {
            qx[m] = quantized(kQuantizers[i], x[m]);
            qy[m] = quantized(kQuantizers[i], y[m]);
        }
        pairs.add(i, correlation.of(qx, qy), analog);
    }
}

} // namespace

std::vector<Efficiency> measureEfficiencies(const Correlator::Progress &progress)
{
    const std::size_t steps = kWhiteBlocks + kSignalBlocks;
    std::size_t done = 0;
    const auto tell = [&] { return !progress || progress(++done, steps); };

    // Independent samples, straight from the generator.
    Pairs white;
    {
        CrossCorrelation correlation(kWhiteSamples);
        Normal normal(kSeed);
        std::vector<double> x(kWhiteSamples), y(kWhiteSamples);
        for (std::size_t block = 0; block < kWhiteBlocks; ++block) {
            for (std::size_t m = 0; m < kWhiteSamples; ++m) {
                x[m] = normal.next();
                y[m] = normal.next();
            }
            measure(correlation, x, y, white);
            if (!tell())
                return {};
        }
    }
    // The program's band-limited noise at 200 kHz, two independent inputs.
    Pairs signal;
    {
        Block block(kBlockSamples, 1);
        CrossCorrelation correlation(kBlockSamples);
        std::vector<double> x(kBlockSamples), y(kBlockSamples);
        for (std::size_t index = 0; index < kSignalBlocks; ++index) {
            block.synthesize(0, 0, kSeed + index * 0x9e3779b97f4a7c15);
            block.transform();
            for (std::size_t m = 0; m < kBlockSamples; ++m) {
                x[m] = block.real(m) / block.sigma();
                y[m] = block.imaginary(m) / block.sigma();
            }
            measure(correlation, x, y, signal);
            if (!tell())
                return {};
        }
    }
    std::vector<Efficiency> rows;
    for (std::size_t i = 0; i < kQuantizers.size(); ++i) {
        const model::Levels levels = kQuantizers[i];
        const bool analog = levels == model::Levels::Analog;
        rows.push_back({levels, model::efficiency(levels), analog ? 1 : white.coefficient(i),
                        analog ? 1 : signal.coefficient(i)});
    }
    return rows;
}

double predictedSignalEfficiency(model::Levels levels)
{
    // rho(m) at 5 microseconds a sample, the band's autocorrelation: the
    // model's envelope times carrier at gain 1; out to where its square
    // adds less than 1e-5.
    constexpr std::int16_t kNoDelay = 0;
    constexpr int kLags = 1 << 16;
    const model::Quantization rhoItself{model::Levels::Analog, false};
    double rhoSquares = 1, outputSquares = 1; // lag 0: rho = r = 1
    for (int m = 1; m < kLags; ++m) {
        const double rho = model::correlationAt(m * kLagStepUs, kNoDelay, 1.0, rhoItself);
        // For two levels, the arcsine law with pi itself.
        const double r = levels == model::Levels::Two ? 2 / std::numbers::pi * std::asin(rho)
                                                       : model::quantizedCorrelation(levels, rho);
        rhoSquares += 2 * rho * rho;
        outputSquares += 2 * r * r;
    }
    return model::efficiency(levels) * std::sqrt(rhoSquares / outputSquares);
}

} // namespace simulation
