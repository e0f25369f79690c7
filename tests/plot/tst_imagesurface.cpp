// The pixel surface: what lands on which pixel, what a clear takes back,
// and that nothing outside the image is touched.
#include "plot/imagesurface.h"

#include <QTest>

#include <limits>

namespace {

constexpr double kTwipsPerPixel = 15;
const QSize kPixels(769, 697);
const QColor kBackground(0xf0, 0xf0, 0xf0);

int countOf(const QImage &image, QRgb rgb)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == rgb;
    return count;
}

} // namespace

class TestImageSurface : public QObject {
    Q_OBJECT

private slots:
    void outsideTheImageIsHarmless_data();
    void outsideTheImageIsHarmless();
    void colourIsBgr();
    void fillRect_data();
    void fillRect();
    void clearErasesEverythingDrawn_data();
    void clearErasesEverythingDrawn();
};

void TestImageSurface::outsideTheImageIsHarmless_data()
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::addColumn<QList<float>>("line");

    QTest::newRow("negative") << QList<float>{-15, -15, -15, -300};
    QTest::newRow("just past the right edge") << QList<float>{769 * 15, 0, 769 * 15, 1000};
    QTest::newRow("just past the bottom edge") << QList<float>{0, 697 * 15, 5000, 697 * 15};
    QTest::newRow("huge") << QList<float>{1e30f, 1e30f, 1e30f, -1e30f};
    QTest::newRow("infinite") << QList<float>{inf, 0, -inf, 0};
    QTest::newRow("NaN") << QList<float>{nan, 100, nan, 100};
}

void TestImageSurface::outsideTheImageIsHarmless()
{
    QFETCH(QList<float>, line);
    plot::ImageSurface surface(kPixels, kTwipsPerPixel, kBackground);
    surface.setPoint(100, 100, plot::kBlack);
    const QImage before = surface.image().copy();
    surface.setPoint(line[0], line[1], plot::kMagenta);
    surface.setPoint(line[2], line[3], plot::kMagenta);
    surface.drawLine(line[0], line[1], line[2], line[3], plot::kMagenta);
    surface.fillRect(line[0], line[1], line[2], line[3], plot::kMagenta);
    QCOMPARE(surface.image(), before);
}

void TestImageSurface::colourIsBgr()
{
    plot::ImageSurface surface(QSize(4, 4), kTwipsPerPixel, kBackground);
    surface.setPoint(0, 0, 0x0000FF);       // red in the low byte
    surface.setPoint(15, 0, 0xFF0000);      // blue in the high byte
    surface.drawLine(0, 45, 45, 45, 0x00FF00);
    QCOMPARE(surface.image().pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(surface.image().pixel(1, 0), qRgb(0, 0, 255));
    for (int x = 0; x < 4; ++x)
        QCOMPARE(surface.image().pixel(x, 3), qRgb(0, 255, 0));
    // A line crossing the whole image from far outside still lands inside.
    surface.drawLine(-1e6f, 15, 1e6f, 15, plot::kMagenta);
    for (int x = 0; x < 4; ++x)
        QCOMPARE(surface.image().pixel(x, 1), qRgb(255, 0, 255));
}

void TestImageSurface::fillRect_data()
{
    QTest::addColumn<double>("twipsPerPixel");
    QTest::addColumn<QPointF>("centre"); // twips
    QTest::addColumn<QRect>("filled");   // pixels
    // A square 75 twips wide covers 5 pixels at 96 dpi, 10 at twice that,
    // around the pixel that holds its centre.
    QTest::newRow("centre in the middle of a pixel") << 15.0 << QPointF(307.5, 607.5) << QRect(18, 38, 5, 5);
    QTest::newRow("centre on a pixel's corner") << 15.0 << QPointF(300, 600) << QRect(17, 37, 5, 5);
    QTest::newRow("centre just past a corner") << 15.0 << QPointF(300.1, 600.1) << QRect(18, 38, 5, 5);
    QTest::newRow("twice the density") << 7.5 << QPointF(307.5, 607.5) << QRect(36, 76, 10, 10);
    QTest::newRow("cut by the top-left edge") << 15.0 << QPointF(7.5, 0) << QRect(0, 0, 3, 2);
}

void TestImageSurface::fillRect()
{
    QFETCH(double, twipsPerPixel);
    QFETCH(QPointF, centre);
    QFETCH(QRect, filled);
    plot::ImageSurface surface(QSize(100, 100), twipsPerPixel, kBackground);
    const float half = 37.5f;
    surface.fillRect(float(centre.x()) - half, float(centre.y()) - half, float(centre.x()) + half,
                     float(centre.y()) + half, plot::kBlue);
    const QRgb blue = qRgb(0, 0, 255);
    QCOMPARE(countOf(surface.image(), blue), filled.width() * filled.height());
    QCOMPARE(surface.image().pixel(filled.topLeft()), blue);
    QCOMPARE(surface.image().pixel(filled.bottomRight()), blue);
}

void TestImageSurface::clearErasesEverythingDrawn_data()
{
    QTest::addColumn<QList<float>>("line");
    QTest::newRow("the left column") << QList<float>{0, 0, 0, 697 * 15 - 1};
    QTest::newRow("bottom-right pixel") << QList<float>{769 * 15 - 1, 697 * 15 - 1, 769 * 15 - 1, 697 * 15 - 1};
    QTest::newRow("top-left pixel") << QList<float>{0, 0, 0, 0};
    QTest::newRow("across the top edge") << QList<float>{-500, 7, 20000, 7};
}

void TestImageSurface::clearErasesEverythingDrawn()
{
    QFETCH(QList<float>, line);
    const plot::ImageSurface blank(kPixels, kTwipsPerPixel, kBackground);
    plot::ImageSurface surface(kPixels, kTwipsPerPixel, kBackground);
    for (int round = 0; round < 2; ++round) {
        surface.drawLine(line[0], line[1], line[2], line[3], plot::kMagenta);
        surface.setPoint(line[2], line[3], plot::kMagenta);
        surface.fillRect(line[2] - 40, line[3] - 40, line[2] + 40, line[3] + 40, plot::kBlue);
        QVERIFY(surface.image() != blank.image());
        surface.clearSurface();
        QCOMPARE(surface.image(), blank.image());
    }
}

QTEST_APPLESS_MAIN(TestImageSurface)
#include "tst_imagesurface.moc"
