// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/list_plan.h"
#include "engine/row_set.h"
#include "store/kept_text.h"
#include "store/row_identities.h"

#include <QStringList>
#include <QVariant>
#include <functional>
#include <list>
#include <map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The file engine's category lists.

namespace store {

using engine::ListPlan;
using engine::LoadedRowSet;
using engine::RowSet;

// A category list of any length, read a screenful at a time. It holds a read transaction on its connection
// from its creation to its destruction: the list shows the catalogue as it was when it opened, so no row moves
// while it is shown, whatever other programs write meanwhile. The connection must not write until it is gone.
//
// A whole table is counted from the kept row counts and a screen is found by its place along the order index,
// counted from the nearer end or from a place already seen nearby. A short prefix search goes the same way
// within its stretch of the index, counted from the kept prefix counts. Any other filtered list is collected
// first: the identities of its rows, in order, in one pass over the stretch of the index (or the table) that
// the filter needs; its screens are then read by identity.
class PagedRowSet : public RowSet
{
public:
    // Starts the read transaction and prepares the statements; counts a whole table or a short prefix at once.
    // Throws platform::Failure with the engine's text (no such table or column, not a database...).
    // With trustKeptCounts false the counts are read from the rows even where the kept order serves.
    PagedRowSet(sqlite3* db, const engine::ListPlan& plan, bool trustKeptCounts = true,
                std::function<void()> whenCountWrong = {});
    ~PagedRowSet() override;
    PagedRowSet(const PagedRowSet&) = delete;
    PagedRowSet& operator=(const PagedRowSet&) = delete;

    // True once the count is exact: at once for a whole table, after the rows are shown complete otherwise.
    bool complete() const { return m_complete; }
    // Read through the catalogue's kept order (false: ordered and counted from the data, slower).
    bool readsKeptOrder() const { return m_keptOrder; }
    // A screen came back shorter than the count says: the kept count is wrong and wants recounting.
    bool countFoundWrong() const { return m_countWrong; }
    // Collects a filtered list's rows in order from its start, giving found the rows' identities a few at a time. stop
    // is asked after each row and every few thousand steps of the engine; when it answers true the collecting ends and
    // false is returned. May run on another thread than the one reading screens: it uses a statement of its
    // own and nothing else of the row set.
    bool collect(const FoundRows& found, const std::function<bool()>& stop) const;
    // The same on another connection to the same catalogue, so that reading screens never waits for the
    // collecting (the list's screens are read by identity, so its rows keep their places either way). A search
    // of the kept text is shared with a helper through sharing, when given (see sharedReading). progress, when
    // given, follows a search of the kept text (a search of the rows leaves it as it is).
    bool collectOn(sqlite3* db, SharedTextReading* sharing, const FoundRows& found, const std::function<bool()>& stop,
                   TextSearchProgress* progress = nullptr) const;
    // The reading a helper connection may share, for a list collected from the kept search text; else null.
    std::shared_ptr<SharedTextReading> sharedReading() const;
    // At most how many rows a filter can find (the table's kept row count), or 0 when it is not known.
    std::size_t mostRows() const { return m_mostRows; }
    // Shows these rows of a filtered list: all of them (complete) or the first part found so far.
    void show(RowIdentities identities, bool complete);

    int count() const override { return m_count; }
    const QStringList& columnNames() const override { return m_columns; }
    QVariant value(int row, int column) const override;

private:
    using Row = QVariantList;
    static constexpr int pageSize = 64;
    static constexpr std::size_t cachedPages = 48;

    // The statements' parts, over the kept order or over the data itself.
    struct Shape
    {
        QString from;        // where the list's identities are read
        QString identity;    // the identity there
        QString key;         // the first order key
        QString firstValue;  // the first order value
        QString condition;   // the filter, empty for the whole table
        QVariantList values; // its bound values
        QStringList order;   // the ORDER BY terms, the identity last
        QString where() const { return condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition; }
        QString orderBy(bool descending = false) const;
    };
    static Shape shapeOf(const engine::ListPlan& plan, bool keptOrder);

    void release();
    void countWholeTable();
    bool countFromPrefixCounts();
    void prepareScreensByPlace();
    int bindFilter(sqlite3_stmt* statement) const;
    int rowsWithoutKey() const;
    QString collectSql() const;
    sqlite3_stmt* prepare(const QString& sql) const;
    [[noreturn]] void fail() const;
    const std::vector<Row>& page(int index) const;
    std::vector<qint64> identitiesOfPage(int first, int length) const;
    std::vector<qint64> stepAll(sqlite3_stmt* statement) const;
    void remember(int position, qint64 identity) const;
    std::vector<Row> rowsOf(const std::vector<qint64>& identities) const;

    sqlite3* m_db;
    engine::ListPlan m_plan;
    QString m_keptText; // the filter's column, when the catalogue's kept search text answers the filter
    std::size_t m_mostRows = 0;
    bool m_keptOrder = false; // read through the catalogue's kept order and counts
    Shape m_shape;
    bool m_ownsTransaction = false;
    bool m_complete = false;
    int m_count = 0;
    QStringList m_columns;
    bool m_byIdentity = false; // m_identities holds every shown row's identity in order
    RowIdentities m_identities;
    sqlite3_stmt* m_collect = nullptr; // the identities of the list, in order
    sqlite3_stmt* m_rowsByIdentity = nullptr;
    sqlite3_stmt* m_forward = nullptr;      // identities at a place of the order, counted from the start
    sqlite3_stmt* m_backward = nullptr;     // ... and from the end, so the last screen is as quick as the first
    sqlite3_stmt* m_fromAnchor = nullptr;   // ... and from where the rows of a key start
    sqlite3_stmt* m_beforeAnchor = nullptr; // ... and back from there
    sqlite3_stmt* m_keyOf = nullptr;        // a row's first order key
    sqlite3_stmt* m_sameKey = nullptr;      // the rows with one first order key, in order
    // Where the rows of a first order key start, for keys seen on screens read so far: places in the order
    // that a seek finds.
    mutable std::map<int, QByteArray> m_anchors;
    mutable bool m_countWrong = false;
    bool m_trustKeptCounts = true;
    std::function<void()> m_whenCountWrong;
    void countWrong() const;
    mutable int m_withoutKey = -1; // rows whose first order value is NULL, which come first; -1: not counted yet
    mutable std::map<int, std::vector<Row>> m_pages;
    mutable std::list<int> m_recent; // page indexes, most recently read first
};

} // namespace store
