#pragma once

#include "support/program_under_test.h"

#include <QCoreApplication>
#include <algorithm>
#include <utility>

namespace bench {

// The application of the measured run: every event its loop dispatches at the top level is timed, since the
// window is held for as long as one dispatch lasts, whatever it does (a keystroke's handler, a list arriving, a
// screen read).
class TimedApplication : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth > 0)
            return QCoreApplication::notify(receiver, event);
        ++m_depth;
        const Clock::time_point start = Clock::now();
        const bool handled = QCoreApplication::notify(receiver, event);
        --m_depth;
        m_longest = std::max(m_longest, millisecondsSince(start));
        return handled;
    }
    // The longest dispatch since the last call.
    double takeLongest() { return std::exchange(m_longest, 0.0); }

private:
    int m_depth = 0;
    double m_longest = 0;
};

} // namespace bench
