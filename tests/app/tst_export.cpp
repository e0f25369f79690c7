// What the real program exports without a display, against what the window
// draws and what the model computes for the same settings.
#include "controls.h"
#include "form1.h"
#include "correlation.h"

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <charconv>
#include <cstring>

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

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void png_data();
    void png();
    void csv_data();
    void csv();
};

void TestExport::png_data()
{
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<QStringList>("set"); // in the environment
    QTest::newRow("0 dB, no delay") << 0 << 0 << QStringList{};
    QTest::newRow("10 dB, 150 us") << 10 << 150 << QStringList{};
    QTest::newRow("-40 dB, 300 us") << -40 << 300 << QStringList{};
    // The figure is the 96-dpi window's, whatever the desktop's scaling.
    QTest::newRow("QT_SCALE_FACTOR=2") << 10 << 150 << QStringList{"QT_SCALE_FACTOR=2"};
    QTest::newRow("QT_SCREEN_SCALE_FACTORS=1.5") << 10 << 150 << QStringList{"QT_SCREEN_SCALE_FACTORS=1.5"};
    QTest::newRow("QT_FONT_DPI=144") << 10 << 150 << QStringList{"QT_FONT_DPI=144"};
}

void TestExport::png()
{
    QFETCH(int, snrDb);
    QFETCH(int, delayUs);
    QFETCH(QStringList, set);
    QTemporaryDir scratch;
    const QString path = scratch.filePath("figure.png");
    QCOMPARE(runCorrelator({"--snr", QString::number(snrDb), "--delay", QString::number(delayUs), "--output", path},
                           set),
             0);
    const QImage exported = QImage(path).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(exported.size(), QSize(769, 697));
    QCOMPARE(exported.dotsPerMeterX(), 3780); // 96 dpi

    // The window after a tick with the same settings.
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    timer(form, "Timer1")->stop();
    form.setSettings({std::int16_t(snrDb), std::int16_t(delayUs)});
    form.calcolo();
    const QImage window = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect plot(0, 0, 630, 432); // the plot and its margin, above the "0" under it
    QCOMPARE(exported.copy(plot), window.copy(plot));
    // The readouts show, in the window's labels.
    for (QLabel *readout : {label(form, "Label3"), label(form, "Label9"), label(form, "Label14")})
        QCOMPARE(exported.copy(readout->geometry()), window.copy(readout->geometry()));
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
