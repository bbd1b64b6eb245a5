#pragma once

#include <QLabel>

// A label drawn as a link that reports a click and shows its hint when the mouse rests on it.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    LinkLabel(const QString& name, const QString& caption, const QString& hint, QWidget* parent);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
