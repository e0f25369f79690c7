#include "simulation/correlator.h"

#include "simulation/parallel.h"
#include "simulation/random.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace simulation {

namespace {

// The band the model's constants imply: angular frequencies 125,600 plus
// or minus 78,500 rad/s, whose flat spectrum has the model's envelope x
// carrier as its autocorrelation.
constexpr double kLowestRadPerSecond = 125600.0 - 78500.0;
constexpr double kHighestRadPerSecond = 125600.0 + 78500.0;

// Bins drawn from one stream of random numbers: the streams, not the
// threads, fix what a seed gives.
constexpr std::size_t kBinsPerStream = 4096;

// A running phase is put back to its exact value this often.
constexpr std::size_t kExactEvery = 64;

} // namespace

// With the population-count instruction where the processor has one: a
// clone for each, chosen when the program loads.
__attribute__((target_clones("popcnt", "default"))) std::uint64_t differingBits(const std::uint64_t *a,
                                                                                  const std::uint64_t *b,
                                                                                  std::size_t words)
{
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < words; ++i)
        count += std::uint64_t(std::popcount(a[i] ^ b[i]));
    return count;
}

std::size_t samplesFor(double seconds)
{
    if (!(seconds >= kShortestSeconds && seconds <= kLongestSeconds))
        throw std::invalid_argument("duration out of range");
    // 2.6 x 200,000 is a hair above 520,000 in binary: that hair is not a sample.
    const auto wanted = std::size_t(std::ceil(seconds * kSampleRate - 1e-6));
    std::size_t best = SIZE_MAX;
    for (std::size_t twos = 1; twos < 2 * wanted; twos *= 2)
        for (std::size_t threes = twos; threes < 2 * wanted; threes *= 3)
            for (std::size_t fives = threes; fives < 2 * wanted; fives *= 5)
                if (fives >= wanted && fives < best)
                    best = fives;
    return best;
}

Blocks blocksFor(double seconds)
{
    const std::size_t wanted = samplesFor(seconds) <= kBlockSamples
                                   ? 1
                                   : (std::size_t(std::ceil(seconds * kSampleRate - 1e-6)) + kBlockSamples - 1)
                                         / kBlockSamples;
    return {wanted, samplesFor(seconds / double(wanted))};
}

Block::Block(std::size_t samples, unsigned parts)
    : samples_(samples), parts_(parts), fft_(samples_, parts), words_((fft_.columns() + 63) / 64),
      spectrum_(samples_), scratch_(samples_), first_(fft_.rows() * words_), second_(fft_.rows() * words_)
{
    // The rows that lags up to 300 microseconds turn, for each turn.
    const std::size_t turns = (fft_.rows() - 1 + kLags - 1) / fft_.rows();
    secondTurned_.resize(turns * std::min(fft_.rows(), kLags) * words_);
}

Counts Block::differing(double amplitude, double delaySamples, std::uint64_t seed)
{
    synthesize(amplitude, delaySamples, seed);
    transform();
    clip();
    return correlate();
}

// One block on all the workers' cores when there is one; otherwise a
// block on each core at a time, taken in turn.
Correlator::Correlator(double seconds, unsigned workers)
    : blocks_(blocksFor(seconds))
{
    workers = std::max(1u, workers);
    if (blocks_.count == 1)
        engines_.push_back(std::make_unique<Block>(blocks_.samples, workers));
    else
        for (std::size_t e = 0; e < std::min<std::size_t>(workers, blocks_.count); ++e)
            engines_.push_back(std::make_unique<Block>(blocks_.samples, 1));
}

Correlator::~Correlator() = default;

Estimates Correlator::run(std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed)
{
    return *run(snrDb, delayUs, seed, {});
}

std::optional<Estimates> Correlator::run(std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed,
                                         const Progress &progress)
{
    // The power ratio S of the setting: the signal's amplitude against
    // noises of unit power, so that the inputs' correlation is the
    // model's gain S / (1 + S).
    const double amplitude = std::pow(10.0, snrDb / 20.0);
    const double delaySamples = delayUs * 1e-6 * kSampleRate;
    // Block 0 draws from the seed itself: one block is what it always was.
    const auto blockSeed = [seed](std::size_t index) { return seed + index * 0x9e3779b97f4a7c15; };
    std::vector<Counts> sums(engines_.size(), Counts{});
    std::atomic<std::size_t> next = 0, done = 0;
    std::atomic<bool> abandoned = false;
    // Counts are whole numbers: their sum does not depend on which core
    // added which block, nor in what order.
    const auto work = [&](std::size_t engine) {
        for (std::size_t index; !abandoned && (index = next++) < blocks_.count;) {
            const Counts counts = engines_[engine]->differing(amplitude, delaySamples, blockSeed(index));
            for (std::size_t k = 0; k < kLags; ++k)
                sums[engine][k] += counts[k];
            ++done;
            // Told on this thread only, which is the caller's.
            if (engine == 0 && progress && !progress(done, blocks_.count))
                abandoned = true;
        }
    };
    inParallel(unsigned(engines_.size()), engines_.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t engine = begin; engine < end; ++engine)
            work(engine);
    });
    if (abandoned)
        return std::nullopt;
    Estimates estimates{};
    for (std::size_t k = 0; k < kLags; ++k) {
        std::uint64_t differing = 0;
        for (const Counts &sum : sums)
            differing += sum[k];
        estimates[k] = 1.0 - 2.0 * double(differing) / double(samples());
    }
    return estimates;
}

void Block::transform()
{
    fft_.inverse(spectrum_.data(), scratch_.data(), spectrum_.data());
}

// Both inputs at once, as the real and imaginary parts of one complex
// signal: z = x1 + i x2, with x1 = a s + n1 and x2 = a s delayed + n2, s,
// n1 and n2 independent complex Gaussians on the in-band bins, the delay a
// phase ramp.
void Block::synthesize(double amplitude, double delaySamples, std::uint64_t seed)
{
    const std::size_t n = samples_;
    const double binRadPerSecond = 2 * std::numbers::pi * kSampleRate / double(n);
    const auto lowest = std::size_t(std::ceil(kLowestRadPerSecond / binRadPerSecond));
    const auto highest = std::size_t(std::floor(kHighestRadPerSecond / binRadPerSecond));
    inParallel(parts_, n, [this](std::size_t begin, std::size_t end) {
        std::fill(spectrum_.begin() + std::ptrdiff_t(begin), spectrum_.begin() + std::ptrdiff_t(end), Complex{0, 0});
    });
    const std::size_t streams = (highest - lowest + kBinsPerStream) / kBinsPerStream;
    const double turn = 2 * std::numbers::pi * delaySamples / double(n);
    inParallel(parts_, streams, [&](std::size_t begin, std::size_t end) {
        for (std::size_t stream = begin; stream < end; ++stream) {
            Normal normal(SplitMix64(seed ^ (stream * 0xd1b54a32d192ed03)).next());
            const std::size_t first = lowest + stream * kBinsPerStream;
            const std::size_t last = std::min(highest, first + kBinsPerStream - 1);
            std::complex<double> delay, step;
            for (std::size_t k = first; k <= last; ++k) {
                if ((k - first) % kExactEvery == 0) {
                    delay = std::polar(1.0, -turn * double(k));
                    step = std::polar(1.0, -turn);
                }
                const std::complex<double> s(normal.next(), normal.next());
                const std::complex<double> n1(normal.next(), normal.next());
                const std::complex<double> n2(normal.next(), normal.next());
                const std::complex<double> x1 = amplitude * s + n1;
                const std::complex<double> x2 = amplitude * s * delay + n2;
                // Z[k] = X1[k] + i X2[k]; Z[n - k] = conj(X1[k]) + i conj(X2[k]).
                spectrum_[k] = {float(x1.real() - x2.imag()), float(x1.imag() + x2.real())};
                spectrum_[n - k] = {float(x1.real() + x2.imag()), float(x2.real() - x1.imag())};
                delay *= step;
            }
        }
    });
}

// Bit j of first and second: whether the real and the imaginary part of
// z[j] is positive.
static void packSigns(const Complex *z, std::size_t count, std::uint64_t &first, std::uint64_t &second)
{
    std::uint64_t bits1 = 0, bits2 = 0;
    for (std::size_t j = 0; j < count; ++j) {
        bits1 |= std::uint64_t(z[j].r > 0) << j;
        bits2 |= std::uint64_t(z[j].i > 0) << j;
    }
    first = bits1;
    second = bits2;
}

// The same for a whole word of 64 samples, four at a time where the
// processor compares four floats at once: a tenth of the instructions.
static void packSignsOfWord(const Complex *z, std::uint64_t &first, std::uint64_t &second)
{
#if defined(__SSE2__)
    static_assert(sizeof(Complex) == 2 * sizeof(float));
    const float *at = &z[0].r;
    const __m128 zero = _mm_setzero_ps();
    std::uint64_t bits1 = 0, bits2 = 0;
    for (unsigned j = 0; j < 64; j += 4, at += 8) {
        const __m128 low = _mm_loadu_ps(at), high = _mm_loadu_ps(at + 4);
        const __m128 reals = _mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 imaginaries = _mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1));
        bits1 |= std::uint64_t(_mm_movemask_ps(_mm_cmpgt_ps(reals, zero))) << j;
        bits2 |= std::uint64_t(_mm_movemask_ps(_mm_cmpgt_ps(imaginaries, zero))) << j;
    }
    first = bits1;
    second = bits2;
#else
    packSigns(z, 64, first, second);
#endif
}

// One bit a sample, set where the input is positive: x1 in the real parts,
// x2 in the imaginary ones.
void Block::clip()
{
    const std::size_t columns = fft_.columns();
    inParallel(parts_, fft_.rows(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r) {
            const Complex *z = spectrum_.data() + r * columns;
            std::uint64_t *x1 = first_.data() + r * words_;
            std::uint64_t *x2 = second_.data() + r * words_;
            const std::size_t whole = columns / 64;
            for (std::size_t word = 0; word < whole; ++word)
                packSignsOfWord(z + word * 64, x1[word], x2[word]);
            if (whole < words_)
                packSigns(z + whole * 64, columns - whole * 64, x1[whole], x2[whole]);
        }
    });
    // Row r, turned by t: bit c is the row's bit (c + t) mod columns.
    const std::size_t rows = std::min(fft_.rows(), kLags);
    const std::size_t turns = secondTurned_.size() / (rows * words_);
    for (std::size_t t = 1; t <= turns; ++t)
        for (std::size_t r = 0; r < rows; ++r) {
            const std::uint64_t *row = second_.data() + r * words_;
            std::uint64_t *turned = secondTurned_.data() + ((t - 1) * rows + r) * words_;
            std::fill(turned, turned + words_, 0);
            for (std::size_t c = 0; c < columns; ++c) {
                const std::size_t from = (c + t) % columns;
                turned[c / 64] |= ((row[from / 64] >> (from % 64)) & 1) << (c % 64);
            }
        }
}

// At lag k, sample m = r + rows c meets sample m + k = r' + rows (c + t),
// with r + k = t rows + r': row r of the first input against row r' of the
// second turned by t. Every row pair lines up word for word.
Counts Block::correlate() const
{
    const std::size_t rows = fft_.rows();
    const std::size_t turnedRows = std::min(rows, kLags);
    Counts counts{};
    inParallel(parts_, kLags, [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            std::uint64_t count = 0;
            const std::size_t aligned = k < rows ? rows - k : 0;
            count += differingBits(first_.data(), second_.data() + k * words_, aligned * words_);
            for (std::size_t r = aligned; r < rows; ++r) {
                const std::size_t t = (r + k) / rows, other = (r + k) % rows;
                const std::uint64_t *row = t == 0 ? second_.data() + other * words_
                                                  : secondTurned_.data() + ((t - 1) * turnedRows + other) * words_;
                count += differingBits(first_.data() + r * words_, row, words_);
            }
            counts[k] = count;
        }
    });
    return counts;
}

} // namespace simulation
