// What a screen reader can name and read in the window.
#include "Form1.h"

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
    QTest::newRow("Label3") << "Label3" << QAccessible::StaticText << "(Si/Ni) dB";
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
    const auto value = [](QWidget *w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Value);
    };
    QVERIFY(value(form.Label14).isEmpty());
    form.VScroll1->setValue(-10);
    form.HScroll1->setValue(42);
    form.calcolo();
    QCOMPARE(value(form.Label3), QString("10"));
    QCOMPARE(value(form.Label9), QString("42"));
    QCOMPARE(value(form.Label14), form.Label14->text());
    QVERIFY(value(form.Label14).endsWith("727"));
    // The name stays the caption while the value changes.
    QCOMPARE(QAccessible::queryAccessibleInterface(form.Label14)->text(QAccessible::Name), QString("C (0) ="));
}

void TestAccessibility::barValues()
{
    Form1 form;
    form.HScroll1->setValue(120);
    QAccessibleValueInterface *bar = QAccessible::queryAccessibleInterface(form.HScroll1)->valueInterface();
    QVERIFY(bar);
    QCOMPARE(bar->currentValue().toInt(), 120);
    QCOMPARE(bar->minimumValue().toInt(), 0);
    QCOMPARE(bar->maximumValue().toInt(), 300);
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
