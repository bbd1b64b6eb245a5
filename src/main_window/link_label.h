// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>

// A label drawn as a link that reports a click and shows its hint when the mouse rests on it. Its caption is
// a link of rich text, so the link colour is the palette's (readable on a dark desktop as on a light one).
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    LinkLabel(const QString& name, const QString& caption, const QString& hint, QWidget* parent);

    // The caption as the user reads it.
    const QString& caption() const { return m_caption; }
    // What a click does; also the action a screen reader offers.
    void activate() { emit clicked(); }

signals:
    void clicked();

protected:
    void changeEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void showLink();

    QString m_caption;
    QString m_target;
};
