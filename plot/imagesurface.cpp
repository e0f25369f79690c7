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

// Enough for a frame and a curve (under 40,000 stores), with room to spare.
constexpr std::size_t kRememberedStores = 65536;

// Whether every pixel edge n * twipsPerPixel, n up to pixels, is exactly a
// float: twipsPerPixel a multiple of 1/4 (15, 10 and 7.5 at 96 dpi and device
// pixel ratios 1, 1.5 and 2) with few enough significant bits.
bool edgesAreFloats(double twipsPerPixel, std::ptrdiff_t pixels)
{
    const double quarters = twipsPerPixel * 4;
    return quarters == std::floor(quarters) && quarters * double(pixels + 1) < 0x1p24;
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
      pixelsPerTwip_((1 / twipsPerPixel) * (1 + 0x1p-50)),
      edgesAreFloats_(edgesAreFloats(twipsPerPixel, std::max(width_, height_))),
      widthTwips_(double(width_) * twipsPerPixel),
      heightTwips_(double(height_) * twipsPerPixel),
      background_(background.rgb()),
      drawn_(new std::uint32_t[kRememberedStores]),
      drawnEnd_(drawn_.get()),
      drawnLimit_(drawn_.get() + kRememberedStores)
{
    if (image_.isNull()) { // an empty surface: QImage did not take the buffer
        releasePixels(pixels_);
        pixels_ = nullptr;
        width_ = height_ = 0;
        widthTwips_ = heightTwips_ = 0;
    }
    if (!(twipsPerPixel > 0) || !std::isfinite(twipsPerPixel))
        throw std::invalid_argument("twips per pixel must be a positive number");
    if (std::uint64_t(width_) * std::uint64_t(height_) > UINT32_MAX)
        throw std::length_error("surface too large for 32-bit pixel indices");
    image_.setDevicePixelRatio(devicePixelRatio);
    std::fill(pixels_, pixels_ + width_ * height_, background_);
}

void ImageSurface::clearSurface()
{
    if (drawnEverywhere_)
        std::fill(pixels_, pixels_ + width_ * height_, background_);
    else
        for (const std::uint32_t *at = drawn_.get(); at != drawnEnd_; ++at)
            pixels_[*at] = background_;
    drawnEnd_ = drawn_.get();
    lastDrawn_ = -1;
    drawnEverywhere_ = false;
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
