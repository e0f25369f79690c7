#pragma once

#include "drawingsurface.h"

#include "correlation.h"

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
} // namespace trace

// Plots the correlation curve for lags 0..300 microseconds, one magenta
// point every 0.01 microseconds. Throws model::ArithmeticFault on a fault.
// A template so that a concrete surface's setPoint is called directly, not
// through the virtual table, 30,000 times a tick.
template <typename Surface>
void traceCurve(Surface &surface, std::int16_t delayUs, double gain)
{
    using namespace trace;
    // The lag is a running sum, not first + k * step: the accumulated
    // rounding is what makes the loop stop after exactly 30,000 points.
    for (double lag = kFirstLagUs; lag <= kLastLagUs; lag += kLagStepUs) {
        const double value = model::correlationAt(lag, delayUs, gain);
        const auto x = float(kTwipsPerMicrosecond * lag + kOriginX);
        const auto y = float(kOriginY - kTwipsPerUnit * value);
        surface.setPoint(x, y, kMagenta);
    }
}

} // namespace plot
