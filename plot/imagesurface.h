#pragma once

#include "drawingsurface.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <memory>

namespace plot {

// A drawing surface backed by an RGB32 image. Logical points map to the
// pixel that contains them; anything outside the image is clipped.
class ImageSurface : public DrawingSurface {
public:
    // pixelSize and twipsPerPixel are in device pixels (15 twips per pixel
    // at 96 dpi and a device pixel ratio of 1).
    ImageSurface(QSize pixelSize, double twipsPerPixel, QColor background,
                 qreal devicePixelRatio = 1.0);

    void clearSurface() override;
    void setPoint(float x, float y, Colour colour) override;
    void drawLine(float x1, float y1, float x2, float y2, Colour colour) override;

    // A live view of the pixels: later drawing shows through it, so copy()
    // it to keep a picture.
    const QImage &image() const { return image_; }
    double twipsPerPixel() const { return twipsPerPixel_; }

    static QRgb toRgb(Colour colour)
    {
        return qRgb(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
    }

private:
    void putPixel(int px, int py, QRgb rgb);
    void fillRows(int first, int last, int left, int right);

    int width_;
    int height_;
    std::unique_ptr<QRgb[]> pixels_;
    QImage image_;
    double twipsPerPixel_;
    QRgb background_;
    // Bounding box of everything drawn since the last clear, so that a clear
    // only repaints what was touched.
    int dirtyLeft_, dirtyTop_, dirtyRight_, dirtyBottom_;
};

} // namespace plot
