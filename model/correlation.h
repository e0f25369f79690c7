// Output of a clipped (hard-limiting) correlator fed with two noisy copies of
// one band-limited signal, as a function of the lag between them.
#pragma once

#include "model/quantization.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace model {

// A floating-point fault that must end the computation instead of yielding
// an infinity or a NaN. Underflow and inexact results are not faults.
class ArithmeticFault : public std::runtime_error {
public:
    enum class Kind { DivisionByZero, Overflow, InvalidOperation };

    explicit ArithmeticFault(Kind kind);

    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// Plain name of a fault kind ("division by zero", "overflow", "invalid operation").
const char *faultName(ArithmeticFault::Kind kind) noexcept;

// Gain factor S / (1 + S), S being the signal-to-noise power ratio.
double correlationGain(std::int16_t snrDb);

// Correlator output at lagUs for two signals delayUs apart: by default a
// one-bit correlator's, otherwise what quantization says.
double correlationAt(double lagUs, std::int16_t delayUs, double gain, Quantization quantization = {});

// Lags that step evenly, as a trace takes them: the first, then each the one
// before plus the step, rounded at every addition (a running sum), for as
// long as they do not pass the last.
struct LagSteps {
    double firstUs;
    double stepUs;
    double lastUs;
};

struct Run {
    std::size_t count; // lags taken, at most the room given
    bool clean;        // no lag of the run faults
};

// correlationAt for the lags of steps, at most room of them, into lagsUs
// and values. Cheaper than one correlationAt per lag: the run is checked
// once. When it is not clean the values are unusable, and correlationAt,
// lag by lag, finds and raises the fault.
Run correlationRun(const LagSteps &steps, std::size_t room, std::int16_t delayUs, double gain, double *lagsUs,
                   double *values, Quantization quantization = {});

// The value shown as the zero-lag readout: the curve evaluated a hair off
// zero lag, whatever the delay.
double zeroLagValue(double gain, Quantization quantization = {});

} // namespace model
