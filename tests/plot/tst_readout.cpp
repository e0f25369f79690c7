#include "model/correlation.h"
#include "plot/readout.h"

#include <QTest>

#include <limits>
#include <stdexcept>

class TestReadout : public QObject {
    Q_OBJECT

private slots:
    void zeroLagText_data();
    void zeroLagText();
    void nonFiniteIsRefused_data();
    void nonFiniteIsRefused();
    void decimalText_data();
    void decimalText();
    void settingOf_data();
    void settingOf();
};

void TestReadout::zeroLagText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");

    const QString dot = QStringLiteral(".");
    QTest::newRow("0.3335024") << 0.3335024 << dot << ".334";
    QTest::newRow("0.9914999") << 0.9914999 << dot << ".991";
    QTest::newRow("0.5") << 0.5 << dot << ".5";
    QTest::newRow("0.75") << 0.75 << dot << ".75";
    QTest::newRow("1.000499") << 1.000499 << dot << "1.";
    QTest::newRow("1.0005 is stored just below the half") << 1.0005 << dot << "1.";
    QTest::newRow("1.0015 is stored just above") << 1.0015 << dot << "1.002";
    QTest::newRow("0.0004999") << 0.0004999 << dot << ".";
    QTest::newRow("0") << 0.0 << dot << ".";
    QTest::newRow("-0") << -0.0 << dot << ".";
    QTest::newRow("0.0005 (stored just above)") << 0.0005 << dot << ".001";
    // Exact binary ties: half goes away from zero, not to even.
    QTest::newRow("0.0625 tie") << 0.0625 << dot << ".063";
    QTest::newRow("0.1875 tie") << 0.1875 << dot << ".188";
    QTest::newRow("0.3125 tie") << 0.3125 << dot << ".313";
    // 0.0015 is stored as 0.00150000000000000003..., 0.0025 as 0.00250000000000000005...
    QTest::newRow("0.0015") << 0.0015 << dot << ".002";
    QTest::newRow("0.0025") << 0.0025 << dot << ".003";
    // The largest double below 0.0015 stays below the half.
    QTest::newRow("the double just below 0.0015")
        << std::nextafter(0.0015, 0.0) << dot << ".001";
    QTest::newRow("0.9995 rounds into the units") << 0.9995 << dot << "1.";
    QTest::newRow("12") << 12.0 << dot << "12.";
    QTest::newRow("2.05") << 2.05 << dot << "2.05";
    QTest::newRow("-0.0625") << -0.0625 << dot << "-.063";
    QTest::newRow("-0.0001") << -0.0001 << dot << ".";
    QTest::newRow("Italian comma") << 0.3335024 << QStringLiteral(",") << ",334";
    QTest::newRow("Italian comma, nothing after") << 1.000499 << QStringLiteral(",") << "1,";
    QTest::newRow("Arabic separator") << 0.3335024 << QStringLiteral("\u066B") << "\u066B334";
}

void TestReadout::zeroLagText()
{
    QFETCH(double, value);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(plot::zeroLagText(value, separator.toStdString())), expected);
}

void TestReadout::nonFiniteIsRefused_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("+inf") << std::numeric_limits<double>::infinity();
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity();
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
}

void TestReadout::nonFiniteIsRefused()
{
    QFETCH(double, value);
    QVERIFY_THROWS_EXCEPTION(std::domain_error, plot::zeroLagText(value, "."));
}

void TestReadout::decimalText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << "0";
    QTest::newRow("25") << 25 << "25";
    QTest::newRow("-40") << -40 << "-40";
    QTest::newRow("300") << 300 << "300";
    QTest::newRow("32767") << 32767 << "32767";
    QTest::newRow("-32768") << -32768 << "-32768";
}

void TestReadout::decimalText()
{
    QFETCH(int, value);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(plot::decimalText(std::int16_t(value))), expected);
}

void TestReadout::settingOf_data()
{
    QTest::addColumn<int>("shown");
    QTest::addColumn<bool>("overflows");
    QTest::newRow("0") << 0 << false;
    QTest::newRow("40") << 40 << false;
    QTest::newRow("-40") << -40 << false;
    QTest::newRow("-32768") << -32768 << false;
    QTest::newRow("32767") << 32767 << false;
    // What a 16-bit bar at -32768 shows negated.
    QTest::newRow("32768 does not fit") << 32768 << true;
    QTest::newRow("-32769 does not fit") << -32769 << true;
}

void TestReadout::settingOf()
{
    QFETCH(int, shown);
    QFETCH(bool, overflows);
    if (overflows)
        QVERIFY_THROWS_EXCEPTION(model::ArithmeticFault, plot::settingOf(shown));
    else
        QCOMPARE(int(plot::settingOf(shown)), shown);
}

QTEST_APPLESS_MAIN(TestReadout)
#include "tst_readout.moc"
