// Output of a clipped (hard-limiting) correlator fed with two noisy copies of
// one band-limited signal, as a function of the lag between them.
#pragma once

#include <cstdint>
#include <span>
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

// Correlator output at lagUs for two signals delayUs apart.
double correlationAt(double lagUs, std::int16_t delayUs, double gain);

// correlationAt for every lag of a run, into values (at least as long).
// Returns false when some lag of the run faults; the values are then
// unusable and correlationAt, lag by lag, finds and raises the fault.
// Cheaper than one correlationAt per lag: the run is checked once.
bool correlationRun(std::span<const double> lagsUs, std::int16_t delayUs, double gain, double *values);

// The value shown as the zero-lag readout: the curve evaluated a hair off
// zero lag, whatever the delay.
double zeroLagValue(double gain);

} // namespace model
