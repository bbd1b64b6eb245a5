// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QApplication>
#include <QString>
#include <chrono>
#include <functional>

class QEventLoop;

namespace bench {

// The application of a benchmark: it times every event it dispatches from the event loop (not the events sent
// from inside another's handling, which belong to that one), so that the longest time the window was held,
// the handler and the painting it caused included, is known for each interaction.
class TimingApplication : public QApplication
{
public:
    TimingApplication(int& argc, char** argv);
    static TimingApplication& instance();

    bool notify(QObject* receiver, QEvent* event) override;

    // Starts a new interaction: the longest dispatch so far is forgotten.
    void startInteraction();
    // The longest top-level dispatch since startInteraction, in milliseconds, and what it was.
    double longestMs() const { return m_longestMs; }
    // The part of the longest dispatch that the window's thread spent on the processor; the rest it waited
    // (for a lock, a worker, or a processor that other work held).
    double longestCpuMs() const { return m_longestCpuMs; }
    const QString& longestWhat() const { return m_longestWhat; }
    // Runs the event loop, asleep between events, until done holds after a dispatch or as the loop is about to
    // sleep (or at once); the time at which it first held, or none when limitMs passed first.
    bool waitFor(const std::function<bool()>& done, int limitMs, std::chrono::steady_clock::time_point* when);
    // True while done is asked as the loop is about to sleep: everything the events so far asked for, painting
    // included, is done.
    bool idle() const { return m_idle; }
    // Counts the paint events that reach widget (at any depth: a paint is sent from inside a window's update).
    void watchPaints(QObject* widget);
    int paints() const { return m_paints; }

private:
    void askDone(std::chrono::steady_clock::time_point at);

    int m_depth = 0;
    bool m_idle = false;
    double m_longestMs = 0;
    double m_longestCpuMs = 0;
    QString m_longestWhat;
    std::function<bool()> m_done;
    QEventLoop* m_waiting = nullptr;
    std::chrono::steady_clock::time_point m_doneAt;
    QObject* m_painted = nullptr;
    int m_paints = 0;
};

} // namespace bench
