// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/fitted_label.h"

#include <QEvent>
#include <QTextDocument>

FittedLabel::FittedLabel(const QString& name, Fit fit, QWidget* parent) : QLabel(parent), m_fit(fit)
{
    setObjectName(name);
    setTextFormat(Qt::PlainText);
}

void FittedLabel::setText(const QString& text)
{
    m_fullText = text;
    refit();
}

void FittedLabel::clear()
{
    setText(QString());
}

void FittedLabel::setDesignedWidth(int width)
{
    m_designedWidth = width;
    if (m_fit == Fit::Elide)
        resize(width, height()); // refits through the resize
    else
        refit();
}

void FittedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    if (m_fit == Fit::Elide)
        refit();
}

void FittedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        refit();
}

void FittedLabel::refit()
{
    if (m_refitting)
        return;
    m_refitting = true;
    const int margins = width() - contentsRect().width();
    QString shown = m_fullText;
    if (m_fit == Fit::Grow) {
        const int needed = fontMetrics().horizontalAdvance(m_fullText) + margins;
        resize(std::max(m_designedWidth, needed), height());
    } else {
        shown = fontMetrics().elidedText(m_fullText, Qt::ElideRight, contentsRect().width());
    }
    m_elided = shown != m_fullText;
    QLabel::setText(shown);
    // The tooltip is rich text whenever Qt guesses so from its content; written out as rich text from the plain
    // value, it shows the value exactly.
    setToolTip(m_elided ? Qt::convertFromPlainText(m_fullText, Qt::WhiteSpaceNoWrap) : QString());
    setAccessibleName(m_fullText);
    m_refitting = false;
}
