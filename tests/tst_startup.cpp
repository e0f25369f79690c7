// How the program starts, or refuses to, in a broken environment.
#include <QTemporaryDir>
#include <QProcess>
#include <QTest>

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void brokenEnvironment_data();
    void brokenEnvironment();
};

void TestStartup::brokenEnvironment_data()
{
    QTest::addColumn<QStringList>("set");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("no display at all") << QStringList{} << "DISPLAY";
    QTest::newRow("X display that does not exist") << QStringList{"DISPLAY=:65000"} << ":65000";
    QTest::newRow("empty DISPLAY") << QStringList{"DISPLAY="} << "DISPLAY";
    QTest::newRow("only WAYLAND_DISPLAY, no compositor") << QStringList{"WAYLAND_DISPLAY=wayland-nonexistent"}
                                                         << "wayland-nonexistent";
    QTest::newRow("a platform that is not installed") << QStringList{"QT_QPA_PLATFORM=nosuch"}
                                                      << "\"nosuch\" scelta con QT_QPA_PLATFORM non è installata";
    QTest::newRow("a window too large to build")
        << QStringList{"QT_QPA_PLATFORM=offscreen", "QT_SCALE_FACTOR=100000"} << "Errore di esecuzione in Form1";
}

void TestStartup::brokenEnvironment()
{
    QFETCH(QStringList, set);
    QFETCH(QString, mentions);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    for (const QString &assignment : set)
        env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
    QTemporaryDir runtime; // private, as a session's runtime directory is
    env.insert("XDG_RUNTIME_DIR", runtime.path());

    QProcess process;
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("CORRELATOR"), {});
    QVERIFY(process.waitForFinished(10000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());

    QCOMPARE(process.exitStatus(), QProcess::NormalExit); // no abort, no core dump
    QCOMPARE(process.exitCode(), 1);
    const QStringList lines = errors.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith("correlator: ") && lines[0].contains(mentions), qPrintable(errors));
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
