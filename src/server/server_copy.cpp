// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_copy.h"

#include "catalogue_tool/catalogue_file.h"
#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_rows.h"
#include "server/server_schema.h"
#include "store/connection_setup.h"
#include "store/new_catalogue_file.h"
#include "store/schema.h"

#include <QFile>
#include <sqlite3.h>

namespace server {

namespace {

QString sqliteError(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

qint64 fileCount(sqlite3* db, const QString& table)
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = QStringLiteral("SELECT count(*) FROM %1").arg(table).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        throw platform::Failure(sqliteError(db));
    const qint64 count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return count;
}

void execute(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw platform::Failure(sqliteError(db));
}

} // namespace

namespace {

// Every row of the file into the server's tables, in the caller's transactions on both, compared by count.
CopyCounts copyRowsFromFile(const catalogue_tool::CatalogueFile& file, Connection& connection)
{
    CopyCounts counts;
    for (const store::TableDefinition& table : store::catalogueTables()) {
        const int width = static_cast<int>(table.columns.size());
        RowInserter insert(connection, table.name, table.columns);
        // In rowid order, so that the rows keep their order of entry in their new identities.
        catalogue_tool::Query rows(file, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                             .arg(table.columns.join(QStringLiteral(", ")), table.name));
        while (rows.next()) {
            Row row;
            row.reserve(static_cast<size_t>(width));
            for (int c = 0; c < width; ++c) {
                if (sqlite3_column_type(rows.get(), c) == SQLITE_NULL)
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(
                        QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(rows.get(), c)),
                                          sqlite3_column_bytes(rows.get(), c)));
            }
            insert.add(std::move(row));
        }
        insert.finish();
        const qint64 copied = insert.rows();
        const qint64 source = fileCount(file.handle(), table.name);
        const qint64 target = countedRows(connection, table.name);
        const qint64 kept = keptRowCount(connection, table.name);
        if (copied != source || target != source || kept != source)
            throw platform::Failure(QStringLiteral("the table %1 has %2 rows in the file but %3 on the server (kept "
                                                   "count %4); nothing was copied")
                                        .arg(table.name)
                                        .arg(source)
                                        .arg(target)
                                        .arg(kept));
        counts.rows += copied;
    }
    keepAlbumKeysFree(connection);
    return counts;
}

// Opens the catalogue file at path and runs body on it and on a connection to uri, each in one transaction: the
// file is read at one moment, so that a program writing it meanwhile cannot make the counts differ, and the
// server keeps all or nothing.
template <typename Body> CopyCounts fromFileToServer(const QString& path, const QString& uri, Body&& body)
{
    const catalogue_tool::CatalogueFile file(path);
    for (const store::TableDefinition& table : store::catalogueTables())
        if (!file.hasTable(table.name))
            throw platform::Failure(
                QStringLiteral("%1: the table %2 is missing; nothing was copied").arg(path, table.name));
    Connection connection(uri);
    CopyCounts counts;
    execute(file.handle(), "BEGIN");
    try {
        inTransaction(connection, QStringLiteral("BEGIN"), [&] {
            body(connection);
            IndexesSetAside indexes(connection);
            counts = copyRowsFromFile(file, connection);
            indexes.rebuild();
        });
    } catch (...) {
        sqlite3_exec(file.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    sqlite3_exec(file.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    // Statistics for the planner and the map of pages whose rows every transaction sees, so that the first
    // lists are served by the indexes alone, without waiting for the server's own maintenance. The rows are
    // already there: a role that may not vacuum is only warned, and a failure here loses nothing.
    for (const store::TableDefinition& table : store::catalogueTables()) {
        try {
            connection.run(QStringLiteral("VACUUM (ANALYZE) %1").arg(table.name.toLower()));
        } catch (const platform::Failure&) {
        }
    }
    return counts;
}

} // namespace

CopyCounts copyFileToServer(const QString& path, const QString& uri)
{
    return fromFileToServer(path, uri, [](Connection& connection) {
        // An empty database gets the catalogue's tables first; a catalogue that `create` made, still without
        // rows, is filled as it is. A catalogue with rows, or only part of one, is refused.
        bool anyTable =
            !connection.single(QStringLiteral("SELECT to_regclass($1)"), {QString::fromLatin1(rowCountsTable)})
                 .isEmpty();
        for (const store::TableDefinition& table : store::catalogueTables())
            anyTable = anyTable ||
                       !connection.single(QStringLiteral("SELECT to_regclass($1)"), {table.name.toLower()}).isEmpty();
        if (anyTable)
            prepareForRows(connection, false);
        else
            writeServerSchema(connection);
    });
}

CopyCounts fillServerCatalogue(const QString& path, const QString& uri, bool replaceRows)
{
    return fromFileToServer(path, uri, [&](Connection& connection) { prepareForRows(connection, replaceRows); });
}

namespace {

void copyRowsInto(Connection& connection, sqlite3* db, CopyCounts& counts)
{
    for (const store::TableDefinition& table : store::catalogueTables()) {
        const QString columns = table.columns.join(QStringLiteral(", "));
        const int width = static_cast<int>(table.columns.size());
        QStringList marks;
        for (int i = 0; i < width; ++i)
            marks << QStringLiteral("?");
        sqlite3_stmt* insert = nullptr;
        const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(table.name, columns, marks.join(QStringLiteral(", ")))
                                   .toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr) != SQLITE_OK)
            throw platform::Failure(sqliteError(db));
        // Rows are read in their identity order, so that the file keeps their order of entry, and a batch at a
        // time through a cursor, so that a catalogue of millions of rows never sits in memory whole.
        connection.run(QStringLiteral("DECLARE mediatar_copy NO SCROLL CURSOR FOR SELECT %1 FROM %2 ORDER BY %3")
                           .arg(columns, table.name.toLower(), identityColumn(table.name)));
        qint64 source = 0;
        try {
            for (;;) {
                const std::vector<Row> rows = connection.run(QStringLiteral("FETCH FORWARD 5000 FROM mediatar_copy"));
                if (rows.empty())
                    break;
                source += static_cast<qint64>(rows.size());
                for (const Row& row : rows) {
                    for (int c = 0; c < width; ++c) {
                        const Value& value = row.at(static_cast<size_t>(c));
                        if (!value) {
                            sqlite3_bind_null(insert, c + 1);
                        } else if (table.columns.at(c) == QLatin1String("kod") &&
                                   table.name == QLatin1String("eloado")) {
                            sqlite3_bind_int64(insert, c + 1, value->toLongLong());
                        } else if (table.columns.at(c) == QLatin1String("eloado_azonosito")) {
                            sqlite3_bind_int64(insert, c + 1, value->toLongLong());
                        } else {
                            const QByteArray text = value->toUtf8();
                            sqlite3_bind_text(insert, c + 1, text.constData(), text.size(), SQLITE_TRANSIENT);
                        }
                    }
                    if (sqlite3_step(insert) != SQLITE_DONE)
                        throw platform::Failure(sqliteError(db));
                    sqlite3_reset(insert);
                }
            }
            connection.run(QStringLiteral("CLOSE mediatar_copy"));
        } catch (...) {
            sqlite3_finalize(insert);
            throw;
        }
        sqlite3_finalize(insert);
        const qint64 target = fileCount(db, table.name);
        if (target != source)
            throw platform::Failure(
                QStringLiteral("the table %1 has %2 rows on the server but %3 in the file; nothing was copied")
                    .arg(table.name)
                    .arg(source)
                    .arg(target));
        counts.rows += source;
    }
}

} // namespace

CopyCounts copyServerToFile(const QString& uri, const QString& path, const FileCopyOptions& options)
{
    // A file that is there is never written; the new one takes its name only once it is complete.
    store::checkNewTarget(path, options.replaceExisting);
    Connection connection(uri);
    store::NewCatalogueFile file(path, options.purpose);
    CopyCounts counts;
    sqlite3* db = nullptr;
    try {
        if (sqlite3_open_v2(file.path().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw platform::Failure(QStringLiteral("%1: %2").arg(path, sqliteError(db)));
        store::prepareConnection(db);
        // The seven tables alone first: a bulk load runs faster before the kept order exists.
        store::createTables(db);
        execute(db, "BEGIN");
        // One snapshot of the server for every table, so that rows written meanwhile cannot split the copy.
        inTransaction(connection, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"),
                      [&] { copyRowsInto(connection, db, counts); });
        execute(db, "COMMIT");
        store::upgradeSchema(db);
        sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    if (options.verify)
        options.verify(file.path());
    file.commit();
    return counts;
}

} // namespace server
