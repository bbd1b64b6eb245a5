// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tables.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3;

// The search text kept beside the data, so that a search for any text in any search column reads one compact
// copy of that column instead of every row of the table.
//
// For each listed table the rows are kept in list order (the order table's), cut into stretches of about a
// thousand rows (mediatar_stretches_<table>: the stretch's first sort key and its rows' identities); for each search
// column, a stretch's values are kept folded as the case-blind LIKE folds them, one blob per stretch and column
// (mediatar_text_<table>). A stretch holds every row whose first sort key lies between its own first key and the
// next stretch's; rows of one key are never parted, so a stretch is found from a key alone.
//
// Like the order tables, the text is the program's own: other programs write only the data, and the program
// brings the text up to date when it brings the order up to date. Triggers on the order tables (plain SQL, so
// an older version of the program that updates the order tables leaves the same trace) note the first sort key
// of every entry that comes or goes in mediatar_text_changes; the stretches of those keys are then made anew
// from the order table and the data.

namespace store {

using engine::ListedTable;

extern const QString textChangesTable;

// The search columns of a listed table, as its lists name them (trimmed).
QStringList searchColumnsOf(const ListedTable& table);

// Builds a listed table's kept text afresh from its order table and its rows, with the triggers that note the
// order table's changes. The order table must be up to date. Throws platform::Failure.
void buildKeptText(sqlite3* db, const ListedTable& table);
// Drops what buildKeptText made for a table.
void dropKeptText(sqlite3* db, const ListedTable& table);
// Whether a table's kept text wants work: missing beside a kept order, or stretches waiting to be made anew.
bool keptTextBehind(sqlite3* db, const ListedTable& table);
// The same for any listed table, in one look at the schema.
bool anyKeptTextBehind(sqlite3* db);
// Within the caller's write transaction: makes anew the stretches whose rows changed, or builds the whole text
// when it is missing or its order table no longer notes its changes (building names the table to building).
// Throws platform::Failure.
void bringKeptTextUpToDate(sqlite3* db, const ListedTable& table,
                           const std::function<void(const QString&)>& building = {});
// Within a read: whether a column of a table is searched through its kept text as the data stands now.
bool keptTextServes(sqlite3* db, const QString& table, const QString& column);
// How far a search of the kept text has come, for whoever waits for it: its stretches once they are known, those
// read so far by either connection, and when the reading began (the steady clock's count).
struct TextSearchProgress
{
    std::atomic<std::size_t> stretches{0};
    std::atomic<std::size_t> read{0};
    std::atomic<std::int64_t> startedAt{0};
};
using FoundRows = std::function<void(const std::vector<qint64>&)>;
class SharedTextReading;
// Collects, in list order, the identities of the rows whose column matches a LIKE pattern (case-blind for every
// letter, as the list's own LIKE), reading the kept text; keptTextServes must hold in the caller's read. found
// gets them a stretch at a time. stop is asked before every stretch read on db: when it answers true the
// collecting ends and false is returned. With sharing, the text is shared with a helper connection as the two
// read, when the helper sees the same text as db; the sharing is ended when this returns or throws.
bool searchKeptText(sqlite3* db, SharedTextReading* sharing, const QString& table, const QString& column,
                    const QString& pattern, const FoundRows& found, const std::function<bool()>& stop,
                    TextSearchProgress* progress = nullptr);

// A search's reading of the kept text shared with a helper connection: the search (searchKeptText) takes the
// stretches from the start and hands on their rows at once, the helper (help) takes them from the end, and the
// two meet where they meet.
class SharedTextReading
{
public:
    SharedTextReading(const QString& table, const QString& column, const QString& pattern);
    ~SharedTextReading();
    SharedTextReading(const SharedTextReading&) = delete;
    SharedTextReading& operator=(const SharedTextReading&) = delete;

    // With the helper's own connection, idle: reads stretches as long as the search leaves some, and returns once
    // the search has the rest, has ended, or sees another text. A stretch it cannot read goes back to the search.
    void help(sqlite3* helper);
    // No more stretches are taken; a helper still to come does nothing.
    void end();

private:
    friend bool searchKeptText(sqlite3*, SharedTextReading*, const QString&, const QString&, const QString&,
                               const FoundRows&, const std::function<bool()>&, TextSearchProgress*);
    struct State;
    std::unique_ptr<State> m_state;
};
// Within a write transaction: marks the kept text as changed, so that two connections can tell whether they see
// the same text.
void noteTextChanged(sqlite3* db);

// Where a table's kept text differs from what its order table and rows give (as sentences), for the catalogue
// tool's check; nothing while noted changes wait to be applied.
QStringList keptTextProblems(sqlite3* db, const ListedTable& table);

} // namespace store
