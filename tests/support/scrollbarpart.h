// Where a part of a scroll bar (an arrow, the trough, the thumb) lies, as
// the bar's style draws it.
#pragma once

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

inline QRect scrollBarPart(QScrollBar *bar, QStyle::SubControl which)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, which, bar);
}
