#include "plot/readout.h"

#include "model/correlation.h"

#include <charconv>
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

std::string decimalText(std::int16_t value)
{
    return std::to_string(value);
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

std::string zeroLagText(double value, std::string_view decimalSeparator)
{
    if (!std::isfinite(value))
        throw std::domain_error("readout value is not a finite number");

    const double thousandths = thousandthsAwayFromZero(std::fabs(value));
    int decimals = int(std::fmod(thousandths, 1000));
    const double integerPart = (thousandths - decimals) / 1000;

    std::string text;
    if (value < 0 && thousandths > 0)
        text += '-';
    if (integerPart > 0) {
        // A whole number: its shortest fixed form has all its digits, up
        // to 309 of them.
        char digits[320];
        const auto end = std::to_chars(digits, digits + sizeof digits, integerPart, std::chars_format::fixed).ptr;
        text.append(digits, end);
    }
    text += decimalSeparator;
    if (decimals > 0) {
        int digits = 3;
        while (decimals % 10 == 0) {
            decimals /= 10;
            --digits;
        }
        const std::string written = std::to_string(decimals);
        text.append(std::size_t(digits) - written.size(), '0');
        text += written;
    }
    return text;
}

} // namespace plot
