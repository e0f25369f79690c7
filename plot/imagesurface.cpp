#include "imagesurface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace plot {

namespace {

struct PixelPoint {
    double x;
    double y;
};

// Clips the segment a-b to the box [0, maxX] x [0, maxY] (Liang-Barsky).
// Returns false when nothing of it lies inside.
bool clipSegment(PixelPoint &a, PixelPoint &b, double maxX, double maxY)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    double enter = 0.0;
    double leave = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x, maxX - a.x, a.y, maxY - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0)
            enter = std::max(enter, r);
        else
            leave = std::min(leave, r);
    }
    if (enter > leave)
        return false;
    const PixelPoint start = a;
    a = {start.x + enter * dx, start.y + enter * dy};
    b = {start.x + leave * dx, start.y + leave * dy};
    return true;
}

void releasePixels(void *pixels)
{
    delete[] static_cast<QRgb *>(pixels);
}

} // namespace

ImageSurface::ImageSurface(QSize pixelSize, double twipsPerPixel, QColor background,
                           qreal devicePixelRatio)
    : width_(std::max(pixelSize.width(), 0)),
      height_(std::max(pixelSize.height(), 0)),
      pixels_(new QRgb[std::size_t(width_ * height_)]),
      image_(reinterpret_cast<uchar *>(pixels_), int(width_), int(height_), width_ * 4,
             QImage::Format_RGB32, releasePixels, pixels_),
      twipsPerPixel_(twipsPerPixel),
      background_(background.rgb())
{
    if (!(twipsPerPixel > 0) || !std::isfinite(twipsPerPixel))
        throw std::invalid_argument("twips per pixel must be a positive number");
    if (image_.isNull()) { // an empty surface: QImage did not take the buffer
        releasePixels(pixels_);
        pixels_ = nullptr;
        width_ = height_ = 0;
    }
    image_.setDevicePixelRatio(devicePixelRatio);
    fillRows(0, height_ - 1, 0, width_ - 1);
    markClean();
}

void ImageSurface::markClean()
{
    dirtyLeft_ = width_;
    dirtyTop_ = height_;
    dirtyRight_ = dirtyBottom_ = -1;
}

void ImageSurface::fillRows(Index first, Index last, Index left, Index right)
{
    for (Index y = first; y <= last; ++y)
        std::fill(pixels_ + y * width_ + left, pixels_ + y * width_ + right + 1, background_);
}

void ImageSurface::clearSurface()
{
    if (dirtyRight_ >= 0)
        fillRows(dirtyTop_, dirtyBottom_, dirtyLeft_, dirtyRight_);
    markClean();
}

void ImageSurface::drawLine(float x1, float y1, float x2, float y2, Colour colour)
{
    PixelPoint a{std::floor(double(x1) / twipsPerPixel_), std::floor(double(y1) / twipsPerPixel_)};
    PixelPoint b{std::floor(double(x2) / twipsPerPixel_), std::floor(double(y2) / twipsPerPixel_)};
    if (width_ == 0 || height_ == 0 || !std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x)
        || !std::isfinite(b.y))
        return;
    if (!clipSegment(a, b, double(width_ - 1), double(height_ - 1)))
        return;

    // Bresenham between the clipped end pixels, both included.
    Index x = std::lround(a.x);
    Index y = std::lround(a.y);
    const Index xEnd = std::lround(b.x);
    const Index yEnd = std::lround(b.y);
    const Index dx = std::abs(xEnd - x);
    const Index dy = -std::abs(yEnd - y);
    const Index sx = x < xEnd ? 1 : -1;
    const Index sy = y < yEnd ? 1 : -1;
    Index err = dx + dy;
    const QRgb rgb = toRgb(colour);
    for (;;) {
        putPixel(x, y, rgb);
        if (x == xEnd && y == yEnd)
            break;
        const Index e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

} // namespace plot
