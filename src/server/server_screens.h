// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "server/connection.h"

#include <QStringList>
#include <condition_variable>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

// The later screens of a server list, read on a thread of the list's own through the list's connection and
// snapshot, so that the window never waits for the server while the user scrolls. The window asks for rows and
// gets what is there at once; the rest is read in the background and announced when it comes. A later request
// for another place replaces one not yet served, so a drag across the scroll bar reads only where it stops.
//
// A screen is found by walking the order index from the nearest place known: the list's start or end, or a row
// read before, sought by its order keys (a row comparison on the order index, "(keys) >= (a row's keys)").

namespace server {

// Waits until every reader closed so far has given its connection back (at the end of a session).
void waitForScreenReaders();

class ScreenReader : public std::enable_shared_from_this<ScreenReader>
{
public:
    using Release = std::function<void(std::unique_ptr<Connection>, bool reusable)>;
    using WhenRead = std::function<void(int first, int last)>;

    // The parts of the list's statements: "SELECT <columns> FROM <table>", its filter (or empty) with its bound
    // values, its order and the order reversed, and the order's columns with the row identity last, as the
    // row comparison names them and as the rows' columns name them.
    struct Shape
    {
        QString select;
        QString filter;
        std::vector<Value> values;
        QString order;
        QString reversed;
        QStringList keys;
        QString table;
    };

    static constexpr int pageSize = 64;

    // Takes over the connection, in the list's snapshot, with the first screen read and the count known.
    static std::shared_ptr<ScreenReader> start(std::unique_ptr<Connection> connection, Shape shape, int count,
                                               const QStringList& columns, std::vector<Row> firstScreen,
                                               Release release);
    // Ends the reading: a statement under way is stopped at the server; the connection is given back once it has
    // ended (closed instead when a cancel may not have landed, so it never ends another list's statement).
    void close();
    // Stops go to the server through signal (Stopper::signalThrough) rather than a cancel request of their own.
    void stopThrough(Stopper::Signal signal);
    void setWhenRead(WhenRead whenRead);

    // The row when it is read, else null: never waits. Throws platform::Failure once reading has failed.
    const Row* rowIfRead(int row) const;
    // Asks for the row to be read, unless it is or is on its way.
    void request(int row);
    // The row, read now if need be (waits for the reader). Null past the rows the snapshot holds.
    const Row* rowWaiting(int row);

    // Waits until the reader is idle, for the tests: nothing asked for is still to be read.
    void waitUntilIdle();

    ScreenReader(std::unique_ptr<Connection> connection, Shape shape, int count, const QStringList& columns,
                 std::vector<Row> firstScreen, Release release);
    ~ScreenReader();
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

private:
    struct Known
    {
        int place;
        Row keys;
    };

    void run();
    void startWorker(std::unique_lock<std::mutex>& lock);
    const Row* cached(int row) const;
    void keep(int firstPage, int lastPage, std::vector<Row> rows);
    void keepAnchors(int first, const std::vector<Row>& rows);
    std::optional<Row> keysOf(const Row& row) const;
    std::optional<Known> knownBefore(int place) const;
    std::vector<Row> read(int first, int length);
    void finish();

    std::unique_ptr<Connection> m_connection;
    Release m_release;
    Shape m_shape;
    int m_count = 0;
    std::vector<int> m_keyColumns; // where each key is in a row; empty when the rows lack one
    std::shared_ptr<Stopper> m_stopper = std::make_shared<Stopper>();
    bool m_reusable = true;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, std::vector<Row>> m_pages;
    std::list<int> m_recent;
    std::map<int, Row> m_anchors;                // places whose order keys are known (none of them null)
    std::optional<std::pair<int, int>> m_wanted; // rows asked for and not yet read
    std::optional<int> m_urgent;                 // a page someone waits for
    std::pair<int, int> m_reading{-1, -1};       // pages being read now
    QString m_failure;
    bool m_started = false;
    bool m_closing = false;
    bool m_ended = false;
    bool m_counted = false; // closed while its worker runs: waited for at the session's end
    std::mutex m_telling;   // guards m_whenRead, which is called without m_mutex held
    WhenRead m_whenRead;
};

} // namespace server
