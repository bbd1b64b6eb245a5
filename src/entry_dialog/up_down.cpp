// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/up_down.h"

#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>

UpDown::UpDown(const QString& name, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum), m_position(minimum), m_up(new QToolButton(this)),
      m_down(new QToolButton(this))
{
    setObjectName(name);
    // Reached by Tab and steered with the arrow keys; a click on an arrow leaves the focus where it is.
    setFocusPolicy(Qt::TabFocus);
    for (auto [button, arrow, buttonName] : {std::tuple{m_up, Qt::UpArrow, "up"}, {m_down, Qt::DownArrow, "down"}}) {
        button->setObjectName(QString::fromLatin1(buttonName));
        button->setArrowType(arrow);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
    }
    m_up->setAccessibleName(QStringLiteral("Eggyel több"));
    m_down->setAccessibleName(QStringLiteral("Eggyel kevesebb"));
    connect(m_up, &QToolButton::clicked, this, [this] { step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_minimum, m_maximum);
}

void UpDown::step(int by)
{
    setPosition(m_position + by);
    emit clicked();
}

void UpDown::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up)
        step(1);
    else if (event->key() == Qt::Key_Down)
        step(-1);
    else
        QWidget::keyPressEvent(event);
}

void UpDown::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}
