#include "window/accessibility.h"

#include "window/scrollbar.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>

namespace {

// The window, with its parts among its children. A screen reader announces
// a top-level window by its role and title.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget *window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override { return QAccessibleWidget::childCount() + int(parts().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        const QList<WindowPart *> rest = parts();
        return index - widgets < rest.size() ? QAccessible::queryAccessibleInterface(rest[index - widgets]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const qsizetype at = child ? parts().indexOf(qobject_cast<WindowPart *>(child->object())) : -1;
        return at >= 0 ? QAccessibleWidget::childCount() + int(at) : QAccessibleWidget::indexOfChild(child);
    }

private:
    QList<WindowPart *> parts() const
    {
        return widget()->findChildren<WindowPart *>(QString(), Qt::FindDirectChildrenOnly);
    }
};

class WindowPartAccessible : public QAccessibleObject {
public:
    explicit WindowPartAccessible(WindowPart *part) : QAccessibleObject(part) {}

    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(part()->window()); }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return part()->role(); }
    // A part not on screen is passed by when the window is read line by line.
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.readOnly = true;
        state.invisible = part()->area().isEmpty() || !part()->window()->isVisible();
        state.offscreen = part()->area().isEmpty();
        return state;
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? part()->name() : t == QAccessible::Description ? part()->description() : QString();
    }
    QRect rect() const override
    {
        const QWidget *window = part()->window();
        const QRect area = part()->area().isEmpty() ? QRect(0, 0, 1, 1) : part()->area() & window->rect();
        return QRect(window->mapToGlobal(area.topLeft()), area.size());
    }

private:
    WindowPart *part() const { return static_cast<WindowPart *>(object()); }
};

// What a screen reader gets of a scroll bar: as its value the number the
// window shows for it, so the signal-to-noise bar reads in dB with the
// sign on screen rather than its raw, negated value. As text it has its
// name alone, the caption, which is what reading the window line by line
// finds of it: its number and unit stand on labels of their own.
class ScrollBarAccessible : public QAccessibleWidget,
                            public QAccessibleValueInterface,
                            public QAccessibleTextInterface {
public:
    explicit ScrollBarAccessible(ScrollBar *bar) : QAccessibleWidget(bar, QAccessible::ScrollBar) {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? QString::number(bar()->shownValue()) : QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return bar()->shownValue(); }
    void setCurrentValue(const QVariant &value) override { bar()->setShownValue(value.toInt()); }
    QVariant maximumValue() const override { return bar()->shownMaximum(); }
    QVariant minimumValue() const override { return bar()->shownMinimum(); }
    QVariant minimumStepSize() const override { return bar()->singleStep(); }

    // The caption, one line that fills the bar; Qt's defaults find the
    // words and sentences in it.
    QString text(int startOffset, int endOffset) const override
    {
        return caption().mid(startOffset, qMax(0, endOffset - startOffset));
    }
    int characterCount() const override { return int(caption().size()); }
    // The characters share the bar's width, left to right.
    QRect characterRect(int offset) const override
    {
        const int count = characterCount();
        if (offset < 0 || offset >= count)
            return QRect();
        const QRect area = rect();
        const int left = area.left() + area.width() * offset / count;
        const int right = area.left() + area.width() * (offset + 1) / count;
        return QRect(left, area.top(), qMax(1, right - left), area.height());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QRect area = rect();
        return area.contains(point) && characterCount() > 0
                   ? (point.x() - area.left()) * characterCount() / area.width()
                   : -1;
    }
    // Qt 6.4 takes the line to run on past its end, and a reader going on
    // from the end would hear the caption again: there is nothing there.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                         int *endOffset) const override
    {
        const int length = characterCount();
        if (offset >= length || boundary == QAccessible::LineBoundary || boundary == QAccessible::NoBoundary) {
            *startOffset = offset >= length ? length : 0;
            *endOffset = length;
            return offset >= length ? QString() : caption();
        }
        return QAccessibleTextInterface::textAtOffset(offset, boundary, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                            int *endOffset) const override
    {
        if (boundary == QAccessible::LineBoundary || boundary == QAccessible::NoBoundary) {
            *startOffset = *endOffset = characterCount();
            return QString();
        }
        return QAccessibleTextInterface::textAfterOffset(offset, boundary, startOffset, endOffset);
    }
    void selection(int, int *startOffset, int *endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }

private:
    ScrollBar *bar() const { return static_cast<ScrollBar *>(widget()); }
    QString caption() const { return QAccessibleWidget::text(QAccessible::Name); }
};

// The class of the windows that have parts, told by install().
const QMetaObject *windowClass = nullptr;

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (object->isWidgetType() && object->metaObject()->inherits(windowClass))
        return new WindowAccessible(static_cast<QWidget *>(object));
    if (auto *bar = qobject_cast<ScrollBar *>(object))
        return new ScrollBarAccessible(bar);
    if (auto *part = qobject_cast<WindowPart *>(object))
        return new WindowPartAccessible(part);
    return nullptr;
}

} // namespace

void accessibility::install(const QMetaObject &window)
{
    windowClass = &window;
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
}
