#pragma once

#include <QAccessibleWidget>

class QLabel;

// What a screen reader sees of a readout label: a fixed name (its caption
// and unit) and the number it shows now as its value.
class ReadoutAccessible : public QAccessibleWidget {
public:
    explicit ReadoutAccessible(QLabel *label);

    QString text(QAccessible::Text t) const override;

    // Marks the labels that get this interface.
    static void markAsReadout(QLabel *label, const QString &name);
    // Tells assistive technology that a readout shows a new value; does
    // nothing for other labels.
    static void announceValue(QLabel *label);
    // The factory to install once with QAccessible::installFactory.
    static QAccessibleInterface *factory(const QString &className, QObject *object);

private:
    QLabel *label() const;
};
