#include "model/correlation.h"
#include "plot/trace.h"
#include "recordingsurface.h"

#include <QTest>

#include <algorithm>
#include <cmath>

class TestTrace : public QObject {
    Q_OBJECT

private slots:
    void pointsAndEnds_data();
    void pointsAndEnds();
    void peakFollowsTheDelay_data();
    void peakFollowsTheDelay();
    void faultStopsTheTrace();
};

void TestTrace::pointsAndEnds_data()
{
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<int>("snrDb");
    QTest::newRow("delay 0, 0 dB") << 0 << 0;
    QTest::newRow("delay 300, 40 dB") << 300 << 40;
    QTest::newRow("delay 117, -40 dB") << 117 << -40;
}

void TestTrace::pointsAndEnds()
{
    QFETCH(int, delayUs);
    QFETCH(int, snrDb);
    RecordingSurface surface;
    plot::traceCurve(surface, std::int16_t(delayUs), model::correlationGain(std::int16_t(snrDb)), {});

    // Only points, all magenta, exactly 30,000 of them.
    QCOMPARE(surface.calls.size(), size_t(30000));
    QVERIFY(std::all_of(surface.calls.begin(), surface.calls.end(), [](const RecordedCall &c) {
        return c.op == RecordedCall::Point && c.colour == plot::kMagenta;
    }));
    // First lag 0.0001, last 299.9901; lag 300 (x 9290.8) is never plotted.
    QVERIFY(std::fabs(surface.calls.front().x1 - 100.00307f) < 1e-4);
    QVERIFY(std::fabs(surface.calls.back().x1 - 9290.497f) < 1e-3);
    QVERIFY(std::is_sorted(surface.calls.begin(), surface.calls.end(),
                           [](const RecordedCall &a, const RecordedCall &b) { return a.x1 < b.x1; }));
    // Within the frame: +1 is y = 100, -1 is y = 6500, with a little
    // overshoot above +1 because pi is taken as 3.14.
    for (const RecordedCall &c : surface.calls)
        QVERIFY(c.y1 > 100 - 1.7f && c.y1 < 6500 + 1.7f);
}

void TestTrace::peakFollowsTheDelay_data()
{
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<double>("peakY");
    QTest::newRow("delay 0") << 0 << 3300 - 3200 * 0.333502;
    QTest::newRow("delay 1") << 1 << 3300 - 3200 * 0.333502;
    QTest::newRow("delay 150") << 150 << 3300 - 3200 * 0.333502;
    QTest::newRow("delay 300") << 300 << 3300 - 3200 * 0.333502;
}

void TestTrace::peakFollowsTheDelay()
{
    QFETCH(int, delayUs);
    QFETCH(double, peakY);
    RecordingSurface surface;
    plot::traceCurve(surface, std::int16_t(delayUs), model::correlationGain(0), {});
    const auto peak = std::min_element(surface.calls.begin(), surface.calls.end(),
                                       [](const RecordedCall &a, const RecordedCall &b) {
                                           return a.y1 < b.y1;
                                       });
    QVERIFY2(std::fabs(peak->x1 - (100 + 30.636 * delayUs)) < 0.5,
             qPrintable(QString::number(peak->x1)));
    QVERIFY2(std::fabs(peak->y1 - peakY) < 0.5, qPrintable(QString::number(peak->y1)));
}

void TestTrace::faultStopsTheTrace()
{
    RecordingSurface surface;
    // A gain above 1 drives |rho| past 1 at the first lag.
    QVERIFY_THROWS_EXCEPTION(model::ArithmeticFault, plot::traceCurve(surface, 0, 2.0, {}));
    QVERIFY(surface.calls.empty());
}

QTEST_APPLESS_MAIN(TestTrace)
#include "tst_trace.moc"
