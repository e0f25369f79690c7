// The command line as a user meets it, with no display: what the program
// prints, its exit status, and what it leaves on disk.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Files that are there before every run; a refused run must leave them be.
const QStringList kExisting{"out.png", "out.csv", "out.jpg", "out"};
const QByteArray kKept = "kept\n";

QMap<QString, QByteArray> contents(const QDir &dir)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(dir.filePath(name));
        files.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<directory>"));
    }
    return files;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void TestCommandLine::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");  // a part of stdout
    QTest::addColumn<QString>("says"); // a part of the one line on stderr
    QTest::addColumn<QString>("creates"); // the file a successful export writes

    const QString version = QStringLiteral("correlator " CORRELATOR_VERSION "\n");
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "--output FILE" << "" << "";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << "--snr DB" << "" << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "" << "";
    QTest::newRow("-v") << QStringList{"-v"} << 0 << version << "" << "";

    QTest::newRow("--bogus") << QStringList{"--bogus"} << 2 << "" << "'--bogus'" << "";
    QTest::newRow("Qt's -qwindowtitle") << QStringList{"-qwindowtitle", "Pippo"} << 2 << "" << "'-qwindowtitle'" << "";
    QTest::newRow("Qt's -reverse") << QStringList{"-reverse"} << 2 << "" << "'-reverse'" << "";
    QTest::newRow("a stray argument") << QStringList{"out.png"} << 2 << "" << "'out.png'" << "";
    QTest::newRow("--snr 41") << QStringList{"--snr", "41", "--output", "out.png"} << 2 << "" << "'41'" << "";
    QTest::newRow("--snr -41") << QStringList{"--snr=-41", "--output", "out.csv"} << 2 << "" << "'-41'" << "";
    QTest::newRow("--delay 301") << QStringList{"--delay", "301", "--output", "out.csv"} << 2 << "" << "'301'" << "";
    QTest::newRow("--delay -1") << QStringList{"--delay", "-1", "--output", "out.png"} << 2 << "" << "'-1'" << "";
    QTest::newRow("--snr 1.5") << QStringList{"--snr", "1.5", "--output", "out.csv"} << 2 << "" << "'1.5'" << "";
    QTest::newRow("--snr ten") << QStringList{"--snr", "ten", "--output", "out.csv"} << 2 << "" << "'ten'" << "";
    QTest::newRow("--snr empty") << QStringList{"--snr", "", "--output", "out.csv"} << 2 << "" << "--snr" << "";
    QTest::newRow("--snr without a value") << QStringList{"--output", "out.csv", "--snr"} << 2 << "" << "'--snr'" << "";
    QTest::newRow("--snr twice") << QStringList{"--snr", "1", "--snr", "2", "--output", "out.csv"} << 2 << ""
                                 << "'--snr'" << "";
    QTest::newRow("--snr without --output") << QStringList{"--snr", "3"} << 2 << "" << "--output" << "";
    QTest::newRow("--delay without --output") << QStringList{"--delay", "3"} << 2 << "" << "--output" << "";
    QTest::newRow(".jpg") << QStringList{"--output", "out.jpg"} << 2 << "" << "'out.jpg'" << "";
    QTest::newRow("no extension") << QStringList{"--output", "out"} << 2 << "" << "'out'" << "";

    // Exports at the ends of the ranges, and suffixes in capitals.
    QTest::newRow("--snr 40") << QStringList{"--snr", "40", "--output", "new.csv"} << 0 << "" << "" << "new.csv";
    QTest::newRow("--snr -40") << QStringList{"--snr", "-40", "--output", "new.csv"} << 0 << "" << "" << "new.csv";
    QTest::newRow("--delay 300") << QStringList{"--delay", "300", "--output", "new.csv"} << 0 << "" << ""
                                 << "new.csv";
    QTest::newRow("FIG.PNG") << QStringList{"--output", "FIG.PNG"} << 0 << "" << "" << "FIG.PNG";
    QTest::newRow("CURVE.CSV") << QStringList{"--output", "CURVE.CSV"} << 0 << "" << "" << "CURVE.CSV";

    QTest::newRow("a folder that is not there") << QStringList{"--output", "missing/new.csv"} << 1 << ""
                                                 << "'missing/new.csv'" << "";
    QTest::newRow("a folder in the file's place") << QStringList{"--output", "folder.png"} << 1 << ""
                                                  << "'folder.png'" << "";
}

void TestCommandLine::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, says);
    QFETCH(QString, creates);

    QTemporaryDir scratch;
    QDir dir(scratch.path());
    for (const QString &name : kExisting) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kKept) == kKept.size());
    }
    QVERIFY(dir.mkdir("folder.png"));
    const auto before = contents(dir);

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name); // neither help nor export needs a display
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    process.start(qEnvironmentVariable("CORRELATOR"), arguments);
    QVERIFY(process.waitForFinished(10000));
    const QString stdoutText = QString::fromUtf8(process.readAllStandardOutput());
    const QString stderrText = QString::fromUtf8(process.readAllStandardError());

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    if (status == 0) {
        QVERIFY2(stdoutText.contains(out), qPrintable(stdoutText));
        QVERIFY2(stderrText.isEmpty(), qPrintable(stderrText));
    } else {
        QVERIFY(stdoutText.isEmpty());
        const QStringList lines = stderrText.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith("correlator: ") && lines[0].contains(says), qPrintable(stderrText));
        if (status == 2)
            QVERIFY2(lines[0].contains("--help"), qPrintable(stderrText));
    }
    // Nothing else created, nothing touched, no half-written file left behind.
    auto after = contents(dir);
    if (!creates.isEmpty())
        QVERIFY2(!after.take(creates).isEmpty(), qPrintable(creates + " was not written"));
    QCOMPARE(after, before);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
