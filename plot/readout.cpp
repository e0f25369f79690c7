#include "plot/readout.h"

#include "model/correlation.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace plot {

std::int16_t settingOf(int shownValue)
{
    if (shownValue < std::numeric_limits<std::int16_t>::min() || shownValue > std::numeric_limits<std::int16_t>::max())
        throw model::ArithmeticFault(model::ArithmeticFault::Kind::Overflow);
    return std::int16_t(shownValue);
}

QString decimalText(std::int16_t value)
{
    return QString::number(value);
}

namespace {

// |value| * 1000 rounded half away from zero, decided on the exact product:
// a plain round(value * 1000) can be pushed across the half by the rounding
// of the product itself.
double thousandthsAwayFromZero(double magnitude)
{
    const double scaled = magnitude * 1000.0;
    const double error = std::fma(magnitude, 1000.0, -scaled); // scaled + error is exact
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole; // exact
    const bool up = fraction > 0.5 || (fraction == 0.5 && error >= 0);
    return up ? whole + 1 : whole;
}

} // namespace

QString zeroLagText(double value, const QString &decimalSeparator)
{
    if (!std::isfinite(value))
        throw std::domain_error("readout value is not a finite number");

    const double thousandths = thousandthsAwayFromZero(std::fabs(value));
    int decimals = int(std::fmod(thousandths, 1000));
    const double integerPart = (thousandths - decimals) / 1000;

    QString text;
    if (value < 0 && thousandths > 0)
        text += u'-';
    if (integerPart > 0)
        text += QString::number(integerPart, 'f', 0);
    text += decimalSeparator;
    if (decimals > 0) {
        int digits = 3;
        while (decimals % 10 == 0) {
            decimals /= 10;
            --digits;
        }
        text += QStringLiteral("%1").arg(decimals, digits, 10, QChar(u'0'));
    }
    return text;
}

} // namespace plot
