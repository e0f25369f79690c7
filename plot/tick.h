// One tick of the window: everything it draws and writes for two settings.
#pragma once

#include "plot/drawingsurface.h"
#include "plot/frame.h"
#include "plot/readout.h"
#include "plot/settings.h"
#include "plot/trace.h"

#include "model/correlation.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plot {

// Everything a tick draws lies left of and above this corner, in twips: the
// frame ends at (9300, 6500), and a simulated square reaches half its side
// past its centre, which is at most at (9290.8, 6500).
inline constexpr double kDrawingRight = 9330;
inline constexpr double kDrawingBottom = 6540;

// Simulated estimates are drawn at lags 0, 5, 10, ... microseconds.
inline constexpr double kSimulatedLagStepUs = 5;
// A simulated estimate is a filled square 5 pixels wide at 96 dpi.
inline constexpr float kSimulatedHalfSide = 2.5f * 15;

// The simulated estimates as blue squares, centred where the curve puts
// their lag and value, over whatever is drawn.
void drawSimulated(DrawingSurface auto &surface, std::span<const double> simulated)
{
    for (std::size_t k = 0; k < simulated.size(); ++k) {
        const float x = trace::xOf(double(k) * kSimulatedLagStepUs);
        const float y = trace::yOf(simulated[k]);
        surface.fillRect(x - kSimulatedHalfSide, y - kSimulatedHalfSide, x + kSimulatedHalfSide,
                         y + kSimulatedHalfSide, kBlue);
    }
}

// A correlator's estimates as the plot shows them: corrected when the
// curve is, each by the inverse of the quantizer's curve.
std::vector<double> shownEstimates(std::span<const double> estimates, model::Quantization quantization);

// In this order: the frame, the two setting readouts, the curve, the
// simulated estimates over it (as shown), and last the zero-lag readout.
// show(Readout, std::string) gets each readout's text, in UTF-8, as soon
// as it is known, so a fault in the trace leaves the readouts written
// before it; values gets every traced (lag, value). Throws
// model::ArithmeticFault on a fault.
template <typename Show, typename Values = IgnoreValues>
void tick(DrawingSurface auto &surface, Settings settings, model::Quantization quantization,
          std::span<const double> simulated, std::string_view decimalSeparator, Show &&show, Values &&values = {})
{
    drawFrame(surface);
    show(Readout::Snr, decimalText(settings.snrDb));
    show(Readout::Delay, decimalText(settings.delayUs));
    const double gain = model::correlationGain(settings.snrDb);
    traceCurve(surface, settings.delayUs, gain, quantization, values);
    drawSimulated(surface, simulated);
    show(Readout::ZeroLag, zeroLagText(model::zeroLagValue(gain, quantization), decimalSeparator));
}

} // namespace plot
