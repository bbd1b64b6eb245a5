// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

class QToolButton;

// A pair of arrow buttons holding an integer position within a range. An arrow moves the position by one,
// never past the range, and then reports the click (also when the position stayed at its end).
class UpDown : public QWidget
{
    Q_OBJECT

public:
    UpDown(const QString& name, int minimum, int maximum, QWidget* parent);

    int position() const { return m_position; }
    // A position outside the range is brought to its nearer end.
    void setPosition(int position);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

signals:
    void clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int by);

    int m_minimum;
    int m_maximum;
    int m_position;
    QToolButton* m_up;
    QToolButton* m_down;
};
