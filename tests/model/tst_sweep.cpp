// Whole-range sweeps, checked against a plain evaluation that reads the
// IEEE exception flags instead of inspecting operands.
#include "model/correlation.h"
#include "model/elementary.h"

#include <QTest>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <optional>
#include <variant>
#include <vector>

using model::ArithmeticFault;
using Kind = ArithmeticFault::Kind;
using Outcome = std::variant<double, Kind>;

namespace {

constexpr double kBound = 1.000508;

std::optional<Kind> raisedFault()
{
    if (std::fetestexcept(FE_INVALID))
        return Kind::InvalidOperation;
    if (std::fetestexcept(FE_DIVBYZERO))
        return Kind::DivisionByZero;
    if (std::fetestexcept(FE_OVERFLOW))
        return Kind::Overflow;
    return std::nullopt;
}

// Each step goes through a volatile so that it is done, once, in this order,
// and the flags are read after every step: the first fault wins.
#define STEP(var, expr)                          \
    volatile double var = (expr);                \
    if (auto f = raisedFault())                  \
        return *f;

Outcome flagGain(int snrDb)
{
    std::feclearexcept(FE_ALL_EXCEPT);
    STEP(exponent, double(snrDb) / 20)
    STEP(g0, std::pow(10.0, exponent))
    volatile double g = g0 == 0 ? 100.0 : double(g0);
    STEP(squared, g * g)
    STEP(inverse, 1 / squared)
    STEP(sum, 1 + inverse)
    STEP(gain, 1 / sum)
    return double(gain);
}

Outcome flagCorrelation(double lag, int delay, double gain)
{
    std::feclearexcept(FE_ALL_EXCEPT);
    STEP(t, lag - double(delay))
    STEP(p1, t * 78500.0)
    STEP(x1, p1 / 1000000)
    STEP(p2, t * 125600.0)
    STEP(x2, p2 / 1000000)
    STEP(s, model::elementary::sin(x1))
    STEP(envelope, s / x1)
    STEP(eg, envelope * gain)
    STEP(c, model::elementary::cos(x2))
    STEP(rho, eg * c)
    STEP(sq, rho * -rho)
    STEP(inner, 1 + sq)
    STEP(root, std::sqrt(inner))
    STEP(quotient, rho / root)
    STEP(angle, model::elementary::atan(quotient))
    STEP(scale, 2 / 3.14)
    STEP(result, scale * angle)
    return double(result);
}

template <typename F>
Outcome outcomeOf(F &&call)
{
    try {
        return call();
    } catch (const ArithmeticFault &fault) {
        return fault.kind();
    }
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

QString describe(const Outcome &o)
{
    if (const double *v = std::get_if<double>(&o))
        return QString::number(*v, 'g', 17);
    return model::faultName(std::get<Kind>(o));
}

bool same(const Outcome &a, const Outcome &b)
{
    if (a.index() != b.index())
        return false;
    if (a.index() == 0)
        return sameBits(std::get<double>(a), std::get<double>(b));
    return std::get<Kind>(a) == std::get<Kind>(b);
}

} // namespace

class TestSweep : public QObject {
    Q_OBJECT

private slots:
    void everySnrSetting();
    void delaysAndLags_data();
    void delaysAndLags();
};

void TestSweep::everySnrSetting()
{
    int faults = 0;
    for (int snr = -32768; snr <= 32767; ++snr) {
        const Outcome gain = outcomeOf([&] { return model::correlationGain(std::int16_t(snr)); });
        const Outcome expected = flagGain(snr);
        QVERIFY2(same(gain, expected), qPrintable(QStringLiteral("snr %1: %2 instead of %3")
                                                      .arg(snr).arg(describe(gain), describe(expected))));
        if (!std::holds_alternative<double>(gain)) {
            ++faults;
            continue;
        }
        const double g = std::get<double>(gain);
        QVERIFY(std::isfinite(g) && g >= 0 && g <= 1);

        const Outcome zero = outcomeOf([&] { return model::zeroLagValue(g); });
        QVERIFY2(same(zero, flagCorrelation(0.0001, 0, g)), qPrintable(QString::number(snr)));
        if (const double *v = std::get_if<double>(&zero))
            QVERIFY(std::isfinite(*v) && *v >= 0 && *v <= kBound);
    }
    // Faults from 3083 dB up and from -3083 dB down to -6472 dB.
    QCOMPARE(faults, (32767 - 3083 + 1) + (6472 - 3083 + 1));
}

void TestSweep::delaysAndLags_data()
{
    QTest::addColumn<int>("snrDb");
    QTest::addColumn<bool>("runsFault"); // at gain 1, rho reaches 1 a hair off the delay
    QTest::newRow("-40 dB") << -40 << false;
    QTest::newRow("0 dB") << 0 << false;
    QTest::newRow("40 dB") << 40 << false;
    QTest::newRow("160 dB, gain 1") << 160 << true;
    QTest::newRow("-32768 dB, replaced amplitude") << -32768 << false;
}

void TestSweep::delaysAndLags()
{
    QFETCH(int, snrDb);
    QFETCH(bool, runsFault);
    const double gain = model::correlationGain(std::int16_t(snrDb));
    int values = 0;
    int cleanRuns = 0;
    int faultyRuns = 0;
    for (int delay = -32768; delay <= 32767; delay += 97) {
        for (double offset : {-1000.0, -3.7, -0.01, -1e-9, -1e-15, 0.0, 1e-15, 1e-9, 0.0001, 0.5, 299.99}) {
            const double lag = delay + offset;
            const Outcome actual = outcomeOf([&] { return model::correlationAt(lag, std::int16_t(delay), gain); });
            const Outcome expected = flagCorrelation(lag, delay, gain);
            QVERIFY2(same(actual, expected),
                     qPrintable(QStringLiteral("lag %1 delay %2: %3 instead of %4")
                                    .arg(lag, 0, 'g', 17).arg(delay).arg(describe(actual), describe(expected))));
            if (const double *v = std::get_if<double>(&actual)) {
                QVERIFY(std::isfinite(*v) && *v > -kBound && *v < kBound);
                ++values;
            }
        }
        // Evenly stepped lags as the trace takes them, a wide run and one a
        // hair either side of the delay: a run is clean exactly when none of
        // its lags faults, and then the same bit for bit.
        for (const model::LagSteps steps : {model::LagSteps{delay - 2.9999, 0.5, delay + 3.0},
                                            model::LagSteps{delay - 1e-9, 2e-9, delay + 1.5e-9}}) {
            std::vector<double> expectedLags;
            std::vector<Outcome> expected;
            for (double lag = steps.firstUs; lag <= steps.lastUs; lag += steps.stepUs) {
                expectedLags.push_back(lag);
                expected.push_back(flagCorrelation(lag, delay, gain));
            }
            std::vector<double> lags(expectedLags.size() + 1);
            std::vector<double> runValues(lags.size());
            const model::Run run = model::correlationRun(steps, lags.size(), std::int16_t(delay), gain, lags.data(),
                                                         runValues.data());
            QCOMPARE(run.count, expectedLags.size());
            QCOMPARE(run.clean, std::all_of(expected.begin(), expected.end(), [](const Outcome &o) {
                         return std::holds_alternative<double>(o);
                     }));
            for (std::size_t i = 0; i < run.count; ++i) {
                QVERIFY(sameBits(lags[i], expectedLags[i]));
                QVERIFY(!run.clean || sameBits(runValues[i], std::get<double>(expected[i])));
            }
            (run.clean ? cleanRuns : faultyRuns) += 1;
        }
    }
    QVERIFY(values > 0);
    QVERIFY(cleanRuns > 0);
    QCOMPARE(faultyRuns > 0, runsFault);
}

QTEST_APPLESS_MAIN(TestSweep)
#include "tst_sweep.moc"
