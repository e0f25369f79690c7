#pragma once

#include <QAccessibleWidget>

class ScrollBar;

// What a screen reader gets of a scroll bar: its name, and as its value the
// number the window shows for it, so the signal-to-noise bar reads in dB
// with the sign on screen rather than its raw, negated value.
class ScrollBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ScrollBarAccessible(ScrollBar *bar);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    // The factory to install once with QAccessible::installFactory.
    static QAccessibleInterface *factory(const QString &className, QObject *object);

private:
    ScrollBar *bar() const;
};
