#include "plot/values.h"

#include "plot/tick.h"

#include <charconv>
#include <limits>

namespace plot {

namespace {

// A tick's values are all a file wants of it: nothing is drawn.
struct NoSurface {
    void clearSurface() {}
    void setPoint(float, float, Colour) {}
    void drawLine(float, float, float, float, Colour) {}
    void fillRect(float, float, float, float, Colour) {}
};

} // namespace

std::vector<double> shownEstimates(std::span<const double> estimates, model::Quantization quantization)
{
    std::vector<double> shown(estimates.begin(), estimates.end());
    if (quantization.vanVleck)
        for (double &estimate : shown)
            estimate = model::vanVleck(quantization.levels, estimate);
    return shown;
}

std::string curveCsv(Settings settings, model::Quantization quantization, std::span<const double> simulated)
{
    const bool withSimulated = !simulated.empty();
    std::string text = withSimulated ? "lag_us,correlation,simulated\n" : "lag_us,correlation\n";
    text.reserve(30100 * 48);
    char line[80];
    const auto number = [&](char *at, double value) { return std::to_chars(at, line + sizeof line, value).ptr; };
    std::size_t nextSimulated = 0;
    const auto simulatedUpTo = [&](double lag) {
        for (; nextSimulated < simulated.size(); ++nextSimulated) {
            const double simulatedLag = double(nextSimulated) * kSimulatedLagStepUs;
            if (simulatedLag >= lag)
                return;
            char *end = number(line, simulatedLag);
            *end++ = ',';
            *end++ = ',';
            end = number(end, simulated[nextSimulated]);
            *end++ = '\n';
            text.append(line, end);
        }
    };
    NoSurface nothing;
    tick(
        nothing, settings, quantization, {}, ".", [](Readout, const std::string &) {},
        [&](double lag, double value) {
            simulatedUpTo(lag);
            char *end = number(line, lag);
            *end++ = ',';
            end = number(end, value);
            if (withSimulated)
                *end++ = ',';
            *end++ = '\n';
            text.append(line, end);
        });
    simulatedUpTo(std::numeric_limits<double>::infinity());
    return text;
}

} // namespace plot
