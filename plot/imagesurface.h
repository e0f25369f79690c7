#pragma once

#include "plot/drawingsurface.h"
#include "plot/pixelsurface.h"

#include <QColor>
#include <QImage>
#include <QSize>

namespace plot {

// The pixel surface as the desktop shows it: a QImage over the same
// pixels, no copy.
class ImageSurface {
public:
    // pixelSize and twipsPerPixel are in device pixels (15 twips per pixel
    // at 96 dpi and a device pixel ratio of 1). Throws std::bad_alloc when
    // the pixels do not fit in memory.
    ImageSurface(QSize pixelSize, double twipsPerPixel, QColor background, qreal devicePixelRatio = 1.0);

    void clearSurface() { pixels_.clearSurface(); }
    void setPoint(float x, float y, Colour colour) { pixels_.setPoint(x, y, colour); }
    void drawLine(float x1, float y1, float x2, float y2, Colour colour) { pixels_.drawLine(x1, y1, x2, y2, colour); }
    void fillRect(float x1, float y1, float x2, float y2, Colour colour) { pixels_.fillRect(x1, y1, x2, y2, colour); }

    // A live view of the pixels: later drawing shows through it and through
    // any QImage copied from it, so deep-copy() it to keep a picture. The
    // pixels live as long as the last such QImage.
    const QImage &image() const;
    double twipsPerPixel() const { return pixels_.twipsPerPixel(); }

    static QRgb toRgb(Colour colour)
    {
        return qRgb(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
    }
    static Colour toColour(QColor colour)
    {
        return Colour(colour.red()) | Colour(colour.green()) << 8 | Colour(colour.blue()) << 16;
    }

private:
    PixelSurface pixels_;
    qreal devicePixelRatio_;
    // Made anew when a colour is added: a QImage that others share would
    // copy its pixels away from the surface to take a new colour table.
    mutable QImage image_;
    mutable std::size_t colours_ = 0;
};

} // namespace plot
