// The zero-lag readout and the plot's tooltip under the locale that CTest
// sets in LC_ALL; the separator that locale must produce comes in
// EXPECTED_DECIMAL_POINT.
#include "controls.h"
#include "window/form1.h"
#include "window/plottooltip.h"

#include <QHelpEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

class TestLocale : public QObject {
    Q_OBJECT

private slots:
    void readout_data();
    void readout();
    void toolTip();
};

void TestLocale::readout_data()
{
    QTest::addColumn<int>("barValue");
    QTest::addColumn<QString>("digitsBefore");
    QTest::addColumn<QString>("digitsAfter");

    QTest::newRow("0 dB") << 0 << "" << "334";
    QTest::newRow("40 dB") << -40 << "" << "991";
    QTest::newRow("-40 dB") << 40 << "" << "";
    QTest::newRow("10 dB") << -10 << "" << "727";
}

void TestLocale::readout()
{
    QFETCH(int, barValue);
    QFETCH(QString, digitsBefore);
    QFETCH(QString, digitsAfter);
    const QString separator = qEnvironmentVariable("EXPECTED_DECIMAL_POINT");
    QVERIFY2(!separator.isEmpty(), "EXPECTED_DECIMAL_POINT is not set");

    Form1 form;
    scrollBar(form, "VScroll1")->setValue(barValue);
    form.calcolo();
    QCOMPARE(label(form, "Label14")->text(), digitsBefore + separator + digitsAfter);
    QCOMPARE(label(form, "Label3")->text(), QString::number(-barValue)); // plain ASCII digits in every locale
}

// In the readout's format: plain digits, the locale's separator.
void TestLocale::toolTip()
{
    const QString separator = qEnvironmentVariable("EXPECTED_DECIMAL_POINT");
    QVERIFY2(!separator.isEmpty(), "EXPECTED_DECIMAL_POINT is not set");

    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    new PlotToolTip(&form);
    form.setSettings({0, 150});
    form.calcolo();
    const QPoint at(313, 100); // the lag of 150 microseconds
    QHelpEvent help(QEvent::ToolTip, at, form.mapToGlobal(at));
    QCoreApplication::sendEvent(&form, &help);
    const QString expected = "τ = 150" + separator + "0 µs   C = " + separator + "3";
    QVERIFY2(QToolTip::text().startsWith(expected), qPrintable(QToolTip::text() + " is not " + expected + "..."));
}

QTEST_MAIN(TestLocale)
#include "tst_locale.moc"
