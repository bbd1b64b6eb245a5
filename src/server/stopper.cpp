// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/connection.h"

#include "platform/failure.h"
#include "server/client_library.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <libpq-fe.h>
#include <thread>

// Stopping a search's statements, on every connection it uses, without ever ending another list's statement.

namespace server {

void Stopper::stop()
{
    constexpr int rounds = 5;
    for (int round = 0; round < rounds; ++round) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_retired)
                return;
            m_stopped = true;
            if (m_running.empty())
                return;
            // Only statements of this work are in m_running: one ends (and leaves it) under this lock, and no new
            // one is admitted once stopped. Either way the server has signalled the processes when the call
            // returns.
            std::vector<int> processes;
            for (Connection* connection : m_running) {
                connection->m_stopSent = true;
                if (connection->serverProcess() > 0)
                    processes.push_back(connection->serverProcess());
            }
            if (!m_signal || !m_signal(processes)) {
                // Each cancel request waits for the server to start a process of its own for it: they are sent
                // side by side.
                std::vector<std::thread> sending;
                for (Connection* connection : m_running) {
                    if (connection->m_stopCancel)
                        sending.emplace_back([cancel = connection->m_stopCancel] {
                            char error[256];
                            pq().PQcancel(cancel, error, sizeof error);
                        });
                }
                for (std::thread& thread : sending)
                    thread.join();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void Stopper::retire()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_retired = true;
}

bool Stopper::stopped() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopped;
}

bool Connection::stopWith(std::shared_ptr<Stopper> stopper)
{
    bool reusable = true;
    if (m_stopper) {
        // Taken under the lock: a cancel being sent now has reached the server process before this returns.
        const std::lock_guard<std::mutex> lock(m_stopper->m_mutex);
        reusable = !m_stopSent || m_stopLanded;
        m_stopSent = false;
        m_stopLanded = false;
    }
    if (m_stopCancel)
        pq().PQfreeCancel(m_stopCancel);
    m_stopCancel = stopper && m_connection ? pq().PQgetCancel(m_connection) : nullptr;
    m_stopper = std::move(stopper);
    return reusable;
}

std::unique_lock<std::mutex> Connection::admitStatement()
{
    if (!m_stopper)
        return {};
    std::unique_lock<std::mutex> lock(m_stopper->m_mutex);
    if (m_stopper->m_stopped)
        throw platform::Failure(QStringLiteral("canceling statement due to user request"));
    m_stopper->m_running.push_back(this);
    return lock;
}

void Connection::statementEnded()
{
    if (!m_stopper)
        return;
    const std::lock_guard<std::mutex> lock(m_stopper->m_mutex);
    auto& running = m_stopper->m_running;
    running.erase(std::remove(running.begin(), running.end(), this), running.end());
}

void Connection::noteCancelled(const pg_result* result)
{
    // The server's code for a statement ended by a cancel: the cancel sent has been spent.
    const char* state = pq().PQresultErrorField(result, PG_DIAG_SQLSTATE);
    if (m_stopper && state && std::strcmp(state, "57014") == 0) {
        const std::lock_guard<std::mutex> lock(m_stopper->m_mutex);
        if (m_stopSent)
            m_stopLanded = true;
    }
}

} // namespace server
