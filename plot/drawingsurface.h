// The drawing operations everything on the plot is made of, in logical
// twips (1/1440 inch, origin top-left, y downwards).
#pragma once

#include <cstdint>

namespace plot {

// 24-bit colour written 0xBBGGRR, red in the low byte.
using Colour = std::uint32_t;

inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kMagenta = 0xFF00FF;
inline constexpr Colour kBlue = 0xFF0000;

// A surface to draw on: pixels (ImageSurface) or vectors (VectorSurface).
// The drawing routines are templates over it, so that a surface's setPoint
// costs no call through a table, 36,000 times a tick.
template <typename S>
concept DrawingSurface = requires(S surface, float x, float y, Colour colour) {
    // Fills the whole surface with the background and forgets everything drawn.
    surface.clearSurface();
    // Sets the one device pixel that contains the logical point.
    surface.setPoint(x, y, colour);
    // A solid line one pixel wide, both end points included.
    surface.drawLine(x, y, x, y, colour);
    // Fills the rectangle from (x1, y1) to (x2, y2), edges included.
    surface.fillRect(x, y, x, y, colour);
};

} // namespace plot
