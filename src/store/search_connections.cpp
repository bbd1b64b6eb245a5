// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/search_connections.h"

#include "platform/failure.h"
#include "store/kept_text.h"
#include "store/worker_priority.h"

#include <sqlite3.h>

namespace store {

namespace {

// A connection that searches keeps a small cache of pages: the text it reads is read once per search.
sqlite3* openQuiet(const SearchConnections::Open& open)
{
    sqlite3* db = open();
    sqlite3_exec(db, "PRAGMA cache_size = -256", nullptr, nullptr, nullptr);
    // The schema is read with the first statement that names a table.
    sqlite3_exec(db, "SELECT 1 FROM sqlite_schema LIMIT 0", nullptr, nullptr, nullptr);
    return db;
}

} // namespace

SearchConnections::~SearchConnections()
{
    close();
}

void SearchConnections::open(Open open)
{
    close();
    m_open = std::move(open);
    const bool helping = std::thread::hardware_concurrency() > 1;
    m_opening = std::thread([this, helping] {
        try {
            m_searcher = openQuiet(m_open);
            if (helping)
                m_helper = openQuiet(m_open);
        } catch (const platform::Failure&) {
            // Opened again when first asked for; a search goes on without a helper.
        }
    });
}

void SearchConnections::settle()
{
    if (m_opening.joinable())
        m_opening.join();
}

sqlite3* SearchConnections::searcher()
{
    settle();
    if (!m_open)
        throw platform::Failure(QStringLiteral("no catalogue is open"));
    if (!m_searcher)
        m_searcher = openQuiet(m_open);
    return m_searcher;
}

bool SearchConnections::helps()
{
    settle();
    return m_helper != nullptr;
}

void SearchConnections::share(std::shared_ptr<SharedTextReading> reading)
{
    settle();
    if (!m_helper)
        return;
    {
        // A newer search means the older ones are over: a share still waiting, or one the helper still holds,
        // never keeps it from this one.
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (const std::shared_ptr<SharedTextReading>& older : {m_next, m_current})
            if (older)
                older->end();
        m_next = std::move(reading);
    }
    if (!m_helping.joinable())
        m_helping = std::thread([this] { helpOn(); });
    m_wake.notify_one();
}

void SearchConnections::helpOn()
{
    giveWayToTheWindow();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_closing || m_next; });
        if (m_closing)
            return;
        m_current = std::move(m_next);
        const std::shared_ptr<SharedTextReading> reading = m_current;
        lock.unlock();
        reading->help(m_helper);
        lock.lock();
        m_current.reset();
    }
}

void SearchConnections::close()
{
    settle();
    if (m_helping.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_closing = true;
            if (m_current)
                m_current->end();
            m_next.reset();
        }
        m_wake.notify_one();
        m_helping.join();
        m_closing = false;
    }
    sqlite3_close(m_searcher);
    m_searcher = nullptr;
    sqlite3_close(m_helper);
    m_helper = nullptr;
}

} // namespace store
