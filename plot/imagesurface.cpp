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

} // namespace

ImageSurface::ImageSurface(QSize pixelSize, double twipsPerPixel, QColor background,
                           qreal devicePixelRatio)
    : image_(pixelSize, QImage::Format_RGB32),
      twipsPerPixel_(twipsPerPixel),
      background_(background.rgb())
{
    if (!(twipsPerPixel > 0) || !std::isfinite(twipsPerPixel))
        throw std::invalid_argument("twips per pixel must be a positive number");
    if (!pixelSize.isEmpty() && image_.isNull())
        throw std::bad_alloc();
    image_.setDevicePixelRatio(devicePixelRatio);
    clearSurface();
}

QRgb ImageSurface::toRgb(Colour colour)
{
    return qRgb(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

void ImageSurface::clearSurface()
{
    image_.fill(background_);
}

void ImageSurface::putPixel(int px, int py, QRgb rgb)
{
    if (px < 0 || py < 0 || px >= image_.width() || py >= image_.height())
        return;
    reinterpret_cast<QRgb *>(image_.scanLine(py))[px] = rgb;
}

void ImageSurface::setPoint(float x, float y, Colour colour)
{
    const double px = std::floor(double(x) / twipsPerPixel_);
    const double py = std::floor(double(y) / twipsPerPixel_);
    // Written so that NaN fails the test too.
    if (!(px >= 0 && py >= 0 && px < image_.width() && py < image_.height()))
        return;
    putPixel(int(px), int(py), toRgb(colour));
}

void ImageSurface::drawLine(float x1, float y1, float x2, float y2, Colour colour)
{
    PixelPoint a{std::floor(double(x1) / twipsPerPixel_), std::floor(double(y1) / twipsPerPixel_)};
    PixelPoint b{std::floor(double(x2) / twipsPerPixel_), std::floor(double(y2) / twipsPerPixel_)};
    if (image_.isNull() || !std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x)
        || !std::isfinite(b.y))
        return;
    if (!clipSegment(a, b, image_.width() - 1, image_.height() - 1))
        return;

    // Bresenham between the clipped end pixels, both included.
    int x = int(std::lround(a.x));
    int y = int(std::lround(a.y));
    const int xEnd = int(std::lround(b.x));
    const int yEnd = int(std::lround(b.y));
    const int dx = std::abs(xEnd - x);
    const int dy = -std::abs(yEnd - y);
    const int sx = x < xEnd ? 1 : -1;
    const int sy = y < yEnd ? 1 : -1;
    int err = dx + dy;
    const QRgb rgb = toRgb(colour);
    for (;;) {
        putPixel(x, y, rgb);
        if (x == xEnd && y == yEnd)
            break;
        const int e2 = 2 * err;
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
