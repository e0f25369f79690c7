// An hour of ticks on one window: pictures repeat exactly for repeated
// settings and the process does not grow.
#include "controls.h"
#include "form1.h"

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
    QHash<int, QByteArray> pictures;
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
        const QByteArray picture(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
        const QByteArray withReadout = picture + label(form, "Label14")->text().toUtf8();
        auto seen = pictures.find(setting);
        if (seen == pictures.end())
            pictures.insert(setting, withReadout);
        else
            QVERIFY2(*seen == withReadout, qPrintable(QStringLiteral("tick %1 differs").arg(tick)));

        if (tick == kWarmUp) {
            residentAfterWarmUp = residentKiB();
            heapAfterWarmUp = heapInUse();
        }
    }
    QCOMPARE(pictures.size(), 12);

    const long residentGrowth = residentKiB() - residentAfterWarmUp;
    qInfo("resident growth %ld KiB, heap growth %lld bytes over %d ticks", residentGrowth,
          qlonglong(heapInUse()) - qlonglong(heapAfterWarmUp), kTicks - kWarmUp);
    QVERIFY2(residentGrowth < 2048, qPrintable(QString::number(residentGrowth)));
    // Under AddressSanitizer malloc is not glibc's and reports nothing.
    if (heapAfterWarmUp > 0)
        QVERIFY(qlonglong(heapInUse()) - qlonglong(heapAfterWarmUp) < 256 * 1024);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
