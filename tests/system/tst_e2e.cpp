// The real program in a real X server: started, looked at, driven with
// xdotool and closed as a window manager or another client would.
//
// Nothing here passes or fails on how fast the program is. Where a check
// races the one-second tick (a bare frame before it, a bar that waits for
// it) a lost race is told apart from a fault and the step is tried again.
#include "curveextent.h"
#include "model/correlation.h"
#include "xwindow.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kTickMs = 1000;
constexpr int kPatienceMs = 20000; // for what must come, however busy the machine
constexpr int kAttempts = 5;       // for races against the tick

// Boxes in pixels at 96 dpi.
const QRect kPlot(6, 6, 615, 428);
const QRect kLabel9(112, 592, 65, 25);
const QRect kLabel3(408, 488, 35, 28);
const QRect kLabel14(584, 528, 60, 24);
const QRect kVScroll1(336, 528, 57, 161);
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

bool hasCurve(const QImage &image) { return curveExtent(image).count > 0; }

bool hasSquares(const QImage &image)
{
    const QImage plot = image.copy(kPlot);
    for (int y = 0; y < plot.height(); ++y)
        for (int x = 0; x < plot.width(); ++x)
            if ((plot.pixel(x, y) & 0xffffff) == 0x0000ff)
                return true;
    return false;
}

// The settings of a window just started, and those the bars' test leaves.
const QStringList kFirstSettings{"--snr", "0", "--delay", "0"};
const QStringList kBarsSettings{"--snr", "10", "--delay", "5"};

// What a program that replaces this one on disk might write.
const QByteArray kAnotherProgram = "#!/bin/sh\n"
                                   "while [ $# -gt 1 ]; do\n"
                                   "    [ \"$1\" = --output ] && echo another > \"$2\"\n"
                                   "    shift\n"
                                   "done\n";

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void opensWithTheBareFrame();
    void firstTickDrawsTheCurve();
    void barsTakeEffectAtTheNextTick();
    void repaintRequestErasesTheCurve();
    void zoomKeys_data();
    void zoomKeys();
    void saveWritesWhatTheCommandLineWrites_data();
    void saveWritesWhatTheCommandLineWrites();
    void copyPutsTheFigureOnTheClipboard_data();
    void copyPutsTheFigureOnTheClipboard();
    void aFailedSaveIsShownAndTheWindowTicks();
    void saveAfterAnotherStart_data();
    void saveAfterAnotherStart();
    void aFailedCopyIsSaidOnce();
    void closingEndsTheProgram_data();
    void closingEndsTheProgram();

private:
    // Starts the program and waits for its window; limits is run in the
    // program's process before it starts.
    void launch(const QStringList &arguments = {}, const QString &program = {},
                const std::function<void()> &limits = {});
    void stop();
    // Runs a tool against the test's display; its output, or empty when it
    // fails (quietly if quiet is set).
    QByteArray run(const QString &program, const QStringList &arguments, bool quiet = false);
    QImage shot() const { return x->grab(window); }
    // Looks until a picture satisfies the predicate; returns it, or a null
    // image once patience runs out.
    template <typename Predicate>
    QImage waitForShot(Predicate &&predicate, int patienceMs = kPatienceMs);
    void click(QPoint at, int times);
    // Keys to the window, as a user types them.
    void keys(const QStringList &keys);
    // The first visible window of that title, once there is one.
    QString windowNamed(const QString &title);
    // Whether a window of that title is there now.
    bool isShown(const QString &title);
    // Ctrl+S, and in the file dialog the path typed over the suggestion
    // (none: the suggestion kept), then the keys, then Return.
    void saveAs(const QString &path, const QStringList &keys = {});
    // The file a save writes, once it is there; empty, and why, when it
    // does not come or a message box says it was refused.
    QByteArray saved(const QString &path, QString *why);
    // What the command line writes for these settings.
    QByteArray exported(const QString &suffix, const QStringList &settings);

    QString correlator;
    // The settings on screen, as the command line gives them.
    QStringList onScreen;
    QProcess xvfb;
    QProcess app;
    QByteArray display;
    std::unique_ptr<XConnection> x;
    unsigned long window = 0;
    QElapsedTimer sinceLaunch;
    QImage lastTraced;
    QTemporaryDir scratch;
};

QByteArray TestEndToEnd::run(const QString &program, const QStringList &arguments, bool quiet)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromLatin1(display));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(kPatienceMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        if (!quiet)
            qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
        return {};
    }
    return process.readAllStandardOutput();
}

template <typename Predicate>
QImage TestEndToEnd::waitForShot(Predicate &&predicate, int patienceMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < patienceMs) {
        const QImage image = shot();
        if (!image.isNull() && predicate(image))
            return image;
        QTest::qWait(2);
    }
    return {};
}

void TestEndToEnd::click(QPoint at, int times)
{
    run("xdotool", {"mousemove", "--window", QString::number(window), QString::number(at.x()),
                    QString::number(at.y()), "click", "--repeat", QString::number(times), "--delay", "15", "1"});
}

void TestEndToEnd::keys(const QStringList &keys)
{
    run("xdotool", QStringList{"windowfocus", "--sync", QString::number(window), "key", "--delay", "50"} + keys);
}

// A search may meet a window that goes meanwhile, and then fails: asked again.
QString TestEndToEnd::windowNamed(const QString &title)
{
    QByteArray found;
    QElapsedTimer clock;
    clock.start();
    while (found.isEmpty() && clock.elapsed() < kPatienceMs) {
        found = run("xdotool", {"search", "--onlyvisible", "--name", '^' + title + '$'}, true);
        QTest::qWait(50);
    }
    return QString::fromLatin1(found.split('\n').value(0));
}

bool TestEndToEnd::isShown(const QString &title)
{
    return !run("xdotool", {"search", "--onlyvisible", "--name", '^' + title + '$'}, true).isEmpty();
}

void TestEndToEnd::saveAs(const QString &path, const QStringList &keys)
{
    this->keys({"ctrl+s"});
    const QString id = windowNamed("Salva figura");
    QVERIFY2(!id.isEmpty(), "no file dialog");
    run("xdotool", {"windowfocus", "--sync", id});
    if (!path.isEmpty()) {
        run("xdotool", {"key", "ctrl+a"});
        run("xdotool", {"type", "--delay", "5", path});
    }
    if (!keys.isEmpty())
        run("xdotool", QStringList{"key", "--delay", "100"} + keys);
    run("xdotool", {"key", "Return"});
}

QByteArray TestEndToEnd::saved(const QString &path, QString *why)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kPatienceMs) {
        // Written beside and renamed: a file there is whole.
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
        if (isShown("Figura non scritta")) {
            *why = QFileInfo(path).fileName() + " refused: a box \"Figura non scritta\"";
            run("xdotool", {"search", "--onlyvisible", "--name", "^Figura non scritta$", "windowfocus", "--sync",
                            "key", "Return"},
                true);
            return {};
        }
        QTest::qWait(20);
    }
    *why = QFileInfo(path).fileName() + " was not written within the patience; the folder holds "
           + QFileInfo(path).dir().entryList(QDir::Files).join(", ");
    return {};
}

QByteArray TestEndToEnd::exported(const QString &suffix, const QStringList &settings)
{
    const QString path = scratch.filePath("exported." + suffix);
    QFile::remove(path);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    process.setProcessEnvironment(env);
    process.start(correlator, settings + QStringList{"--output", path});
    if (!process.waitForFinished(kPatienceMs) || process.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestEndToEnd::initTestCase()
{
    correlator = qEnvironmentVariable("CORRELATOR");
    QVERIFY2(QFile::exists(correlator), "CORRELATOR must name the program to test");
    for (const char *tool : {"Xvfb", "xdotool", "xclip"}) {
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
    QVERIFY2(xvfb.waitForStarted(kPatienceMs), "Xvfb did not start");
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), kPatienceMs);
    display = ":" + xvfb.readLine().trimmed();
    QTRY_VERIFY2_WITH_TIMEOUT((x = std::make_unique<XConnection>(display))->isOpen(),
                              "the X server does not take connections", kPatienceMs);
}

void TestEndToEnd::launch(const QStringList &arguments, const QString &program, const std::function<void()> &limits)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromLatin1(display));
    env.insert("LC_ALL", "C");
    env.remove("QT_QPA_PLATFORM");
    env.remove("WAYLAND_DISPLAY");
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.setChildProcessModifier(limits);
    sinceLaunch.start();
    app.start(program.isEmpty() ? correlator : program, arguments);
    QVERIFY2(app.waitForStarted(kPatienceMs), "correlator did not start");

    const QString pid = QString::number(app.processId());
    QByteArray found;
    const bool shown = QTest::qWaitFor(
        [&] {
            found = run("xdotool", {"search", "--onlyvisible", "--pid", pid, "--name", "^Form1$"}, true);
            return !found.isEmpty();
        },
        kPatienceMs);
    QVERIFY2(shown, qPrintable(QStringLiteral("no window on %1; correlator %2")
                                   .arg(QString::fromLatin1(display),
                                        app.state() == QProcess::Running ? "running" : "gone")));
    window = found.split('\n').value(0).toULong();
    onScreen = kFirstSettings;
}

void TestEndToEnd::stop()
{
    if (app.state() != QProcess::NotRunning) {
        app.terminate();
        if (!app.waitForFinished(kPatienceMs)) {
            app.kill();
            app.waitForFinished(kPatienceMs);
        }
    }
}

// After a row that failed, the program goes, with whatever dialog or
// message box it left: the next row starts it afresh.
void TestEndToEnd::cleanup()
{
    if (QTest::currentTestFailed())
        stop();
}

void TestEndToEnd::cleanupTestCase()
{
    stop();
    x.reset();
    // Terminated rather than killed, so that Xvfb removes its lock and socket.
    xvfb.terminate();
    if (!xvfb.waitForFinished(kPatienceMs))
        xvfb.kill();
}

// The first picture is the bare frame with empty readouts. The first tick
// comes a second after the window is made, so a curve seen sooner than a
// second after launch is a fault; one seen later only means this machine
// was too busy to look in time, and the program is started again.
void TestEndToEnd::opensWithTheBareFrame()
{
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        launch();
        const QImage first = waitForShot(hasFrame);
        const qint64 seenMs = sinceLaunch.elapsed();
        QVERIFY2(!first.isNull(), "no frame on screen");
        qInfo("first frame seen %lld ms after launch", seenMs);
        if (hasCurve(first)) {
            QVERIFY2(seenMs >= kTickMs, "a curve before the first tick could have come");
            stop();
            continue;
        }
        QCOMPARE(QString::fromUtf8(run("xdotool", {"getwindowname", QString::number(window)}).trimmed()),
                 QString("Form1"));
        // The whole layout, 761 x 689 pixels, fits in the initial client area.
        QVERIFY(first.width() >= 761 && first.height() >= 689);
        QVERIFY(uniform(first, kLabel9));
        QVERIFY(uniform(first, kLabel3));
        QVERIFY(uniform(first, kLabel14));
        return;
    }
    QFAIL("the first tick came before every look at the first frame");
}

void TestEndToEnd::firstTickDrawsTheCurve()
{
    lastTraced = waitForShot(hasCurve);
    QVERIFY2(!lastTraced.isNull(), "no curve");
    QVERIFY(hasFrame(lastTraced));
    const CurveExtent curve = curveExtent(lastTraced);
    QVERIFY2(std::abs(curve.top.x() - peakColumn(0)) <= 1.5, qPrintable(QString::number(curve.top.x())));
    QVERIFY2(std::abs(curve.top.y() - peakRow(0.3335)) <= 1, qPrintable(QString::number(curve.top.y())));
    QVERIFY(!uniform(lastTraced, kLabel9));
    QVERIFY(!uniform(lastTraced, kLabel14));
}

// Moving a bar changes nothing in the plot or the readouts until the next
// tick. Once the signal-to-noise bar shows its click, the program has
// handled that and the delay bar's click before it; if the plot then
// differs, a tick came in between, and the step is tried again.
void TestEndToEnd::barsTakeEffectAtTheNextTick()
{
    int snr = 0;
    int delay = 0;
    bool waited = false;
    for (int attempt = 1; attempt <= kAttempts && !waited; ++attempt) {
        const QImage before = shot();
        click(kHScrollRightArrow, 1); // one microsecond more
        click(kVScrollTopArrow, 1);   // one dB more
        delay += 1;
        snr += 1;
        const QImage handled = waitForShot([&](const QImage &image) {
            return image.copy(kVScroll1) != before.copy(kVScroll1);
        });
        QVERIFY2(!handled.isNull(), "the signal-to-noise bar did not move");
        waited = handled.copy(kPlot) == lastTraced.copy(kPlot) && handled.copy(kLabel3) == lastTraced.copy(kLabel3)
                 && handled.copy(kLabel9) == lastTraced.copy(kLabel9)
                 && handled.copy(kLabel14) == lastTraced.copy(kLabel14);
        if (!waited) // a tick came: this is what the screen shows from now on
            lastTraced = waitForShot(hasCurve);
    }
    QVERIFY2(waited, "every change of a bar showed before a tick could have come");

    click(kVScrollTopArrow, 10 - snr);
    click(kHScrollRightArrow, 5 - delay);
    const double zeroLag = model::zeroLagValue(model::correlationGain(10));
    const QImage moved = waitForShot([&](const QImage &image) {
        const CurveExtent curve = curveExtent(image);
        return curve.count > 0 && std::abs(curve.top.y() - peakRow(zeroLag)) <= 1
               && std::abs(curve.top.x() - peakColumn(5)) <= 1.5;
    });
    QVERIFY2(!moved.isNull(), "the curve did not follow the bars to 10 dB and 5 microseconds");
    QVERIFY(moved.copy(kLabel9) != lastTraced.copy(kLabel9));
    QVERIFY(moved.copy(kLabel14) != lastTraced.copy(kLabel14));
    QVERIFY(moved.copy(kLabel3) != lastTraced.copy(kLabel3));
    lastTraced = moved;
    onScreen = kBarsSettings;
}

// A repaint request from the window system erases the curve and keeps the
// readouts; the next tick draws the same curve again. A tick that comes
// between the request and the look hides the bare frame: try again.
void TestEndToEnd::repaintRequestErasesTheCurve()
{
    const QString id = QString::number(window);
    QImage bare;
    for (int attempt = 1; attempt <= kAttempts && bare.isNull(); ++attempt) {
        run("xdotool", {"windowunmap", "--sync", id});
        run("xdotool", {"windowmap", "--sync", id});
        const QImage first = waitForShot(hasFrame);
        QVERIFY2(!first.isNull(), "no frame after the window came back");
        if (!hasCurve(first))
            bare = first;
    }
    QVERIFY2(!bare.isNull(), "the curve was there at every look after a repaint request");
    QCOMPARE(bare.copy(kLabel9), lastTraced.copy(kLabel9));
    QCOMPARE(bare.copy(kLabel14), lastTraced.copy(kLabel14));

    const QImage back = waitForShot(hasCurve);
    QVERIFY2(!back.isNull(), "the curve did not come back");
    QCOMPARE(back.copy(kPlot), lastTraced.copy(kPlot));
}

// The keys resize the whole window: 769 x 697 pixels at 100 %, 961 x 871
// at 125 %.
void TestEndToEnd::zoomKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QSize>("size");
    QTest::newRow("Ctrl++") << "ctrl+plus" << QSize(961, 871);
    QTest::newRow("Ctrl+0") << "ctrl+0" << QSize(769, 697);
}

void TestEndToEnd::zoomKeys()
{
    QFETCH(QString, key);
    QFETCH(QSize, size);
    if (app.state() == QProcess::NotRunning)
        launch();
    keys({key});
    const QImage zoomed = waitForShot([&](const QImage &image) { return image.size() == size; });
    QVERIFY2(!zoomed.isNull(), qPrintable(QStringLiteral("the window stayed %1 x %2 after %3")
                                              .arg(shot().width())
                                              .arg(shot().height())
                                              .arg(key)));
}

// Through the real file dialog, the bytes the command line writes for the
// settings on screen (10 dB and 5 microseconds, from the bars' test): a
// name typed whole; a name without a suffix, in the format chosen in the
// dialog; and the dialog's own suggestion, in the folder and the format of
// the last save.
void TestEndToEnd::saveWritesWhatTheCommandLineWrites_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("dialogKeys");
    QTest::addColumn<QString>("file");
    QTest::newRow("saved.png typed") << "saved.png" << QStringList{} << "saved.png";
    // From the name, Tab reaches the format; Down is the next one, SVG.
    QTest::newRow("fig typed, SVG chosen") << "fig" << QStringList{"Tab", "Down", "shift+Tab"} << "fig.svg";
    QTest::newRow("the suggestion, after an SVG save") << "" << QStringList{} << "correlazione-%1dB-%2us.svg";
}

void TestEndToEnd::saveWritesWhatTheCommandLineWrites()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, dialogKeys);
    QFETCH(QString, file);
    if (app.state() == QProcess::NotRunning)
        launch();
    if (file.contains('%'))
        file = file.arg(onScreen[1], onScreen[3]);
    saveAs(typed.isEmpty() ? QString() : scratch.filePath(typed), dialogKeys);
    if (QTest::currentTestFailed())
        return;
    QString why;
    const QByteArray bytes = saved(scratch.filePath(file), &why);
    QVERIFY2(!bytes.isEmpty(), qPrintable(why));
    const QByteArray expected = exported(QFileInfo(file).suffix(), onScreen);
    QVERIFY(!expected.isEmpty());
    QVERIFY2(bytes == expected, qPrintable(file + " is not what --output writes"));
}

// Pasted as a word processor, a vector editor and a spreadsheet ask.
void TestEndToEnd::copyPutsTheFigureOnTheClipboard_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("image/png") << "image/png" << "png";
    QTest::newRow("image/svg+xml") << "image/svg+xml" << "svg";
    QTest::newRow("UTF8_STRING") << "UTF8_STRING" << "csv";
}

void TestEndToEnd::copyPutsTheFigureOnTheClipboard()
{
    QFETCH(QString, target);
    QFETCH(QString, suffix);
    if (app.state() == QProcess::NotRunning)
        launch();
    keys({"ctrl+c"});
    const QByteArray expected = exported(suffix, onScreen);
    QVERIFY(!expected.isEmpty());
    QElapsedTimer clock;
    clock.start();
    bool pasted = false;
    while (!pasted && clock.elapsed() < kPatienceMs && !isShown("Figura non scritta")) {
        pasted = run("xclip", {"-selection", "clipboard", "-t", target, "-o"}, true) == expected;
        QTest::qWait(20);
    }
    QVERIFY2(!isShown("Figura non scritta"), "the copy was refused: a box \"Figura non scritta\"");
    QVERIFY2(pasted, qPrintable("the clipboard offers no " + target + " equal to what --output writes"));
}

// A save that fails says why, as the command line would; the window goes
// on ticking meanwhile: a repaint's bare frame gets its curve back.
void TestEndToEnd::aFailedSaveIsShownAndTheWindowTicks()
{
    if (app.state() == QProcess::NotRunning)
        launch();
    saveAs(scratch.filePath("missing/new.png"));
    const QString box = windowNamed("Figura non scritta");
    QVERIFY2(!box.isEmpty(), "no message box");
    const QString id = QString::number(window);
    bool ticked = false;
    for (int attempt = 1; attempt <= kAttempts && !ticked; ++attempt) {
        run("xdotool", {"windowunmap", "--sync", id});
        run("xdotool", {"windowmap", "--sync", id});
        const QImage bare = waitForShot([](const QImage &image) { return hasFrame(image) && !hasCurve(image); }, kTickMs);
        ticked = !bare.isNull() && !waitForShot(hasCurve).isNull();
    }
    QVERIFY2(ticked, "no tick while the message box is open");
    run("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
    QVERIFY(!QFileInfo::exists(scratch.filePath("missing")));
}

// A program started otherwise, then saving: with the squares on screen,
// the figure holds those squares; after the program's file was removed or
// replaced on disk (an upgrade under a running window), the running
// program still writes it.
void TestEndToEnd::saveAfterAnotherStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("onDisk"); // what becomes of a copy of the program it runs from
    QTest::newRow("with the squares on screen") << QStringList{"--simulate", "0.3", "--seed", "7"} << "";
    QTest::newRow("four levels, corrected") << QStringList{"--levels", "4", "--van-vleck"} << "";
    QTest::newRow("its file removed") << QStringList{} << "removed";
    QTest::newRow("its file replaced") << QStringList{} << "replaced";
}

void TestEndToEnd::saveAfterAnotherStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, onDisk);
    stop();
    const QString copy = scratch.filePath("bin/correlator");
    if (!onDisk.isEmpty()) {
        QVERIFY(QDir(scratch.path()).mkpath("bin"));
        QFile::remove(copy);
        QVERIFY(QFile::copy(correlator, copy));
    }
    launch(arguments, onDisk.isEmpty() ? QString() : copy);
    QVERIFY(!waitForShot(hasCurve).isNull());
    if (onDisk == "removed") {
        QVERIFY(QFile::remove(copy));
    } else if (onDisk == "replaced") {
        // As a package manager does it: a new file renamed over the old.
        QFile another(copy + ".new");
        QVERIFY(another.open(QIODevice::WriteOnly) && another.write(kAnotherProgram) == kAnotherProgram.size());
        another.close();
        QVERIFY(another.setPermissions(another.permissions() | QFile::ExeOwner));
        QVERIFY(QFile::rename(copy + ".new", copy) || (QFile::remove(copy) && QFile::rename(copy + ".new", copy)));
    }
    const QString path = scratch.filePath(QTest::currentDataTag() + QStringLiteral(".png"));
    if (!arguments.contains("--simulate")) {
        saveAs(path);
        if (QTest::currentTestFailed())
            return;
        QString why;
        const QByteArray bytes = saved(path, &why);
        QVERIFY2(!bytes.isEmpty(), qPrintable(why));
        QVERIFY2(bytes == exported("png", onScreen + arguments), "the figure is not what --output writes");
        return;
    }
    // The squares change at every tick: the figure is compared with the
    // plot on screen when no tick came between the look before Return and
    // the look after the file is there.
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        QFile::remove(path);
        QVERIFY2(!waitForShot(hasSquares).isNull(), "no squares on screen");
        keys({"ctrl+s"});
        const QString id = windowNamed("Salva figura");
        QVERIFY2(!id.isEmpty(), "no file dialog");
        run("xdotool", {"windowfocus", "--sync", id, "key", "ctrl+a"});
        run("xdotool", {"type", "--delay", "5", path});
        // The dialog beside the window, not over its plot; uncovered, the
        // plot is bare until the next tick.
        run("xdotool", {"windowmove", "--sync", id, "800", "0"});
        const QImage before = waitForShot(hasSquares);
        run("xdotool", {"key", "Return"});
        QString why;
        const QByteArray bytes = saved(path, &why);
        QVERIFY2(!bytes.isEmpty(), qPrintable(why));
        const QImage after = shot();
        if (before.copy(kPlot) != after.copy(kPlot))
            continue;
        const QImage figure = QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_RGB32);
        QVERIFY2(figure.copy(kPlot) == before.copy(kPlot), "the figure's squares are not those on screen");
        return;
    }
    QFAIL("a tick came between every look before a save and the look after it");
}

// A copy whose three files cannot be written (no file may grow past 4 kB)
// says so in one message box.
void TestEndToEnd::aFailedCopyIsSaidOnce()
{
    stop();
    const auto stopAfter = qScopeGuard([this] { stop(); }); // boxes and all
    launch({}, {}, [] {
        const rlimit small{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_IGN); // a write past it fails rather than kills
    });
    QVERIFY(!waitForShot(hasCurve).isNull());
    keys({"ctrl+c"});
    QVERIFY2(!windowNamed("Figura non scritta").isEmpty(), "no message box");
    // Each writer has told the window by the time it is gone.
    const auto writing = [pid = app.processId()] {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
        return !children.open(QIODevice::ReadOnly) || !children.readAll().trimmed().isEmpty();
    };
    QVERIFY2(QTest::qWaitFor([&] { return !writing(); }, kPatienceMs), "the writers did not end");
    QTest::qWait(500);
    const QByteArray boxes = run("xdotool", {"search", "--onlyvisible", "--name", "^Figura non scritta$"});
    QCOMPARE(boxes.trimmed().split('\n').size(), 1);
}

void TestEndToEnd::closingEndsTheProgram_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("closed by the window manager") << "WM_DELETE_WINDOW";
    QTest::newRow("destroyed by another client") << "xdotool windowclose";
    QTest::newRow("Ctrl+W") << "ctrl+w";
    QTest::newRow("Ctrl+Q") << "ctrl+q";
    // Closing waits for the figure being written.
    QTest::newRow("Ctrl+Q at once after a save") << "save, ctrl+q";
}

// The program lives exactly as long as its window, and ends with status 0.
void TestEndToEnd::closingEndsTheProgram()
{
    QFETCH(QString, how);
    if (app.state() == QProcess::NotRunning)
        launch();
    QVERIFY(!waitForShot(hasFrame).isNull());
    if (how == "WM_DELETE_WINDOW") {
        QString error;
        QVERIFY2(x->sendWmDeleteWindow(window, &error), qPrintable(error));
    } else if (how.startsWith("xdotool")) {
        run("xdotool", {"windowclose", QString::number(window)});
    } else if (how.startsWith("save")) {
        saveAs(scratch.filePath("closing.png"));
        keys({"ctrl+q"});
    } else {
        keys({how});
    }
    QVERIFY2(app.waitForFinished(kPatienceMs), "still running after its window went");
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    if (how.startsWith("save")) {
        QFile file(scratch.filePath("closing.png"));
        QVERIFY2(file.open(QIODevice::ReadOnly), "the figure saved just before closing was not written");
        QVERIFY2(file.readAll() == exported("png", onScreen), "the figure is not what --output writes");
    }
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
