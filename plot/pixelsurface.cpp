#include "plot/pixelsurface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace plot {

namespace {

// Whether every pixel edge n * twipsPerPixel, n up to pixels, is exactly a
// float: twipsPerPixel a multiple of 1/4 (15, 10 and 7.5 at 96 dpi and device
// pixel ratios 1, 1.5 and 2) with few enough significant bits.
bool edgesAreFloats(double twipsPerPixel, std::ptrdiff_t pixels)
{
    const double quarters = twipsPerPixel * 4;
    return quarters == std::floor(quarters) && quarters * double(pixels + 1) < 0x1p24;
}

// The pixels, or std::bad_alloc, for sizes a QImage can hold: its rows'
// bytes and its height are ints.
std::shared_ptr<std::uint8_t[]> allocatePixels(std::ptrdiff_t stride, std::ptrdiff_t height)
{
    if (stride > std::numeric_limits<int>::max() || height > std::numeric_limits<int>::max() / std::max<std::ptrdiff_t>(stride, 1))
        throw std::bad_alloc();
    return std::shared_ptr<std::uint8_t[]>(new std::uint8_t[std::size_t(std::max<std::ptrdiff_t>(stride * height, 1))]);
}

} // namespace

PixelSurface::PixelSurface(int width, int height, double twipsPerPixel, Colour background)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      stride_((width_ + 3) & ~Index(3)),
      buffer_(allocatePixels(stride_, height_)),
      pixels_(buffer_.get()),
      twipsPerPixel_(twipsPerPixel),
      pixelsPerTwip_((1 / twipsPerPixel) * (1 + 0x1p-50)),
      edgesAreFloats_(edgesAreFloats(twipsPerPixel, std::max(width_, height_))),
      widthTwips_(double(width_) * twipsPerPixel),
      heightTwips_(double(height_) * twipsPerPixel)
{
    if (width_ == 0 || height_ == 0) {
        width_ = height_ = stride_ = 0;
        widthTwips_ = heightTwips_ = 0;
    }
    if (!(twipsPerPixel > 0) || !std::isfinite(twipsPerPixel))
        throw std::invalid_argument("twips per pixel must be a positive number");
    // Index 0 is what a clear leaves; the plot's own colours come next.
    colours_ = {background, kBlack, kMagenta, kBlue};
    clearSurface();
}

std::uint8_t PixelSurface::addColour(Colour colour)
{
    // Index 0 is the background, which nothing is drawn in.
    auto at = std::find(colours_.begin() + 1, colours_.end(), colour);
    if (at == colours_.end()) {
        if (colours_.size() == 256)
            throw std::length_error("more than 255 colours on one surface");
        at = colours_.insert(colours_.end(), colour);
    }
    lastColour_ = colour;
    lastIndex_ = std::uint8_t(at - colours_.begin());
    return lastIndex_;
}

void PixelSurface::clearSurface()
{
    std::memset(pixels_, 0, std::size_t(stride_ * height_));
}

// The plot's lines are its axes, along x or along y: nothing draws a slant.
void PixelSurface::drawLine(float x1, float y1, float x2, float y2, Colour colour)
{
    if (x1 != x2 && y1 != y2)
        throw std::invalid_argument("only lines along an axis are drawn");
    // The pixels between the two ends, both included, within [0, size).
    const auto span = [this](float a, float b, Index size) -> std::pair<Index, Index> {
        const double first = std::floor(double(std::min(a, b)) / twipsPerPixel_);
        const double last = std::floor(double(std::max(a, b)) / twipsPerPixel_);
        if (!std::isfinite(first) || !std::isfinite(last) || last < 0 || first >= double(size))
            return {0, -1};
        return {Index(std::max(first, 0.0)), Index(std::min(last, double(size - 1)))};
    };
    const auto [left, right] = span(x1, x2, width_);
    const auto [top, bottom] = span(y1, y2, height_);
    const std::uint8_t index = indexOf(colour);
    for (Index py = top; py <= bottom; ++py)
        std::memset(pixels_ + py * stride_ + left, index, std::size_t(std::max<Index>(right - left + 1, 0)));
}

void PixelSurface::fillRect(float x1, float y1, float x2, float y2, Colour colour)
{
    // First pixel whose centre is at or past a coordinate, within [0, size].
    const auto firstCentre = [this](float twips, Index size) {
        const double p = std::ceil(double(twips) / twipsPerPixel_ - 0.5);
        return Index(std::clamp(std::isnan(p) ? 0.0 : p, 0.0, double(size)));
    };
    const Index left = firstCentre(x1, width_), right = firstCentre(x2, width_);
    const Index top = firstCentre(y1, height_), bottom = firstCentre(y2, height_);
    const std::uint8_t index = indexOf(colour);
    for (Index py = top; py < bottom; ++py)
        std::memset(pixels_ + py * stride_ + left, index, std::size_t(std::max<Index>(right - left, 0)));
}

static_assert(DrawingSurface<PixelSurface>);

} // namespace plot
