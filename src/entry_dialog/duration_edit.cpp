// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"

#include "localisation/codepage.h"

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QStringList>
#include <QValidator>

namespace {

// Refuses typing and pasting beyond the limit; texts set by the program are not validated.
class TypedLengthLimit : public QValidator
{
public:
    TypedLengthLimit(int limit, QObject* parent) : QValidator(parent), m_limit(limit) {}
    State validate(QString& input, int&) const override { return input.size() > m_limit ? Invalid : Acceptable; }

private:
    int m_limit;
};

unsigned char ansiCode(QChar character)
{
    const std::optional<QByteArray> bytes = localisation::encode1250(QString(character));
    if (!bytes || bytes->size() != 1)
        return '?';
    return static_cast<unsigned char>(bytes->at(0));
}

} // namespace

DurationEdit::DurationEdit(const QString& name, const QString& bound, QWidget* parent)
    : QLineEdit(QStringLiteral("00"), parent), m_bound(bound)
{
    setObjectName(name);
    setValidator(new TypedLengthLimit(typedLimit, this));
    setAlignment(Qt::AlignCenter);
}

void DurationEdit::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void DurationEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // The focus widget is already the one that takes the focus.
    const QWidget* next = QApplication::focusWidget();
    if (event->reason() != Qt::ActiveWindowFocusReason && next && next != this && next->window() == window())
        emit left();
}

namespace duration {

const QString noLength = QStringLiteral("00:00:00");

bool exceedsBound(const QString& text, const QString& bound)
{
    const int common = std::min(text.size(), bound.size());
    for (int i = 0; i < common; ++i) {
        const unsigned char mine = ansiCode(text.at(i));
        const unsigned char limit = ansiCode(bound.at(i));
        if (mine != limit)
            return mine > limit;
    }
    return text.size() > bound.size();
}

Parts split(const QString& stored)
{
    const QStringList parts = stored.split(QLatin1Char(':'));
    for (const QString& part : parts) {
        for (const QChar character : part) {
            if (character < QLatin1Char('0') || character > QLatin1Char('9'))
                return {};
        }
    }
    if (parts.size() == 3)
        return {parts.at(0), parts.at(1), parts.at(2)};
    if (parts.size() == 2)
        return {QStringLiteral("00"), parts.at(0), parts.at(1)};
    return {};
}

QString padded(const QString& part)
{
    if (part.isEmpty())
        return QStringLiteral("00");
    if (part.size() == 1)
        return QLatin1Char('0') + part;
    return part;
}

QString compose(const QString& hours, const QString& minutes, const QString& seconds)
{
    return padded(hours) + QLatin1Char(':') + padded(minutes) + QLatin1Char(':') + padded(seconds);
}

} // namespace duration
