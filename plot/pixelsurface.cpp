#include "plot/imagesurface.h"

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

// The plot's lines are its axes, along x or along y: nothing draws a slant.
void ImageSurface::drawLine(float x1, float y1, float x2, float y2, Colour colour)
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
    const uchar index = indexOf(colour);
    for (Index py = top; py <= bottom; ++py)
        std::memset(pixels_ + py * stride_ + left, index, std::size_t(std::max<Index>(right - left + 1, 0)));
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
