#pragma once

#include "drawingsurface.h"

#include <cstdint>

namespace plot {

// Plots the correlation curve for lags 0..300 microseconds, one magenta
// point every 0.01 microseconds. Throws model::ArithmeticFault on a fault.
void traceCurve(DrawingSurface &surface, std::int16_t delayUs, double gain);

} // namespace plot
