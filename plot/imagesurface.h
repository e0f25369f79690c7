#pragma once

#include "drawingsurface.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace plot {

// A drawing surface backed by an RGB32 image. Logical points map to the
// pixel that contains them; anything outside the image is clipped.
class ImageSurface final : public DrawingSurface {
public:
    // pixelSize and twipsPerPixel are in device pixels (15 twips per pixel
    // at 96 dpi and a device pixel ratio of 1).
    ImageSurface(QSize pixelSize, double twipsPerPixel, QColor background,
                 qreal devicePixelRatio = 1.0);

    void clearSurface() override;
    void setPoint(float x, float y, Colour colour) override
    {
        const Index px = pixelOf(x, width_, widthTwips_);
        const Index py = pixelOf(y, height_, heightTwips_);
        if (px >= 0 && py >= 0)
            storePixel(py * width_ + px, toRgb(colour));
    }
    void drawLine(float x1, float y1, float x2, float y2, Colour colour) override;

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

    // A clear puts back only the pixels drawn since the last one, so stores
    // are remembered; that costs less than reading the pixel first. Most
    // points of a curve land on the pixel of the point before, which is
    // remembered once. Past the room for it all, a clear fills everything.
    void storePixel(Index at, QRgb rgb)
    {
        pixels_[at] = rgb;
        if (at == lastDrawn_)
            return;
        lastDrawn_ = at;
        *drawnEnd_++ = std::uint32_t(at);
        if (drawnEnd_ == drawnLimit_) [[unlikely]] {
            drawnEverywhere_ = true;
            drawnEnd_ = drawn_.get();
        }
    }
    void putPixel(Index px, Index py, QRgb rgb)
    {
        if (px >= 0 && py >= 0 && px < width_ && py < height_)
            storePixel(py * width_ + px, rgb);
    }

    Index width_;
    Index height_;
    QRgb *pixels_; // owned by image_
    QImage image_;
    double twipsPerPixel_;
    double pixelsPerTwip_;
    bool edgesAreFloats_;
    double widthTwips_;
    double heightTwips_;
    QRgb background_;
    // Indices of the stores since the last clear, as 32-bit numbers: a
    // store to them cannot alias the sizes and pointers above.
    std::unique_ptr<std::uint32_t[]> drawn_;
    std::uint32_t *drawnEnd_;
    std::uint32_t *drawnLimit_;
    Index lastDrawn_ = -1;
    bool drawnEverywhere_ = false;
};

} // namespace plot
