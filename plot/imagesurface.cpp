#include "plot/imagesurface.h"

#include <memory>
#include <new>

namespace plot {

ImageSurface::ImageSurface(QSize pixelSize, double twipsPerPixel, QColor background, qreal devicePixelRatio)
    : pixels_(pixelSize.width(), pixelSize.height(), twipsPerPixel, toColour(background)),
      devicePixelRatio_(devicePixelRatio)
{
    image();
}

const QImage &ImageSurface::image() const
{
    const std::vector<Colour> &colours = pixels_.colours();
    if (colours.size() == colours_)
        return image_;
    QImage view;
    if (pixels_.width() > 0 && pixels_.height() > 0) {
        // Each view holds the pixels, and lets them go when its last copy goes.
        auto *held = new std::shared_ptr<std::uint8_t[]>(pixels_.pixels());
        view = QImage(
            held->get(), pixels_.width(), pixels_.height(), pixels_.stride(), QImage::Format_Indexed8,
            [](void *info) { delete static_cast<std::shared_ptr<std::uint8_t[]> *>(info); }, held);
        if (view.isNull()) { // QImage did not take the buffer: out of memory
            delete held;
            throw std::bad_alloc();
        }
        QList<QRgb> table;
        for (const Colour colour : colours)
            table.append(toRgb(colour));
        view.setColorTable(table);
        view.setDevicePixelRatio(devicePixelRatio_);
    }
    image_ = view;
    colours_ = colours.size();
    return image_;
}

static_assert(DrawingSurface<ImageSurface>);

} // namespace plot
