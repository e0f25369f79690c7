#pragma once

#include "drawingsurface.h"

#include "correlation.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

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
inline constexpr std::size_t kRunLength = 1000;
} // namespace trace

// Calls visit(lag, value) for every traced lag, 0.0001 to 299.9901
// microseconds in steps of 0.01, in order. Throws model::ArithmeticFault on
// a fault, after visiting every lag before it.
template <typename Visit>
void traceValues(std::int16_t delayUs, double gain, Visit &&visit)
{
    using namespace trace;
    using Run = std::array<double, kRunLength>;

    // The lag is a running sum, not first + k * step: the accumulated
    // rounding is what makes the loop stop after exactly 30,000 points.
    double lag = kFirstLagUs;
    const auto sumUp = [&lag](Run &run, std::size_t &count) __attribute__((always_inline)) {
        if (count < kRunLength && lag <= kLastLagUs) {
            run[count++] = lag;
            lag += kLagStepUs;
        }
    };

    // Visits the values of one run, handed to the model as a whole, and
    // returns the next run's length. The additions of the running sum depend
    // on one another, a chain that would stall a loop of its own, so the next
    // run's lags are summed up alongside the visits. Inlined, so that the sum
    // stays in a register.
    const auto traceRun = [&](const Run &run, std::size_t count, Run &next) __attribute__((always_inline)) {
        std::size_t nextCount = 0;
        Run values;
        if (model::correlationRun({run.data(), count}, delayUs, gain, values.data())) {
            for (std::size_t i = 0; i < count; ++i) {
                visit(run[i], values[i]);
                sumUp(next, nextCount);
            }
        } else {
            // Lag by lag, so that the points before the fault are visited and
            // correlationAt raises the fault where it happens.
            for (std::size_t i = 0; i < count; ++i)
                visit(run[i], model::correlationAt(run[i], delayUs, gain));
        }
        while (nextCount < kRunLength && lag <= kLastLagUs)
            sumUp(next, nextCount);
        return nextCount;
    };

    Run even;
    Run odd;
    std::size_t count = 0;
    while (count < kRunLength && lag <= kLastLagUs)
        sumUp(even, count);
    while (count > 0 && (count = traceRun(even, count, odd)) > 0)
        count = traceRun(odd, count, even);
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
