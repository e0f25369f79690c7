// A one-bit (clipped) correlator fed with two noisy copies of one
// band-limited signal, simulated: the physics that the arcsine law of the
// model sums up.
#pragma once

#include "fourstepfft.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace simulation {

// One sample every 5 microseconds: one sample is one lag step of the plot.
inline constexpr double kSampleRate = 200000;
inline constexpr double kLagStepUs = 5;
// Lags 0, 5, ..., 300 microseconds.
inline constexpr std::size_t kLags = 61;
// The durations of signal that can be asked for, in seconds.
inline constexpr double kShortestSeconds = 0.01;
inline constexpr double kLongestSeconds = 600;

using Estimates = std::array<double, kLags>;

// The number of positions where two runs of words differ: XOR and
// population count, the whole of a one-bit correlator's arithmetic.
std::uint64_t differingBits(const std::uint64_t *a, const std::uint64_t *b, std::size_t words);

// The smallest 2^a 3^b 5^c at least seconds x 200,000: the number of
// samples simulated.
std::size_t samplesFor(double seconds);

class Correlator {
public:
    // Plans the transforms and takes the memory for seconds of signal:
    // some 24 bytes a sample. Throws std::bad_alloc when there is not enough.
    explicit Correlator(double seconds);

    std::size_t samples() const { return samples_; }

    // One realisation, drawn from seed: the correlator's estimates at lags
    // 0, 5, ..., 300 microseconds of the two inputs' clipped signals.
    Estimates run(std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed);

    // The steps of run(), for the benchmarks: the inputs' spectrum, the
    // transform, clipping them to one bit, and correlating the bits.
    void synthesize(double signalAmplitude, double delaySamples, std::uint64_t seed);
    void transform();
    void clip();
    Estimates correlate() const;

private:
    std::size_t samples_;
    FourStepFft fft_;
    std::size_t words_; // 64-bit words in a row of bits
    std::vector<Complex> spectrum_;
    std::vector<Complex> scratch_;
    // The clipped inputs, a bit a sample, row r holding samples r, r +
    // rows, r + 2 rows...: first input, second input, and the second's
    // rows turned by one, two... samples along, for the lags that reach
    // past the last row.
    std::vector<std::uint64_t> first_;
    std::vector<std::uint64_t> second_;
    std::vector<std::uint64_t> secondTurned_;
};

} // namespace simulation
