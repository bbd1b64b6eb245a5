// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLineEdit>

// One of the hour, minute and second fields of a length. The user types at most two characters into it;
// texts set by the program may be longer. It reports a click into it and the moment the focus moves from it
// to another control of the same window (a switch to another window is not a leave).
class DurationEdit : public QLineEdit
{
    Q_OBJECT

public:
    static constexpr int typedLimit = 2;

    DurationEdit(const QString& name, const QString& bound, QWidget* parent);

    // The largest text the field accepts when it is left: "24" for hours, "59" for minutes and seconds.
    const QString& bound() const { return m_bound; }

signals:
    void clicked();
    void left();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString m_bound;
};

namespace duration {

// Whether text is greater than bound, compared character by character by their 8-bit codes (code page 1250)
// taken unsigned; a text that is the beginning of the other is the smaller. A character the code page cannot
// hold counts as "?", the way the conversion to 8-bit text shows it.
bool exceedsBound(const QString& text, const QString& bound);

// A stored length taken apart at its colons: "h:m:s", or "m:s" with the hours "00", each part of digits
// ("1:02:03" gives 1, 02 and 03). A text that is no such length (empty, words, letters in a part) gives three
// empty parts: there is nothing in it to show as hours, minutes and seconds.
struct Parts
{
    QString hours;
    QString minutes;
    QString seconds;
};
Parts split(const QString& stored);
// A part as it is stored: two characters at least, an empty part "00", one character with a leading "0".
QString padded(const QString& part);
// The three parts padded and joined with ":".
QString compose(const QString& hours, const QString& minutes, const QString& seconds);

// The length that means "none given".
extern const QString noLength;

} // namespace duration
