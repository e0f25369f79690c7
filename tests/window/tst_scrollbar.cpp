// The scroll bar as keyboard and mouse users meet it, on any widget style.
#include "scrollbarpart.h"
#include "window/scrollbar.h"

#include <QProxyStyle>
#include <QTest>

#include <memory>

namespace {

// A style that asks a click in the trough to move the thumb to the
// pointer, as a desktop can be set to.
class AbsoluteClickStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *data) const override
    {
        if (hint == SH_ScrollBar_LeftClickAbsolutePosition || hint == SH_ScrollBar_MiddleClickAbsolutePosition)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// The window's two bars: the delay's and the signal-to-noise ratio's.
std::unique_ptr<ScrollBar> makeBar(Qt::Orientation orientation)
{
    const bool horizontal = orientation == Qt::Horizontal;
    auto bar = std::make_unique<ScrollBar>(orientation);
    bar->setRange(horizontal ? 0 : -40, horizontal ? 300 : 40);
    bar->resize(horizontal ? QSize(177, 33) : QSize(57, 161));
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->show();
    return bar;
}

} // namespace

class TestScrollBar : public QObject {
    Q_OBJECT

private slots:
    void steps_data();
    void steps();
    void heldInTheTroughPagesToThePointer_data();
    void heldInTheTroughPagesToThePointer();

private:
    AbsoluteClickStyle absoluteClickStyle;
};

void TestScrollBar::steps_data()
{
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("absoluteStyle");
    QTest::addColumn<int>("change");

    for (const Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical}) {
        const QByteArray n(orientation == Qt::Horizontal ? "horizontal" : "vertical");
        QTest::newRow(n + " single step") << orientation << "single step" << false << 1;
        QTest::newRow(n + " page step") << orientation << "page step" << false << 1;
        QTest::newRow(n + " click on the far arrow") << orientation << "add arrow" << false << 1;
        QTest::newRow(n + " click on the near arrow") << orientation << "sub arrow" << false << -1;
        QTest::newRow(n + " click in the far trough") << orientation << "add trough" << false << 1;
        QTest::newRow(n + " click in the near trough") << orientation << "sub trough" << false << -1;
        QTest::newRow(n + " middle click in the far trough") << orientation << "middle add trough" << false << 1;
        QTest::newRow(n + " middle click in the near trough") << orientation << "middle sub trough" << false << -1;
        QTest::newRow(n + " click in the far trough, absolute style") << orientation << "add trough" << true << 1;
        QTest::newRow(n + " middle click in the near trough, absolute style")
            << orientation << "middle sub trough" << true << -1;
        // Left and Up towards the minimum end, Right and Down towards the maximum.
        QTest::newRow(n + " Left") << orientation << "Left" << false << -1;
        QTest::newRow(n + " Up") << orientation << "Up" << false << -1;
        QTest::newRow(n + " Right") << orientation << "Right" << false << 1;
        QTest::newRow(n + " Down") << orientation << "Down" << false << 1;
    }
}

void TestScrollBar::steps()
{
    QFETCH(Qt::Orientation, orientation);
    QFETCH(QString, how);
    QFETCH(bool, absoluteStyle);
    QFETCH(int, change);
    const std::unique_ptr<ScrollBar> bar = makeBar(orientation);
    if (absoluteStyle)
        bar->setStyle(&absoluteClickStyle);
    bar->setValue(10); // room on both sides
    const QMap<QString, Qt::Key> keys{{"Left", Qt::Key_Left}, {"Up", Qt::Key_Up}, {"Right", Qt::Key_Right},
                                      {"Down", Qt::Key_Down}};
    if (how == "single step") {
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else if (how == "page step") {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    } else if (keys.contains(how)) {
        QTest::keyClick(bar.get(), keys[how]);
    } else {
        const Qt::MouseButton button = how.startsWith("middle ") ? Qt::MiddleButton : Qt::LeftButton;
        const QString part = how.section(' ', -2);
        const QStyle::SubControl control = part == "add arrow"   ? QStyle::SC_ScrollBarAddLine
                                           : part == "sub arrow" ? QStyle::SC_ScrollBarSubLine
                                           : part == "add trough" ? QStyle::SC_ScrollBarAddPage
                                                                  : QStyle::SC_ScrollBarSubPage;
        const QRect rect = scrollBarPart(bar.get(), control);
        QVERIFY(!rect.isEmpty());
        QTest::mouseClick(bar.get(), button, {}, rect.center());
    }
    QCOMPARE(bar->value(), 10 + change);
}

void TestScrollBar::heldInTheTroughPagesToThePointer_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("absoluteStyle");
    QTest::newRow("left button") << Qt::LeftButton << false;
    QTest::newRow("middle button, absolute style") << Qt::MiddleButton << true;
}

// Held down in the trough, a bar pages like an arrow held down, and stops
// once the thumb is under the pointer.
void TestScrollBar::heldInTheTroughPagesToThePointer()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, absoluteStyle);
    const std::unique_ptr<ScrollBar> bar = makeBar(Qt::Vertical);
    if (absoluteStyle)
        bar->setStyle(&absoluteClickStyle);
    const QRect trough = scrollBarPart(bar.get(), QStyle::SC_ScrollBarAddPage);
    const QPoint pointer(trough.center().x(), trough.top() + trough.height() * 3 / 4);
    QTest::mousePress(bar.get(), button, {}, pointer);
    QTRY_VERIFY_WITH_TIMEOUT(scrollBarPart(bar.get(), QStyle::SC_ScrollBarSlider).contains(pointer), 20000);
    const int reached = bar->value();
    QTest::qWait(600); // past the repeat's first delay and several repeats
    QTest::mouseRelease(bar.get(), button, {}, pointer);
    QCOMPARE(bar->value(), reached);
    QVERIFY2(reached > 5 && reached < 40, qPrintable(QString::number(reached)));
}

QTEST_MAIN(TestScrollBar)
#include "tst_scrollbar.moc"
