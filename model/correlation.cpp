#include "model/correlation.h"

#include "model/elementary.h"

#include <cmath>
#include <limits>

namespace model {

namespace {

constexpr double kDecibelDivisor = 20;
constexpr double kDecibelBase = 10;
constexpr double kZeroAmplitudeReplacement = 100;
constexpr double kEnvelopeRate = 78500.0;  // rad/s, 3.14 * 25000
constexpr double kCarrierRate = 125600.0;  // rad/s, 2 * 3.14 * 20000
constexpr double kMicrosecondScale = 1000000;
constexpr double kPi = 3.14;               // deliberately not M_PI
constexpr double kReadoutOffsetUs = 0.0001;

using Kind = ArithmeticFault::Kind;

// The elementary functions the formulas take, for double and for Checked:
// declared before the formulas, so that no C library's sin is found instead.
double sin(double x) { return elementary::sin(x); }
double cos(double x) { return elementary::cos(x); }
double atan(double x) { return elementary::atan(x); }
using std::pow;
using std::sqrt;

// A double whose every operation raises the fault that the operation
// signals, decided from its operands and result. It names the first fault
// of a chain that the plain evaluation found faulty.
struct Checked {
    Checked(double v) : value(v) {}
    double value;
};

[[noreturn]] void fault(Kind kind) { throw ArithmeticFault(kind); }

Checked checked(double result, bool operandsFinite)
{
    if (std::isnan(result))
        fault(Kind::InvalidOperation);
    if (std::isinf(result) && operandsFinite)
        fault(Kind::Overflow);
    return result;
}

bool finite(Checked a, Checked b) { return std::isfinite(a.value) && std::isfinite(b.value); }

Checked operator+(Checked a, Checked b) { return checked(a.value + b.value, finite(a, b)); }
Checked operator-(Checked a, Checked b) { return checked(a.value - b.value, finite(a, b)); }
Checked operator*(Checked a, Checked b) { return checked(a.value * b.value, finite(a, b)); }
Checked operator-(Checked a) { return -a.value; }
bool operator==(Checked a, Checked b) { return a.value == b.value; }

Checked operator/(Checked a, Checked b)
{
    if (b.value == 0 && a.value != 0 && std::isfinite(a.value))
        fault(Kind::DivisionByZero);
    return checked(a.value / b.value, finite(a, b));
}

Checked sqrt(Checked x)
{
    if (x.value < 0)
        fault(Kind::InvalidOperation);
    return checked(std::sqrt(x.value), std::isfinite(x.value));
}

Checked sin(Checked x) { return checked(elementary::sin(x.value), std::isfinite(x.value)); }
Checked cos(Checked x) { return checked(elementary::cos(x.value), std::isfinite(x.value)); }
Checked atan(Checked x) { return checked(elementary::atan(x.value), std::isfinite(x.value)); }
Checked pow(Checked base, Checked exponent) { return checked(std::pow(base.value, exponent.value), finite(base, exponent)); }

// The formulas, written once. On double they are the plain IEEE chain; on
// Checked (below) the same steps, each raising the fault it signals.

template <typename Real>
Real gainOf(Real snrDb)
{
    Real g = pow(Real(kDecibelBase), snrDb / kDecibelDivisor);
    if (g == 0)
        g = kZeroAmplitudeReplacement;
    return 1 / (1 + 1 / (g * g));
}

// The input correlation at a lag: envelope times gain times carrier.
// Inlined, so that a run of lags costs no call per lag.
template <typename Real>
[[gnu::always_inline]] inline Real rhoOf(Real lagUs, std::int16_t delayUs, Real gain)
{
    const Real t = lagUs - Real(delayUs);
    const Real x1 = (t * kEnvelopeRate) / kMicrosecondScale;
    const Real x2 = (t * kCarrierRate) / kMicrosecondScale;
    const Real envelope = sin(x1) / x1;
    return (envelope * gain) * cos(x2);
}

// A one-bit correlator's output: the arcsine of rho, through the arctangent.
template <typename Real>
[[gnu::always_inline]] inline Real arcsineOf(Real rho)
{
    const Real root = sqrt(1 + rho * -rho);
    const Real angle = atan(rho / root);
    return (2 / kPi) * angle;
}

// What a curve shows of rho, and how a faulty value shows: the one-bit
// chain divides by zero only where rho is 1, where the arctangent of the
// infinite quotient gives the curve's bound itself; any other fault leaves
// a NaN. The quantizers' tables and rho itself have no bound to reach.
enum class Shape { Arcsine, Table, Rho };

Shape shapeOf(Quantization quantization)
{
    if (showsInputCorrelation(quantization))
        return Shape::Rho;
    return quantization.levels == Levels::Two ? Shape::Arcsine : Shape::Table;
}

double bound(Shape shape)
{
    static const double arcsineBound = (2 / kPi) * elementary::atan(std::numeric_limits<double>::infinity());
    return shape == Shape::Arcsine ? arcsineBound : std::numeric_limits<double>::infinity();
}

// A value that the chain computed without a fault: a number inside the
// bound (for the table and rho, any finite number).
bool clean(double value, double limit) { return std::fabs(value) < limit; }

template <Shape shape>
[[gnu::always_inline]] inline double curveOf(double lagUs, std::int16_t delayUs, double gain, Levels levels)
{
    const double rho = rhoOf(lagUs, delayUs, gain);
    if constexpr (shape == Shape::Arcsine)
        return arcsineOf(rho);
    else if constexpr (shape == Shape::Table)
        return quantizedCorrelation(levels, rho);
    else
        return rho;
}

// The chain again, step by step, to name the first fault.
[[noreturn]] void raiseFault(double lagUs, std::int16_t delayUs, double gain, Shape shape)
{
    const Checked rho = rhoOf<Checked>(lagUs, delayUs, gain);
    if (shape == Shape::Arcsine)
        arcsineOf(rho);
    else if (shape == Shape::Table)
        sqrt(1 + rho * -rho);
    // A value that is no number from inputs that are none (an infinite
    // gain), which the checked steps pass on silently.
    fault(Kind::InvalidOperation);
}

// A run of lags a chunk at a time, each step over the whole chunk: the
// elementary functions then overlap their arguments' work. Every lag goes
// through the chain's steps in the chain's order, as one lag alone would.
template <Shape shape>
Run runOf(const LagSteps &steps, std::size_t room, std::int16_t delayUs, double gain, double *lagsUs,
          double *values, Levels levels)
{
    constexpr std::size_t kChunk = 64;
    const double limit = bound(shape);
    double lag = steps.firstUs;
    bool allClean = true;
    std::size_t count = 0;
    double x1[kChunk], x2[kChunk], sines[kChunk], cosines[kChunk];
    while (count < room && lag <= steps.lastUs) {
        std::size_t n = 0;
        for (; n < kChunk && count + n < room && lag <= steps.lastUs; lag += steps.stepUs, ++n) {
            lagsUs[count + n] = lag;
            const double t = lag - double(delayUs);
            x1[n] = (t * kEnvelopeRate) / kMicrosecondScale;
            x2[n] = (t * kCarrierRate) / kMicrosecondScale;
        }
        elementary::sin(x1, sines, n);
        elementary::cos(x2, cosines, n);
        double *out = values + count;
        for (std::size_t i = 0; i < n; ++i) {
            const double envelope = sines[i] / x1[i];
            const double rho = (envelope * gain) * cosines[i];
            if constexpr (shape == Shape::Rho)
                out[i] = rho;
            else
                out[i] = rho / sqrt(1 + rho * -rho); // the arctangent's argument
        }
        if constexpr (shape != Shape::Rho) {
            elementary::atan(out, out, n);
            for (std::size_t i = 0; i < n; ++i)
                out[i] = shape == Shape::Arcsine ? (2 / kPi) * out[i] : quantizedCorrelationAtAngle(levels, out[i]);
        }
        for (std::size_t i = 0; i < n; ++i)
            allClean &= clean(out[i], limit);
        count += n;
    }
    return {count, allClean};
}

} // namespace

ArithmeticFault::ArithmeticFault(Kind kind)
    : std::runtime_error(faultName(kind)), kind_(kind)
{
}

const char *faultName(ArithmeticFault::Kind kind) noexcept
{
    switch (kind) {
    case Kind::DivisionByZero:
        return "division by zero";
    case Kind::Overflow:
        return "overflow";
    case Kind::InvalidOperation:
        return "invalid operation";
    }
    return "arithmetic fault";
}

// Once a tick: every step checked.
double correlationGain(std::int16_t snrDb)
{
    return gainOf<Checked>(double(snrDb)).value;
}

// Evaluated plainly, and the result tested: only a faulty one runs the
// checked chain, to name the fault.
double correlationAt(double lagUs, std::int16_t delayUs, double gain, Quantization quantization)
{
    const Shape shape = shapeOf(quantization);
    double value;
    switch (shape) {
    case Shape::Arcsine:
        value = curveOf<Shape::Arcsine>(lagUs, delayUs, gain, quantization.levels);
        break;
    case Shape::Table:
        value = curveOf<Shape::Table>(lagUs, delayUs, gain, quantization.levels);
        break;
    case Shape::Rho:
        value = curveOf<Shape::Rho>(lagUs, delayUs, gain, quantization.levels);
        break;
    }
    if (!clean(value, bound(shape)))
        raiseFault(lagUs, delayUs, gain, shape);
    return value;
}

Run correlationRun(const LagSteps &steps, std::size_t room, std::int16_t delayUs, double gain, double *lagsUs,
                   double *values, Quantization quantization)
{
    switch (shapeOf(quantization)) {
    case Shape::Arcsine:
        return runOf<Shape::Arcsine>(steps, room, delayUs, gain, lagsUs, values, quantization.levels);
    case Shape::Table:
        return runOf<Shape::Table>(steps, room, delayUs, gain, lagsUs, values, quantization.levels);
    case Shape::Rho:
        break;
    }
    return runOf<Shape::Rho>(steps, room, delayUs, gain, lagsUs, values, quantization.levels);
}

double zeroLagValue(double gain, Quantization quantization)
{
    return correlationAt(kReadoutOffsetUs, 0, gain, quantization);
}

} // namespace model
