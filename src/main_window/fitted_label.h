// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>

// A label that shows a text the program fills in (a count, an artist, an album): always as plain text, since a
// stored value is never markup, and never cut without a way to read it. An eliding label ends a text wider than
// itself in "…" and offers the whole text as its tooltip and to screen readers; a growing label widens to its
// text, never below its designed width.
class FittedLabel : public QLabel
{
    Q_OBJECT

public:
    enum class Fit {
        Elide,
        Grow,
    };

    FittedLabel(const QString& name, Fit fit, QWidget* parent);

    // Hide QLabel's: the text given is the whole text, the label shows what fits of it.
    void setText(const QString& text);
    void clear();
    const QString& fullText() const { return m_fullText; }
    bool isElided() const { return m_elided; }
    // The width the label keeps at least (a growing label) or always (an eliding one).
    void setDesignedWidth(int width);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refit();

    Fit m_fit;
    QString m_fullText;
    int m_designedWidth = 0;
    bool m_elided = false;
    bool m_refitting = false;
};
