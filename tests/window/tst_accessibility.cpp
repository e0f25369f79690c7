// What a screen reader can name and read in the window.
#include "controls.h"
#include "form1.h"

#include <QAccessible>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void readoutValues();
    void barValues();
};

void TestAccessibility::names_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("name");

    QTest::newRow("HScroll1") << "HScroll1" << QAccessible::ScrollBar << "Ritardo tra i due segnali";
    QTest::newRow("VScroll1") << "VScroll1" << QAccessible::ScrollBar << "(Si/Ni)";
    QTest::newRow("Label3 before the first tick") << "Label3" << QAccessible::StaticText << "(Si/Ni) dB";
    QTest::newRow("Label9") << "Label9" << QAccessible::StaticText << "Ritardo tra i due segnali microSec.";
    QTest::newRow("Label14") << "Label14" << QAccessible::StaticText << "C (0) =";
    QTest::newRow("caption Label8") << "Label8" << QAccessible::StaticText << "Ritardo tra i due segnali";
    QTest::newRow("caption Label2") << "Label2" << QAccessible::StaticText << " \"r\"";
}

void TestAccessibility::names()
{
    QFETCH(QString, object);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, name);
    Form1 form;
    auto *widget = form.findChild<QWidget *>(object);
    QVERIFY(widget);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), role);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    // Reachable from the window, as a screen reader walks it.
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(&form);
    QVERIFY(window->indexOfChild(accessible) >= 0);
}

void TestAccessibility::readoutValues()
{
    Form1 form;
    const auto name = [](QWidget *w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
    scrollBar(form, "VScroll1")->setValue(-10);
    scrollBar(form, "HScroll1")->setValue(42);
    form.calcolo();
    // A label's name is all of it that reaches a screen reader: the number
    // goes there, with its caption and unit.
    QCOMPARE(name(label(form, "Label3")), QString("(Si/Ni) 10 dB"));
    QCOMPARE(name(label(form, "Label9")), QString("Ritardo tra i due segnali 42 microSec."));
    QCOMPARE(name(label(form, "Label14")), QString("C (0) = .727"));
}

void TestAccessibility::barValues()
{
    Form1 form;
    scrollBar(form, "HScroll1")->setValue(120);
    scrollBar(form, "VScroll1")->setValue(-10); // shown as 10 dB
    QAccessibleValueInterface *delay = QAccessible::queryAccessibleInterface(scrollBar(form, "HScroll1"))->valueInterface();
    QAccessibleValueInterface *snr = QAccessible::queryAccessibleInterface(scrollBar(form, "VScroll1"))->valueInterface();
    QVERIFY(delay && snr);
    QCOMPARE(delay->currentValue().toInt(), 120);
    QCOMPARE(delay->minimumValue().toInt(), 0);
    QCOMPARE(delay->maximumValue().toInt(), 300);
    QCOMPARE(snr->currentValue().toInt(), 10);
    QCOMPARE(snr->minimumValue().toInt(), -40);
    QCOMPARE(snr->maximumValue().toInt(), 40);
    snr->setCurrentValue(-25);
    QCOMPARE(scrollBar(form, "VScroll1")->value(), 25);
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
