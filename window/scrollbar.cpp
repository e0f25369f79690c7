#include "window/scrollbar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace {

bool isPageButton(Qt::MouseButton button)
{
    return button == Qt::LeftButton || button == Qt::MiddleButton;
}

// Hands QScrollBar a middle-button event as the same event made with the
// left button: styles that make the middle button jump to the pointer
// then have no say.
template <typename Handle>
void withLeftButton(QMouseEvent *event, Handle &&handle)
{
    if (event->button() != Qt::MiddleButton && !(event->buttons() & Qt::MiddleButton)) {
        handle(event);
        return;
    }
    Qt::MouseButtons buttons = event->buttons();
    if (buttons & Qt::MiddleButton)
        buttons = (buttons & ~Qt::MouseButtons(Qt::MiddleButton)) | Qt::LeftButton;
    const Qt::MouseButton button = event->button() == Qt::MiddleButton ? Qt::LeftButton : event->button();
    QMouseEvent left(event->type(), event->position(), event->scenePosition(), event->globalPosition(), button,
                     buttons, event->modifiers(), event->pointingDevice());
    handle(&left);
    event->setAccepted(left.isAccepted());
}

} // namespace

ScrollBar::ScrollBar(Qt::Orientation orientation, QWidget *parent)
    : QScrollBar(orientation, parent)
{
}

QStyle::SubControl ScrollBar::partAt(QPoint position) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->hitTestComplexControl(QStyle::CC_ScrollBar, &option, position, this);
}

// QScrollBar inverts its key controls so that the wheel feels natural,
// which turns Left and Right around. Here the arrows move the thumb the way
// they point: Left and Up towards the minimum end, Right and Down towards
// the maximum end. The other keys and the wheel keep Qt's behaviour.
void ScrollBar::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        triggerAction(SliderSingleStepSub);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        triggerAction(SliderSingleStepAdd);
        break;
    default:
        QScrollBar::keyPressEvent(event);
        return;
    }
    event->accept();
}

// A click in the trough moves one page step, whatever the desktop's style
// prefers (some move the thumb to the pointer); held down, it repeats
// until the thumb reaches the pointer, like an arrow held down.
void ScrollBar::mousePressEvent(QMouseEvent *event)
{
    const QStyle::SubControl part = partAt(event->position().toPoint());
    if (isPageButton(event->button()) && !(event->buttons() & ~event->button())
        && (part == QStyle::SC_ScrollBarAddPage || part == QStyle::SC_ScrollBarSubPage)) {
        const SliderAction action = part == QStyle::SC_ScrollBarAddPage ? SliderPageStepAdd : SliderPageStepSub;
        troughPress_ = {event->position().toPoint(), part};
        setRepeatAction(action);
        triggerAction(action);
        event->accept();
        return;
    }
    withLeftButton(event, [this](QMouseEvent *e) { QScrollBar::mousePressEvent(e); });
}

void ScrollBar::mouseMoveEvent(QMouseEvent *event)
{
    if (troughPress_.part == QStyle::SC_None)
        withLeftButton(event, [this](QMouseEvent *e) { QScrollBar::mouseMoveEvent(e); });
}

void ScrollBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (troughPress_.part != QStyle::SC_None) {
        if (!(event->buttons() & (Qt::LeftButton | Qt::MiddleButton)))
            stopPaging();
        return;
    }
    withLeftButton(event, [this](QMouseEvent *e) { QScrollBar::mouseReleaseEvent(e); });
}

void ScrollBar::sliderChange(SliderChange change)
{
    QScrollBar::sliderChange(change);
    if (troughPress_.part != QStyle::SC_None && partAt(troughPress_.at) != troughPress_.part)
        stopPaging();
}

void ScrollBar::stopPaging()
{
    setRepeatAction(SliderNoAction);
    troughPress_ = {};
}

// A dotted frame just inside the edge, like the plot's dotted grid.
void ScrollBar::paintEvent(QPaintEvent *event)
{
    QScrollBar::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
}
