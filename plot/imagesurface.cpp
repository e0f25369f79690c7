#include "imagesurface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
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

// Whether every pixel edge n * twipsPerPixel, n up to pixels, is exactly a
// float: twipsPerPixel a multiple of 1/4 (15, 10 and 7.5 at 96 dpi and device
// pixel ratios 1, 1.5 and 2) with few enough significant bits.
bool edgesAreFloats(double twipsPerPixel, std::ptrdiff_t pixels)
{
    const double quarters = twipsPerPixel * 4;
    return quarters == std::floor(quarters) && quarters * double(pixels + 1) < 0x1p24;
}

// The pixels, or std::bad_alloc: QImage would print a warning of its own
// and hand back a null image instead.
uchar *allocatePixels(std::ptrdiff_t stride, std::ptrdiff_t height)
{
    if (stride > std::numeric_limits<int>::max() || height > std::numeric_limits<int>::max() / std::max<std::ptrdiff_t>(stride, 1))
        throw std::bad_alloc();
    return new uchar[std::size_t(stride * height)];
}

void releasePixels(void *pixels)
{
    delete[] static_cast<uchar *>(pixels);
}

} // namespace

ImageSurface::ImageSurface(QSize pixelSize, double twipsPerPixel, QColor background, qreal devicePixelRatio)
    : width_(std::max(pixelSize.width(), 0)),
      height_(std::max(pixelSize.height(), 0)),
      stride_((width_ + 3) & ~Index(3)),
      pixels_(allocatePixels(stride_, height_)),
      image_(pixels_, int(width_), int(height_), int(stride_), QImage::Format_Indexed8, releasePixels, pixels_),
      twipsPerPixel_(twipsPerPixel),
      pixelsPerTwip_((1 / twipsPerPixel) * (1 + 0x1p-50)),
      edgesAreFloats_(edgesAreFloats(twipsPerPixel, std::max(width_, height_))),
      widthTwips_(double(width_) * twipsPerPixel),
      heightTwips_(double(height_) * twipsPerPixel)
{
    if (image_.isNull()) { // an empty surface: QImage did not take the buffer
        releasePixels(pixels_);
        pixels_ = nullptr;
        width_ = height_ = stride_ = 0;
        widthTwips_ = heightTwips_ = 0;
    }
    if (!(twipsPerPixel > 0) || !std::isfinite(twipsPerPixel))
        throw std::invalid_argument("twips per pixel must be a positive number");
    // Index 0 is what a clear leaves; the plot's own colours come next.
    colours_ = {~Colour(0), kBlack, kMagenta, kBlue};
    image_.setColorTable({background.rgb(), toRgb(kBlack), toRgb(kMagenta), toRgb(kBlue)});
    image_.setDevicePixelRatio(devicePixelRatio);
    clearSurface();
}

uchar ImageSurface::addColour(Colour colour)
{
    // Index 0 is the background, which nothing is drawn in.
    auto at = std::find(colours_.begin() + 1, colours_.end(), colour);
    if (at == colours_.end()) {
        if (colours_.size() == 256)
            throw std::length_error("more than 255 colours on one surface");
        QList<QRgb> table = image_.colorTable();
        table.append(toRgb(colour));
        image_.setColorTable(table);
        at = colours_.insert(colours_.end(), colour);
        // A copy of the image that shared the pixels keeps them; these are
        // the image's own now.
        pixels_ = const_cast<uchar *>(image_.constBits());
    }
    lastColour_ = colour;
    lastIndex_ = uchar(at - colours_.begin());
    return lastIndex_;
}

void ImageSurface::clearSurface()
{
    if (pixels_)
        std::memset(pixels_, 0, std::size_t(stride_ * height_));
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
    const uchar index = indexOf(colour);
    for (;;) {
        putPixel(x, y, index);
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

void ImageSurface::fillRect(float x1, float y1, float x2, float y2, Colour colour)
{
    // First pixel whose centre is at or past a coordinate, within [0, size].
    const auto firstCentre = [this](float twips, Index size) {
        const double p = std::ceil(double(twips) / twipsPerPixel_ - 0.5);
        return Index(std::clamp(std::isnan(p) ? 0.0 : p, 0.0, double(size)));
    };
    const Index left = firstCentre(x1, width_), right = firstCentre(x2, width_);
    const Index top = firstCentre(y1, height_), bottom = firstCentre(y2, height_);
    const uchar index = indexOf(colour);
    for (Index py = top; py < bottom; ++py)
        std::memset(pixels_ + py * stride_ + left, index, std::size_t(std::max<Index>(right - left, 0)));
}

} // namespace plot

static_assert(plot::DrawingSurface<plot::ImageSurface>);
