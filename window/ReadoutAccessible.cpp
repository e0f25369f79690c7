#include "ReadoutAccessible.h"

#include <QLabel>

namespace {
constexpr char kReadoutProperty[] = "readout";
}

ReadoutAccessible::ReadoutAccessible(QLabel *label)
    : QAccessibleWidget(label, QAccessible::StaticText)
{
}

QLabel *ReadoutAccessible::label() const
{
    return static_cast<QLabel *>(widget());
}

QString ReadoutAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return label()->accessibleName();
    case QAccessible::Value:
        return label()->text();
    default:
        return QAccessibleWidget::text(t);
    }
}

void ReadoutAccessible::markAsReadout(QLabel *label, const QString &name)
{
    label->setProperty(kReadoutProperty, true);
    // Qt made and cached a plain label interface when the label was created;
    // drop it so that the next query comes to the factory.
    if (QAccessibleInterface *plain = QAccessible::queryAccessibleInterface(label))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(plain));
    label->setAccessibleName(name);
}

void ReadoutAccessible::announceValue(QLabel *label)
{
    if (!QAccessible::isActive() || !label->property(kReadoutProperty).toBool())
        return;
    QAccessibleValueChangeEvent event(label, label->text());
    QAccessible::updateAccessibility(&event);
}

QAccessibleInterface *ReadoutAccessible::factory(const QString &className, QObject *object)
{
    auto *label = qobject_cast<QLabel *>(object);
    if (className == QLatin1String("QLabel") && label && label->property(kReadoutProperty).toBool())
        return new ReadoutAccessible(label);
    return nullptr;
}
