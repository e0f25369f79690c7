#include "plot/vectorsurface.h"

#include "plot/imagesurface.h"
#include "plot/tick.h"

#include <QPainter>

#include <cmath>

namespace plot {

namespace {

// Points closer than this, in pixels, are joined by a line: a curve's
// points are some hundredths of a pixel apart, a grid's dots 2.7 or 4.
constexpr double kJoinPixels = 1.5;
// Along a polyline, a point nearer than this to the last one kept adds
// nothing a reader could see.
constexpr double kKeepPixels = 0.25;

QColor colourOf(Colour colour)
{
    return QColor::fromRgb(ImageSurface::toRgb(colour));
}

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

VectorSurface::VectorSurface(QPainter &painter, double twipsPerPixel, QColor background)
    : painter_(painter), twipsPerPixel_(twipsPerPixel), background_(background)
{
}

VectorSurface::~VectorSurface()
{
    finish();
}

QPainterPath &VectorSurface::pathFor(Shape shape, Colour colour)
{
    if (shape != shape_ || colour != colour_) {
        finish();
        shape_ = shape;
        colour_ = colour;
    }
    return path_;
}

void VectorSurface::finish()
{
    endRun();
    if (shape_ == Shape::Fills) {
        painter_.fillPath(path_, colourOf(colour_));
    } else if (shape_ == Shape::Strokes) {
        QPen pen(colourOf(colour_), 1);
        pen.setCapStyle(Qt::SquareCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter_.strokePath(path_, pen);
    }
    path_ = QPainterPath();
    shape_ = Shape::None;
}

// A run of one point is a dot: the pixel that holds it. A longer run is a
// polyline through the points themselves, a pixel wide.
void VectorSurface::endRun()
{
    if (run_.empty())
        return;
    std::vector<QPointF> run;
    run.swap(run_);
    if (run.size() == 1) {
        const QPointF dot(std::floor(run.front().x()), std::floor(run.front().y()));
        pathFor(Shape::Fills, runColour_).addRect(QRectF(dot, QSizeF(1, 1)));
        return;
    }
    QPainterPath &path = pathFor(Shape::Strokes, runColour_);
    path.moveTo(run.front());
    QPointF kept = run.front();
    for (std::size_t i = 1; i < run.size(); ++i) {
        if (i + 1 == run.size() || distance(run[i], kept) >= kKeepPixels) {
            path.lineTo(run[i]);
            kept = run[i];
        }
    }
}

void VectorSurface::clearSurface()
{
    run_.clear();
    path_ = QPainterPath();
    shape_ = Shape::None;
    painter_.fillRect(QRectF(0, 0, kDrawingRight / twipsPerPixel_, kDrawingBottom / twipsPerPixel_), background_);
}

void VectorSurface::setPoint(float x, float y, Colour colour)
{
    const QPointF point(x / twipsPerPixel_, y / twipsPerPixel_);
    if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
        return;
    if (!run_.empty() && (colour != runColour_ || distance(point, run_.back()) > kJoinPixels))
        endRun();
    runColour_ = colour;
    run_.push_back(point);
}

// As the pixel surface draws it: between the centres of the end pixels.
void VectorSurface::drawLine(float x1, float y1, float x2, float y2, Colour colour)
{
    endRun();
    const auto centre = [this](float t) { return std::floor(t / twipsPerPixel_) + 0.5; };
    QPainterPath &path = pathFor(Shape::Strokes, colour);
    path.moveTo(centre(x1), centre(y1));
    path.lineTo(centre(x2), centre(y2));
}

// The pixels whose centres lie in the rectangle, as the pixel surface fills them.
void VectorSurface::fillRect(float x1, float y1, float x2, float y2, Colour colour)
{
    endRun();
    const auto edge = [this](float t) { return std::ceil(t / twipsPerPixel_ - 0.5); };
    pathFor(Shape::Fills, colour).addRect(QRectF(QPointF(edge(x1), edge(y1)), QPointF(edge(x2), edge(y2))));
}

static_assert(DrawingSurface<VectorSurface>);

} // namespace plot
