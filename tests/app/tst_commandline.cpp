// The command line as a user meets it, with no display: what the program
// prints, its exit status, and what it leaves on disk.
#include "app/commandline.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// What is at a name before and after a run: its kind, and for a regular
// file its contents, mode and group; for a link, where it points.
struct Entry {
    QString kind;
    QByteArray contents;
    unsigned mode = 0;
    unsigned group = 0;
    bool operator==(const Entry &) const = default;
};

QMap<QString, Entry> entries(const QDir &dir)
{
    QMap<QString, Entry> found;
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat st {};
        if (lstat(path.constData(), &st) != 0)
            continue;
        Entry entry;
        if (S_ISLNK(st.st_mode)) {
            entry.kind = "link to " + QFile::symLinkTarget(dir.filePath(name));
        } else if (S_ISREG(st.st_mode)) {
            QFile file(dir.filePath(name));
            entry.kind = "file";
            entry.contents = file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
            entry.mode = st.st_mode & 07777;
            entry.group = st.st_gid;
        } else {
            entry.kind = S_ISDIR(st.st_mode) ? "directory" : S_ISFIFO(st.st_mode) ? "fifo" : "special";
        }
        found.insert(name, entry);
    }
    return found;
}

// Files that are there before every run; a refused run must leave them be.
const QStringList kExisting{"out.png", "out.csv", "out.jpg", "out", "target.csv", "kept.csv"};
const QByteArray kKept = "kept\n";
constexpr gid_t kDaemonGroup = 1; // in every Debian system

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void values_data();
    void values();
};

void TestCommandLine::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");  // a part of stdout
    QTest::addColumn<QString>("says"); // a part of the one line on stderr
    QTest::addColumn<QString>("creates"); // the file a successful export writes
    QTest::addColumn<QString>("shell");   // run this instead, "$CORRELATOR" for the program

    const QString version = QStringLiteral("correlator " CORRELATOR_VERSION "\n");
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "--output FILE" << "" << "" << "";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << "--snr DB" << "" << "" << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "" << "" << "";
    QTest::newRow("-v") << QStringList{"-v"} << 0 << version << "" << "" << "";

    QTest::newRow("--bogus") << QStringList{"--bogus"} << 2 << "" << "'--bogus'" << "" << "";
    QTest::newRow("Qt's -qwindowtitle") << QStringList{"-qwindowtitle", "Pippo"} << 2 << "" << "'-qwindowtitle'" << "" << "";
    QTest::newRow("Qt's -reverse") << QStringList{"-reverse"} << 2 << "" << "'-reverse'" << "" << "";
    QTest::newRow("a stray argument") << QStringList{"out.png"} << 2 << "" << "'out.png'" << "" << "";
    QTest::newRow("--snr 41") << QStringList{"--snr", "41", "--output", "out.png"} << 2 << "" << "'41'" << "" << "";
    QTest::newRow("--snr -41") << QStringList{"--snr=-41", "--output", "out.csv"} << 2 << "" << "'-41'" << "" << "";
    QTest::newRow("--delay 301") << QStringList{"--delay", "301", "--output", "out.csv"} << 2 << "" << "'301'" << "" << "";
    QTest::newRow("--delay -1") << QStringList{"--delay", "-1", "--output", "out.png"} << 2 << "" << "'-1'" << "" << "";
    QTest::newRow("--snr 1.5") << QStringList{"--snr", "1.5", "--output", "out.csv"} << 2 << "" << "'1.5'" << "" << "";
    QTest::newRow("--snr ten") << QStringList{"--snr", "ten", "--output", "out.csv"} << 2 << "" << "'ten'" << "" << "";
    QTest::newRow("--snr empty") << QStringList{"--snr", "", "--output", "out.csv"} << 2 << "" << "--snr" << "" << "";
    QTest::newRow("--snr without a value") << QStringList{"--output", "out.csv", "--snr"} << 2 << "" << "'--snr'" << "" << "";
    QTest::newRow("--snr without a value, before --output") << QStringList{"--snr", "--output", "out.png"} << 2 << ""
                                                             << "manca il valore dopo '--snr'" << "" << "";
    QTest::newRow("--snr twice") << QStringList{"--snr", "1", "--snr", "2", "--output", "out.csv"} << 2 << ""
                                 << "'--snr'" << "" << "";
    QTest::newRow("--snr without --output") << QStringList{"--snr", "3"} << 2 << "" << "--output" << "" << "";
    QTest::newRow("--delay without --output") << QStringList{"--delay", "3"} << 2 << "" << "--output" << "" << "";
    QTest::newRow(".jpg") << QStringList{"--output", "out.jpg"} << 2 << "" << "'out.jpg'" << "" << "";
    QTest::newRow("no extension") << QStringList{"--output", "out"} << 2 << "" << "'out'" << "" << "";

    // Exports at the ends of the ranges, and suffixes in capitals.
    QTest::newRow("--snr 40") << QStringList{"--snr", "40", "--output", "new.csv"} << 0 << "" << "" << "new.csv" << "";
    QTest::newRow("--snr -40") << QStringList{"--snr", "-40", "--output", "new.csv"} << 0 << "" << "" << "new.csv" << "";
    QTest::newRow("--delay 300") << QStringList{"--delay", "300", "--output", "new.csv"} << 0 << "" << ""
                                 << "new.csv" << "";
    QTest::newRow("FIG.PNG") << QStringList{"--output", "FIG.PNG"} << 0 << "" << "" << "FIG.PNG" << "";
    QTest::newRow("CURVE.CSV") << QStringList{"--output", "CURVE.CSV"} << 0 << "" << "" << "CURVE.CSV" << "";

    // One rule for numbers: a sign (+, - or U+2212) and digits, nothing else.
    QTest::newRow("--snr 0000000040") << QStringList{"--snr", "0000000040", "--output", "new.csv"} << 0 << "" << ""
                                      << "new.csv" << "";
    QTest::newRow("--snr −5, the minus sign") << QStringList{"--snr", "\u22125", "--output", "new.csv"} << 0 << ""
                                              << "" << "new.csv" << "";
    QTest::newRow("--delay +7") << QStringList{"--delay", "+7", "--output", "new.csv"} << 0 << "" << "" << "new.csv"
                                << "";
    QTest::newRow("--snr '5 '") << QStringList{"--snr", "5 ", "--output", "out.csv"} << 2 << "" << "'5 '" << "" << "";
    QTest::newRow("--snr '5\\n'") << QStringList{"--snr", "5\n", "--output", "out.csv"} << 2 << "" << "'5\\n'"
                                   << "" << "";
    QTest::newRow("--snr -") << QStringList{"--snr", "-", "--output", "out.csv"} << 2 << "" << "'-'" << "" << "";
    QTest::newRow("--delay 99999999999999999999")
        << QStringList{"--delay", "99999999999999999999", "--output", "out.csv"} << 2 << "" << "'9999" << "" << "";
    // The simulation: seconds from 0.01 to 600, a seed that fits 64 bits.
    QTest::newRow("--simulate 0.001") << QStringList{"--simulate", "0.001", "--output", "out.csv"} << 2 << ""
                                      << "'0.001'" << "" << "";
    QTest::newRow("--simulate 600.5") << QStringList{"--simulate", "600.5"} << 2 << "" << "'600.5'" << "" << "";
    QTest::newRow("--simulate 1e2") << QStringList{"--simulate", "1e2"} << 2 << "" << "'1e2'" << "" << "";
    QTest::newRow("--simulate 0,5 with a comma") << QStringList{"--simulate", "0,5", "--output", "new.csv"} << 0
                                                 << "" << "" << "new.csv" << "";
    QTest::newRow("--seed without --simulate") << QStringList{"--seed", "3", "--output", "out.csv"} << 2 << ""
                                               << "--simulate" << "" << "";
    QTest::newRow("--seed 2^64") << QStringList{"--simulate", "1", "--seed", "18446744073709551616"} << 2 << ""
                                 << "'18446744073709551616'" << "" << "";
    // A long export tells its progress to a terminal and to nothing else
    // (this table's runs write stderr to a pipe): up to 100 %, whichever
    // core did the last block (so a few runs), on one line that it leaves
    // blank at the end; Ctrl+C leaves no file.
    QTest::newRow("--simulate 3 on a terminal")
        << QStringList{} << 0 << "last shown: 100 %; left on the line: ''" << "" << "new.csv"
        << R"(for run in 1 2 3 4; do
                  CORRELATOR_PROGRESS_AFTER_MS=0 script -qec '"$CORRELATOR" --simulate 3 --output new.csv' /dev/null >tty
                  shown=$(grep -ao '[0-9]* %' tty | tail -n 1)
                  # each carriage return starts the line again, written over what was there
                  left=$(awk 'BEGIN { RS = "\r" } { line = $0 substr(line, length($0) + 1) }
                              END { sub(/ +$/, "", line); print line }' tty)
                  [ "$shown" = "100 %" ] && [ -z "$left" ] || break
              done
              rm tty
              echo "last shown: $shown; left on the line: '$left'")";
    QTest::newRow("--simulate 3 to a pipe") << QStringList{} << 0 << "" << "" << "new.csv"
                                            << R"(CORRELATOR_PROGRESS_AFTER_MS=0 "$CORRELATOR" --simulate 3 --output new.csv)";
    QTest::newRow("--simulate without --seed: seed 1")
        << QStringList{} << 0 << "" << "" << "new.csv"
        << R"("$CORRELATOR" --simulate 0.01 --output new.csv && "$CORRELATOR" --simulate 0.01 --seed 1 --output one.csv &&
              cmp new.csv one.csv && rm one.csv)";
    QTest::newRow("Ctrl+C during --simulate 600")
        << QStringList{} << 1 << "" << "ended by SIGINT" << ""
        << R"(timeout --preserve-status -s INT 0.3 "$CORRELATOR" --simulate 600 --output new.csv
              [ $? -eq 130 ] && echo "correlator: ended by SIGINT" >&2; exit 1)";
    QTest::newRow("--seed -1") << QStringList{"--simulate", "1", "--seed", "-1"} << 2 << "" << "'-1'" << "" << "";
    // The quantizers, and what they cost.
    QTest::newRow("--levels 5") << QStringList{"--levels", "5", "--output", "out.csv"} << 2 << "" << "'5'" << "" << "";
    QTest::newRow("--levels twice") << QStringList{"--levels", "3", "--levels", "4"} << 2 << "" << "'--levels'" << ""
                                    << "";
    QTest::newRow("--van-vleck=1") << QStringList{"--van-vleck=1", "--output", "out.csv"} << 2 << "" << "'--van-vleck'"
                                   << "" << "";
    QTest::newRow("--levels analog --van-vleck") << QStringList{"--levels", "analog", "--van-vleck", "--output", "new.csv"}
                                                 << 0 << "" << "" << "new.csv" << "";
    QTest::newRow("--levels 4 --simulate 0.01") << QStringList{"--levels", "4", "--simulate", "0.01", "--output", "new.png"}
                                                << 0 << "" << "" << "new.png" << "";
    QTest::newRow("--efficiency")
        << QStringList{"--efficiency"} << 0
        << "levels,threshold_sigma,outer_level,eta_theory,eta_white,eta_signal\n2,0,1,0.6366," << "" << "" << "";
    QTest::newRow("--efficiency --levels 3") << QStringList{"--efficiency", "--levels", "3"} << 2 << "" << "'--levels'"
                                             << "" << "";

    // Messages are one line of sensible length, whatever they echo.
    QTest::newRow("an escape sequence") << QStringList{"--output", "x\x1b[31m.jpg"} << 2 << "" << "x\\x1b[31m.jpg"
                                        << "" << "";
    QTest::newRow("a value of 100,000 characters")
        << QStringList{"--snr", QString(100000, u'7'), "--output", "out.csv"} << 2 << "" << "7777\u2026'" << "" << "";
    QTest::newRow("a file name that is not UTF-8") << QStringList{} << 2 << "" << "'x\\xff.csv'" << ""
                                                   << "\"$CORRELATOR\" --output \"$(printf 'x\\377.csv')\"";
    QTest::newRow("--help to a full disk") << QStringList{} << 1 << "" << "No space left on device" << ""
                                           << "\"$CORRELATOR\" --help > /dev/full";

    // Destinations that are not regular files are left alone; a link to one
    // is followed and kept; a replaced file keeps its mode and group.
    QTest::newRow("a FIFO") << QStringList{"--output", "pipe.csv"} << 1 << "" << "FIFO" << "" << "";
    QTest::newRow("a link to a device") << QStringList{"--output", "device.csv"} << 1 << ""
                                        << "un dispositivo a caratteri" << "" << "";
    QTest::newRow("a link to nothing") << QStringList{"--output", "dangling.csv"} << 1 << "" << "non esiste" << ""
                                       << "";
    QTest::newRow("a link to a regular file") << QStringList{"--output", "link.csv"} << 0 << "" << "" << "target.csv"
                                              << "";
    QTest::newRow("a file of mode 0640, group daemon") << QStringList{"--output", "kept.csv"} << 0 << "" << ""
                                                       << "kept.csv" << "";
    QTest::newRow("a full disk")
        << QStringList{} << 1 << "" << "'full/new.png': No space left on device" << "" << QString(R"sh(
            # root needs no user namespace, and a chroot or a container
            # may refuse one: then there is no full disk to be had here
            if unshare --mount true 2>/dev/null; then ns=--mount
            elif unshare --map-root-user --mount true 2>/dev/null; then ns="--map-root-user --mount"
            else exit 99; fi
            unshare $ns sh -c '
                mount -t tmpfs -o size=16k none full || exit 99
                "$CORRELATOR" --output full/new.png; status=$?
                [ -z "$(ls -A full)" ] || echo "left behind in full/: $(ls -A full)" >&2
                exit $status')sh");

    QTest::newRow("a folder that is not there") << QStringList{"--output", "missing/new.csv"} << 1 << ""
                                                 << "'missing/new.csv'" << "" << "";
    QTest::newRow("a folder in the file's place") << QStringList{"--output", "folder.png"} << 1 << ""
                                                  << "'folder.png'" << "" << "";
}

void TestCommandLine::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, says);
    QFETCH(QString, creates);
    QFETCH(QString, shell);

    QTemporaryDir scratch;
    QDir dir(scratch.path());
    for (const QString &name : kExisting) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kKept) == kKept.size());
    }
    const auto path = [&](const char *name) { return QFile::encodeName(dir.filePath(name)); };
    QCOMPARE(chmod(path("kept.csv"), 0640), 0);
    if (geteuid() == 0)
        QCOMPARE(chown(path("kept.csv"), uid_t(-1), kDaemonGroup), 0);
    QVERIFY(dir.mkdir("folder.png"));
    QVERIFY(dir.mkdir("full"));
    QCOMPARE(mkfifo(path("pipe.csv"), 0644), 0);
    QVERIFY(QFile::link("target.csv", dir.filePath("link.csv")));
    QVERIFY(QFile::link("missing.csv", dir.filePath("dangling.csv")));
    // A device node of the test's own, never one in /dev; making one takes root.
    const bool device = mknod(path("null"), S_IFCHR | 0666, makedev(1, 3)) == 0;
    QVERIFY(QFile::link("null", dir.filePath("device.csv")));
    if (QByteArray(QTest::currentDataTag()) == "a link to a device" && !device)
        QSKIP("making a device node takes root");
    const auto before = entries(dir);

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name); // neither help nor export needs a display
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    if (shell.isEmpty())
        process.start(qEnvironmentVariable("CORRELATOR"), arguments);
    else
        process.start("/bin/sh", {"-c", shell});
    QVERIFY(process.waitForFinished(20000));
    if (process.exitCode() == 99)
        QSKIP("no tmpfs to fill: unshare or mount is not allowed here");
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
    auto after = entries(dir);
    if (!creates.isEmpty()) {
        const Entry written = after.take(creates);
        QCOMPARE(written.kind, QString("file"));
        QVERIFY2(written.contents.size() > 1000, qPrintable(creates + " was not written"));
        if (before.contains(creates)) {
            QCOMPARE(written.mode, before[creates].mode);
            QCOMPARE(written.group, before[creates].group);
        }
        if (!before.contains(creates)) { // a new file's mode follows the umask
            const mode_t mask = umask(0);
            umask(mask);
            QCOMPARE(written.mode, 0666u & ~unsigned(mask));
        }
        after.insert(creates, before.value(creates));
        if (!before.contains(creates))
            after.remove(creates);
    }
    QCOMPARE(after, before);
}

// What an accepted command line asks for, at the ends of what it accepts.
void TestCommandLine::values_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qulonglong>("seed");
    QTest::addColumn<int>("levels"); // model::Levels
    QTest::addColumn<bool>("vanVleck");
    const int two = int(model::Levels::Two);
    QTest::newRow("--snr −5, the minus sign") << QStringList{"--snr", "\u22125", "--output", "x.csv"} << -5 << 0.0 << 0ull
                                              << two << false;
    QTest::newRow("--simulate 0.01, the shortest") << QStringList{"--simulate", "0.01"} << 0 << 0.01 << 0ull << two
                                                   << false;
    QTest::newRow("--seed 2^64 - 1") << QStringList{"--simulate", "600", "--seed", "18446744073709551615"} << 0
                                     << 600.0 << 18446744073709551615ull << two << false;
    QTest::newRow("--levels 3") << QStringList{"--levels", "3"} << 0 << 0.0 << 0ull << int(model::Levels::Three) << false;
    QTest::newRow("--levels 4 --van-vleck, exporting") << QStringList{"--levels", "4", "--van-vleck", "--output", "x.png"}
                                                       << 0 << 0.0 << 0ull << int(model::Levels::Four) << true;
    QTest::newRow("--van-vleck --levels analog") << QStringList{"--van-vleck", "--levels", "analog"} << 0 << 0.0 << 0ull
                                                 << int(model::Levels::Analog) << true;
}

void TestCommandLine::values()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, snrDb);
    QFETCH(double, seconds);
    QFETCH(qulonglong, seed);
    QFETCH(int, levels);
    QFETCH(bool, vanVleck);
    const CommandLine command = CommandLine::parse(arguments);
    QVERIFY2(command.action != CommandLine::Action::Refuse, qPrintable(command.refusal));
    QCOMPARE(command.snrDb, snrDb);
    QCOMPARE(command.simulateSeconds.value_or(0), seconds);
    QCOMPARE(command.seed.value_or(0), seed);
    QCOMPARE(int(command.quantization.levels), levels);
    QCOMPARE(command.quantization.vanVleck, vanVleck);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
