// What a screen reader finds in the window.
#pragma once

#include <QAccessibleWidget>

class QLabel;
class ScrollBar;

namespace accessibility {

// Installs, once, the interfaces below for the window and its scroll bars.
void install();

// A readout's name is its number with its caption and unit: a label's name
// is all of it that reaches a screen reader.
void nameReadout(QLabel *readout, const QLabel *caption, const QLabel *unit);

} // namespace accessibility

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

private:
    ScrollBar *bar() const;
};
