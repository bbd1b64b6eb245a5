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
    explicit Failure(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// The runtime's message for a text that is not a whole number.
inline Failure invalidInteger(const QString& text)
{
    return Failure(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

// Runs one event handler to completion: a failure ends it and reaches the user through the error report,
// and the program goes on.
template <typename Handler> bool runHandler(ErrorReport& errors, Handler&& handler)
{
    try {
        handler();
        return true;
    } catch (const Failure& failure) {
        errors.report(failure.text());
    } catch (const std::exception& error) {
        errors.report(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

} // namespace platform
