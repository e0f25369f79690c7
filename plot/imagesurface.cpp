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
    : width_(std::max(pixelSize.width(), 0)),
      height_(std::max(pixelSize.height(), 0)),
      pixels_(new QRgb[std::size_t(width_) * std::size_t(height_)]),
      image_(reinterpret_cast<uchar *>(pixels_.get()), width_, height_, qsizetype(width_) * 4,
             QImage::Format_RGB32),
      twipsPerPixel_(twipsPerPixel),
      background_(background.rgb())
{
    if (!(twipsPerPixel > 0) || !std::isfinite(twipsPerPixel))
        throw std::invalid_argument("twips per pixel must be a positive number");
    image_.setDevicePixelRatio(devicePixelRatio);
    fillRows(0, height_ - 1, 0, width_ - 1);
    dirtyLeft_ = width_;
    dirtyTop_ = height_;
    dirtyRight_ = dirtyBottom_ = -1;
}

void ImageSurface::fillRows(int first, int last, int left, int right)
{
    for (int y = first; y <= last; ++y)
        std::fill(pixels_.get() + std::size_t(y) * width_ + left,
                  pixels_.get() + std::size_t(y) * width_ + right + 1, background_);
}

void ImageSurface::clearSurface()
{
    if (dirtyRight_ >= 0)
        fillRows(dirtyTop_, dirtyBottom_, dirtyLeft_, dirtyRight_);
    dirtyLeft_ = width_;
    dirtyTop_ = height_;
    dirtyRight_ = dirtyBottom_ = -1;
}

void ImageSurface::putPixel(int px, int py, QRgb rgb)
{
    if (px < 0 || py < 0 || px >= width_ || py >= height_)
        return;
    pixels_[std::size_t(py) * width_ + px] = rgb;
    dirtyLeft_ = std::min(dirtyLeft_, px);
    dirtyRight_ = std::max(dirtyRight_, px);
    dirtyTop_ = std::min(dirtyTop_, py);
    dirtyBottom_ = std::max(dirtyBottom_, py);
}

void ImageSurface::setPoint(float x, float y, Colour colour)
{
    const double px = double(x) / twipsPerPixel_;
    const double py = double(y) / twipsPerPixel_;
    // Negative quotients, NaN and anything past the edges all fail here, so
    // truncation below is the floor.
    if (!(px >= 0 && py >= 0 && px < width_ && py < height_))
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
