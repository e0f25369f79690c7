// An hour of ticks on one window: pictures repeat exactly for repeated
// settings and the process does not grow.
#include "controls.h"
#include "window/form1.h"

#include <QFile>
#include <QHash>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <malloc.h>

namespace {

long residentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

std::size_t heapInUse() { return mallinfo2().uordblks; }

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void anHourOfTicks();
};

void TestSoak::anHourOfTicks()
{
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    timer(form, "Timer1")->stop(); // the test is the clock

    // Settings cycle through 12 pairs, so every picture recurs many times.
    constexpr int kTicks = 3600;
    constexpr int kWarmUp = 100;
    // A picture by its hash and readout: a copy a tick would be garbage the
    // allocator may hold on to, and a growth that is not the program's.
    QHash<int, std::pair<std::size_t, QString>> pictures;
    long residentAfterWarmUp = 0;
    std::size_t heapAfterWarmUp = 0;
    for (int tick = 0; tick < kTicks; ++tick) {
        const int setting = tick % 12;
        scrollBar(form, "VScroll1")->setValue(-40 + setting * 7);
        scrollBar(form, "HScroll1")->setValue(setting * 27);
        form.calcolo();
        if (tick % 50 == 0)
            QCoreApplication::processEvents();

        const QImage &image = form.surfaceImage();
        const std::pair picture{qHashBits(image.constBits(), std::size_t(image.sizeInBytes())),
                                label(form, "Label14")->text()};
        auto seen = pictures.find(setting);
        if (seen == pictures.end())
            pictures.insert(setting, picture);
        else
            QVERIFY2(*seen == picture, qPrintable(QStringLiteral("tick %1 differs").arg(tick)));

        if (tick == kWarmUp) {
            residentAfterWarmUp = residentKiB();
            heapAfterWarmUp = heapInUse();
        }
    }
    QCOMPARE(pictures.size(), 12);

    const long residentGrowth = residentKiB() - residentAfterWarmUp;
    qInfo("resident growth %ld KiB, heap growth %lld bytes over %d ticks", residentGrowth,
          qlonglong(heapInUse()) - qlonglong(heapAfterWarmUp), kTicks - kWarmUp);
    // Under AddressSanitizer malloc is not glibc's: it reports nothing, and
    // what is freed waits in a quarantine of up to 256 MB that the process
    // keeps resident. There LeakSanitizer watches for leaks instead.
    if (heapAfterWarmUp > 0) {
        QVERIFY2(residentGrowth < 2048, qPrintable(QString::number(residentGrowth)));
        QVERIFY(qlonglong(heapInUse()) - qlonglong(heapAfterWarmUp) < 256 * 1024);
    }
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
