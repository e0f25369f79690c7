// What a screen reader finds in the window: the bars with their units and
// the result, the readouts as the numbers they show, and a text for the
// plot. What changes is said once, when it changes.
#pragma once

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QObject>
#include <QRect>

class ScrollBar;

namespace accessibility {

// Installs, once, the interfaces below for the window, its scroll bars and
// its plot.
void install();

// Sets a widget's accessible name or description, and tells a screen
// reader only when it changed: one that speaks a change of the focused
// control's name then says a new result once, and nothing while it stays.
void name(QWidget *widget, const QString &name);
void describe(QWidget *widget, const QString &description);

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
    WindowPart(QWidget *window, const QString &objectName, QAccessible::Role role, const QString &name,
               const QRect &area = QRect());

    QWidget *window() const;
    QAccessible::Role role() const { return role_; }
    QString name() const { return name_; }
    QString description() const { return description_; }
    QRect area() const { return area_; }

    // Tells a screen reader only when it changed.
    void setDescription(const QString &description);
    // Says text once, as the part's name.
    void announce(const QString &text);

private:
    QAccessible::Role role_;
    QString name_;
    QString description_;
    QRect area_;
};

// The window, with its parts among its children.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget *window);

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;

private:
    QList<WindowPart *> parts() const;
};

class WindowPartAccessible : public QAccessibleObject {
public:
    explicit WindowPartAccessible(WindowPart *part);

    QAccessibleInterface *parent() const override;
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;

private:
    WindowPart *part() const;
};

// What a screen reader gets of a scroll bar: its name, and as its value the
// number the window shows for it, so the signal-to-noise bar reads in dB
// with the sign on screen rather than its raw, negated value. As text it
// has its caption alone, which is what reading the window line by line
// finds of it: its number and unit stand on labels of their own.
class ScrollBarAccessible : public QAccessibleWidget,
                            public QAccessibleValueInterface,
                            public QAccessibleTextInterface {
public:
    explicit ScrollBarAccessible(ScrollBar *bar);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;

    // The caption, one line that fills the bar.
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                         int *endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                             int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                            int *endOffset) const override;
    void selection(int, int *startOffset, int *endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    ScrollBar *bar() const;
};
