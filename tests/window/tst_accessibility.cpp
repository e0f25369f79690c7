// What a screen reader can name and read in the window, and what it is
// told as the ticks go by.
#include "controls.h"
#include "window/accessibility.h"
#include "window/form1.h"

#include <QAccessible>
#include <QTest>

namespace {

QString nameOf(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
}

QString descriptionOf(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Description);
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void ticksTellWhatChanged();
    void barValues();
    void barTextIsItsCaption();
};

void TestAccessibility::names_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");

    QTest::newRow("HScroll1") << "HScroll1" << QAccessible::ScrollBar << "Ritardo tra i due segnali" << "microSec.";
    QTest::newRow("VScroll1") << "VScroll1" << QAccessible::ScrollBar << "(Si/Ni)" << "dB";
    QTest::newRow("Label3 before the first tick") << "Label3" << QAccessible::StaticText << "" << "";
    QTest::newRow("caption Label8") << "Label8" << QAccessible::StaticText << "Ritardo tra i due segnali" << "";
    QTest::newRow("caption Label2") << "Label2" << QAccessible::StaticText << " \"r\"" << "";
    QTest::newRow("the plot") << "plot" << QAccessible::Chart << "Grafico della correlazione" << "";
}

void TestAccessibility::names()
{
    QFETCH(QString, object);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, name);
    QFETCH(QString, description);
    Form1 form;
    auto *found = form.findChild<QObject *>(object);
    QVERIFY(found);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(found);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), role);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    QCOMPARE(accessible->text(QAccessible::Description), description);
    // Reachable from the window, as a screen reader walks it.
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(&form);
    QVERIFY(window->indexOfChild(accessible) >= 0);
    QCOMPARE(window->child(window->indexOfChild(accessible)), accessible);
    QVERIFY(!window->text(QAccessible::Description).isEmpty());
    QCOMPARE(window->text(QAccessible::Name), QString("Form1"));
}

// A readout is the number it shows; each bar tells its unit and the
// result; the plot says where the curve peaks. (What a screen reader is
// told of it, and when, the AT-SPI test hears over the real bus.)
void TestAccessibility::ticksTellWhatChanged()
{
    Form1 form;
    timer(form, "Timer1")->stop();
    form.setSettings({10, 42});
    form.calcolo();
    // The first result is not news: the window says it as it opens.
    QCOMPARE(nameOf(form.findChild<QObject *>("announcement")), QString());
    QCOMPARE(nameOf(label(form, "Label3")), QString("10"));
    QCOMPARE(nameOf(label(form, "Label9")), QString("42"));
    QCOMPARE(nameOf(label(form, "Label14")), QString(".727"));
    QCOMPARE(descriptionOf(scrollBar(form, "VScroll1")), QString("dB, C (0) = .727"));
    QCOMPARE(descriptionOf(scrollBar(form, "HScroll1")), QString("microSec., C (0) = .727"));
    QCOMPARE(descriptionOf(form.findChild<QObject *>("plot")), QString("Picco a 42 microSec., altezza .727."));
    form.setSettings({1, 7});
    form.calcolo();
    QCOMPARE(nameOf(form.findChild<QObject *>("announcement")), QString("C (0) = .377"));
    QCOMPARE(descriptionOf(form.findChild<QObject *>("plot")), QString("Picco a 7 microSec., altezza .377."));
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

// Read as text, line by line, a bar is its caption: one line, and past its
// end there is nothing more.
void TestAccessibility::barTextIsItsCaption()
{
    Form1 form;
    QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(scrollBar(form, "VScroll1"))->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 7);
    int start = -1, end = -1;
    QCOMPARE(text->textAtOffset(0, QAccessible::LineBoundary, &start, &end), QString("(Si/Ni)"));
    QCOMPARE(std::pair(start, end), std::pair(0, 7));
    QCOMPARE(text->textAtOffset(7, QAccessible::LineBoundary, &start, &end), QString());
    QCOMPARE(std::pair(start, end), std::pair(7, 7));
    QCOMPARE(text->textAfterOffset(0, QAccessible::LineBoundary, &start, &end), QString());
    QAccessibleTextInterface *delay = QAccessible::queryAccessibleInterface(scrollBar(form, "HScroll1"))->textInterface();
    QCOMPARE(delay->textAtOffset(9, QAccessible::WordBoundary, &start, &end), QString("tra"));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
