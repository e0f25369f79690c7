#pragma once

#include "drawingsurface.h"

#include "correlation.h"

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
} // namespace trace

// Calls visit(lag, value) for every traced lag, 0.0001 to 299.9901
// microseconds in steps of 0.01, in order. Throws model::ArithmeticFault on
// a fault, after visiting every lag before it.
template <typename Visit>
void traceValues(std::int16_t delayUs, double gain, Visit &&visit)
{
    using namespace trace;
    std::array<double, kRunLength> lags;
    std::array<double, kRunLength> values;
    // The lag is a running sum, not first + k * step: the accumulated
    // rounding is what makes the trace end after exactly 30,000 points. Each
    // run goes on from the last lag of the run before.
    model::LagSteps steps{kFirstLagUs, kLagStepUs, kLastLagUs};
    for (;;) {
        const model::Run run = model::correlationRun(steps, kRunLength, delayUs, gain, lags.data(), values.data());
        if (run.count == 0)
            return;
        if (run.clean) {
            for (std::size_t i = 0; i < run.count; ++i)
                visit(lags[i], values[i]);
        } else {
            // Lag by lag, so that the points before the fault are visited
            // and correlationAt raises the fault where it happens.
            for (std::size_t i = 0; i < run.count; ++i)
                visit(lags[i], model::correlationAt(lags[i], delayUs, gain));
        }
        steps.firstUs = lags[run.count - 1] + kLagStepUs;
    }
}

// Plots the correlation curve for lags 0..300 microseconds, one magenta
// point every 0.01 microseconds. Throws model::ArithmeticFault on a fault.
// A template so that a concrete surface's setPoint is called directly, not
// through the virtual table, 30,000 times a tick.
template <typename Surface>
void traceCurve(Surface &surface, std::int16_t delayUs, double gain)
{
    using namespace trace;
    traceValues(delayUs, gain, [&surface](double lag, double value) {
        const auto x = float(kTwipsPerMicrosecond * lag + kOriginX);
        const auto y = float(kOriginY - kTwipsPerUnit * value);
        surface.setPoint(x, y, kMagenta);
    });
}

} // namespace plot
