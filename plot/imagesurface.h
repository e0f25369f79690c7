#pragma once

#include "drawingsurface.h"

#include <QColor>
#include <QImage>
#include <QSize>

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

    const QImage &image() const { return image_; }
    double twipsPerPixel() const { return twipsPerPixel_; }

    static QRgb toRgb(Colour colour);

private:
    void putPixel(int px, int py, QRgb rgb);

    QImage image_;
    double twipsPerPixel_;
    QRgb background_;
};

} // namespace plot
