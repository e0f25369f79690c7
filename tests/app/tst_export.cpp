// What the real program exports without a display, against what the window
// draws and what the model computes for the same settings.
#include "controls.h"
#include "curveextent.h"
#include "model/correlation.h"
#include "window/form1.h"

#include <QFileInfo>
#include <QLabel>
#include <QStandardPaths>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <charconv>
#include <cstring>
#include <optional>

namespace {

// Runs the program with these arguments and no display, in the environment
// with these NAME=VALUE set; its exit code.
int runCorrelator(const QStringList &arguments, const QStringList &set = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("LC_ALL", "C");
    for (const QString &assignment : set)
        env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("CORRELATOR"), arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (!process.readAllStandardError().isEmpty() || !process.readAllStandardOutput().isEmpty())
        return -2; // success prints nothing
    return process.exitCode();
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Runs a tool a reader would use; its standard output, or nothing.
std::optional<QByteArray> tool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

bool isMagenta(QRgb c) { return (c & 0xffffff) == 0xff00ff; }
// Magenta anti-aliased over the background or over the black of an axis.
bool looksMagenta(QRgb c)
{
    return qRed(c) - qGreen(c) > 60 && qBlue(c) - qGreen(c) > 60 && std::abs(qRed(c) - qBlue(c)) < 40;
}
bool isInk(QRgb c) { return qGray(c) < 128; }
bool isBlue(QRgb c) { return (c & 0xffffff) == 0x0000ff; }

template <typename Is>
int countOf(const QImage &image, Is is)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += is(image.pixel(x, y));
    return count;
}

// The farthest, in pixels (at most limit + 1), that a pixel of from that
// satisfies inFrom lies from a pixel of to that satisfies inTo.
template <typename From, typename To>
int farthest(const QImage &from, From inFrom, const QImage &to, To inTo, int limit)
{
    int worst = 0;
    for (int y = 0; y < from.height(); ++y)
        for (int x = 0; x < from.width(); ++x) {
            if (!inFrom(from.pixel(x, y)))
                continue;
            int nearest = limit + 1;
            for (int dy = -limit; dy <= limit; ++dy)
                for (int dx = -limit; dx <= limit; ++dx)
                    if (to.valid(x + dx, y + dy) && inTo(to.pixel(x + dx, y + dy)))
                        nearest = std::min(nearest, std::max(std::abs(dx), std::abs(dy)));
            worst = std::max(worst, nearest);
        }
    return worst;
}

// The share of a grid line's length that has ink within a pixel of it:
// the vertical line at 4240 twips, the horizontal one at 420, inside the plot.
double inkShare(const QImage &image, bool vertical)
{
    int inked = 0, all = 0;
    for (int along = 30; along < (vertical ? 420 : 600); ++along, ++all) {
        bool ink = false;
        for (int across = -1; across <= 1; ++across)
            ink = ink || isInk(vertical ? image.pixel(282 + across, along) : image.pixel(along, 28 + across));
        inked += ink;
    }
    return double(inked) / all;
}

// The box around the ink in a part of a picture.
QRect inkIn(const QImage &image, const QRect &part)
{
    QRect ink;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            if (isInk(image.pixel(x, y)))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void figure_data();
    void figure();
    void csv_data();
    void csv();
};

void TestExport::figure_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<QStringList>("more"); // arguments
    QTest::addColumn<QStringList>("set");  // in the environment
    QTest::newRow("0 dB, no delay") << "png" << 0 << 0 << QStringList{} << QStringList{};
    QTest::newRow("10 dB, 150 us") << "png" << 10 << 150 << QStringList{} << QStringList{};
    QTest::newRow("-40 dB, 300 us") << "png" << -40 << 300 << QStringList{} << QStringList{};
    // The figure is the 96-dpi window's, whatever the desktop's scaling.
    QTest::newRow("QT_SCALE_FACTOR=2") << "png" << 10 << 150 << QStringList{} << QStringList{"QT_SCALE_FACTOR=2"};
    QTest::newRow("QT_SCREEN_SCALE_FACTORS=1.5")
        << "png" << 10 << 150 << QStringList{} << QStringList{"QT_SCREEN_SCALE_FACTORS=1.5"};
    QTest::newRow("QT_FONT_DPI=144") << "png" << 10 << 150 << QStringList{} << QStringList{"QT_FONT_DPI=144"};
    // The simulated estimates, as squares where the CSV puts them.
    QTest::newRow("--simulate 2.6, PNG") << "png" << 3 << 60 << QStringList{"--simulate", "2.6"} << QStringList{};
    // Vectors, as the tools readers use render them, against the PNG.
    QTest::newRow("SVG, 10 dB, 150 us, --simulate 0.5 --seed 9")
        << "svg" << 10 << 150 << QStringList{"--simulate", "0.5", "--seed", "9"} << QStringList{};
    QTest::newRow("PDF, -20 dB, 37 us") << "pdf" << -20 << 37 << QStringList{} << QStringList{};
}

void TestExport::figure()
{
    QFETCH(QString, format);
    QFETCH(int, snrDb);
    QFETCH(int, delayUs);
    QFETCH(QStringList, more);
    QFETCH(QStringList, set);
    QTemporaryDir scratch;
    const QStringList settings =
        QStringList{"--snr", QString::number(snrDb), "--delay", QString::number(delayUs)} + more;
    const QString png = scratch.filePath("figure.png");
    QCOMPARE(runCorrelator(settings + QStringList{"--output", png}, set), 0);
    const QImage exported = QImage(png).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(exported.size(), QSize(769, 697));
    QCOMPARE(exported.dotsPerMeterX(), 3780); // 96 dpi

    // The window after a tick with the same settings.
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    timer(form, "Timer1")->stop();
    form.setSettings({std::int16_t(snrDb), std::int16_t(delayUs)});
    form.calcolo();
    const QList<QLabel *> labels = form.findChildren<QLabel *>();
    const bool simulated = more.contains("--simulate");
    if (simulated) {
        // Each estimate of the CSV is a blue square of 5 x 5 pixels around
        // the pixel that holds its lag and value; nothing else is blue.
        const QString csv = scratch.filePath("estimates.csv");
        QCOMPARE(runCorrelator(settings + QStringList{"--output", csv}, set), 0);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        int squares = 0;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.isEmpty() || line.startsWith("lag_us"))
                continue;
            const QList<QByteArray> fields = line.split(',');
            QCOMPARE(fields.size(), 3); // the curve's rows too, their third field empty
            if (!line.contains(",,"))
                continue;
            const double lag = fields[0].toDouble(), value = fields[2].toDouble();
            const QPoint centre(int((30.636 * lag + 100) / 15), int((3300 - 3200 * value) / 15));
            int blue = 0;
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx)
                    blue += isBlue(exported.pixel(centre + QPoint(dx, dy)));
            QVERIFY2(isBlue(exported.pixel(centre)) && blue == 25, line.constData());
            ++squares;
        }
        QCOMPARE(squares, 61);
        QCOMPARE(countOf(exported, isBlue), 61 * 25);
    }
    if (format == "png") {
        const QImage window = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect plot(0, 0, 630, 432); // the plot and its margin, above the "0" under it
        if (!simulated) // the window simulates from a seed of its own
            QCOMPARE(exported.copy(plot), window.copy(plot));
        for (QLabel *label : labels)
            QCOMPARE(exported.copy(label->geometry()), window.copy(label->geometry()));
        return;
    }

    const QString vector = scratch.filePath("figure." + format);
    QCOMPARE(runCorrelator(settings + QStringList{"--output", vector}, set), 0);
    const qint64 limit = format == "svg" ? 600000 : 300000;
    QVERIFY2(QFileInfo(vector).size() <= limit, qPrintable(QString::number(QFileInfo(vector).size())));
    const QString rendered = scratch.filePath("rendered");
    const bool drawn = format == "svg"
                           ? bool(tool("rsvg-convert", {vector, "-o", rendered + ".png"}))
                           : bool(tool("pdftoppm", {"-r", "96", "-png", "-singlefile", vector, rendered}));
    if (!drawn && QStandardPaths::findExecutable(format == "svg" ? "rsvg-convert" : "pdftoppm").isEmpty())
        QSKIP("rsvg-convert or pdftoppm is not installed (scripts/test installs them)");
    QVERIFY(drawn);
    const QImage seen = QImage(rendered + ".png").convertToFormat(QImage::Format_RGB32);
    QCOMPARE(seen.size(), exported.size());

    // The curve lies within a pixel of the PNG's, both ways.
    QVERIFY(curveExtent(exported).count > 600);
    const int fromPng = farthest(exported, isMagenta, seen, looksMagenta, 3);
    const int fromVector = farthest(seen, looksMagenta, exported, isMagenta, 3);
    qInfo("curve: %d and %d pixels apart at most", fromPng, fromVector);
    QVERIFY2(fromPng <= 1 && fromVector <= 1, qPrintable(QStringLiteral("%1, %2").arg(fromPng).arg(fromVector)));
    if (simulated) { // within a pixel: a square's edge may fall either way
        QVERIFY(farthest(exported, isBlue, seen, isBlue, 3) <= 1);
        QVERIFY(farthest(seen, isBlue, exported, isBlue, 3) <= 1);
    }
    // The grid stays dotted: along a vertical and a horizontal grid line
    // the ink breaks as often as the PNG's, not joined into a line.
    for (const bool vertical : {true, false}) {
        const double png = inkShare(exported, vertical), drawn = inkShare(seen, vertical);
        qInfo("%s grid line inked %.2f in the PNG, %.2f as drawn", vertical ? "vertical" : "horizontal", png, drawn);
        QVERIFY2(drawn <= png + 0.15, qPrintable(QString::number(drawn)));
    }
    // The texts stand where the PNG has them.
    for (QLabel *label : labels) {
        const QRect inPng = inkIn(exported, label->geometry());
        const QRect inVector = inkIn(seen, label->geometry());
        QVERIFY2(!inPng.isNull() && !inVector.isNull(), qPrintable(label->objectName()));
        const QMargins apart(inVector.left() - inPng.left(), inVector.top() - inPng.top(),
                             inVector.right() - inPng.right(), inVector.bottom() - inPng.bottom());
        QVERIFY2(std::max({std::abs(apart.left()), std::abs(apart.top()), std::abs(apart.right()),
                           std::abs(apart.bottom())}) <= 2,
                 qPrintable(QStringLiteral("%1: %2,%3,%4,%5").arg(label->objectName()).arg(apart.left())
                                .arg(apart.top()).arg(apart.right()).arg(apart.bottom())));
    }
    // Text that stays text: a viewer finds the readouts and the captions.
    if (format == "pdf") {
        const std::optional<QByteArray> text = tool("pdftotext", {vector, "-"});
        QVERIFY(text);
        for (QLabel *label : labels)
            QVERIFY2(text->contains(label->text().trimmed().toUtf8()), qPrintable(label->text()));
    }
}

void TestExport::csv_data()
{
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<int>("delayUs");
    QTest::newRow("10 dB, 2 us") << 10 << 2;
    QTest::newRow("-40 dB, 300 us") << -40 << 300;
}

void TestExport::csv()
{
    QFETCH(int, snrDb);
    QFETCH(int, delayUs);
    QTemporaryDir scratch;
    const QString path = scratch.filePath("curve.csv");
    QCOMPARE(runCorrelator({"--output", path, "--delay", QString::number(delayUs), "--snr", QString::number(snrDb)}),
             0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 30000 + 2); // header, points, and the empty rest after the last newline
    QCOMPARE(lines.front(), QByteArray("lag_us,correlation"));
    QVERIFY(lines.back().isEmpty());

    // Read back, each number is the double the model gives for that lag.
    const double gain = model::correlationGain(std::int16_t(snrDb));
    double lag = 0.0001;
    for (qsizetype i = 1; i <= 30000; ++i, lag += 0.01) {
        const QByteArray &line = lines[i];
        const qsizetype comma = line.indexOf(',');
        double readLag = 0, readValue = 0;
        const auto first = std::from_chars(line.constData(), line.constData() + comma, readLag);
        const auto second = std::from_chars(line.constData() + comma + 1, line.constData() + line.size(), readValue);
        QVERIFY2(comma > 0 && first.ptr == line.constData() + comma && second.ptr == line.constData() + line.size(),
                 line.constData());
        QVERIFY2(sameBits(readLag, lag), line.constData());
        QVERIFY2(sameBits(readValue, model::correlationAt(lag, std::int16_t(delayUs), gain)), line.constData());
    }
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
