// A clipped (one-bit) or quantized correlator fed with two noisy copies of
// one band-limited signal, simulated: the physics that the model's curves
// sum up.
#pragma once

#include "model/quantization.h"
#include "simulation/fourstepfft.h"
#include "simulation/parallel.h"

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
// Longer signals are made in blocks of at most this many samples (0.66 s),
// so that memory does not grow with the duration: 3 MB a core.
inline constexpr std::size_t kBlockSamples = std::size_t(1) << 17;

using Estimates = std::array<double, kLags>;
// Positions where the two clipped inputs differ, at each lag.
using Counts = std::array<std::uint64_t, kLags>;

// The number of positions where two runs of words differ: XOR and
// population count, the whole of a one-bit correlator's arithmetic.
std::uint64_t differingBits(const std::uint64_t *a, const std::uint64_t *b, std::size_t words);

// What a three- or four-level correlator counts, its inputs as a sign bit
// and a magnitude bit (set beyond the threshold) a sample: at each lag the
// positions where the signs differ (d), and where besides the first's
// magnitude bit is set (dA), the second's (dB), both (dAB); where both
// magnitude bits are (AB); and how many magnitude bits each input sets.
// Four levels, q = (1 + 2 m)(1 - 2 s), sum their products as
//   N + 2a + 2b + 4AB - 2(d + 2dA + 2dB + 4dAB),
// three levels, q = m (1 - 2 s), as AB - 2 dAB.
struct LevelCounts {
    Counts d{}, dA{}, dB{}, dAB{}, AB{};
    std::uint64_t a = 0, b = 0;
    LevelCounts &operator+=(const LevelCounts &other);
};

// What an unquantized correlator sums: the products at each lag and the
// squares of each input.
struct ProductSums {
    std::array<double, kLags> products{};
    double squares1 = 0;
    double squares2 = 0;
};

// A quantized correlator's estimates at lags 0, 5, ..., 300 microseconds,
// normalised by the zero-lag products of each input, from what its blocks
// counted over samples positions.
Estimates estimatesOf(model::Levels levels, const LevelCounts &counts, std::uint64_t samples);
Estimates estimatesOf(const ProductSums &sums);

// The inputs' threshold for a quantizer whose inputs have the standard
// deviation sigma.
float thresholdOf(model::Levels levels, double sigma);

// The smallest 2^a 3^b 5^c at least seconds x 200,000.
std::size_t samplesFor(double seconds);

// How seconds of signal are cut: count blocks of length samples each, the
// smallest 2^a 3^b 5^c that, count times, covers the seconds. One block
// up to kBlockSamples; beyond, every block has more than half of that,
// so its bins lie close enough that the discrete spectrum stays within
// 0.0001 of the model's curve.
struct Blocks {
    std::size_t count;
    std::size_t samples;
};
Blocks blocksFor(double seconds);

// One block: an exact realisation of both inputs on a circle of samples,
// clipped and correlated.
class Block {
public:
    // Plans the transforms and takes the memory: some 24 bytes a sample.
    // Throws std::bad_alloc when there is not enough.
    Block(std::size_t samples, unsigned parts);


    // The counts of one realisation drawn from seed.
    Counts differing(double amplitude, double delaySamples, std::uint64_t seed);
    // The same realisation, quantized to three or four levels.
    LevelCounts levelCounts(model::Levels levels, double amplitude, double delaySamples, std::uint64_t seed);
    // The same realisation, unquantized.
    ProductSums productSums(double amplitude, double delaySamples, std::uint64_t seed);

    // The steps of differing(), for the benchmarks: the inputs' spectrum,
    // the transform, clipping them to one bit, and correlating the bits.
    void synthesize(double amplitude, double delaySamples, std::uint64_t seed);
    void transform();
    void clip();
    Counts correlate() const;
    // For three and four levels: the magnitude bits beyond threshold, and
    // the counts of the sign and magnitude bits together.
    void clipMagnitudes(float threshold);
    LevelCounts correlateLevels() const;

    // Takes the memory a quantizer needs beyond the signs' (the magnitude
    // planes, the unquantized inputs), once. Throws std::bad_alloc.
    void prepare(model::Levels levels);
    // The inputs' standard deviation, the same for both: the simulator
    // knows it from the spectrum it draws, 4 x bins x (1 + amplitude^2)
    // for the transform it takes; a hardware correlator's level control
    // measures it instead.
    double sigma() const { return sigma_; }
    // Both inputs at sample m summed straight from the spectrum in double
    // precision, in a fixed order, with correctly rounded twiddles: the
    // same on every machine, to some 1e-13 of their standard deviation.
    std::complex<double> exactSample(std::size_t m) const;
    // The inputs after the transform: the first at sample m is real(m), the
    // second imaginary(m).
    float real(std::size_t m) const;
    float imaginary(std::size_t m) const;

private:
    // Each sample's bit in first and second: above level or not (its
    // magnitude, for magnitudes).
    void decide(std::vector<std::uint64_t> &first, std::vector<std::uint64_t> &second, bool magnitudes,
                float level) const;
    // Row r of bits turned by t for each t the lags need: bit c is the
    // row's bit (c + t) mod columns.
    void turnRows(const std::vector<std::uint64_t> &rows, std::vector<std::uint64_t> &turned) const;
    // The rows of the second input's plane that lag k meets row r of the
    // first at.
    const std::uint64_t *partner(const std::vector<std::uint64_t> &rows, const std::vector<std::uint64_t> &turned,
                                 std::size_t r, std::size_t k) const;

    std::size_t samples_;
    unsigned parts_;
    FourStepFft fft_;
    std::size_t words_; // 64-bit words in a row of bits
    double sigma_ = 1;
    std::vector<Complex> spectrum_;
    std::vector<Complex> scratch_;
    // The transform of spectrum_, which stays for exactSample().
    std::vector<Complex> signal_;
    // The clipped inputs, a bit a sample, row r holding samples r, r +
    // rows, r + 2 rows...: first input, second input, and the second's
    // rows turned by one, two... samples along, for the lags that reach
    // past the last row.
    std::vector<std::uint64_t> first_;
    std::vector<std::uint64_t> second_;
    std::vector<std::uint64_t> secondTurned_;
    // The magnitude bits in the same rows, taken when first needed.
    std::vector<std::uint64_t> firstMagnitude_;
    std::vector<std::uint64_t> secondMagnitude_;
    std::vector<std::uint64_t> secondMagnitudeTurned_;
    // The inputs in sample order, for the unquantized correlator.
    std::vector<float> analog1_;
    std::vector<float> analog2_;
};

// What the blocks of one realisation have counted, for a quantizer: counts
// add up in any order, sums of products in the blocks' order.
class Tally {
public:
    explicit Tally(model::Levels levels) : levels_(levels) {}
    // One block's realisation, counted.
    void count(Block &block, double amplitude, double delaySamples, std::uint64_t seed);
    Tally &operator+=(const Tally &other);
    // The estimates, normalised over samples positions.
    Estimates estimates(std::uint64_t samples) const;

private:
    model::Levels levels_;
    Counts differing_{};
    LevelCounts levelCounts_;
    ProductSums sums_;
};

class Correlator {
public:
    // Told after blocks how many of how many are done; returning false
    // abandons the run.
    using Progress = std::function<bool(std::size_t done, std::size_t of)>;

    // Takes the memory for seconds of signal on workers cores: a block's
    // worth for each, whatever the seconds. Throws std::bad_alloc when
    // there is not enough.
    explicit Correlator(double seconds, unsigned workers = defaultWorkers());
    ~Correlator();

    // Samples simulated in all.
    std::size_t samples() const { return blocks_.count * blocks_.samples; }

    // One realisation, drawn from seed: the correlator's estimates at lags
    // 0, 5, ..., 300 microseconds of the two inputs' clipped (or quantized)
    // signals, uncorrected. Each block draws from the seed and its index
    // alone, so the same seed gives the same estimates on any number of
    // cores, and the same noise to every quantizer.
    Estimates run(std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed,
                  model::Levels levels = model::Levels::Two);
    // The same, or nothing when progress abandoned it.
    std::optional<Estimates> run(std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed,
                                 const Progress &progress, model::Levels levels = model::Levels::Two);

    // One realisation a block at a time, on one core, for a caller that
    // must get back to its own events in between (the browser's worker,
    // which a message reaches only then): the same estimates as run().
    class Stepping {
    public:
        Stepping(Correlator &correlator, std::int16_t snrDb, std::int16_t delayUs, std::uint64_t seed,
                 model::Levels levels);
        // Counts the next block; false once all are counted.
        bool step();
        std::size_t blocks() const { return correlator_.blocks_.count; }
        Estimates estimates() const { return tally_.estimates(correlator_.samples()); }

    private:
        Correlator &correlator_;
        double amplitude_;
        double delaySamples_;
        std::uint64_t seed_;
        Tally tally_;
        std::size_t next_ = 0;
    };

private:
    Blocks blocks_;
    std::vector<std::unique_ptr<Block>> engines_;
};

} // namespace simulation
