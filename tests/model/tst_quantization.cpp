// The quantizers' curves against an independent integration, their
// efficiencies against the closed forms, and the Van Vleck correction
// against the curves it inverts.
#include "model/correlation.h"
#include "model/quantization.h"

#include <QTest>

#include <cmath>
#include <numbers>
#include <vector>

Q_DECLARE_METATYPE(model::Levels)

namespace {

struct Quantizer {
    std::vector<long double> thresholds; // where the output steps up
    std::vector<long double> outputs;    // one more than the thresholds
};

Quantizer quantizerOf(model::Levels levels)
{
    if (levels == model::Levels::Three)
        return {{-0.612L, 0.612L}, {-1, 0, 1}};
    return {{-0.996L, 0, 0.996L}, {-3, -1, 1, 3}};
}

long double phi(long double x) { return std::exp(-x * x / 2) / std::sqrt(2 * std::numbers::pi_v<long double>); }
long double upperTail(long double x) { return std::erfc(x / std::sqrt(2.0L)) / 2; }

// E[q(x) q(y)] / E[q(x)^2] straight from its definition, not from Price's
// theorem: over x by Simpson's rule between the thresholds, and given x,
// E[q(y)] from the normal distribution of y, mean rho x, variance 1 - rho^2.
long double integrated(model::Levels levels, long double rho)
{
    const Quantizer q = quantizerOf(levels);
    const long double spread = std::sqrt(1 - rho * rho);
    const auto expectedGiven = [&](long double x) {
        long double sum = q.outputs.front();
        for (std::size_t j = 0; j < q.thresholds.size(); ++j)
            sum += (q.outputs[j + 1] - q.outputs[j]) * upperTail((q.thresholds[j] - rho * x) / spread);
        return sum;
    };
    std::vector<long double> edges{-12};
    edges.insert(edges.end(), q.thresholds.begin(), q.thresholds.end());
    edges.push_back(12);
    long double product = 0, square = 0;
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
        constexpr int kSteps = 40000; // even; near rho = 1 E[q(y) | x] is all but a step
        const long double a = edges[i], h = (edges[i + 1] - a) / kSteps;
        long double sum = 0;
        for (int s = 0; s <= kSteps; ++s) {
            const long double x = a + s * h;
            const long double weight = s == 0 || s == kSteps ? 1 : s % 2 ? 4 : 2;
            sum += weight * phi(x) * expectedGiven(x);
        }
        product += q.outputs[i] * sum * h / 3;
        square += q.outputs[i] * q.outputs[i] * (upperTail(a) - upperTail(edges[i + 1]));
    }
    return product / square;
}

} // namespace

class TestQuantization : public QObject {
    Q_OBJECT

private slots:
    void curveAgainstIntegration_data();
    void curveAgainstIntegration();
    void efficiency_data();
    void efficiency();
    void correctionInvertsTheCurve_data();
    void correctionInvertsTheCurve();
    void correctedCurveIsTheInputCorrelation_data();
    void correctedCurveIsTheInputCorrelation();
    void faultsAtTheDelay_data();
    void faultsAtTheDelay();
};

void TestQuantization::curveAgainstIntegration_data()
{
    QTest::addColumn<model::Levels>("levels");
    QTest::addColumn<double>("rho");
    for (const auto &[name, levels] : {std::pair{"three levels", model::Levels::Three}, {"four levels", model::Levels::Four}})
        for (const double rho : {0.0, 0.1, 0.5, -0.7, 0.9, 0.99, 0.9999})
            QTest::addRow("%s, rho %g", name, rho) << levels << rho;
}

void TestQuantization::curveAgainstIntegration()
{
    QFETCH(model::Levels, levels);
    QFETCH(double, rho);
    const double actual = model::quantizedCorrelation(levels, rho);
    const double expected = double(integrated(levels, rho));
    QVERIFY2(std::fabs(actual - expected) < 1e-9, qPrintable(QStringLiteral("%1 against %2").arg(actual, 0, 'g', 15).arg(expected, 0, 'g', 15)));
    // Fully correlated inputs give identical outputs.
    QCOMPARE(model::quantizedCorrelation(levels, 1.0), 1.0);
    QCOMPARE(model::quantizedCorrelation(levels, -1.0), -1.0);
}

void TestQuantization::efficiency_data()
{
    QTest::addColumn<model::Levels>("levels");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("textbook"); // the value the tables give, to four places
    const long double t3 = 0.612L, t4 = 0.996L;
    // E[x q(x)]^2 / E[q^2]: the jumps times the density at the thresholds.
    const long double three = std::pow(2 * phi(t3), 2) / (2 * upperTail(t3));
    const long double four = std::pow(2 * phi(0) + 4 * phi(t4), 2) / (1 + 16 * upperTail(t4));
    QTest::newRow("two levels") << model::Levels::Two << 2 / std::numbers::pi << 0.6366;
    QTest::newRow("three levels") << model::Levels::Three << double(three) << 0.8098;
    QTest::newRow("four levels") << model::Levels::Four << double(four) << 0.8812;
    QTest::newRow("none") << model::Levels::Analog << 1.0 << 1.0;
}

void TestQuantization::efficiency()
{
    QFETCH(model::Levels, levels);
    QFETCH(double, expected);
    QFETCH(double, textbook);
    QVERIFY(std::fabs(model::efficiency(levels) - expected) < 1e-10);
    QVERIFY(std::fabs(model::efficiency(levels) - textbook) < 5e-5);
}

void TestQuantization::correctionInvertsTheCurve_data()
{
    QTest::addColumn<model::Levels>("levels");
    QTest::addColumn<double>("rho");
    for (const auto &[name, levels] : {std::pair{"two levels", model::Levels::Two}, {"three levels", model::Levels::Three},
                                       {"four levels", model::Levels::Four}, {"none", model::Levels::Analog}})
        for (const double rho : {0.0, 0.05, -0.3, 0.6, 0.95, 0.999999, 1.0})
            QTest::addRow("%s, rho %g", name, rho) << levels << rho;
}

void TestQuantization::correctionInvertsTheCurve()
{
    QFETCH(model::Levels, levels);
    QFETCH(double, rho);
    const double r = model::quantizedCorrelation(levels, rho);
    QVERIFY2(std::fabs(model::vanVleck(levels, r) - rho) <= 1e-12,
             qPrintable(QString::number(model::vanVleck(levels, r), 'g', 17)));
}

// Corrected, every quantizer's curve is the inputs' correlation itself:
// envelope times gain times carrier, here in extended precision.
void TestQuantization::correctedCurveIsTheInputCorrelation_data()
{
    QTest::addColumn<model::Levels>("levels");
    QTest::newRow("two levels") << model::Levels::Two;
    QTest::newRow("three levels") << model::Levels::Three;
    QTest::newRow("four levels") << model::Levels::Four;
}

void TestQuantization::correctedCurveIsTheInputCorrelation()
{
    QFETCH(model::Levels, levels);
    const double gain = model::correlationGain(10);
    for (const double lag : {0.0001, 12.34, 150.5, 299.99}) {
        const long double t = (long double)lag - 150;
        const long double rho = gain * std::sin(0.0785L * t) / (0.0785L * t) * std::cos(0.1256L * t);
        QVERIFY(std::fabs(model::correlationAt(lag, 150, gain, {levels, true}) - double(rho)) < 1e-15);
    }
}

// Every quantizer's curve faults where the one-bit curve does: 0 / 0 at the
// delay itself.
void TestQuantization::faultsAtTheDelay_data()
{
    QTest::addColumn<model::Levels>("levels");
    QTest::addColumn<bool>("vanVleck");
    for (const model::Levels levels : model::kAllLevels)
        for (const bool vanVleck : {false, true})
            QTest::addRow("%s%s", model::optionName(levels), vanVleck ? ", corrected" : "") << levels << vanVleck;
}

void TestQuantization::faultsAtTheDelay()
{
    QFETCH(model::Levels, levels);
    QFETCH(bool, vanVleck);
    try {
        model::correlationAt(5.0, 5, 0.5, {levels, vanVleck});
        QFAIL("no fault raised");
    } catch (const model::ArithmeticFault &fault) {
        QCOMPARE(fault.kind(), model::ArithmeticFault::Kind::InvalidOperation);
    }
}

QTEST_APPLESS_MAIN(TestQuantization)
#include "tst_quantization.moc"
