// How the program starts, or refuses to, in a broken environment.
#include "app/startup.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void brokenEnvironment_data();
    void brokenEnvironment();
    void failureLine_data();
    void failureLine();
    void watchdogGoesOnceTheLoopRuns();
    void qtsMessagesComeAfterTheFirstFrame();
};

void TestStartup::brokenEnvironment_data()
{
    QTest::addColumn<QStringList>("set");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("no display at all") << QStringList{} << "DISPLAY";
    QTest::newRow("X display that does not exist") << QStringList{"DISPLAY=:65000"} << "display :65000";
    QTest::newRow("empty DISPLAY") << QStringList{"DISPLAY="} << "DISPLAY";
    QTest::newRow("only WAYLAND_DISPLAY, no compositor") << QStringList{"WAYLAND_DISPLAY=wayland-nonexistent"}
                                                         << "wl_display";
    QTest::newRow("a platform that is not installed") << QStringList{"QT_QPA_PLATFORM=nosuch"} << "\"nosuch\"";
    // The first repaint cannot get its backing store: one line and status
    // 1, not a window that never draws and never ends.
    QTest::newRow("a first repaint too large to draw")
        << QStringList{"QT_QPA_PLATFORM=offscreen", "QT_SCALE_FACTOR=1000"}
        << "Errore di esecuzione in Form_Paint: memoria insufficiente.";
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
    QVERIFY(process.waitForFinished(30000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());

    QCOMPARE(process.exitStatus(), QProcess::NormalExit); // no abort, no core dump
    QCOMPARE(process.exitCode(), 1);
    const QStringList lines = errors.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith("correlator: ") && lines[0].contains(mentions), qPrintable(errors));
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

void TestStartup::failureLine_data()
{
    QTest::addColumn<QStringList>("qtSays");
    QTest::addColumn<QString>("line");

    const QString fatal = "This application failed to start because no Qt platform plugin could be initialized.";
    QTest::newRow("an X display that refuses")
        << QStringList{"could not connect to display :7", "Could not load the Qt platform plugin \"xcb\" in \"\"",
                       fatal}
        << "impossibile aprire la finestra: could not connect to display :7";
    QTest::newRow("the Wayland plugin is missing")
        << QStringList{"Could not find the Qt platform plugin \"wayland\" in \"\"", fatal}
        << "impossibile aprire la finestra: Could not find the Qt platform plugin \"wayland\" in \"\" "
           "(installare il pacchetto qt6-wayland)";
    QTest::newRow("Wayland missing, then X refuses")
        << QStringList{"Could not find the Qt platform plugin \"wayland\" in \"\"", "could not connect to display :7",
                       fatal}
        << "impossibile aprire la finestra: could not connect to display :7 (installare il pacchetto qt6-wayland)";
    QTest::newRow("the X11 plugin is missing")
        << QStringList{"Could not find the Qt platform plugin \"xcb\" in \"\"", fatal}
        << "impossibile aprire la finestra: Could not find the Qt platform plugin \"xcb\" in \"\" "
           "(installare il pacchetto qt6-qpa-plugins)";
    QTest::newRow("an unknown plugin") << QStringList{"Could not find the Qt platform plugin \"nosuch\" in \"\"", fatal}
                                       << "impossibile aprire la finestra: Could not find the Qt platform plugin "
                                          "\"nosuch\" in \"\"";
    QTest::newRow("only the fatal line") << QStringList{fatal} << "impossibile aprire la finestra: " + fatal;
}

void TestStartup::failureLine()
{
    QFETCH(QStringList, qtSays);
    QFETCH(QString, line);
    QCOMPARE(startup::failureLine(qtSays), line);
}

// A window that opened is not ended a minute later.
void TestStartup::watchdogGoesOnceTheLoopRuns()
{
    startup::prepareProcess();
    const unsigned armed = alarm(0);
    QVERIFY(armed > 0);
    alarm(armed);
    startup::dressApplication();
    QTest::qWait(50);
    QCOMPARE(alarm(0), 0u);
}

// What Qt says before the window's first frame is held back, not lost:
// here, that the session has no runtime folder.
void TestStartup::qtsMessagesComeAfterTheFirstFrame()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("CORRELATOR"), {});
    QVERIFY(process.waitForStarted(30000));
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += process.readAllStandardError()).contains("XDG_RUNTIME_DIR not set"), 20000);
    process.terminate();
    QVERIFY(process.waitForFinished(30000));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
