// The window at the device pixel ratio that QT_SCALE_FACTOR sets: the layout
// scales as a whole and the plot keeps one logical point per device pixel.
#include "controls.h"
#include "form1.h"
#include "curveextent.h"

#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <cmath>

class TestHighDpi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void layoutScalesAsAWhole();
    void plotIsSharpAndWhole();

private:
    double ratio = 0;
};

void TestHighDpi::initTestCase()
{
    ratio = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    QVERIFY2(ratio > 1, "QT_SCALE_FACTOR must be set above 1");
}

void TestHighDpi::layoutScalesAsAWhole()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.devicePixelRatioF(), ratio);
    // Logical geometry is that of 96 dpi; Qt multiplies it out.
    QCOMPARE(form.twipsPerPixel(), 15.0);
    QCOMPARE(scrollBar(form, "HScroll1")->geometry(), QRect(48, 536, 177, 33));
    QCOMPARE(label(form, "Label2")->geometry(), QRect(648, 208, 113, 25));
    QCOMPARE(scrollBar(form, "VScroll1")->geometry(), QRect(336, 528, 57, 161));
}

void TestHighDpi::plotIsSharpAndWhole()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.calcolo();
    const QImage &image = form.surfaceImage();
    QCOMPARE(image.devicePixelRatio(), ratio);
    const double twips = 15 / ratio; // per device pixel
    // It covers what a tick draws, whatever the window's size.
    QCOMPARE(image.size(), QSize(int(std::ceil(9330 / twips)), int(std::ceil(6540 / twips))));

    const auto black = [&](double x, double y) {
        return (image.pixel(int(x / twips), int(y / twips)) & 0xffffff) == 0;
    };
    // The far corner of the plot is on the image.
    QVERIFY(black(9300, 6500));
    QVERIFY(black(100, 100));
    // A grid dot is one device pixel: its neighbours are background.
    const int dotX = int(560 / twips), dotY = int(140 / twips);
    QVERIFY(black(560, 140));
    QVERIFY((image.pixel(dotX + 1, dotY) & 0xffffff) != 0);
    QVERIFY((image.pixel(dotX, dotY - 1) & 0xffffff) != 0);
    // The curve peaks at the left edge at 3300 - 3200 * 0.3335 twips.
    const CurveExtent curve = curveExtent(image);
    QVERIFY2(std::abs(curve.top.y() - 2233 / twips) <= 1, qPrintable(QString::number(curve.top.y())));
    QCOMPARE(curve.right, int(9290.497 / twips));

    // What the window shows is the surface, pixel for pixel, not a blurred rescale.
    const QImage shown = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), form.size() * ratio);
    for (const QPoint p : {QPoint(dotX, dotY), QPoint(dotX + 1, dotY), QPoint(int(9300 / twips), int(6500 / twips))})
        QCOMPARE(shown.pixel(p), image.pixel(p));
}

QTEST_MAIN(TestHighDpi)
#include "tst_hidpi.moc"
