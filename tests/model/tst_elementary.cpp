// The model's sine, cosine and arctangent against 113-bit arithmetic
// (libquadmath) rounded once: every result the correctly rounded double.
#include "model/elementary.h"

#include <QTest>

#include <quadmath.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

using Arguments = std::function<std::vector<double>()>;

// The lags' arguments as a trace takes them: the running lag less the
// delay, times each rate.
std::vector<double> traced(int delayUs, double rate)
{
    std::vector<double> arguments;
    double lag = 0.0001;
    for (int i = 0; i < 30000; ++i, lag += 0.01)
        arguments.push_back(((lag - delayUs) * rate) / 1000000);
    return arguments;
}

// From -1 to 1 times 2^e, e from lowest to highest.
std::vector<double> drawn(int lowest, int highest)
{
    std::mt19937_64 random(std::uint64_t(lowest * 1000 + highest));
    std::uniform_real_distribution<double> uniform(-1, 1);
    std::vector<double> arguments;
    for (int i = 0; i < 60000; ++i)
        arguments.push_back(std::ldexp(uniform(random), lowest + int(random() % unsigned(highest - lowest + 1))));
    return arguments;
}

// The doubles nearest to k pi / 2 and their neighbours, where reducing the
// argument cancels all but its last bits.
std::vector<double> nearMultiplesOfHalfPi()
{
    const __float128 halfPi = strtoflt128("1.5707963267948966192313216916397514421", nullptr);
    std::mt19937_64 random(20);
    std::vector<double> arguments;
    for (int i = 0; i < 20000; ++i) {
        const double x = double(__float128(random() % (1u << 20)) * halfPi);
        arguments.insert(arguments.end(), {std::nextafter(x, 0.0), x, std::nextafter(x, 1e300)});
    }
    return arguments;
}

bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

} // namespace

Q_DECLARE_METATYPE(Arguments)

class TestElementary : public QObject {
    Q_OBJECT

private slots:
    void correctlyRounded_data();
    void correctlyRounded();
};

void TestElementary::correctlyRounded_data()
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<Arguments>("arguments");
    QTest::addColumn<bool>("trigonometric"); // sin and cos as well as atan
    QTest::newRow("the trace's envelope, delay 0") << Arguments([] { return traced(0, 78500.0); }) << true;
    QTest::newRow("the trace's carrier, delay 150") << Arguments([] { return traced(150, 125600.0); }) << true;
    QTest::newRow("the trace's carrier, delay 300") << Arguments([] { return traced(300, 125600.0); }) << true;
    QTest::newRow("-4 to 4") << Arguments([] { return drawn(2, 2); }) << true;
    QTest::newRow("below 1, down to 2^-40") << Arguments([] { return drawn(-40, 0); }) << true;
    QTest::newRow("up to 2^20, the reduction's reach") << Arguments([] { return drawn(0, 20); }) << true;
    QTest::newRow("next to multiples of pi / 2") << Arguments(nearMultiplesOfHalfPi) << true;
    QTest::newRow("arctangent up to 2^70") << Arguments([] { return drawn(-40, 70); }) << false;
    QTest::newRow("zeros, infinities, NaN, the largest")
        << Arguments([] { return std::vector<double>{0.0, -0.0, inf, -inf, std::nan(""), 0x1p-1074, 0x1p1023}; })
        << false;
}

void TestElementary::correctlyRounded()
{
    QFETCH(Arguments, arguments);
    QFETCH(bool, trigonometric);
    const std::vector<double> xs = arguments();
    int wrong = 0;
    for (const double x : xs) {
        const auto check = [&](const char *name, double actual, __float128 exact) {
            if (!same(actual, double(exact)) && ++wrong <= 5)
                qWarning("%s(%.17g) = %.17g, not %.17g", name, x, actual, double(exact));
        };
        check("atan", model::elementary::atan(x), atanq(x));
        if (trigonometric) {
            check("sin", model::elementary::sin(x), sinq(x));
            check("cos", model::elementary::cos(x), cosq(x));
        }
    }
    QCOMPARE(wrong, 0);
}

QTEST_APPLESS_MAIN(TestElementary)
#include "tst_elementary.moc"
