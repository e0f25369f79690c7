#include "correlation.h"

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

// Each helper performs one IEEE operation and raises the fault that the
// operation would signal, decided from its operands and result, so the
// outcome does not depend on the state of the floating-point environment.

[[noreturn]] void fault(Kind kind) { throw ArithmeticFault(kind); }

double checkedResult(double result, bool operandsFinite)
{
    if (std::isnan(result))
        fault(Kind::InvalidOperation);
    if (std::isinf(result) && operandsFinite)
        fault(Kind::Overflow);
    return result;
}

double add(double a, double b)
{
    return checkedResult(a + b, std::isfinite(a) && std::isfinite(b));
}

double sub(double a, double b)
{
    return checkedResult(a - b, std::isfinite(a) && std::isfinite(b));
}

double mul(double a, double b)
{
    return checkedResult(a * b, std::isfinite(a) && std::isfinite(b));
}

double div(double a, double b)
{
    if (b == 0 && a != 0 && std::isfinite(a))
        fault(Kind::DivisionByZero);
    return checkedResult(a / b, std::isfinite(a) && std::isfinite(b));
}

double squareRoot(double x)
{
    if (x < 0)
        fault(Kind::InvalidOperation);
    return checkedResult(std::sqrt(x), std::isfinite(x));
}

double sine(double x) { return checkedResult(std::sin(x), std::isfinite(x)); }
double cosine(double x) { return checkedResult(std::cos(x), std::isfinite(x)); }
double arctangent(double x) { return checkedResult(std::atan(x), true); }

double power(double base, double exponent)
{
    return checkedResult(std::pow(base, exponent), std::isfinite(exponent));
}

// A quiet NaN handed in would pass through every step unsignalled and come
// out as a NaN readout; treat it as the invalid operation it stands for.
void requireNumber(double x)
{
    if (std::isnan(x))
        fault(Kind::InvalidOperation);
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

double correlationGain(std::int16_t snrDb)
{
    double g = power(kDecibelBase, div(static_cast<double>(snrDb), kDecibelDivisor));
    if (g == 0)
        g = kZeroAmplitudeReplacement;
    const double squared = mul(g, g);
    const double inverse = div(1, squared);
    return div(1, add(1, inverse));
}

double correlationAt(double lagUs, std::int16_t delayUs, double gain)
{
    requireNumber(lagUs);
    requireNumber(gain);
    const double t = sub(lagUs, static_cast<double>(delayUs));
    const double x1 = div(mul(t, kEnvelopeRate), kMicrosecondScale);
    const double x2 = div(mul(t, kCarrierRate), kMicrosecondScale);
    const double envelope = div(sine(x1), x1);
    const double rho = mul(mul(envelope, gain), cosine(x2));
    const double root = squareRoot(add(1, mul(rho, -rho)));
    const double angle = arctangent(div(rho, root));
    const double scale = 2 / kPi;
    return mul(scale, angle);
}

double zeroLagValue(double gain)
{
    return correlationAt(kReadoutOffsetUs, 0, gain);
}

} // namespace model
