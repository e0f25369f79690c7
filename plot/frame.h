#pragma once

#include "plot/drawingsurface.h"

namespace plot {

namespace frame {
// Plot area in twips.
inline constexpr int kLeft = 100;
inline constexpr int kRight = 9300;
inline constexpr int kTop = 100;
inline constexpr int kBottom = 6500;
inline constexpr int kAxisY = 3300;

// Vertical grid lines: one every 460 twips, a dot every 40 twips along each.
inline constexpr int kVerticalLineStep = 460;
inline constexpr int kVerticalDotStep = 40;
// Horizontal grid lines: one every 320 twips, a dot every 60 twips along each.
inline constexpr int kHorizontalLineStep = 320;
inline constexpr int kHorizontalDotStep = 60;

void drawVerticalGrid(DrawingSurface auto &surface)
{
    for (int x = kLeft; x <= kRight; x += kVerticalLineStep)
        for (int y = kTop; y <= kBottom; y += kVerticalDotStep)
            surface.setPoint(float(x), float(y), kBlack);
}

// The last dot of each line falls at 9280: 9300 is not on the 60-twip step.
void drawHorizontalGrid(DrawingSurface auto &surface)
{
    for (int y = kTop; y <= kBottom; y += kHorizontalLineStep)
        for (int x = kLeft; x <= kRight; x += kHorizontalDotStep)
            surface.setPoint(float(x), float(y), kBlack);
}

void drawAxes(DrawingSurface auto &surface)
{
    surface.drawLine(kLeft, kTop, kLeft, kBottom, kBlack);
    surface.drawLine(kLeft, kAxisY, kRight, kAxisY, kBlack);
}
} // namespace frame

// Clears the surface and draws the dotted grid and the two axes.
void drawFrame(DrawingSurface auto &surface)
{
    surface.clearSurface();
    frame::drawVerticalGrid(surface);
    frame::drawHorizontalGrid(surface);
    frame::drawAxes(surface);
}

} // namespace plot
