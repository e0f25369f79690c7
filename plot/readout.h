// Texts of the three readouts, in UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plot {

// A setting as a bar shows it, as the 16-bit integer the model takes.
// Throws model::ArithmeticFault (overflow) when it does not fit: 32768, the
// negation of the lowest value a 16-bit bar can hold.
std::int16_t settingOf(int shownValue);

// Shortest decimal form: "0", "25", "-40".
std::string decimalText(std::int16_t value);

// Format "#.###": rounded half away from zero to thousandths, no leading
// zero, the separator always written, trailing zeros dropped
// (0.3335024 -> ".334", 0.5 -> ".5", 1.000499 -> "1.", 0.0001 -> ".").
// Throws std::domain_error for an infinity or a NaN.
std::string zeroLagText(double value, std::string_view decimalSeparator);

} // namespace plot
