#pragma once

#include <QScrollBar>
#include <QStyle>

// A scroll bar that behaves the same on every widget style and for every
// user: arrow keys move the thumb the way they point, a click in the trough
// (left or middle button) moves by one page step, and the keyboard focus is
// marked.
class ScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit ScrollBar(Qt::Orientation orientation, QWidget *parent = nullptr);

    // The value as the window shows it: negated for a bar whose value is
    // shown with the opposite sign (the signal-to-noise bar).
    void setShownNegated(bool negated) { shownNegated_ = negated; }
    int shownValue() const { return shown(value()); }
    int shownMinimum() const { return shown(shownNegated_ ? maximum() : minimum()); }
    int shownMaximum() const { return shown(shownNegated_ ? minimum() : maximum()); }
    void setShownValue(int value) { setValue(shown(value)); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void sliderChange(SliderChange change) override;

private:
    int shown(int value) const { return shownNegated_ ? -value : value; }
    QStyle::SubControl partAt(QPoint position) const;
    void stopPaging();

    bool shownNegated_ = false;
    // Where a press in the trough was, while it pages.
    struct TroughPress {
        QPoint at;
        QStyle::SubControl part = QStyle::SC_None;
    } troughPress_;
};
