#include "support/held_window.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace bench {

TimingApplication::TimingApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TimingApplication& TimingApplication::instance()
{
    return *static_cast<TimingApplication*>(QCoreApplication::instance());
}

bool TimingApplication::notify(QObject* receiver, QEvent* event)
{
    // Events of other threads (a worker's own objects) never hold the window.
    if (QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    const QEvent::Type type = event->type();
    if (type == QEvent::Paint && receiver == m_painted)
        ++m_paints;
    if (m_depth > 0) {
        ++m_depth;
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        return handled;
    }
    const auto start = std::chrono::steady_clock::now();
    ++m_depth;
    const bool handled = QApplication::notify(receiver, event);
    --m_depth;
    const auto end = std::chrono::steady_clock::now();
    const double took = std::chrono::duration<double, std::milli>(end - start).count();
    if (took > m_longestMs) {
        m_longestMs = took;
        m_longestWhat = QStringLiteral("event %1 to %2 %3")
                            .arg(static_cast<int>(type))
                            .arg(QString::fromLatin1(receiver->metaObject()->className()), receiver->objectName());
    }
    if (m_done && m_done()) {
        m_doneAt = end;
        m_done = nullptr;
        if (m_waiting)
            m_waiting->quit();
    }
    return handled;
}

void TimingApplication::watchPaints(QObject* widget)
{
    m_painted = widget;
}

void TimingApplication::startInteraction()
{
    m_longestMs = 0;
    m_longestWhat.clear();
}

bool TimingApplication::waitFor(const std::function<bool()>& done, int limitMs,
                                std::chrono::steady_clock::time_point* when)
{
    if (done()) {
        if (when)
            *when = std::chrono::steady_clock::now();
        return true;
    }
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(limitMs);
    m_done = done;
    m_waiting = &loop;
    loop.exec();
    m_waiting = nullptr;
    const bool met = !m_done;
    m_done = nullptr;
    if (met && when)
        *when = m_doneAt;
    return met;
}

} // namespace bench
