// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/search_connections.h"

#include "platform/failure.h"

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

sqlite3* SearchConnections::helper()
{
    settle();
    return m_helper;
}

void SearchConnections::close()
{
    settle();
    sqlite3_close(m_searcher);
    m_searcher = nullptr;
    sqlite3_close(m_helper);
    m_helper = nullptr;
}

} // namespace store
