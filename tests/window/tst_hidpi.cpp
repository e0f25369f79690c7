// The window at the device pixel ratio that QT_SCALE_FACTOR sets, or zoomed
// by as much (ZOOM): the layout scales as a whole and the plot keeps one
// logical point per device pixel. Zoomed, it has the pixels a screen of
// that scale gets.
#include "controls.h"
#include "curveextent.h"
#include "window/form1.h"

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
    // Shown at the test's scale.
    void show(Form1 &form);

    double ratio = 0;
    double zoom = 1;
};

void TestHighDpi::initTestCase()
{
    zoom = qEnvironmentVariableIsSet("ZOOM") ? qEnvironmentVariable("ZOOM").toDouble() : 1;
    ratio = zoom > 1 ? zoom : qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    QVERIFY2(ratio > 1, "QT_SCALE_FACTOR or ZOOM must be set above 1");
}

void TestHighDpi::show(Form1 &form)
{
    form.setZoom(zoom);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.devicePixelRatioF() * zoom, ratio);
}

void TestHighDpi::layoutScalesAsAWhole()
{
    Form1 form;
    show(form);
    // Logical geometry is that of 96 dpi times the zoom; Qt multiplies it out.
    QCOMPARE(form.twipsPerPixel() * zoom, 15.0);
    const auto inDevicePixels = [&](QRect r) {
        return QRect(r.topLeft() * form.devicePixelRatioF(), r.size() * form.devicePixelRatioF());
    };
    const auto scaled = [&](QRect r) { return QRect(r.topLeft() * ratio, r.size() * ratio); };
    QCOMPARE(inDevicePixels(scrollBar(form, "HScroll1")->geometry()), scaled(QRect(48, 536, 177, 33)));
    QCOMPARE(inDevicePixels(label(form, "Label2")->geometry()), scaled(QRect(648, 208, 113, 25)));
    QCOMPARE(inDevicePixels(scrollBar(form, "VScroll1")->geometry()), scaled(QRect(336, 528, 57, 161)));
    QCOMPARE(label(form, "Label2")->font().pointSizeF() * form.devicePixelRatioF(), 13.5 * ratio);
}

void TestHighDpi::plotIsSharpAndWhole()
{
    Form1 form;
    show(form);
    form.calcolo();
    const QImage &image = form.surfaceImage();
    QCOMPARE(image.devicePixelRatio(), ratio / zoom);
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
    QCOMPARE(shown.size(), form.size() * form.devicePixelRatioF());
    for (const QPoint p : {QPoint(dotX, dotY), QPoint(dotX + 1, dotY), QPoint(int(9300 / twips), int(6500 / twips))})
        QCOMPARE(shown.pixel(p), image.pixel(p));
}

QTEST_MAIN(TestHighDpi)
#include "tst_hidpi.moc"
