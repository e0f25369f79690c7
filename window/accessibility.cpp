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

QAccessibleInterface *plotFactory(const QString &, QObject *object)
{
    if (auto *plot = qobject_cast<Plot *>(object))
        return new PlotAccessible(plot);
    if (auto *announcement = qobject_cast<Announcement *>(object))
        return new AnnouncementAccessible(announcement);
    return nullptr;
}

} // namespace

void accessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        QAccessible::installFactory(scrollBarFactory);
        QAccessible::installFactory(plotFactory);
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

Plot::Plot(QWidget *window, const QRect &area)
    : QObject(window), area_(area)
{
    setObjectName(QStringLiteral("plot"));
}

QWidget *Plot::window() const
{
    return static_cast<QWidget *>(parent());
}

void Plot::setDescription(const QString &description)
{
    if (description == description_)
        return;
    description_ = description;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

// A screen reader announces a top-level window by its role and title.
WindowAccessible::WindowAccessible(QWidget *window)
    : QAccessibleWidget(window, QAccessible::Window)
{
}

QList<QObject *> WindowAccessible::others() const
{
    QList<QObject *> others;
    for (QObject *child : widget()->children())
        if (qobject_cast<Plot *>(child) || qobject_cast<Announcement *>(child))
            others << child;
    return others;
}

int WindowAccessible::childCount() const
{
    return QAccessibleWidget::childCount() + int(others().size());
}

QAccessibleInterface *WindowAccessible::child(int index) const
{
    const int widgets = QAccessibleWidget::childCount();
    if (index >= widgets) {
        const QList<QObject *> rest = others();
        return index - widgets < rest.size() ? QAccessible::queryAccessibleInterface(rest[index - widgets]) : nullptr;
    }
    return QAccessibleWidget::child(index);
}

int WindowAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const qsizetype at = child ? others().indexOf(child->object()) : -1;
    if (at >= 0)
        return QAccessibleWidget::childCount() + int(at);
    return QAccessibleWidget::indexOfChild(child);
}

Announcement::Announcement(QWidget *window)
    : QObject(window)
{
    setObjectName(QStringLiteral("announcement"));
}

QWidget *Announcement::window() const
{
    return static_cast<QWidget *>(parent());
}

void Announcement::say(const QString &text)
{
    text_ = text;
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

AnnouncementAccessible::AnnouncementAccessible(Announcement *announcement)
    : QAccessibleObject(announcement)
{
}

Announcement *AnnouncementAccessible::announcement() const
{
    return static_cast<Announcement *>(object());
}

QAccessibleInterface *AnnouncementAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(announcement()->window());
}

// Not on screen, so that reading the window line by line passes it by.
QAccessible::State AnnouncementAccessible::state() const
{
    QAccessible::State state;
    state.readOnly = true;
    state.invisible = true;
    state.offscreen = true;
    return state;
}

QString AnnouncementAccessible::text(QAccessible::Text t) const
{
    return t == QAccessible::Name ? announcement()->text() : QString();
}

// Nothing on screen: a point at the window's corner.
QRect AnnouncementAccessible::rect() const
{
    return QRect(announcement()->window()->mapToGlobal(QPoint(0, 0)), QSize(1, 1));
}

PlotAccessible::PlotAccessible(Plot *plot)
    : QAccessibleObject(plot)
{
}

Plot *PlotAccessible::plot() const
{
    return static_cast<Plot *>(object());
}

QAccessibleInterface *PlotAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(plot()->window());
}

QAccessible::State PlotAccessible::state() const
{
    QAccessible::State state;
    state.readOnly = true;
    state.invisible = !plot()->window()->isVisible();
    return state;
}

QString PlotAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return QStringLiteral("Grafico della correlazione");
    case QAccessible::Description:
        return plot()->description();
    default:
        return QString();
    }
}

QRect PlotAccessible::rect() const
{
    const QWidget *window = plot()->window();
    const QRect area = plot()->area() & window->rect();
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

QString captionOf(const ScrollBar *bar)
{
    return bar->property(accessibility::kCaptionProperty).toString();
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
