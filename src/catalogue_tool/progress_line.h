// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QTextStream>
#include <unistd.h>

namespace catalogue_tool {

// A line that rewrites itself on the terminal ("importing: 5120 of 94000 rows (5%)"); nothing when the errors
// go to a file or a pipe, or when the work is over before the line would help.
class ProgressLine
{
public:
    ProgressLine(QTextStream& err, const QString& doing)
        : m_err(err), m_doing(doing), m_enabled(isatty(STDERR_FILENO) != 0)
    {
    }
    void show(quint64 done, quint64 total)
    {
        if (!m_enabled || total < threshold)
            return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == m_percent)
            return;
        m_percent = percent;
        m_err << "\r" << m_doing << ": " << done << " of " << total << " rows (" << percent << "%)" << Qt::flush;
        m_shown = true;
    }
    void finish()
    {
        if (m_shown)
            m_err << "\r\033[K" << Qt::flush;
        m_shown = false;
    }

private:
    static constexpr quint64 threshold = 10000;
    QTextStream& m_err;
    QString m_doing;
    bool m_enabled;
    bool m_shown = false;
    int m_percent = -1;
};

} // namespace catalogue_tool
