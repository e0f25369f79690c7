// A surface that only records what is drawn on it, to check what the plot
// routines ask for independently of any pixel rounding.
#pragma once

#include "drawingsurface.h"

#include <vector>

struct RecordedCall {
    enum Op { Clear, Point, Line } op;
    float x1, y1, x2, y2;
    plot::Colour colour;
};

class RecordingSurface : public plot::DrawingSurface {
public:
    void clearSurface() override { calls.push_back({RecordedCall::Clear, 0, 0, 0, 0, 0}); }
    void setPoint(float x, float y, plot::Colour colour) override
    {
        calls.push_back({RecordedCall::Point, x, y, x, y, colour});
    }
    void drawLine(float x1, float y1, float x2, float y2, plot::Colour colour) override
    {
        calls.push_back({RecordedCall::Line, x1, y1, x2, y2, colour});
    }

    std::vector<RecordedCall> points() const
    {
        std::vector<RecordedCall> result;
        for (const auto &call : calls)
            if (call.op == RecordedCall::Point)
                result.push_back(call);
        return result;
    }

    std::vector<RecordedCall> calls;
};
