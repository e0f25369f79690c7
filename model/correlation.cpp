#include "model/correlation.h"

#include <cfenv>
#include <cmath>

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

// The formulas, written once. On double they are the plain IEEE chain; on
// Checked (below) the same steps, each raising the fault it signals.

template <typename Real>
Real gainOf(Real snrDb)
{
    using std::pow;
    Real g = pow(Real(kDecibelBase), snrDb / kDecibelDivisor);
    if (g == 0)
        g = kZeroAmplitudeReplacement;
    return 1 / (1 + 1 / (g * g));
}

// Inlined, so that a run of lags costs no call per lag.
template <typename Real>
[[gnu::always_inline]] inline Real correlationOf(Real lagUs, std::int16_t delayUs, Real gain)
{
    using std::atan, std::cos, std::sin, std::sqrt;
    const Real t = lagUs - Real(delayUs);
    const Real x1 = (t * kEnvelopeRate) / kMicrosecondScale;
    const Real x2 = (t * kCarrierRate) / kMicrosecondScale;
    const Real envelope = sin(x1) / x1;
    const Real rho = (envelope * gain) * cos(x2);
    const Real root = sqrt(1 + rho * -rho);
    const Real angle = atan(rho / root);
    return (2 / kPi) * angle;
}

// A double whose every operation raises the fault that the operation
// signals, decided from its operands and result rather than from the
// floating-point environment. It names the first fault of a chain that the
// plain evaluation found faulty.
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

Checked sin(Checked x) { return checked(std::sin(x.value), std::isfinite(x.value)); }
Checked cos(Checked x) { return checked(std::cos(x.value), std::isfinite(x.value)); }
Checked atan(Checked x) { return checked(std::atan(x.value), std::isfinite(x.value)); }
Checked pow(Checked base, Checked exponent) { return checked(std::pow(base.value, exponent.value), finite(base, exponent)); }

// The IEEE sticky flags of the faults, over a stretch of plain arithmetic.
// The caller's flags are put back afterwards.
class FaultFlags {
public:
    FaultFlags()
    {
        std::fegetexceptflag(&saved_, FE_ALL_EXCEPT);
        std::feclearexcept(FE_ALL_EXCEPT);
    }
    ~FaultFlags() { std::fesetexceptflag(&saved_, FE_ALL_EXCEPT); }
    FaultFlags(const FaultFlags &) = delete;
    FaultFlags &operator=(const FaultFlags &) = delete;

    bool raised() const { return std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID) != 0; }

private:
    std::fexcept_t saved_;
};

// The compiler does not know that arithmetic sets the flags, so it may move
// an operation across the calls that clear and test them. It cannot move
// anything across these barriers: each touches all memory, like those calls,
// so it stays between them; what is computed from a pinned value comes after
// the pin, and what computes a pinned value comes before it.
inline void pin(double &value) { asm volatile("" : "+m"(value) : : "memory"); }
inline void pinMemory() { asm volatile("" : : : "memory"); }

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

// Each entry point evaluates plainly and tests the flags once. Only when they
// (or a NaN, which a NaN argument carries through without raising anything)
// show a fault does the checked chain run again to name the first one.

double correlationGain(std::int16_t snrDb)
{
    {
        FaultFlags flags;
        double decibels = snrDb;
        pin(decibels);
        double gain = gainOf(decibels);
        pin(gain);
        if (!flags.raised())
            return gain;
    }
    return gainOf<Checked>(double(snrDb)).value;
}

double correlationAt(double lagUs, std::int16_t delayUs, double gain)
{
    {
        FaultFlags flags;
        pin(lagUs);
        pin(gain);
        double value = correlationOf(lagUs, delayUs, gain);
        pin(value);
        if (!flags.raised() && !std::isnan(value))
            return value;
    }
    return correlationOf<Checked>(lagUs, delayUs, gain).value;
}

Run correlationRun(const LagSteps &steps, std::size_t room, std::int16_t delayUs, double gain, double *lagsUs,
                   double *values)
{
    // The running sum's additions depend on one another; here, among the
    // evaluations, that chain costs no time of its own. Its NaN-free
    // arguments leave no NaN that an invalid operation did not flag.
    const bool numbers = !std::isnan(steps.firstUs) && !std::isnan(steps.stepUs) && !std::isnan(gain);
    FaultFlags flags;
    double lag = steps.firstUs;
    double step = steps.stepUs;
    const double last = steps.lastUs;
    pin(lag);
    pin(step);
    pin(gain);
    std::size_t count = 0;
    for (; count < room && lag <= last; lag += step, ++count) {
        lagsUs[count] = lag;
        values[count] = correlationOf(lag, delayUs, gain);
    }
    pinMemory(); // the values are stored before the test
    return {count, numbers && !flags.raised()};
}

double zeroLagValue(double gain)
{
    return correlationAt(kReadoutOffsetUs, 0, gain);
}

} // namespace model
