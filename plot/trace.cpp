#include "trace.h"

#include "correlation.h"

namespace plot {

namespace {

constexpr double kFirstLagUs = 0.0001;
constexpr double kLastLagUs = 300;
constexpr double kLagStepUs = 0.01;
constexpr double kOriginX = 100;
constexpr double kTwipsPerMicrosecond = 30.636;
constexpr double kOriginY = 3300;
constexpr double kTwipsPerUnit = 3200;

} // namespace

void traceCurve(DrawingSurface &surface, std::int16_t delayUs, double gain)
{
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
