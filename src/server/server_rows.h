// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "server/connection.h"

#include <QString>
#include <QStringList>

// Rows that the catalogue tool writes into a catalogue on a server: many rows to a statement, into a catalogue
// that 'create' made and that holds no rows yet.

namespace server {

// The rows of one table, sent many to a statement with every value bound. One statement fires the counting
// triggers once for all its rows; a row at a time would update the counter row once per row, and inside one
// transaction its chain of versions makes every further update slower.
class RowInserter
{
public:
    // Values come in the order of columns; a number column takes its number as decimal text.
    RowInserter(Connection& connection, const QString& table, const QStringList& columns);
    RowInserter(const RowInserter&) = delete;
    RowInserter& operator=(const RowInserter&) = delete;

    void add(Row row);
    // Sends the rows still held. Call it before anything reads the table.
    void finish();
    qint64 rows() const { return m_rows; }

private:
    QString insertOf(int rowCount) const;
    void sendFull();

    Connection& m_connection;
    QString m_table;
    QStringList m_columns;
    QString m_statementName;
    std::vector<Value> m_values;
    qint64 m_rows = 0;
    bool m_prepared = false;
};

// Makes the catalogue at connection ready for new rows inside the caller's transaction. The database must hold a
// catalogue ('create' makes one) with no rows; with replaceRows its rows are removed instead (the whole change
// stays one transaction with the caller's). Other writers wait until the transaction ends, so that none adds a
// row between this look and the caller's rows. Throws platform::Failure naming what stands in the way.
void prepareForRows(Connection& connection, bool replaceRows);
// The same look without changing or locking anything, for a refusal before long work.
void checkReadyForRows(Connection& connection, bool replaceRows);

// The indexes of the catalogue tables (but those a key or uniqueness rests on) dropped inside the caller's
// transaction, to be built again by rebuild() once the rows are in: building an index over all rows at once is
// several times quicker than keeping the ordered and trigram indexes up row by row. Until the transaction ends,
// other users' reads of these tables wait. When the transaction is rolled back, the indexes come back with it.
class IndexesSetAside
{
public:
    explicit IndexesSetAside(Connection& connection);
    void rebuild();

private:
    Connection& m_connection;
    QStringList m_definitions;
};

// New albums get keys after every key an album or a track holds, so that none joins a track that is there.
void keepAlbumKeysFree(Connection& connection);

// Recounts the rows of every table into the kept counts, in one transaction that holds writers off meanwhile.
// Gives how many kept counts were wrong.
int rebuildKeptCounts(Connection& connection);

} // namespace server
