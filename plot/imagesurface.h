#pragma once

#include "drawingsurface.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <algorithm>
#include <cstddef>

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
        const double px = double(x) / twipsPerPixel_;
        const double py = double(y) / twipsPerPixel_;
        // Negative quotients, NaN and anything past the edges all fail here,
        // so truncation below is the floor.
        if (!(px >= 0 && py >= 0 && px < double(width_) && py < double(height_)))
            return;
        storePixel(Index(px), Index(py), toRgb(colour));
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
    // Sizes and the dirty box are kept in a wider type than the pixels so
    // that a pixel store cannot alias them and force their reload.
    using Index = std::ptrdiff_t;

    // For a pixel known to lie on the image.
    void storePixel(Index px, Index py, QRgb rgb)
    {
        pixels_[py * width_ + px] = rgb;
        dirtyLeft_ = std::min(dirtyLeft_, px);
        dirtyRight_ = std::max(dirtyRight_, px);
        dirtyTop_ = std::min(dirtyTop_, py);
        dirtyBottom_ = std::max(dirtyBottom_, py);
    }
    void putPixel(Index px, Index py, QRgb rgb)
    {
        if (px >= 0 && py >= 0 && px < width_ && py < height_)
            storePixel(px, py, rgb);
    }
    void fillRows(Index first, Index last, Index left, Index right);
    void markClean();

    Index width_;
    Index height_;
    QRgb *pixels_; // owned by image_
    QImage image_;
    double twipsPerPixel_;
    QRgb background_;
    // Bounding box of everything drawn since the last clear, so that a clear
    // only repaints what was touched.
    Index dirtyLeft_, dirtyTop_, dirtyRight_, dirtyBottom_;
};

} // namespace plot
