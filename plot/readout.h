// Texts of the three readouts.
#pragma once

#include <QString>

#include <cstdint>

namespace plot {

// Signal-to-noise setting from the vertical bar: its value negated as a
// 16-bit integer. Throws model::ArithmeticFault (overflow) for -32768,
// whose negation does not fit.
std::int16_t snrFromBarValue(int barValue);

// Shortest decimal form: "0", "25", "-40".
QString decimalText(std::int16_t value);

// Format "#.###": rounded half away from zero to thousandths, no leading
// zero, the separator always written, trailing zeros dropped
// (0.3335024 -> ".334", 0.5 -> ".5", 1.000499 -> "1.", 0.0001 -> ".").
// Throws std::domain_error for an infinity or a NaN.
QString zeroLagText(double value, const QString &decimalSeparator);

} // namespace plot
