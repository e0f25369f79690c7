// What a screen reader finds in the window: the bars with their units and
// the result, the readouts as the numbers they show, and a text for the
// plot. What changes is said once, when it changes.
#pragma once

#include <QAccessible>
#include <QObject>
#include <QRect>
#include <QString>
#include <QWidget>

namespace accessibility {

// Installs, once, what Qt does not know of the windows of that class: their
// parts that are not controls (the plot, the announcement of a new result)
// among their children, and the bars' values as the window shows them.
void install(const QMetaObject &windowClass);

} // namespace accessibility

// A part of the window that is not a control, for a screen reader: the
// plot, a chart whose description says where the curve peaks and how
// high; or the announcement, a line said once, politely and without moving
// the focus, as a notification that nothing on screen shows. (Qt 6.4 sends
// a changed name or description without the new text, which Orca 43 then
// cannot speak; a notification's showing it speaks.)
class WindowPart : public QObject {
    Q_OBJECT

public:
    // area: where the part lies in the window; none for one not on screen.
    WindowPart(QWidget *window, const QString &objectName, QAccessible::Role role, const QString &name)
        : QObject(window), role_(role), name_(name)
    {
        setObjectName(objectName);
    }

    QWidget *window() const { return static_cast<QWidget *>(parent()); }
    QAccessible::Role role() const { return role_; }
    QString name() const { return name_; }
    QString description() const { return description_; }
    QRect area() const { return area_; }
    void setArea(const QRect &area) { area_ = area; }

    // Tells a screen reader only when it changed.
    void setDescription(const QString &description)
    {
        if (description == description_)
            return;
        description_ = description;
        QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }
    // Says text once, as the part's name.
    void announce(const QString &text)
    {
        name_ = text;
        QAccessibleEvent shown(this, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }

private:
    QAccessible::Role role_;
    QString name_;
    QString description_;
    QRect area_;
};
