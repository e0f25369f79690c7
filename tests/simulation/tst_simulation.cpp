// The simulated one-bit correlator against the arcsine law of the model:
// what a student sees the squares do around the curve.
#include "correlation.h"
#include "correlator.h"

#include <QTest>

#include <cmath>

namespace {

// The model's curve at a lag, the reference for an estimate there; at the
// delay itself, where the model's formula is 0/0, its limit.
double reference(double lagUs, int delayUs, double gain)
{
    if (lagUs == delayUs)
        return (2 / 3.14) * std::asin(gain);
    return model::correlationAt(lagUs, std::int16_t(delayUs), gain);
}

constexpr int kSeeds = 8;

} // namespace

class TestSimulation : public QObject {
    Q_OBJECT

private slots:
    void samples_data();
    void samples();
    void arcsineLaw_data();
    void arcsineLaw();
    void sameSeedSameEstimates();
};

void TestSimulation::samples_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qulonglong>("samples");
    QTest::newRow("0.01 s: 2,000 = 2^4 5^3") << 0.01 << 2000ull;
    QTest::newRow("2.6 s: 520,000 is 13 x 40,000, so 2^19") << 2.6 << 524288ull;
    QTest::newRow("0.123456 s") << 0.123456 << 25000ull;
    QTest::newRow("42 s") << 42.0 << 8437500ull;
    QTest::newRow("600 s: 120,000,000 = 2^9 3 5^7") << 600.0 << 120000000ull;
}

void TestSimulation::samples()
{
    QFETCH(double, seconds);
    QFETCH(qulonglong, samples);
    QCOMPARE(qulonglong(simulation::samplesFor(seconds)), samples);
}

void TestSimulation::arcsineLaw_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<double>("within");

    // The estimates spread as 0.0044 / sqrt(seconds) at the worst lags;
    // the largest of 8 x 61 of them lies some 3 spreads out.
    QTest::newRow("2.6 s, 0 dB, no delay") << 2.6 << 0 << 0 << 0.01;
    QTest::newRow("2.6 s, 10 dB, 150 us") << 2.6 << 10 << 150 << 0.01;
    QTest::newRow("2.6 s, 40 dB, 100 us") << 2.6 << 40 << 100 << 0.01;
    QTest::newRow("2.6 s, -40 dB, 300 us") << 2.6 << -40 << 300 << 0.01;
    QTest::newRow("42 s, 0 dB, 50 us") << 42.0 << 0 << 50 << 0.003;
    QTest::newRow("42 s, 40 dB, 7 us") << 42.0 << 40 << 7 << 0.003;
}

void TestSimulation::arcsineLaw()
{
    QFETCH(double, seconds);
    QFETCH(int, snrDb);
    QFETCH(int, delayUs);
    QFETCH(double, within);
    const double gain = model::correlationGain(std::int16_t(snrDb));
    simulation::Correlator correlator(seconds);
    double farthest = 0;
    for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
        const simulation::Estimates estimates = correlator.run(std::int16_t(snrDb), std::int16_t(delayUs), seed);
        for (std::size_t k = 0; k < simulation::kLags; ++k) {
            const double lag = double(k) * simulation::kLagStepUs;
            farthest = std::max(farthest, std::fabs(estimates[k] - reference(lag, delayUs, gain)));
        }
    }
    qInfo("farthest from the curve over %d seeds: %.5f", kSeeds, farthest);
    QVERIFY2(farthest <= within, qPrintable(QString::number(farthest)));
}

void TestSimulation::sameSeedSameEstimates()
{
    simulation::Correlator correlator(0.5);
    const simulation::Estimates first = correlator.run(3, 20, 42);
    QCOMPARE(correlator.run(3, 20, 42), first);
    QCOMPARE(simulation::Correlator(0.5).run(3, 20, 42), first);
    QVERIFY(correlator.run(3, 20, 43) != first);
}

QTEST_APPLESS_MAIN(TestSimulation)
#include "tst_simulation.moc"
