// Where the magenta curve lies in a picture of the plot.
#pragma once

#include <QImage>
#include <QPointF>

#include <algorithm>

struct CurveExtent {
    int count = 0;             // magenta pixels
    QPointF top{-1, 1 << 30};  // middle of the topmost row of magenta pixels
    int right = -1;            // rightmost magenta column
};

inline CurveExtent curveExtent(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    CurveExtent e;
    int topRowCount = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((row[x] & 0xffffff) != 0xff00ff)
                continue;
            ++e.count;
            if (y < e.top.y()) {
                e.top = QPointF(x, y);
                topRowCount = 1;
            } else if (y == e.top.y()) {
                e.top.rx() = (e.top.x() * topRowCount + x) / (topRowCount + 1);
                ++topRowCount;
            }
            e.right = std::max(e.right, x);
        }
    }
    return e;
}
