#pragma once

#include "plot/drawingsurface.h"

#include "model/correlation.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace plot {

namespace trace {
inline constexpr double kFirstLagUs = 0.0001;
inline constexpr double kLastLagUs = 300;
inline constexpr double kLagStepUs = 0.01;
inline constexpr double kOriginX = 100;
inline constexpr double kTwipsPerMicrosecond = 30.636;
inline constexpr double kOriginY = 3300;
inline constexpr double kTwipsPerUnit = 3200;
// Lags handed to the model at once; it checks each run for faults once.
inline constexpr std::size_t kRunLength = 2000;

// Where the curve puts a lag and a correlation value, in twips: computed
// in double precision, then rounded to float.
inline float xOf(double lagUs) { return float(kTwipsPerMicrosecond * lagUs + kOriginX); }
inline float yOf(double value) { return float(kOriginY - kTwipsPerUnit * value); }
} // namespace trace

// Calls visit(lag, value) for every traced lag, 0.0001 to 299.9901
// microseconds in steps of 0.01, in order, the curve that quantization
// says. Throws model::ArithmeticFault on
// a fault, after visiting every lag before it.
template <typename Visit>
void traceValues(std::int16_t delayUs, double gain, model::Quantization quantization, Visit &&visit)
{
    using namespace trace;
    std::array<double, kRunLength> lags;
    std::array<double, kRunLength> values;
    // The lag is a running sum, not first + k * step: the accumulated
    // rounding is what makes the trace end after exactly 30,000 points. Each
    // run goes on from the last lag of the run before.
    model::LagSteps steps{kFirstLagUs, kLagStepUs, kLastLagUs};
    for (;;) {
        const model::Run run =
            model::correlationRun(steps, kRunLength, delayUs, gain, lags.data(), values.data(), quantization);
        if (run.count == 0)
            return;
        if (run.clean) {
            for (std::size_t i = 0; i < run.count; ++i)
                visit(lags[i], values[i]);
        } else {
            // Lag by lag, so that the points before the fault are visited
            // and correlationAt raises the fault where it happens.
            for (std::size_t i = 0; i < run.count; ++i)
                visit(lags[i], model::correlationAt(lags[i], delayUs, gain, quantization));
        }
        steps.firstUs = lags[run.count - 1] + kLagStepUs;
    }
}

// Nothing to do with a traced value when only the picture is wanted.
struct IgnoreValues {
    void operator()(double, double) const {}
};

// Plots the correlation curve for lags 0..300 microseconds, one magenta
// point every 0.01 microseconds, and hands each traced value to values.
// Throws model::ArithmeticFault on a fault.
template <typename Values = IgnoreValues>
void traceCurve(DrawingSurface auto &surface, std::int16_t delayUs, double gain, model::Quantization quantization,
                Values &&values = {})
{
    traceValues(delayUs, gain, quantization, [&surface, &values](double lag, double value) {
        surface.setPoint(trace::xOf(lag), trace::yOf(value), kMagenta);
        values(lag, value);
    });
}

} // namespace plot
