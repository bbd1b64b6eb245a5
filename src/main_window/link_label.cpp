// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/link_label.h"

#include <QMouseEvent>

LinkLabel::LinkLabel(const QString& name, const QString& caption, const QString& hint, QWidget* parent)
    : QLabel(parent), m_caption(caption), m_target(hint)
{
    setObjectName(name);
    setTextFormat(Qt::RichText);
    showLink();
    // The whole label answers a click, as designed; the link in it is only drawn.
    setTextInteractionFlags(Qt::NoTextInteraction);
    setToolTip(hint);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus); // a click changes no focus
}

void LinkLabel::showLink()
{
    // The link takes the colour of this label's palette; rich text alone would take the application's.
    setText(QStringLiteral("<a href=\"%1\" style=\"color: %3\">%2</a>")
                .arg(m_target.toHtmlEscaped(), m_caption.toHtmlEscaped(), palette().color(QPalette::Link).name()));
}

void LinkLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        showLink();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
