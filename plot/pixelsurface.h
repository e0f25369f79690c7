#pragma once

#include "plot/drawingsurface.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plot {

// A drawing surface backed by an 8-bit indexed image: the plot has four
// colours, and a byte a pixel keeps the surface small and its clear cheap.
// Logical points map to the pixel that contains them; anything outside the
// image is clipped.
class ImageSurface {
public:
    // pixelSize and twipsPerPixel are in device pixels (15 twips per pixel
    // at 96 dpi and a device pixel ratio of 1). Throws std::bad_alloc when
    // the pixels do not fit in memory.
    ImageSurface(QSize pixelSize, double twipsPerPixel, QColor background, qreal devicePixelRatio = 1.0);

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

    // A live view of the pixels: later drawing shows through it and through
    // any QImage copied from it, so deep-copy() it to keep a picture. The
    // pixels live as long as the last such QImage.
    const QImage &image() const { return image_; }
    double twipsPerPixel() const { return twipsPerPixel_; }

    static QRgb toRgb(Colour colour)
    {
        return qRgb(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
    }

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

    // The colour's entry in the image's colour table, added on first use.
    uchar indexOf(Colour colour)
    {
        if (colour == lastColour_) [[likely]]
            return lastIndex_;
        return addColour(colour);
    }
    uchar addColour(Colour colour);

    Index width_;
    Index height_;
    Index stride_; // bytes a row, a multiple of 4 as QImage wants
    uchar *pixels_; // owned by image_
    QImage image_;
    double twipsPerPixel_;
    double pixelsPerTwip_;
    bool edgesAreFloats_;
    double widthTwips_;
    double heightTwips_;
    // The colours of the image's table, which are costly to read back.
    std::vector<Colour> colours_;
    Colour lastColour_ = ~Colour(0);
    uchar lastIndex_ = 0;
};

} // namespace plot
