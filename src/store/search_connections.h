// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct sqlite3;

namespace store {

class SharedTextReading;

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
    // Whether there is a helping connection.
    bool helps();
    // The helping connection takes its share of a search (SharedTextReading::help) on a thread it keeps for
    // that, woken now: a thread that is started instead takes longer to run. The share of an older search is
    // ended: one still waiting is left out, one under way stops after its stretch.
    void share(std::shared_ptr<SharedTextReading> reading);
    void close();

private:
    void settle();
    void helpOn();

    Open m_open;
    std::thread m_opening;
    sqlite3* m_searcher = nullptr;
    sqlite3* m_helper = nullptr;

    std::thread m_helping;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::shared_ptr<SharedTextReading> m_next;    // under m_mutex
    std::shared_ptr<SharedTextReading> m_current; // under m_mutex
    bool m_closing = false;                       // under m_mutex
};

} // namespace store
