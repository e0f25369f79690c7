// Correlators that record more than the sign: what a quantizer does to the
// correlation of two Gaussian inputs, and the Van Vleck correction that
// undoes it.
#pragma once

namespace model {

// The quantizers: two levels (the sign, a one-bit correlator); three
// (-1, 0, +1, thresholds at +-0.612 sigma); four (+-1, +-3, thresholds at 0
// and +-0.996 sigma, two bits); none (the analog inputs themselves).
enum class Levels { Two, Three, Four, Analog };

// What a curve shows: a quantizer's output, or, corrected, the input
// correlation it estimates.
struct Quantization {
    Levels levels = Levels::Two;
    bool vanVleck = false;
    bool operator==(const Quantization &) const = default;
};

// Whether the curve is the unquantized correlation itself: nothing to
// quantize, or a quantizer's output corrected back to it.
inline bool showsInputCorrelation(Quantization q)
{
    return q.vanVleck || q.levels == Levels::Analog;
}

// Every quantizer, in the order the window's menu lists them.
inline constexpr Levels kAllLevels[] = {Levels::Two, Levels::Three, Levels::Four, Levels::Analog};

// A quantizer's name on the command line: "2", "3", "4", "analog".
const char *optionName(Levels levels);

// A quantizer's inner thresholds in standard deviations of its input (0 for
// the sign) and its outermost level (3 for four levels, otherwise 1);
// nothing for none.
double thresholdSigma(Levels levels);
int outerLevel(Levels levels);

// r(rho) = E[q(x) q(y)] / E[q(x)^2] for standard normal inputs of
// correlation rho, -1 <= rho <= 1, within 1e-9: for two levels the model's
// (2 / 3.14) arcsin rho, for none rho itself. NaN outside [-1, 1].
double quantizedCorrelation(Levels levels, double rho);
// The same for rho = sin(angle), -pi/2 <= angle <= pi/2.
double quantizedCorrelationAtAngle(Levels levels, double angle);

// The Van Vleck correction: the rho whose quantizedCorrelation is r, for
// r within the curve's range (beyond, the nearest end).
double vanVleck(Levels levels, double r);

// The signal-to-noise ratio of the correlator's estimate against an
// unquantized one's, for uncorrelated independent samples (the weak-signal
// limit): E[x q(x)]^2 / E[q(x)^2], 2/pi for two levels.
double efficiency(Levels levels);

} // namespace model
