#include "plot/frame.h"
#include "plot/imagesurface.h"
#include "recordingsurface.h"

#include <QTest>


namespace {

constexpr double kTwipsPerPixel = 15;
const QSize kPixels(769, 697);
const QColor kBackground(0xf0, 0xf0, 0xf0);
constexpr QRgb kBlackRgb = 0xff000000;

// Pixel holding a logical point at 15 twips per pixel.
QRgb pixelAt(const QImage &image, double xTwips, double yTwips)
{
    return image.pixel(int(xTwips / kTwipsPerPixel), int(yTwips / kTwipsPerPixel));
}

} // namespace

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void drawsInOrder();
    void pixels_data();
    void pixels();
    void horizontalGridStopsAt9280();
    void axesAreSolid();
    void repeatedFrameIsIdenticalAndErases();
};

void TestFrame::drawsInOrder()
{
    RecordingSurface surface;
    plot::drawFrame(surface);

    // clear, 21 x 161 vertical dots, 21 x 154 horizontal dots, two axes
    QCOMPARE(surface.calls.size(), size_t(1 + 3381 + 3234 + 2));
    QCOMPARE(surface.calls.front().op, RecordedCall::Clear);
    const auto at = [&](size_t i) { return QPointF(surface.calls[i].x1, surface.calls[i].y1); };
    QCOMPARE(at(1), QPointF(100, 100));
    QCOMPARE(at(2), QPointF(100, 140));     // inner loop runs over y
    QCOMPARE(at(161), QPointF(100, 6500));
    QCOMPARE(at(162), QPointF(560, 100));
    QCOMPARE(at(3381), QPointF(9300, 6500));
    QCOMPARE(at(3382), QPointF(100, 100));  // horizontal lines: inner loop over x
    QCOMPARE(at(3383), QPointF(160, 100));
    QCOMPARE(at(3382 + 153), QPointF(9280, 100));
    QCOMPARE(at(3382 + 154), QPointF(100, 420));
    QCOMPARE(at(3381 + 3234), QPointF(9280, 6500));
    for (size_t i = 1; i <= 3381 + 3234; ++i) {
        QCOMPARE(surface.calls[i].op, RecordedCall::Point);
        QCOMPARE(surface.calls[i].colour, plot::kBlack);
    }
    const RecordedCall &vertical = surface.calls[3381 + 3234 + 1];
    const RecordedCall &horizontal = surface.calls[3381 + 3234 + 2];
    QCOMPARE(vertical.op, RecordedCall::Line);
    QCOMPARE(QRectF(QPointF(vertical.x1, vertical.y1), QPointF(vertical.x2, vertical.y2)),
             QRectF(QPointF(100, 100), QPointF(100, 6500)));
    QCOMPARE(QRectF(QPointF(horizontal.x1, horizontal.y1), QPointF(horizontal.x2, horizontal.y2)),
             QRectF(QPointF(100, 3300), QPointF(9300, 3300)));
    QCOMPARE(horizontal.colour, plot::kBlack);
}

void TestFrame::pixels_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<bool>("black");

    QTest::newRow("last dot of the last vertical line (9300, 6500)") << 9300.0 << 6500.0 << true;
    QTest::newRow("one dot step right of it (9360, 6500)") << 9360.0 << 6500.0 << false;
    QTest::newRow("top-left corner (100, 100)") << 100.0 << 100.0 << true;
    QTest::newRow("between dots of a vertical line (560, 120)") << 560.0 << 120.0 << false;
    QTest::newRow("dot of a vertical line (560, 140)") << 560.0 << 140.0 << true;
    QTest::newRow("inside a grid cell (330, 260)") << 330.0 << 260.0 << false;
    QTest::newRow("left of the plot (50, 3300)") << 50.0 << 3300.0 << false;
    QTest::newRow("below the plot (100, 6560)") << 100.0 << 6560.0 << false;
}

void TestFrame::pixels()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(bool, black);
    plot::ImageSurface surface(kPixels, kTwipsPerPixel, kBackground);
    plot::drawFrame(surface);
    const QRgb expected = black ? kBlackRgb : kBackground.rgb();
    QCOMPARE(pixelAt(surface.image(), x, y), expected);
}

void TestFrame::horizontalGridStopsAt9280()
{
    plot::ImageSurface surface(kPixels, kTwipsPerPixel, kBackground);
    plot::drawFrame(surface);
    const QImage &image = surface.image();
    for (int y = 100; y <= 6500; y += 320) {
        if (y == 3300)
            continue; // the axis runs on to 9300
        QCOMPARE(pixelAt(image, 9280, y), kBlackRgb);
        // 9285..9299 is column 619: only the 9300 line (column 620) follows.
        QCOMPARE(image.pixel(619, int(y / kTwipsPerPixel)), kBackground.rgb());
    }
}

void TestFrame::axesAreSolid()
{
    plot::ImageSurface surface(kPixels, kTwipsPerPixel, kBackground);
    plot::drawFrame(surface);
    const QImage &image = surface.image();
    for (int px = 100 / 15; px <= 9300 / 15; ++px)
        QCOMPARE(image.pixel(px, 3300 / 15), kBlackRgb);
    for (int py = 100 / 15; py <= 6500 / 15; ++py)
        QCOMPARE(image.pixel(100 / 15, py), kBlackRgb);
    QCOMPARE(image.pixel(9300 / 15 + 1, 3300 / 15), kBackground.rgb());
    QCOMPARE(image.pixel(100 / 15, 6500 / 15 + 1), kBackground.rgb());
}

void TestFrame::repeatedFrameIsIdenticalAndErases()
{
    plot::ImageSurface surface(kPixels, kTwipsPerPixel, kBackground);
    plot::drawFrame(surface);
    const QImage first = surface.image().copy();
    surface.drawLine(0, 2000, 11000, 2000, plot::kMagenta);
    surface.setPoint(4000, 2000, plot::kMagenta);
    QVERIFY(surface.image() != first);
    plot::drawFrame(surface);
    QCOMPARE(surface.image(), first);
}

QTEST_APPLESS_MAIN(TestFrame)
#include "tst_frame.moc"
