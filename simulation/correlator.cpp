#include "simulation/correlator.h"

#include "simulation/parallel.h"
#include "simulation/random.h"

#include "model/elementary.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>
#include <utility>

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

// The imaginary part is drawn first, the real part second: the order g++
// gave the two arguments of one constructor, which C++ leaves open, and so
// the order that every seed has always meant.
std::complex<double> drawComplex(Normal &normal)
{
    const double imaginary = normal.next();
    const double real = normal.next();
    return {real, imaginary};
}

// The in-band bins of a spectrum of n samples: the lowest and the highest.
std::pair<std::size_t, std::size_t> bandOf(std::size_t n)
{
    const double binRadPerSecond = 2 * std::numbers::pi * kSampleRate / double(n);
    return {std::size_t(std::ceil(kLowestRadPerSecond / binRadPerSecond)),
            std::size_t(std::floor(kHighestRadPerSecond / binRadPerSecond))};
}

} // namespace

LevelCounts &LevelCounts::operator+=(const LevelCounts &other)
{
    for (std::size_t k = 0; k < kLags; ++k) {
        d[k] += other.d[k];
        dA[k] += other.dA[k];
        dB[k] += other.dB[k];
        dAB[k] += other.dAB[k];
        AB[k] += other.AB[k];
    }
    a += other.a;
    b += other.b;
    return *this;
}

Estimates estimatesOf(model::Levels levels, const LevelCounts &counts, std::uint64_t samples)
{
    Estimates estimates{};
    const double n = double(samples), a = double(counts.a), b = double(counts.b);
    const bool four = levels == model::Levels::Four;
    // The zero-lag products of each input: the sums of q^2.
    const double norm = four ? std::sqrt((n + 8 * a) * (n + 8 * b)) : std::sqrt(a * b);
    for (std::size_t k = 0; k < kLags; ++k) {
        const double ab = double(counts.AB[k]), dab = double(counts.dAB[k]);
        const double products =
            four ? (n + 2 * a + 2 * b + 4 * ab)
                       - 2 * (double(counts.d[k]) + 2 * double(counts.dA[k]) + 2 * double(counts.dB[k]) + 4 * dab)
                 : ab - 2 * dab;
        estimates[k] = norm > 0 ? products / norm : 0;
    }
    return estimates;
}

Estimates estimatesOf(const ProductSums &sums)
{
    Estimates estimates{};
    const double norm = std::sqrt(sums.squares1 * sums.squares2);
    for (std::size_t k = 0; k < kLags; ++k)
        estimates[k] = norm > 0 ? sums.products[k] / norm : 0;
    return estimates;
}

float thresholdOf(model::Levels levels, double sigma)
{
    return float(model::thresholdSigma(levels) * sigma);
}

// With the population-count instruction where the processor has one: a
// clone for each, chosen when the program loads.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target_clones("popcnt", "default")))
#endif
std::uint64_t differingBits(const std::uint64_t *a,
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
      spectrum_(samples_), scratch_(samples_), signal_(samples_), first_(fft_.rows() * words_), second_(fft_.rows() * words_)
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

LevelCounts Block::levelCounts(model::Levels levels, double amplitude, double delaySamples, std::uint64_t seed)
{
    synthesize(amplitude, delaySamples, seed);
    transform();
    clip();
    clipMagnitudes(thresholdOf(levels, sigma_));
    return correlateLevels();
}

// The inputs laid out in sample order first: the products at a lag are then
// two runs along both. Four sums at a time, added in a fixed order, four
// times as fast as one; the same sums for the same floats, which the
// float transform gives the same only on the same build (within 1e-9).
ProductSums Block::productSums(double amplitude, double delaySamples, std::uint64_t seed)
{
    synthesize(amplitude, delaySamples, seed);
    transform();
    const std::size_t n = samples_;
    prepare(model::Levels::Analog);
    std::vector<float> &x1 = analog1_, &x2 = analog2_;
    for (std::size_t m = 0; m < n; ++m) {
        x1[m] = real(m);
        x2[m] = imaginary(m);
    }
    const auto dot = [](const float *a, const float *b, std::size_t count, double (&partial)[4]) {
        std::size_t i = 0;
        for (; i + 4 <= count; i += 4)
            for (std::size_t j = 0; j < 4; ++j)
                partial[j] += double(a[i + j]) * double(b[i + j]);
        for (; i < count; ++i)
            partial[0] += double(a[i]) * double(b[i]);
    };
    const auto total = [](const double (&partial)[4]) { return (partial[0] + partial[1]) + (partial[2] + partial[3]); };
    ProductSums sums;
    inParallel(parts_, kLags, [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            double partial[4] = {};
            dot(x1.data(), x2.data() + k, n - k, partial);
            dot(x1.data() + (n - k), x2.data(), k, partial);
            sums.products[k] = total(partial);
        }
    });
    double first[4] = {}, second[4] = {};
    dot(x1.data(), x1.data(), n, first);
    dot(x2.data(), x2.data(), n, second);
    sums.squares1 = total(first);
    sums.squares2 = total(second);
    return sums;
}

// z[m] = sum over the band's k of Z[k] w^k + Z[n - k] w^-k, w = e^(2 pi i m / n);
// w^k runs by products, put back to its exact value every 1024 bins, which
// keeps it within some 1e-13.
std::complex<double> Block::exactSample(std::size_t m) const
{
    const std::size_t n = samples_;
    const auto [lowest, highest] = bandOf(n);
    const double turn = 2 * std::numbers::pi / double(n);
    const auto exactly = [&](std::size_t k) {
        const double angle = turn * double((std::uint64_t(k) * m) % n);
        return std::complex<double>(model::elementary::cos(angle), model::elementary::sin(angle));
    };
    const std::complex<double> step = exactly(1);
    constexpr std::size_t kResync = 1024;
    std::complex<double> w;
    double real = 0, imaginary = 0;
    for (std::size_t k = lowest; k <= highest; ++k) {
        if ((k - lowest) % kResync == 0)
            w = exactly(k);
        // Z[k] w + Z[n - k] conj(w), its parts written out.
        const Complex a = spectrum_[k], b = spectrum_[n - k];
        const double c = w.real(), s = w.imag();
        real += (double(a.r) + double(b.r)) * c + (double(b.i) - double(a.i)) * s;
        imaginary += (double(a.i) + double(b.i)) * c + (double(a.r) - double(b.r)) * s;
        w *= step;
    }
    return {real, imaginary};
}

// What a quantizer needs beyond the signs, taken here rather than on a
// helper thread, where a want of memory could not be told.
void Block::prepare(model::Levels levels)
{
    if ((levels == model::Levels::Three || levels == model::Levels::Four) && firstMagnitude_.empty()) {
        firstMagnitude_.resize(first_.size());
        secondMagnitude_.resize(second_.size());
        secondMagnitudeTurned_.resize(secondTurned_.size());
    }
    if (levels == model::Levels::Analog && analog1_.empty()) {
        analog1_.resize(samples_);
        analog2_.resize(samples_);
    }
}

float Block::real(std::size_t m) const
{
    return signal_[(m % fft_.rows()) * fft_.columns() + m / fft_.rows()].r;
}

float Block::imaginary(std::size_t m) const
{
    return signal_[(m % fft_.rows()) * fft_.columns() + m / fft_.rows()].i;
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

Estimates Correlator::run(std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed, model::Levels levels)
{
    return *run(snrDb, delayUs, seed, {}, levels);
}

namespace {

// The power ratio S of the setting: the signal's amplitude against noises
// of unit power, so that the inputs' correlation is the model's gain
// S / (1 + S).
double amplitudeOf(std::int16_t snrDb)
{
    return std::pow(10.0, snrDb / 20.0);
}

double delaySamplesOf(std::int16_t delayUs)
{
    return delayUs * 1e-6 * kSampleRate;
}

// Block 0 draws from the seed itself: one block is what it always was.
std::uint64_t blockSeed(std::uint64_t seed, std::size_t index)
{
    return seed + index * 0x9e3779b97f4a7c15;
}

} // namespace

void Tally::count(Block &block, double amplitude, double delaySamples, std::uint64_t seed)
{
    switch (levels_) {
    case model::Levels::Two: {
        const Counts counts = block.differing(amplitude, delaySamples, seed);
        for (std::size_t k = 0; k < kLags; ++k)
            differing_[k] += counts[k];
        return;
    }
    case model::Levels::Three:
    case model::Levels::Four:
        levelCounts_ += block.levelCounts(levels_, amplitude, delaySamples, seed);
        return;
    case model::Levels::Analog:
        break;
    }
    const ProductSums sums = block.productSums(amplitude, delaySamples, seed);
    for (std::size_t k = 0; k < kLags; ++k)
        sums_.products[k] += sums.products[k];
    sums_.squares1 += sums.squares1;
    sums_.squares2 += sums.squares2;
}

Tally &Tally::operator+=(const Tally &other)
{
    for (std::size_t k = 0; k < kLags; ++k) {
        differing_[k] += other.differing_[k];
        sums_.products[k] += other.sums_.products[k];
    }
    levelCounts_ += other.levelCounts_;
    sums_.squares1 += other.sums_.squares1;
    sums_.squares2 += other.sums_.squares2;
    return *this;
}

Estimates Tally::estimates(std::uint64_t samples) const
{
    switch (levels_) {
    case model::Levels::Two: {
        Estimates estimates{};
        for (std::size_t k = 0; k < kLags; ++k)
            estimates[k] = 1.0 - 2.0 * double(differing_[k]) / double(samples);
        return estimates;
    }
    case model::Levels::Three:
    case model::Levels::Four:
        return estimatesOf(levels_, levelCounts_, samples);
    case model::Levels::Analog:
        break;
    }
    return estimatesOf(sums_);
}

std::optional<Estimates> Correlator::run(std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed,
                                         const Progress &progress, model::Levels levels)
{
    const double amplitude = amplitudeOf(snrDb);
    const double delaySamples = delaySamplesOf(delayUs);
    // Counts are whole numbers: their sum does not depend on which core
    // added which block, nor in what order; each core keeps its own. Sums
    // of products are kept a block each and added in the blocks' order.
    const bool inOrder = levels == model::Levels::Analog;
    std::vector<Tally> tallies(inOrder ? blocks_.count : engines_.size(), Tally(levels));
    for (const std::unique_ptr<Block> &engine : engines_)
        engine->prepare(levels);
    std::atomic<std::size_t> next = 0, done = 0;
    std::atomic<bool> abandoned = false;
    const auto work = [&](std::size_t engine) {
        for (std::size_t index; !abandoned && (index = next++) < blocks_.count;) {
            tallies[inOrder ? index : engine].count(*engines_[engine], amplitude, delaySamples, blockSeed(seed, index));
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
    Tally total(levels);
    for (const Tally &tally : tallies)
        total += tally;
    return total.estimates(samples());
}

Correlator::Stepping::Stepping(Correlator &correlator, std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed,
                               model::Levels levels)
    : correlator_(correlator), amplitude_(amplitudeOf(snrDb)), delaySamples_(delaySamplesOf(delayUs)), seed_(seed),
      tally_(levels)
{
    correlator_.engines_.front()->prepare(levels);
}

bool Correlator::Stepping::step()
{
    if (next_ == blocks())
        return false;
    tally_.count(*correlator_.engines_.front(), amplitude_, delaySamples_, blockSeed(seed_, next_));
    ++next_;
    return true;
}

void Block::transform()
{
    fft_.inverse(spectrum_.data(), scratch_.data(), signal_.data());
}

// Both inputs at once, as the real and imaginary parts of one complex
// signal: z = x1 + i x2, with x1 = a s + n1 and x2 = a s delayed + n2, s,
// n1 and n2 independent complex Gaussians on the in-band bins, the delay a
// phase ramp.
void Block::synthesize(double amplitude, double delaySamples, std::uint64_t seed)
{
    const std::size_t n = samples_;
    const std::pair<std::size_t, std::size_t> band = bandOf(n);
    const std::size_t lowest = band.first, highest = band.second;
    sigma_ = 2 * std::sqrt(double(highest - lowest + 1) * (1 + amplitude * amplitude));
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
                const std::complex<double> s = drawComplex(normal);
                const std::complex<double> n1 = drawComplex(normal);
                const std::complex<double> n2 = drawComplex(normal);
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

namespace {

// A word's bits: bit j of first and second says whether the real and the
// imaginary part of z[j] (their magnitudes, for magnitudes) lie above
// level; bit j of doubt whether either lies within doubt of it, where the
// float transform may have put it on the wrong side.
struct Packed {
    std::uint64_t first = 0, second = 0, doubt = 0;
};

Packed pack(const Complex *z, std::size_t count, bool magnitudes, float level, float doubt)
{
    Packed bits;
    for (std::size_t j = 0; j < count; ++j) {
        const float r = magnitudes ? std::fabs(z[j].r) : z[j].r, i = magnitudes ? std::fabs(z[j].i) : z[j].i;
        bits.first |= std::uint64_t(r > level) << j;
        bits.second |= std::uint64_t(i > level) << j;
        bits.doubt |= std::uint64_t(std::fabs(r - level) < doubt || std::fabs(i - level) < doubt) << j;
    }
    return bits;
}

// The same for a whole word of 64 samples, four at a time where the
// processor compares four floats at once: a tenth of the instructions.
Packed packWord(const Complex *z, bool magnitudes, float level, float doubt)
{
#if defined(__SSE2__)
    static_assert(sizeof(Complex) == 2 * sizeof(float));
    const float *at = &z[0].r;
    const __m128 all = _mm_castsi128_ps(_mm_set1_epi32(-1));
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 keep = magnitudes ? magnitude : all;
    const __m128 levels = _mm_set1_ps(level), doubts = _mm_set1_ps(doubt);
    Packed bits;
    for (unsigned j = 0; j < 64; j += 4, at += 8) {
        const __m128 low = _mm_and_ps(_mm_loadu_ps(at), keep), high = _mm_and_ps(_mm_loadu_ps(at + 4), keep);
        const __m128 reals = _mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 imaginaries = _mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1));
        bits.first |= std::uint64_t(_mm_movemask_ps(_mm_cmpgt_ps(reals, levels))) << j;
        bits.second |= std::uint64_t(_mm_movemask_ps(_mm_cmpgt_ps(imaginaries, levels))) << j;
        const __m128 near = _mm_or_ps(_mm_cmplt_ps(_mm_and_ps(_mm_sub_ps(reals, levels), magnitude), doubts),
                                      _mm_cmplt_ps(_mm_and_ps(_mm_sub_ps(imaginaries, levels), magnitude), doubts));
        bits.doubt |= std::uint64_t(_mm_movemask_ps(near)) << j;
    }
    return bits;
#else
    return pack(z, 64, magnitudes, level, doubt);
#endif
}

// Where the transform leaves a sample's side in doubt: within 2^-16 of the
// inputs' standard deviation of it, sixteen times the largest error of
// kissfft's float transform measured over 12 blocks of 2^17 samples at
// three amplitudes (2^-20.1; its root mean square 2^-22.6). Those few
// samples, some 3 in a block of 2^17, are summed exactly, and the bits are
// the same whatever the transform's rounding: Debian's kissfft, built with
// -ffast-math, and the same source compiled for the browser round
// differently.
constexpr double kDoubt = 0x1p-16;

} // namespace

// One bit a sample, set where the input is positive: x1 in the real parts,
// x2 in the imaginary ones.
void Block::clip()
{
    decide(first_, second_, false, 0);
    turnRows(second_, secondTurned_);
}

void Block::decide(std::vector<std::uint64_t> &first, std::vector<std::uint64_t> &second, bool magnitudes,
                   float level) const
{
    const std::size_t columns = fft_.columns(), rows = fft_.rows();
    const float doubt = float(kDoubt * sigma_);
    inParallel(parts_, rows, [&](std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r) {
            const Complex *z = signal_.data() + r * columns;
            std::uint64_t *x1 = first.data() + r * words_;
            std::uint64_t *x2 = second.data() + r * words_;
            for (std::size_t word = 0; word < words_; ++word) {
                const std::size_t count = std::min<std::size_t>(64, columns - word * 64);
                const Packed bits = count == 64 ? packWord(z + word * 64, magnitudes, level, doubt)
                                                : pack(z + word * 64, count, magnitudes, level, doubt);
                x1[word] = bits.first;
                x2[word] = bits.second;
                for (std::uint64_t doubtful = bits.doubt; doubtful != 0; doubtful &= doubtful - 1) {
                    const unsigned j = unsigned(std::countr_zero(doubtful));
                    const std::complex<double> exact = exactSample(r + rows * (word * 64 + j));
                    const double e1 = magnitudes ? std::fabs(exact.real()) : exact.real();
                    const double e2 = magnitudes ? std::fabs(exact.imag()) : exact.imag();
                    const std::uint64_t bit = std::uint64_t(1) << j;
                    x1[word] = e1 > level ? x1[word] | bit : x1[word] & ~bit;
                    x2[word] = e2 > level ? x2[word] | bit : x2[word] & ~bit;
                }
            }
        }
    });
}

void Block::clipMagnitudes(float threshold)
{
    prepare(model::Levels::Four);
    decide(firstMagnitude_, secondMagnitude_, true, threshold);
    turnRows(secondMagnitude_, secondMagnitudeTurned_);
}

void Block::turnRows(const std::vector<std::uint64_t> &plane, std::vector<std::uint64_t> &turned) const
{
    const std::size_t columns = fft_.columns();
    const std::size_t rows = std::min(fft_.rows(), kLags);
    const std::size_t turns = turned.size() / (rows * words_);
    for (std::size_t t = 1; t <= turns; ++t)
        for (std::size_t r = 0; r < rows; ++r) {
            const std::uint64_t *row = plane.data() + r * words_;
            std::uint64_t *out = turned.data() + ((t - 1) * rows + r) * words_;
            std::fill(out, out + words_, 0);
            for (std::size_t c = 0; c < columns; ++c) {
                const std::size_t from = (c + t) % columns;
                out[c / 64] |= ((row[from / 64] >> (from % 64)) & 1) << (c % 64);
            }
        }
}

// At lag k, sample m = r + rows c meets sample m + k = r' + rows (c + t),
// with r + k = t rows + r': row r of the first input against row r' of the
// second turned by t. Every row pair lines up word for word.
const std::uint64_t *Block::partner(const std::vector<std::uint64_t> &plane, const std::vector<std::uint64_t> &turned,
                                    std::size_t r, std::size_t k) const
{
    const std::size_t rows = fft_.rows();
    const std::size_t t = (r + k) / rows, other = (r + k) % rows;
    return t == 0 ? plane.data() + other * words_
                  : turned.data() + ((t - 1) * std::min(rows, kLags) + other) * words_;
}

Counts Block::correlate() const
{
    const std::size_t rows = fft_.rows();
    Counts counts{};
    inParallel(parts_, kLags, [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            std::uint64_t count = 0;
            const std::size_t aligned = k < rows ? rows - k : 0;
            count += differingBits(first_.data(), second_.data() + k * words_, aligned * words_);
            for (std::size_t r = aligned; r < rows; ++r)
                count += differingBits(first_.data() + r * words_, partner(second_, secondTurned_, r, k), words_);
            counts[k] = count;
        }
    });
    return counts;
}

namespace {

struct PlaneCounts {
    std::uint64_t d = 0, dA = 0, dB = 0, dAB = 0, AB = 0;
};

// The counts of a three- or four-level correlator over runs of words: the
// signs a and b, the magnitudes ma and mb.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target_clones("popcnt", "default")))
#endif
void countPlanes(const std::uint64_t *a, const std::uint64_t *ma, const std::uint64_t *b, const std::uint64_t *mb,
                 std::size_t words, PlaneCounts &counts)
{
    PlaneCounts sum = counts;
    for (std::size_t i = 0; i < words; ++i) {
        const std::uint64_t d = a[i] ^ b[i], both = ma[i] & mb[i];
        sum.d += std::uint64_t(std::popcount(d));
        sum.dA += std::uint64_t(std::popcount(d & ma[i]));
        sum.dB += std::uint64_t(std::popcount(d & mb[i]));
        sum.dAB += std::uint64_t(std::popcount(d & both));
        sum.AB += std::uint64_t(std::popcount(both));
    }
    counts = sum;
}

std::uint64_t bitsSet(const std::vector<std::uint64_t> &plane)
{
    std::uint64_t count = 0;
    for (const std::uint64_t word : plane)
        count += std::uint64_t(std::popcount(word));
    return count;
}

} // namespace

LevelCounts Block::correlateLevels() const
{
    const std::size_t rows = fft_.rows();
    LevelCounts counts;
    counts.a = bitsSet(firstMagnitude_);
    counts.b = bitsSet(secondMagnitude_);
    inParallel(parts_, kLags, [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            PlaneCounts planes;
            const std::size_t aligned = k < rows ? rows - k : 0;
            countPlanes(first_.data(), firstMagnitude_.data(), second_.data() + k * words_,
                        secondMagnitude_.data() + k * words_, aligned * words_, planes);
            for (std::size_t r = aligned; r < rows; ++r)
                countPlanes(first_.data() + r * words_, firstMagnitude_.data() + r * words_,
                            partner(second_, secondTurned_, r, k),
                            partner(secondMagnitude_, secondMagnitudeTurned_, r, k), words_, planes);
            counts.d[k] = planes.d;
            counts.dA[k] = planes.dA;
            counts.dB[k] = planes.dB;
            counts.dAB[k] = planes.dAB;
            counts.AB[k] = planes.AB;
        }
    });
    return counts;
}

} // namespace simulation
