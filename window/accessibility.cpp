#include "accessibility.h"

#include "form1.h"
#include "scrollbar.h"

#include <QTextBoundaryFinder>

#include <tuple>

namespace {

QAccessibleInterface *windowFactory(const QString &, QObject *object)
{
    if (auto *form = qobject_cast<Form1 *>(object))
        return new WindowAccessible(form);
    return nullptr;
}

QAccessibleInterface *scrollBarFactory(const QString &, QObject *object)
{
    if (auto *bar = qobject_cast<ScrollBar *>(object))
        return new ScrollBarAccessible(bar);
    return nullptr;
}

QAccessibleInterface *partFactory(const QString &, QObject *object)
{
    if (auto *part = qobject_cast<WindowPart *>(object))
        return new WindowPartAccessible(part);
    return nullptr;
}

} // namespace

void accessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        QAccessible::installFactory(scrollBarFactory);
        QAccessible::installFactory(partFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void accessibility::name(QWidget *widget, const QString &name)
{
    if (widget->accessibleName() != name)
        widget->setAccessibleName(name);
}

void accessibility::describe(QWidget *widget, const QString &description)
{
    if (widget->accessibleDescription() != description)
        widget->setAccessibleDescription(description);
}

WindowPart::WindowPart(QWidget *window, const QString &objectName, QAccessible::Role role, const QString &name,
                       const QRect &area)
    : QObject(window), role_(role), name_(name), area_(area)
{
    setObjectName(objectName);
}

QWidget *WindowPart::window() const
{
    return static_cast<QWidget *>(parent());
}

void WindowPart::setDescription(const QString &description)
{
    if (description == description_)
        return;
    description_ = description;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void WindowPart::announce(const QString &text)
{
    name_ = text;
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

// A screen reader announces a top-level window by its role and title.
WindowAccessible::WindowAccessible(QWidget *window)
    : QAccessibleWidget(window, QAccessible::Window)
{
}

QList<WindowPart *> WindowAccessible::parts() const
{
    return widget()->findChildren<WindowPart *>(QString(), Qt::FindDirectChildrenOnly);
}

int WindowAccessible::childCount() const
{
    return QAccessibleWidget::childCount() + int(parts().size());
}

QAccessibleInterface *WindowAccessible::child(int index) const
{
    const int widgets = QAccessibleWidget::childCount();
    if (index < widgets)
        return QAccessibleWidget::child(index);
    const QList<WindowPart *> rest = parts();
    return index - widgets < rest.size() ? QAccessible::queryAccessibleInterface(rest[index - widgets]) : nullptr;
}

int WindowAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const qsizetype at = child ? parts().indexOf(qobject_cast<WindowPart *>(child->object())) : -1;
    if (at >= 0)
        return QAccessibleWidget::childCount() + int(at);
    return QAccessibleWidget::indexOfChild(child);
}

WindowPartAccessible::WindowPartAccessible(WindowPart *part)
    : QAccessibleObject(part)
{
}

WindowPart *WindowPartAccessible::part() const
{
    return static_cast<WindowPart *>(object());
}

QAccessibleInterface *WindowPartAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(part()->window());
}

QAccessible::Role WindowPartAccessible::role() const
{
    return part()->role();
}

// A part not on screen is passed by when the window is read line by line.
QAccessible::State WindowPartAccessible::state() const
{
    QAccessible::State state;
    state.readOnly = true;
    state.invisible = part()->area().isEmpty() || !part()->window()->isVisible();
    state.offscreen = part()->area().isEmpty();
    return state;
}

QString WindowPartAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return part()->name();
    case QAccessible::Description:
        return part()->description();
    default:
        return QString();
    }
}

QRect WindowPartAccessible::rect() const
{
    const QWidget *window = part()->window();
    const QRect area = part()->area().isEmpty() ? QRect(0, 0, 1, 1) : part()->area() & window->rect();
    return QRect(window->mapToGlobal(area.topLeft()), area.size());
}

ScrollBarAccessible::ScrollBarAccessible(ScrollBar *bar)
    : QAccessibleWidget(bar, QAccessible::ScrollBar)
{
}

ScrollBar *ScrollBarAccessible::bar() const
{
    return static_cast<ScrollBar *>(widget());
}

void *ScrollBarAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

namespace {

// The caption that names the bar.
QString captionOf(const ScrollBar *bar)
{
    return bar->accessibleName();
}

} // namespace

QString ScrollBarAccessible::text(int startOffset, int endOffset) const
{
    const QString caption = captionOf(bar());
    return caption.mid(startOffset, qMax(0, endOffset - startOffset));
}

int ScrollBarAccessible::characterCount() const
{
    return int(captionOf(bar()).size());
}

// The characters share the bar's width, left to right.
QRect ScrollBarAccessible::characterRect(int offset) const
{
    const int count = characterCount();
    if (offset < 0 || offset >= count)
        return QRect();
    const QRect area = rect();
    const int left = area.left() + area.width() * offset / count;
    const int right = area.left() + area.width() * (offset + 1) / count;
    return QRect(left, area.top(), qMax(1, right - left), area.height());
}

int ScrollBarAccessible::offsetAtPoint(const QPoint &point) const
{
    const QRect area = rect();
    if (!area.contains(point) || characterCount() == 0)
        return -1;
    return (point.x() - area.left()) * characterCount() / area.width();
}

namespace {

// The piece of text around offset that a boundary marks: a character, a
// word, a sentence; the whole line otherwise. [start, end), empty past
// the end, so that a reader going on from the end of a piece stops.
std::pair<int, int> pieceAt(const QString &text, int offset, QAccessible::TextBoundaryType boundary)
{
    const int length = int(text.size());
    if (offset < 0 || offset >= length)
        return {qBound(0, offset, length), qBound(0, offset, length)};
    QTextBoundaryFinder::BoundaryType type;
    switch (boundary) {
    case QAccessible::CharBoundary:
        return {offset, offset + 1};
    case QAccessible::WordBoundary:
        type = QTextBoundaryFinder::Word;
        break;
    case QAccessible::SentenceBoundary:
        type = QTextBoundaryFinder::Sentence;
        break;
    default:
        return {0, length};
    }
    QTextBoundaryFinder finder(type, text);
    finder.setPosition(offset);
    const int start = finder.isAtBoundary() ? offset : int(finder.toPreviousBoundary());
    finder.setPosition(offset);
    const int end = int(finder.toNextBoundary());
    return {qMax(0, start), end < 0 ? length : end};
}

} // namespace

QString ScrollBarAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                                          int *endOffset) const
{
    const QString caption = captionOf(bar());
    std::tie(*startOffset, *endOffset) = pieceAt(caption, offset, boundary);
    return caption.mid(*startOffset, *endOffset - *startOffset);
}

QString ScrollBarAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                                              int *endOffset) const
{
    const QString caption = captionOf(bar());
    const int here = pieceAt(caption, qMin(offset, int(caption.size()) - 1), boundary).first;
    if (here <= 0 || offset <= 0) {
        *startOffset = *endOffset = 0;
        return QString();
    }
    std::tie(*startOffset, *endOffset) = pieceAt(caption, here - 1, boundary);
    return caption.mid(*startOffset, *endOffset - *startOffset);
}

QString ScrollBarAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                                             int *endOffset) const
{
    const QString caption = captionOf(bar());
    const int next = pieceAt(caption, offset, boundary).second;
    std::tie(*startOffset, *endOffset) = pieceAt(caption, qMax(next, offset + 1), boundary);
    return caption.mid(*startOffset, *endOffset - *startOffset);
}

QString ScrollBarAccessible::attributes(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
}

QString ScrollBarAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return QString::number(bar()->shownValue());
    return QAccessibleWidget::text(t);
}

QVariant ScrollBarAccessible::currentValue() const
{
    return bar()->shownValue();
}

void ScrollBarAccessible::setCurrentValue(const QVariant &value)
{
    bar()->setShownValue(value.toInt());
}

QVariant ScrollBarAccessible::maximumValue() const
{
    return bar()->shownMaximum();
}

QVariant ScrollBarAccessible::minimumValue() const
{
    return bar()->shownMinimum();
}

QVariant ScrollBarAccessible::minimumStepSize() const
{
    return bar()->singleStep();
}
