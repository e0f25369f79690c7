#include "model/correlation.h"
#include "model/elementary.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <optional>

using model::ArithmeticFault;
using Kind = ArithmeticFault::Kind;
Q_DECLARE_METATYPE(std::optional<Kind>)

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Independent references, in extended precision and through the closed
// forms rather than the step-by-step chain.
long double referenceGain(int snrDb)
{
    const long double s = std::pow(10.0L, snrDb / 10.0L);
    return s / (1 + s);
}

long double referenceCorrelation(long double tUs, long double gain)
{
    const long double x1 = 0.0785L * tUs;
    const long double x2 = 0.1256L * tUs;
    const long double rho = gain * std::sin(x1) / x1 * std::cos(x2);
    return 2 / 3.14L * std::asin(rho);
}

// The fault raised, if any. A non-finite result counts as a failure of the
// test itself: faults must never come back as infinities or NaN.
std::optional<Kind> faultOf(auto &&call)
{
    try {
        const double value = call();
        if (!std::isfinite(value))
            QTest::qFail(qPrintable(QStringLiteral("non-finite result %1 instead of a fault").arg(value)),
                         __FILE__, __LINE__);
        return std::nullopt;
    } catch (const ArithmeticFault &fault) {
        return fault.kind();
    }
}

} // namespace

class TestCorrelation : public QObject {
    Q_OBJECT

private slots:
    void gain_data();
    void gain();
    void gainFaults_data();
    void gainFaults();
    void zeroLagReadout_data();
    void zeroLagReadout();
    void zeroLagIsTheSpelledOutChain_data();
    void zeroLagIsTheSpelledOutChain();
    void curveAgainstReference_data();
    void curveAgainstReference();
    void evenAroundTheDelay_data();
    void evenAroundTheDelay();
    void peakAtTheDelay_data();
    void peakAtTheDelay();
    void curveFaults_data();
    void curveFaults();
    void faultNamesItsKind();
};

void TestCorrelation::gain_data()
{
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");

    QTest::newRow("0 dB is exactly one half") << 0 << 0.5 << 0.0;
    QTest::newRow("10 dB") << 10 << 10.0 / 11 << 1e-15;
    QTest::newRow("-10 dB") << -10 << 1.0 / 11 << 1e-16;
    QTest::newRow("-20 dB") << -20 << 1.0 / 101 << 1e-17;
    QTest::newRow("40 dB") << 40 << 10000.0 / 10001 << 1e-15;
    QTest::newRow("160 dB rounds to exactly 1") << 160 << 1.0 << 0.0;
    QTest::newRow("3082 dB, last before overflow") << 3082 << 1.0 << 0.0;
    QTest::newRow("-3082 dB, last before overflow") << -3082 << 0.0 << 1e-307;
    // 10^(snr/20) underflows to 0 and is replaced by 100: 1 / (1 + 1e-4).
    QTest::newRow("-6473 dB, amplitude underflows") << -6473 << 10000.0 / 10001 << 1e-15;
    QTest::newRow("-32768 dB, amplitude underflows") << -32768 << 10000.0 / 10001 << 1e-15;
}

void TestCorrelation::gain()
{
    QFETCH(int, snrDb);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    const double actual = model::correlationGain(std::int16_t(snrDb));
    if (tolerance == 0)
        QCOMPARE(actual, expected);
    else
        QVERIFY2(std::fabs(actual - expected) <= tolerance,
                 qPrintable(QString::number(actual, 'g', 17)));
    if (snrDb > -3083)
        QVERIFY(std::fabs(actual - double(referenceGain(snrDb))) <= 4e-16 * expected + 1e-300);
}

void TestCorrelation::gainFaults_data()
{
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<Kind>("expected");

    // g * g exceeds the largest double from 10^(3083/20) on.
    QTest::newRow("3083 dB") << 3083 << Kind::Overflow;
    QTest::newRow("6166 dB, the power itself") << 6166 << Kind::Overflow;
    QTest::newRow("32767 dB") << 32767 << Kind::Overflow;
    // 1 / g^2 exceeds the largest double...
    QTest::newRow("-3083 dB") << -3083 << Kind::Overflow;
    QTest::newRow("-3200 dB") << -3200 << Kind::Overflow;
    // ...until g^2 itself underflows to 0.
    QTest::newRow("-3300 dB") << -3300 << Kind::DivisionByZero;
    QTest::newRow("-6472 dB, g is the least subnormal") << -6472 << Kind::DivisionByZero;
}

void TestCorrelation::gainFaults()
{
    QFETCH(int, snrDb);
    QFETCH(Kind, expected);
    QCOMPARE(faultOf([&] { return model::correlationGain(std::int16_t(snrDb)); }),
             std::optional<Kind>(expected));
}

void TestCorrelation::zeroLagReadout_data()
{
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");

    QTest::newRow("-40 dB") << -40 << 0.0000637 << 5e-7;
    QTest::newRow("-20 dB") << -20 << 0.0063 << 5e-5;
    QTest::newRow("-10 dB") << -10 << 0.0580 << 5e-5;
    QTest::newRow("0 dB") << 0 << 0.333502 << 5e-7;
    QTest::newRow("10 dB") << 10 << 0.7268 << 5e-5;
    QTest::newRow("20 dB") << 20 << 0.9108 << 5e-5;
    QTest::newRow("30 dB") << 30 << 0.9720 << 5e-5;
    QTest::newRow("40 dB") << 40 << 0.991500 << 5e-7;
    // Gain exactly 1: the scaled arcsine overshoots 1 because pi is 3.14.
    QTest::newRow("160 dB") << 160 << 1.000499 << 5e-7;
}

void TestCorrelation::zeroLagReadout()
{
    QFETCH(int, snrDb);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    const double gain = model::correlationGain(std::int16_t(snrDb));
    const double actual = model::zeroLagValue(gain);
    QVERIFY2(std::fabs(actual - expected) <= tolerance, qPrintable(QString::number(actual, 'g', 17)));
    // Near rho = 1 the arcsine magnifies the last bit of rho ~1e5 times.
    QVERIFY(std::fabs(actual - double(referenceCorrelation(0.0001L, gain))) < 1e-10);
}

void TestCorrelation::zeroLagIsTheSpelledOutChain_data()
{
    QTest::addColumn<double>("gain");
    QTest::newRow("0") << 0.0;
    QTest::newRow("0.5") << 0.5;
    QTest::newRow("10/11") << 10.0 / 11;
    QTest::newRow("0.0099") << 0.00990099;
    QTest::newRow("1") << 1.0;
    QTest::newRow("-0.3") << -0.3;
    QTest::newRow("subnormal") << 1e-310;
}

void TestCorrelation::zeroLagIsTheSpelledOutChain()
{
    QFETCH(double, gain);
    // The products 78500 * 0.0001 and 125600 * 0.0001 already formed.
    volatile double a = 7.8500000000000005 / 1000000;
    volatile double envelope = model::elementary::sin(a) / a;
    volatile double carrier = model::elementary::cos(12.56 / 1000000);
    volatile double rho = (gain * envelope) * carrier;
    volatile double root = std::sqrt(1 + rho * (-rho));
    volatile double scale = 2 / 3.14;
    const double expected = scale * model::elementary::atan(rho / root);

    QCOMPARE(model::zeroLagValue(gain), expected);
    QCOMPARE(model::correlationAt(0.0001, 0, gain), expected);
}

void TestCorrelation::curveAgainstReference_data()
{
    QTest::addColumn<double>("lagUs");
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<int>("snrDb");

    QTest::newRow("lag 0.0001, delay 0, 0 dB") << 0.0001 << 0 << 0;
    QTest::newRow("lag 7.5, delay 0, 40 dB") << 7.5 << 0 << 40;
    QTest::newRow("lag 25, delay 150, 10 dB") << 25.0 << 150 << 10;
    QTest::newRow("lag 299.99, delay 300, -40 dB") << 299.99 << 300 << -40;
    QTest::newRow("lag 0.01, delay 300, 20 dB") << 0.01 << 300 << 20;
    QTest::newRow("lag 12.34, delay -5, 3 dB") << 12.34 << -5 << 3;
}

void TestCorrelation::curveAgainstReference()
{
    QFETCH(double, lagUs);
    QFETCH(int, delayUs);
    QFETCH(int, snrDb);
    const double gain = model::correlationGain(std::int16_t(snrDb));
    const double actual = model::correlationAt(lagUs, std::int16_t(delayUs), gain);
    const long double t = (long double)lagUs - delayUs;
    QVERIFY2(std::fabs(actual - double(referenceCorrelation(t, gain))) < 1e-12,
             qPrintable(QString::number(actual, 'g', 17)));
}

void TestCorrelation::evenAroundTheDelay_data()
{
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<double>("offsetUs");
    QTest::newRow("delay 0, offset 0.5") << 0 << 0.5;
    QTest::newRow("delay 100, offset 0.5") << 100 << 0.5;
    QTest::newRow("delay 150, offset 12.25") << 150 << 12.25;
    QTest::newRow("delay 300, offset 0.0078125") << 300 << 0.0078125;
    QTest::newRow("delay -40, offset 33") << -40 << 33.0;
}

void TestCorrelation::evenAroundTheDelay()
{
    QFETCH(int, delayUs);
    QFETCH(double, offsetUs);
    const double gain = model::correlationGain(7);
    // Offsets chosen so that d + u and d - u are exact doubles.
    QCOMPARE(model::correlationAt(delayUs + offsetUs, std::int16_t(delayUs), gain),
             model::correlationAt(delayUs - offsetUs, std::int16_t(delayUs), gain));
}

void TestCorrelation::peakAtTheDelay_data()
{
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<int>("snrDb");
    QTest::newRow("delay 1, 0 dB") << 1 << 0;
    QTest::newRow("delay 150, 40 dB") << 150 << 40;
    QTest::newRow("delay 300, -20 dB") << 300 << -20;
}

void TestCorrelation::peakAtTheDelay()
{
    QFETCH(int, delayUs);
    QFETCH(int, snrDb);
    const double gain = model::correlationGain(std::int16_t(snrDb));
    const double peak = model::correlationAt(delayUs + 0.0001, std::int16_t(delayUs), gain);
    QVERIFY(std::fabs(peak - model::zeroLagValue(gain)) < 1e-12);
    for (double u : {0.01, 0.1, 0.5, 1.0, 5.0, 20.0, 40.0})
        for (double sign : {-1.0, 1.0})
            QVERIFY(model::correlationAt(delayUs + sign * u, std::int16_t(delayUs), gain) < peak);
}

void TestCorrelation::curveFaults_data()
{
    QTest::addColumn<double>("lagUs");
    QTest::addColumn<int>("delayUs");
    QTest::addColumn<double>("gain");
    QTest::addColumn<std::optional<Kind>>("expected");

    const std::optional<Kind> none;
    QTest::newRow("lag at the delay: 0/0") << 5.0 << 5 << 0.5 << std::optional(Kind::InvalidOperation);
    QTest::newRow("lag 0 at delay 0") << 0.0 << 0 << 0.5 << std::optional(Kind::InvalidOperation);
    // sin(x)/x and cos(x) both round to 1: rho is 1 and the root is 0.
    QTest::newRow("gain 1 a hair off the delay") << 5 + std::ldexp(1.0, -40) << 5 << 1.0
                                                 << std::optional(Kind::DivisionByZero);
    QTest::newRow("gain 2: root of a negative") << 5.001 << 5 << 2.0
                                                << std::optional(Kind::InvalidOperation);
    QTest::newRow("lag 1e305: t * rate overflows") << 1e305 << 0 << 0.5 << std::optional(Kind::Overflow);
    QTest::newRow("lag -1e305") << -1e305 << 0 << 0.5 << std::optional(Kind::Overflow);
    QTest::newRow("lag +inf") << kInf << 0 << 0.5 << std::optional(Kind::InvalidOperation);
    QTest::newRow("lag NaN") << kNaN << 0 << 0.5 << std::optional(Kind::InvalidOperation);
    QTest::newRow("gain NaN") << 1.0 << 0 << kNaN << std::optional(Kind::InvalidOperation);
    QTest::newRow("gain +inf") << 1.0 << 0 << kInf << std::optional(Kind::InvalidOperation);
    QTest::newRow("gain subnormal underflows silently") << 1.0 << 0 << 1e-310 << none;
    QTest::newRow("lag 1e200 is finite") << 1e200 << 0 << 0.5 << none;
    QTest::newRow("delay -32768, lag 0.0001") << 0.0001 << -32768 << 1.0 << none;
}

void TestCorrelation::curveFaults()
{
    QFETCH(double, lagUs);
    QFETCH(int, delayUs);
    QFETCH(double, gain);
    QFETCH(std::optional<Kind>, expected);
    QCOMPARE(faultOf([&] { return model::correlationAt(lagUs, std::int16_t(delayUs), gain); }),
             expected);
}

void TestCorrelation::faultNamesItsKind()
{
    QCOMPARE(QString(ArithmeticFault(Kind::DivisionByZero).what()), QString("division by zero"));
    QCOMPARE(QString(ArithmeticFault(Kind::Overflow).what()), QString("overflow"));
    QCOMPARE(QString(ArithmeticFault(Kind::InvalidOperation).what()), QString("invalid operation"));
    try {
        model::correlationAt(5.0, 5, 0.5);
        QFAIL("no fault raised");
    } catch (const std::runtime_error &error) {
        QCOMPARE(QString(error.what()), QString("invalid operation"));
    }
}

QTEST_APPLESS_MAIN(TestCorrelation)
#include "tst_correlation.moc"
