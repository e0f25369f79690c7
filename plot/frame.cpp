#include "frame.h"

namespace plot {

namespace {

// Plot area in twips.
constexpr int kLeft = 100;
constexpr int kRight = 9300;
constexpr int kTop = 100;
constexpr int kBottom = 6500;
constexpr int kAxisY = 3300;

// Vertical grid lines: one every 460 twips, a dot every 40 twips along each.
constexpr int kVerticalLineStep = 460;
constexpr int kVerticalDotStep = 40;
// Horizontal grid lines: one every 320 twips, a dot every 60 twips along each.
constexpr int kHorizontalLineStep = 320;
constexpr int kHorizontalDotStep = 60;

void drawVerticalGrid(DrawingSurface &surface)
{
    for (int x = kLeft; x <= kRight; x += kVerticalLineStep)
        for (int y = kTop; y <= kBottom; y += kVerticalDotStep)
            surface.setPoint(float(x), float(y), kBlack);
}

// The last dot of each line falls at 9280: 9300 is not on the 60-twip step.
void drawHorizontalGrid(DrawingSurface &surface)
{
    for (int y = kTop; y <= kBottom; y += kHorizontalLineStep)
        for (int x = kLeft; x <= kRight; x += kHorizontalDotStep)
            surface.setPoint(float(x), float(y), kBlack);
}

void drawAxes(DrawingSurface &surface)
{
    surface.drawLine(kLeft, kTop, kLeft, kBottom, kBlack);
    surface.drawLine(kLeft, kAxisY, kRight, kAxisY, kBlack);
}

} // namespace

void drawFrame(DrawingSurface &surface)
{
    surface.clearSurface();
    drawVerticalGrid(surface);
    drawHorizontalGrid(surface);
    drawAxes(surface);
}

} // namespace plot
