// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/held_window.h"

#include <QPointer>

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QMetaEnum>
#include <QThread>
#include <QTimer>
#include <ctime>
#include <sys/resource.h>

namespace bench {

namespace {

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

// How often the window's thread has given up the processor so far: waiting for something (a lock, a worker, a
// read), and taken off it for other work.
struct Switches
{
    long waits = 0;
    long preempted = 0;
};

Switches switches()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return {usage.ru_nvcsw, usage.ru_nivcsw};
}

} // namespace

TimingApplication::TimingApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        m_idle = true;
        askDone(std::chrono::steady_clock::now());
        m_idle = false;
    });
}

void TimingApplication::askDone(std::chrono::steady_clock::time_point at)
{
    if (m_done && m_done()) {
        m_doneAt = at;
        m_done = nullptr;
        if (m_waiting)
            m_waiting->quit();
    }
}

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
    const double cpuStart = threadCpuMs();
    const Switches switchesBefore = switches();
    // The event may end its receiver (a timer that deletes itself): it is named only if it is still there.
    const QPointer<QObject> alive(receiver);
    ++m_depth;
    const bool handled = QApplication::notify(receiver, event);
    --m_depth;
    const auto end = std::chrono::steady_clock::now();
    const double took = std::chrono::duration<double, std::milli>(end - start).count();
    if (took > m_longestMs) {
        m_longestMs = took;
        m_longestCpuMs = threadCpuMs() - cpuStart;
        const Switches after = switches();
        const char* name = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
        m_longestWhat = QStringLiteral("%1 to %2 %3, %4 ms of it on the processor; waited %5 times, preempted %6 times")
                            .arg(name ? QString::fromLatin1(name) : QString::number(static_cast<int>(type)),
                                 alive ? QString::fromLatin1(alive->metaObject()->className())
                                       : QStringLiteral("an object the event deleted"),
                                 alive ? alive->objectName() : QString())
                            .arg(m_longestCpuMs, 0, 'f', 2)
                            .arg(after.waits - switchesBefore.waits)
                            .arg(after.preempted - switchesBefore.preempted);
    }
    askDone(end);
    return handled;
}

void TimingApplication::watchPaints(QObject* widget)
{
    m_painted = widget;
}

void TimingApplication::startInteraction()
{
    m_longestMs = 0;
    m_longestCpuMs = 0;
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
