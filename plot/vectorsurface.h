#pragma once

#include "plot/drawingsurface.h"

#include <QColor>
#include <QPainterPath>
#include <QPointF>

#include <vector>

class QPainter;

namespace plot {

// A drawing surface that paints vectors through a QPainter, onto an SVG or
// PDF generator, say. It looks as the pixel surface does at its resolution:
// a point is a square one pixel wide on the pixel that holds it, lines and
// rectangles cover the same pixels. Points that follow one another less
// than a pixel and a half apart are joined into one polyline, so a frame
// and a curve are a few compact paths rather than 36,000 shapes.
class VectorSurface {
public:
    // painter paints in pixels of twipsPerPixel twips (15 at 96 dpi).
    VectorSurface(QPainter &painter, double twipsPerPixel, QColor background);
    ~VectorSurface(); // paints what is still pending
    VectorSurface(const VectorSurface &) = delete;
    VectorSurface &operator=(const VectorSurface &) = delete;

    void clearSurface();
    void setPoint(float x, float y, Colour colour);
    void drawLine(float x1, float y1, float x2, float y2, Colour colour);
    void fillRect(float x1, float y1, float x2, float y2, Colour colour);

    // Paints what is pending; drawing may go on afterwards.
    void finish();

private:
    enum class Shape { None, Fills, Strokes };

    // What is drawn goes into one path while the colour and the kind of
    // shape stay the same, and is painted when either changes.
    QPainterPath &pathFor(Shape shape, Colour colour);
    void endRun();

    QPainter &painter_;
    double twipsPerPixel_;
    QColor background_;
    Shape shape_ = Shape::None;
    Colour colour_ = 0;
    QPainterPath path_;
    // The points of the run that is growing, in pixels.
    std::vector<QPointF> run_;
    Colour runColour_ = 0;
};

} // namespace plot
