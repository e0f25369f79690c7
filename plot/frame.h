#pragma once

#include "drawingsurface.h"

namespace plot {

// Clears the surface and draws the dotted grid and the two axes.
void drawFrame(DrawingSurface &surface);

} // namespace plot
