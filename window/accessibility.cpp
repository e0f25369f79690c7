#include "accessibility.h"

#include "form1.h"
#include "scrollbar.h"

#include <QLabel>

namespace {

// A screen reader announces a top-level window by its role and title.
QAccessibleInterface *windowFactory(const QString &, QObject *object)
{
    if (auto *form = qobject_cast<Form1 *>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    return nullptr;
}

QAccessibleInterface *scrollBarFactory(const QString &, QObject *object)
{
    if (auto *bar = qobject_cast<ScrollBar *>(object))
        return new ScrollBarAccessible(bar);
    return nullptr;
}

} // namespace

void accessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        QAccessible::installFactory(scrollBarFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void accessibility::nameReadout(QLabel *readout, const QLabel *caption, const QLabel *unit)
{
    QStringList spoken{caption->text(), readout->text()};
    if (unit)
        spoken << unit->text();
    spoken.removeAll(QString());
    readout->setAccessibleName(spoken.join(u' '));
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
    return QAccessibleWidget::interface_cast(type);
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
