#pragma once

#include "plot/drawingsurface.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace plot {

// A drawing surface of 8-bit indexed pixels: the plot has four colours,
// and a byte a pixel keeps the surface small and its clear cheap. Logical
// points map to the pixel that contains them; anything outside is clipped.
// The desktop shows the pixels through a QImage, the browser through a
// canvas.
class PixelSurface {
public:
    // width and height in device pixels, twipsPerPixel in twips a device
    // pixel (15 at 96 dpi and a device pixel ratio of 1). Throws
    // std::bad_alloc when the pixels do not fit in memory.
    PixelSurface(int width, int height, double twipsPerPixel, Colour background);

    void clearSurface();
    void setPoint(float x, float y, Colour colour)
    {
        const Index px = pixelOf(x, width_, widthTwips_);
        const Index py = pixelOf(y, height_, heightTwips_);
        if (px >= 0 && py >= 0)
            pixels_[py * stride_ + px] = indexOf(colour);
    }
    // A line along x or along y; throws std::invalid_argument for a slant.
    void drawLine(float x1, float y1, float x2, float y2, Colour colour);
    // Fills the pixels whose centres lie in [x1, x2) x [y1, y2): a square
    // of 75 twips is 5 pixels at 96 dpi and 10 at twice that.
    void fillRect(float x1, float y1, float x2, float y2, Colour colour);

    int width() const { return int(width_); }
    int height() const { return int(height_); }
    // Bytes a row, a multiple of 4 as QImage wants.
    int stride() const { return int(stride_); }
    double twipsPerPixel() const { return twipsPerPixel_; }
    // The pixels, a byte each, an index into colours(); shared, so that a
    // view of them can keep them alive.
    const std::shared_ptr<std::uint8_t[]> &pixels() const { return buffer_; }
    // The colours the indices stand for, 0xBBGGRR; the background first.
    const std::vector<Colour> &colours() const { return colours_; }

private:
    // Sizes are kept in a wider type than the pixels so that a pixel store
    // cannot alias them and force their reload.
    using Index = std::ptrdiff_t;

    // floor(twips / twipsPerPixel): the pixel that holds the coordinate
    // along an axis of size pixels (extent twips), or -1 off the image, NaN
    // included. Where every pixel edge n * twipsPerPixel is itself a float
    // (15, 10 and 7.5 twips per pixel are), the edges bound the coordinate
    // exactly, and a multiplication by a reciprocal rounded up has the
    // division's whole part at a fraction of its cost: it is never below the
    // quotient and never reaches the next edge, which lies at least a
    // float's spacing beyond any float coordinate before it.
    Index pixelOf(float twips, Index size, double extent) const
    {
        const double t = twips;
        if (edgesAreFloats_) [[likely]]
            return t >= 0 && t < extent ? Index(t * pixelsPerTwip_) : -1;
        const double pixels = t / twipsPerPixel_;
        return pixels >= 0 && pixels < double(size) ? Index(pixels) : -1;
    }

    // The colour's index, added on first use.
    std::uint8_t indexOf(Colour colour)
    {
        if (colour == lastColour_) [[likely]]
            return lastIndex_;
        return addColour(colour);
    }
    std::uint8_t addColour(Colour colour);

    Index width_;
    Index height_;
    Index stride_;
    std::shared_ptr<std::uint8_t[]> buffer_;
    std::uint8_t *pixels_;
    double twipsPerPixel_;
    double pixelsPerTwip_;
    bool edgesAreFloats_;
    double widthTwips_;
    double heightTwips_;
    std::vector<Colour> colours_;
    Colour lastColour_ = ~Colour(0);
    std::uint8_t lastIndex_ = 0;
};

} // namespace plot
