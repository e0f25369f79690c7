#include "ScrollBarAccessible.h"

#include "ScrollBar.h"

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

QAccessibleInterface *ScrollBarAccessible::factory(const QString &, QObject *object)
{
    if (auto *bar = qobject_cast<ScrollBar *>(object))
        return new ScrollBarAccessible(bar);
    return nullptr;
}
