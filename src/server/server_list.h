// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "server/connection.h"
#include "server/server_screens.h"
#include "engine/list_plan.h"
#include "engine/row_set.h"

#include <functional>
#include <list>
#include <map>
#include <memory>

// A category list on a server catalogue, read a screenful at a time. Like a list on a file, it shows the
// catalogue as it was when it opened: it holds a read-only snapshot transaction on a connection of its own
// until it is dropped, so no row moves while it is shown, whatever other users write meanwhile.
//
// The count comes from the kept row counts for a whole table and from one indexed count for a search, with the
// first screen; the later screens are read in the background (ScreenReader), so that scrolling never waits for
// the server.

namespace server {

// The rows of a table as the windows read them: null as a null value, whole numbers as numbers, the rest text.
std::vector<QVariantList> rowsOf(const Table& table);

class ServerList : public engine::RowSet
{
public:
    // Gives the connection back when the list is dropped (or, with false, when it proved broken).
    using Release = std::function<void(std::unique_ptr<Connection>, bool reusable)>;

    // Another connection to the same catalogue, for a count run beside the first screen.
    using Acquire = std::function<std::unique_ptr<Connection>()>;

    // Told, on the constructing thread, of the list's first screen when it is read while the count still runs
    // beside it: the rows the list will begin with.
    using WhenFirst = std::function<void(const Table& first)>;

    // Starts the snapshot, counts and reads the first screen. Throws platform::Failure with the server's text.
    // grams: the plan's table has its gram index (gramIndexedTables), through which a containment of one or two
    // letters is counted.
    ServerList(std::unique_ptr<Connection> connection, const engine::ListPlan& plan, Release release, Acquire another,
               bool grams, WhenFirst whenFirst = nullptr);
    ~ServerList() override;
    ServerList(const ServerList&) = delete;
    ServerList& operator=(const ServerList&) = delete;

    int count() const override { return m_count; }
    const QStringList& columnNames() const override { return m_columns; }
    // Waits for a row not read yet.
    QVariant value(int row, int column) const override;
    // Never waits: a row not read yet is asked for and announced through setWhenRead when it comes.
    std::optional<QVariant> shownValue(int row, int column) const override;
    void setWhenRead(std::function<void(int first, int last)> whenRead) override;
    // A read under way when the list is dropped is stopped through signal (Stopper::signalThrough).
    void stopThrough(Stopper::Signal signal);
    // For the tests: waits until what was asked for is read.
    void waitUntilRead() const;

    // The statements a list runs, for the benchmark and the tests: its count, and the select of its rows in
    // order ($1 is the search's bound value when there is a filter).
    struct Statements
    {
        QString count;
        QString rows;
        QString reversed;
        QString firstScreen; // the rows' select limited to the first screen
        // A filter on a column of the order, other than a start entered at its place in the order index: the
        // first screen's rows are picked by their identity and order alone, in one of two ways (see openPicked),
        // then read. The table's kept row count tells which way is shorter.
        QString total;
        QString walkedScreen;  // picked walking the order index
        QString sortedScreen;  // picked sorting every match
        QString boundedScreen; // picked walking the order index's first stretch only: may come short
        bool picked() const { return !walkedScreen.isEmpty(); }
        // Settings (SET LOCAL) under which the count and the sorted screen are read: through the search's index
        // only. Empty when the planner may choose.
        QStringList indexedOnly;
        std::vector<Value> values;
    };
    static Statements statementsFor(const engine::ListPlan& plan, bool grams = false);

private:
    using Row = server::Row;
    static constexpr int pageSize = ScreenReader::pageSize;
    static constexpr int boundedStretch = 20000; // order index entries a first screen is looked for in beside a count

    QVariant valueOf(const Row* row, int column) const;

    std::unique_ptr<Connection> m_connection; // until the reader takes it
    Release m_release;
    WhenFirst m_whenFirst;
    Statements m_statements;
    ScreenReader::Shape m_shape;
    QStringList m_columns;
    std::vector<bool> m_wholeNumbers;
    int m_count = 0;
    std::vector<Row> m_first; // the first screen, until the reader takes it
    std::shared_ptr<ScreenReader> m_reader;
    // Counts the list (into m_count, its time into countMs) on another connection sharing this one's snapshot,
    // while this one reads screen. A screen read before the count ends is told through m_whenFirst when it is
    // the list's first screen: always, or (mayComeShort) only when it is a whole screen.
    Table countBeside(const Acquire& another, const QString& screen, double& countMs, bool mayComeShort);
    void keepFirst(Table first);
    void openFiltered(const Acquire& another);
    void openPicked(const Acquire& another);
};

} // namespace server
