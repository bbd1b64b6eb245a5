// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPoint>
#include <QRect>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <utility>

// Where a hand takes a vertical scroll bar's handle, and where it lets go of it to put the handle at fraction of
// the bar's way, as the bar is laid out now.
inline std::pair<QPoint, QPoint> scrollBarDrag(QScrollBar* bar, double fraction)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    const QRect handle = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
    const QRect groove = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove, bar);
    const QPoint from = handle.center();
    const int span = groove.height() - handle.height();
    return {from, QPoint(from.x(), groove.top() + handle.height() / 2 + static_cast<int>(span * fraction))};
}
