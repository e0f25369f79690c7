// A surface that only records what is drawn on it, to check what the plot
// routines ask for independently of any pixel rounding.
#pragma once

#include "plot/drawingsurface.h"

#include <vector>

struct RecordedCall {
    enum Op { Clear, Point, Line, Rect } op;
    float x1, y1, x2, y2;
    plot::Colour colour;
};

class RecordingSurface {
public:
    void clearSurface() { calls.push_back({RecordedCall::Clear, 0, 0, 0, 0, 0}); }
    void setPoint(float x, float y, plot::Colour colour) { calls.push_back({RecordedCall::Point, x, y, x, y, colour}); }
    void drawLine(float x1, float y1, float x2, float y2, plot::Colour colour)
    {
        calls.push_back({RecordedCall::Line, x1, y1, x2, y2, colour});
    }
    void fillRect(float x1, float y1, float x2, float y2, plot::Colour colour)
    {
        calls.push_back({RecordedCall::Rect, x1, y1, x2, y2, colour});
    }

    std::vector<RecordedCall> calls;
};

static_assert(plot::DrawingSurface<RecordingSurface>);
