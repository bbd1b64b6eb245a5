// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <functional>
#include <thread>

struct sqlite3;

namespace store {

// The connections a long search is collected on: one that collects, and one that shares the reading of the kept
// search text where the machine has more than one core. They are opened, and read the file's schema, in the
// background as soon as the file is open: the first search would otherwise wait for them, longer than its own
// reading takes on a hundred thousand rows.
class SearchConnections
{
public:
    // Opens a connection to the file, set up as the engine's own; throws platform::Failure. Called on another
    // thread.
    using Open = std::function<sqlite3*()>;

    SearchConnections() = default;
    ~SearchConnections();
    SearchConnections(const SearchConnections&) = delete;
    SearchConnections& operator=(const SearchConnections&) = delete;

    // Begins opening both in the background (closing any open before).
    void open(Open open);
    // The collecting connection, opened now when the background could not; throws platform::Failure.
    sqlite3* searcher();
    // The helping one, or null when there is none.
    sqlite3* helper();
    void close();

private:
    void settle();

    Open m_open;
    std::thread m_opening;
    sqlite3* m_searcher = nullptr;
    sqlite3* m_helper = nullptr;
};

} // namespace store
