// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/platform.h"

#include <QString>
#include <stdexcept>

namespace platform {

// A failed step of a handler: a database call, a file operation or a text-to-number conversion.
// The handler ends where it is thrown; the text is what the user sees.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString& text) : std::runtime_error(text.toStdString()), m_text(text), m_original(text) {}

    // A failure already told in the report's words: what could not be done, followed by the original text.
    static Failure described(const QString& couldNotDo, const QString& original);
    // A failure whose text already says all the user is told: shown as it is, whatever text it quotes.
    static Failure told(const QString& text) { return Failure(text, text, true); }

    const QString& text() const { return m_text; }
    // The engine's or the system's own text, as it came.
    const QString& original() const { return m_original; }
    bool isDescribed() const { return m_described; }

private:
    Failure(const QString& text, const QString& original, bool described)
        : std::runtime_error(text.toStdString()), m_text(text), m_original(original), m_described(described)
    {
    }

    QString m_text;
    QString m_original;
    bool m_described = false;
};

// The runtime's message for a text that is not a whole number.
inline Failure invalidInteger(const QString& text)
{
    return Failure(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

// The report of a failed step, in Hungarian: the sentence that says what could not be done and with which file
// or table, what the original text means where it is a known one, and the original text itself, kept as it came
// so that it can be looked up. Lines are separated by CR, as in every message of the program.
QString failureReport(const QString& couldNotDo, const QString& original);

// What a known text of the database engine, of the system or of the runtime means, in Hungarian; empty when
// the text is not a known one.
QString explainOriginal(const QString& original);
// The system's and the client libraries' own texts in English, whatever the user's language: the program explains
// them in Hungarian by their English wording and shows the original after it. Call once the application object
// has set the locale.
void keepSystemTextsInEnglish();

// Whether a text needs a Hungarian sentence in front of it: an engine's, a system's or a runtime's text, as
// opposed to a message of the program's own, which is shown as it stands.
bool isForeignText(const QString& text);

// The text the general error report shows for a failure: a described one as it is; an engine's or system's
// text behind the sentence couldNotDo (a general one when empty); a message of the program's own unchanged.
QString reportedText(const Failure& failure, const QString& couldNotDo = QString());

// Runs one step of a handler; a failure in it is told as couldNotDo followed by the original text.
// A failure told already keeps its words.
template <typename Step> decltype(auto) describeFailure(const QString& couldNotDo, Step&& step)
{
    try {
        return step();
    } catch (const Failure& failure) {
        if (failure.isDescribed() || !isForeignText(failure.text()))
            throw;
        throw Failure::described(couldNotDo, failure.text());
    }
}

// Runs one event handler to completion: a failure ends it and reaches the user through the error report,
// and the program goes on. couldNotDo names what the handler was doing, for failures that do not say it.
template <typename Handler> bool runHandler(ErrorReport& errors, const QString& couldNotDo, Handler&& handler)
{
    try {
        handler();
        return true;
    } catch (const Failure& failure) {
        errors.report(reportedText(failure, couldNotDo));
    } catch (const std::exception& error) {
        errors.report(reportedText(Failure(QString::fromLocal8Bit(error.what())), couldNotDo));
    }
    return false;
}

template <typename Handler> bool runHandler(ErrorReport& errors, Handler&& handler)
{
    return runHandler(errors, QString(), std::forward<Handler>(handler));
}

// As runHandler, with what the handler was doing told when a failure needs it: after the handler's own steps,
// which may have opened another catalogue.
template <typename Describe, typename Handler>
bool runDescribedHandler(ErrorReport& errors, Describe&& couldNotDo, Handler&& handler)
{
    try {
        handler();
        return true;
    } catch (const Failure& failure) {
        errors.report(reportedText(failure, couldNotDo()));
    } catch (const std::exception& error) {
        errors.report(reportedText(Failure(QString::fromLocal8Bit(error.what())), couldNotDo()));
    }
    return false;
}

} // namespace platform
