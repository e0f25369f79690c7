#include "model/correlation.h"
#include "model/elementary.h"
#include "plot/frame.h"
#include "plot/imagesurface.h"
#include "plot/tick.h"
#include "plot/trace.h"
#include "simulation/correlator.h"

#include <QLocale>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

const QSize kPixels(769, 697);

// This machine is shared: the fastest repetition is the one least disturbed.
double fastest(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }
constexpr double kTwipsPerPixel = 15;
const QColor kBackground(0xf0, 0xf0, 0xf0);

// The chain of the model written plainly, with no fault checks at all: the
// floor that no checked model can go under.
double plainCorrelation(double lagUs, std::int16_t delayUs, double gain)
{
    namespace elementary = model::elementary;
    const double t = lagUs - delayUs;
    const double x1 = (t * 78500.0) / 1000000;
    const double x2 = (t * 125600.0) / 1000000;
    const double rho = (elementary::sin(x1) / x1 * gain) * elementary::cos(x2);
    return (2 / 3.14) * elementary::atan(rho / std::sqrt(1 + rho * -rho));
}

void BM_ModelFloor(benchmark::State &state)
{
    const double gain = model::correlationGain(0);
    std::int16_t delayUs = 0;
    benchmark::DoNotOptimize(delayUs);
    for (auto _ : state)
        for (double lag = 0.0001; lag <= 300; lag += 0.01)
            benchmark::DoNotOptimize(plainCorrelation(lag, delayUs, gain));
}
BENCHMARK(BM_ModelFloor)->Unit(benchmark::kMillisecond)->Repetitions(10)->ComputeStatistics("min", fastest);

// The model alone, as a trace drives it. Both this and the floor hand each
// value on as it comes, so that neither waits on a chain of additions.
void BM_ModelTrace(benchmark::State &state)
{
    const double gain = model::correlationGain(0);
    std::int16_t delayUs = 0;
    benchmark::DoNotOptimize(delayUs);
    for (auto _ : state)
        plot::traceValues(delayUs, gain, {}, [](double, double value) { benchmark::DoNotOptimize(value); });
}
BENCHMARK(BM_ModelTrace)->Unit(benchmark::kMillisecond)->Repetitions(10)->ComputeStatistics("min", fastest);

void BM_DrawFrame(benchmark::State &state)
{
    plot::ImageSurface surface(kPixels, kTwipsPerPixel, kBackground);
    for (auto _ : state) {
        plot::drawFrame(surface);
        benchmark::DoNotOptimize(surface.image().constBits());
    }
}
BENCHMARK(BM_DrawFrame)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ComputeStatistics("min", fastest);

// One tick of the window, everything but putting it on the screen; the
// argument is the quantizer's levels (5 for none).
model::Levels levelsOf(const benchmark::State &state)
{
    switch (state.range(0)) {
    case 3:
        return model::Levels::Three;
    case 4:
        return model::Levels::Four;
    case 5:
        return model::Levels::Analog;
    default:
        return model::Levels::Two;
    }
}

void BM_Calcolo(benchmark::State &state)
{
    plot::ImageSurface surface(kPixels, kTwipsPerPixel, kBackground);
    const std::string separator = QLocale::system().decimalPoint().toStdString();
    const model::Quantization quantization{levelsOf(state), false};
    for (auto _ : state) {
        plot::tick(surface, plot::Settings{}, quantization, {}, separator,
                   [](plot::Readout, const std::string &text) { benchmark::DoNotOptimize(text); });
        benchmark::DoNotOptimize(surface.image().constBits());
    }
}
BENCHMARK(BM_Calcolo)->Arg(2)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond)->Repetitions(10)
    ->ComputeStatistics("min", fastest);

// The simulated correlator; the argument is the signal's length in
// hundredths of a second. Its helper threads make wall time the measure.
double secondsOf(const benchmark::State &state) { return double(state.range(0)) / 100; }

// The second argument is the quantizer's levels, as for BM_Calcolo.
void BM_Simulation(benchmark::State &state)
{
    simulation::Correlator correlator(secondsOf(state));
    std::uint64_t seed = 1;
    const model::Levels levels = state.range(1) == 4 ? model::Levels::Four : model::Levels::Two;
    for (auto _ : state)
        benchmark::DoNotOptimize(correlator.run(0, 50, seed++, levels));
    state.counters["samples"] = double(correlator.samples());
}
BENCHMARK(BM_Simulation)->Args({260, 2})->Args({4200, 2})->Args({4200, 4})->Args({60000, 2})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ComputeStatistics("min", fastest);

// One block on one core, whole...
void BM_Block(benchmark::State &state)
{
    simulation::Block block(simulation::kBlockSamples, 1);
    std::uint64_t seed = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(block.differing(1, 10, seed++));
}
BENCHMARK(BM_Block)->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", fastest);

// ...and its inverse transform alone, which makes both inputs at once.
void BM_BlockTransform(benchmark::State &state)
{
    simulation::Block block(simulation::kBlockSamples, 1);
    for (auto _ : state) {
        state.PauseTiming();
        block.synthesize(1, 10, 1);
        state.ResumeTiming();
        block.transform();
    }
}
BENCHMARK(BM_BlockTransform)->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", fastest);

// The correlation of 61 lags over the clipped inputs of a block...
void BM_CorrelationKernel(benchmark::State &state)
{
    simulation::Block block(simulation::kBlockSamples, 1);
    block.differing(1, 10, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(block.correlate());
}
BENCHMARK(BM_CorrelationKernel)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ComputeStatistics("min", fastest);

// ...against the same count of bits compared at word-aligned lags: the
// population-count limit.
void BM_AlignedPopcount(benchmark::State &state)
{
    const std::size_t words = simulation::kBlockSamples / 64;
    std::vector<std::uint64_t> first(words, 0x5555555555555555), second(words + simulation::kLags, 0x0f0f0f0f0f0f0f0f);
    for (auto _ : state) {
        std::uint64_t count = 0;
        for (std::size_t k = 0; k < simulation::kLags; ++k)
            count += simulation::differingBits(first.data(), second.data() + k, words);
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_AlignedPopcount)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ComputeStatistics("min", fastest);

} // namespace

// Repetitions of the benchmarks are interleaved, so a busy spell on the
// shared host lands on all of them alike instead of on the one that runs then
// and the ratios to the floor stay fair. Flags given by hand come later and win.
int main(int argc, char **argv)
{
    std::vector<char *> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
