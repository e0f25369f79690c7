// The three drawing operations everything on the plot is made of, in
// logical twips (1/1440 inch, origin top-left, y downwards).
#pragma once

#include <cstdint>

namespace plot {

// 24-bit colour written 0xBBGGRR, red in the low byte.
using Colour = std::uint32_t;

inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kMagenta = 0xFF00FF;

class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;

    // Fills the whole surface with the background and forgets everything drawn.
    virtual void clearSurface() = 0;
    // Sets the one device pixel that contains the logical point.
    virtual void setPoint(float x, float y, Colour colour) = 0;
    // A solid line one pixel wide, both end points included.
    virtual void drawLine(float x1, float y1, float x2, float y2, Colour colour) = 0;
};

} // namespace plot
