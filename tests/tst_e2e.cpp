// The real program in a real X server: started, looked at through
// screenshots, driven with xdotool and closed like a window manager would.
#include "curveextent.h"
#include "wmdelete.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kTickMs = 1000;

// Boxes in pixels at 96 dpi.
const QRect kPlot(6, 6, 615, 428);
const QRect kLabel9(112, 592, 65, 25);
const QRect kLabel3(408, 488, 35, 28);
const QRect kLabel14(584, 528, 60, 24);
const QPoint kHScrollRightArrow(48 + 177 - 6, 536 + 16);
const QPoint kVScrollTopArrow(336 + 28, 528 + 6);

// The topmost row of the peak for a zero-lag value.
double peakRow(double zeroLag) { return (3300 - 3200 * zeroLag) / kTwipsPerPixel; }
double peakColumn(int delay) { return (100 + 30.636 * delay) / kTwipsPerPixel; }

bool isBlack(const QImage &image, int x, int y) { return (image.pixel(x, y) & 0xffffff) == 0; }

// Black, or covered by the curve where it crosses a line of the frame.
bool isFrameInk(const QImage &image, int x, int y)
{
    const QRgb rgb = image.pixel(x, y) & 0xffffff;
    return rgb == 0 || rgb == 0xff00ff;
}

bool uniform(const QImage &image, const QRect &box)
{
    const QRgb first = image.pixel(box.topLeft());
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (image.pixel(x, y) != first)
                return false;
    return true;
}

bool hasFrame(const QImage &image)
{
    if (image.width() <= 620 || image.height() <= 433)
        return false;
    for (int x = 6; x <= 620; ++x)
        if (!isFrameInk(image, x, 220))
            return false;
    for (int y = 6; y <= 433; ++y)
        if (!isFrameInk(image, 6, y))
            return false;
    return isBlack(image, 620, 433) && isBlack(image, 618, 28) && !isBlack(image, 619, 28);
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void opensWithTheBareFrame();
    void firstTickDrawsTheCurve();
    void barsTakeEffectAtTheNextTick();
    void repaintRequestErasesTheCurve();
    void closingEndsTheProgram();

private:
    // Runs a tool against the test's display; its output, or empty when it
    // fails (quietly if quiet is set).
    QByteArray run(const QString &program, const QStringList &arguments, bool quiet = false);
    QString findWindow();
    QImage shot();
    // Takes screenshots until one satisfies the predicate; returns it, or a
    // null image after timeoutMs.
    template <typename Predicate>
    QImage waitForShot(Predicate &&predicate, int timeoutMs);
    void click(QPoint at, int times);

    QProcess xvfb;
    QProcess app;
    QByteArray display;
    QString window;
    QElapsedTimer sinceLaunch;
    QImage lastTraced;
};

QByteArray TestEndToEnd::run(const QString &program, const QStringList &arguments, bool quiet)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromLatin1(display));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        if (!quiet)
            qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                 process.readAllStandardError().constData());
        return {};
    }
    return process.readAllStandardOutput();
}

QString TestEndToEnd::findWindow()
{
    return QString::fromLatin1(run("xdotool", {"search", "--name", "^Form1$"}, true).split('\n').value(0));
}

QImage TestEndToEnd::shot()
{
    return QImage::fromData(run("import", {"-window", window, "png:-"}), "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

template <typename Predicate>
QImage TestEndToEnd::waitForShot(Predicate &&predicate, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const QImage image = shot();
        if (!image.isNull() && predicate(image))
            return image;
        QTest::qWait(20);
    }
    return {};
}

void TestEndToEnd::click(QPoint at, int times)
{
    run("xdotool", {"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()),
                    "click", "--repeat", QString::number(times), "--delay", "15", "1"});
}

void TestEndToEnd::initTestCase()
{
    const QString correlator = qEnvironmentVariable("CORRELATOR");
    QVERIFY2(QFile::exists(correlator), "CORRELATOR must name the program to test");
    for (const char *tool : {"Xvfb", "xdotool", "import"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(qPrintable(QStringLiteral("%1 is missing on CI").arg(tool)));
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/test installs it)").arg(tool)));
        }
    }

    xvfb.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // -noreset: an X server resets when its last client leaves and refuses
    // connections meanwhile, which would race the program against xdotool.
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"});
    QVERIFY2(xvfb.waitForStarted(5000), "Xvfb did not start");
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
    display = ":" + xvfb.readLine().trimmed();
    QTRY_VERIFY2_WITH_TIMEOUT(!run("xdotool", {"getdisplaygeometry"}, true).isEmpty(),
                              "the X server does not take connections", 10000);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromLatin1(display));
    env.insert("LC_ALL", "C");
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sinceLaunch.start();
    app.start(correlator, {});
    QVERIFY2(app.waitForStarted(5000), "correlator did not start");

    QTRY_VERIFY2_WITH_TIMEOUT(!(window = findWindow()).isEmpty(),
                              qPrintable(QStringLiteral("no window on %1; correlator %2, exit code %3")
                                             .arg(QString::fromLatin1(display))
                                             .arg(app.state() == QProcess::Running ? "running" : "not running")
                                             .arg(app.exitCode())),
                              10000);
    QCOMPARE(run("xdotool", {"getwindowpid", window}).trimmed(), QByteArray::number(app.processId()));
}

void TestEndToEnd::cleanupTestCase()
{
    // Terminated rather than killed, so that Xvfb removes its lock and socket.
    for (QProcess *process : {&app, &xvfb}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }
}

void TestEndToEnd::opensWithTheBareFrame()
{
    const QImage first = waitForShot(hasFrame, 5000);
    const qint64 firstFrameMs = sinceLaunch.elapsed();
    QVERIFY2(!first.isNull(), "no frame on screen");
    // Reported only: how fast is for bench/startup.sh, not for a test.
    qInfo("first frame on screen %lld ms after launch", firstFrameMs);

    QCOMPARE(QString::fromUtf8(run("xdotool", {"getwindowname", window}).trimmed()), QString("Form1"));
    // The whole layout, 761 x 689 pixels, fits in the initial client area.
    QVERIFY(first.width() >= 761 && first.height() >= 689);

    QCOMPARE(curveExtent(first).count, 0);
    QVERIFY(uniform(first, kLabel9));
    QVERIFY(uniform(first, kLabel3));
    QVERIFY(uniform(first, kLabel14));
}

void TestEndToEnd::firstTickDrawsTheCurve()
{
    lastTraced = waitForShot([](const QImage &image) { return curveExtent(image).count > 0; }, 3000);
    QVERIFY2(!lastTraced.isNull(), "no curve within 3 s");
    QVERIFY(hasFrame(lastTraced));
    const CurveExtent curve = curveExtent(lastTraced);
    QVERIFY2(std::abs(curve.top.x() - peakColumn(0)) <= 1.5, qPrintable(QString::number(curve.top.x())));
    QVERIFY2(std::abs(curve.top.y() - peakRow(0.3335)) <= 1, qPrintable(QString::number(curve.top.y())));
    QVERIFY(!uniform(lastTraced, kLabel9));
    QVERIFY(!uniform(lastTraced, kLabel14));
}

void TestEndToEnd::barsTakeEffectAtTheNextTick()
{
    // Right after a tick: a whole period to go before the next one.
    click(kHScrollRightArrow, 5);   // delay 5 microseconds
    click(kVScrollTopArrow, 10);    // bar at -10: 10 dB
    const QImage unchanged = shot();
    QCOMPARE(unchanged.copy(kPlot), lastTraced.copy(kPlot));
    QCOMPARE(unchanged.copy(kLabel9), lastTraced.copy(kLabel9));
    QCOMPARE(unchanged.copy(kLabel14), lastTraced.copy(kLabel14));

    const QImage moved = waitForShot(
        [&](const QImage &image) { return image.copy(kPlot) != lastTraced.copy(kPlot); }, kTickMs + 500);
    QVERIFY2(!moved.isNull(), "the curve did not follow the bars within a period");
    const CurveExtent curve = curveExtent(moved);
    QVERIFY2(std::abs(curve.top.x() - peakColumn(5)) <= 1.5, qPrintable(QString::number(curve.top.x())));
    QVERIFY2(std::abs(curve.top.y() - peakRow(0.7268)) <= 1, qPrintable(QString::number(curve.top.y())));
    QVERIFY(moved.copy(kLabel9) != lastTraced.copy(kLabel9));
    QVERIFY(moved.copy(kLabel14) != lastTraced.copy(kLabel14));
    lastTraced = moved;
}

void TestEndToEnd::repaintRequestErasesTheCurve()
{
    run("xdotool", {"windowunmap", "--sync", window});
    run("xdotool", {"windowmap", "--sync", window});
    QElapsedTimer sinceMap;
    sinceMap.start();
    const QImage bare = waitForShot(hasFrame, 500);
    QVERIFY(!bare.isNull());
    QCOMPARE(curveExtent(bare).count, 0);
    // The readouts keep their values.
    QCOMPARE(bare.copy(kLabel9), lastTraced.copy(kLabel9));
    QCOMPARE(bare.copy(kLabel14), lastTraced.copy(kLabel14));

    const QImage back = waitForShot([](const QImage &image) { return curveExtent(image).count > 0; },
                                    kTickMs + 500);
    QVERIFY2(!back.isNull(), "the curve did not come back within a period");
    QVERIFY(sinceMap.elapsed() <= kTickMs + 300);
    QCOMPARE(back.copy(kPlot), lastTraced.copy(kPlot));
}

void TestEndToEnd::closingEndsTheProgram()
{
    QString error;
    QVERIFY2(sendWmDeleteWindow(display, window.toULong(), &error), qPrintable(error));
    QVERIFY2(app.waitForFinished(1000), "still running a second after WM_DELETE_WINDOW");
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
