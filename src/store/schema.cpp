// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/schema.h"

#include "platform/failure.h"
#include "store/connection_setup.h"
#include "store/kept_order.h"
#include "hungarian/hungarian.h"

#include <QFileInfo>
#include <functional>
#include <sqlite3.h>

namespace store {

QStringList schemaStatements()
{
    QStringList statements;
    for (const TableDefinition& table : catalogueTables()) {
        QStringList columns;
        for (const QString& column : table.columns) {
            if (table.name == QLatin1String("eloado") && column == QLatin1String("kod"))
                columns << QStringLiteral("kod INTEGER PRIMARY KEY AUTOINCREMENT");
            else if (column == QLatin1String("eloado_azonosito"))
                columns << QStringLiteral("eloado_azonosito INTEGER");
            else
                columns << column + QStringLiteral(" TEXT");
        }
        statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
    }
    return statements;
}

const QString rowCountsTable = QStringLiteral("mediatar_row_counts");
const QString prefixCountsTable = QStringLiteral("mediatar_prefix_counts");

namespace {

void execute(sqlite3* db, const QString& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw platform::Failure(text);
    }
}

int userVersion(sqlite3* db)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr) != SQLITE_OK)
        throw platform::Failure(QString::fromUtf8(sqlite3_errmsg(db)));
    const int rc = sqlite3_step(statement);
    const int version = rc == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
    sqlite3_finalize(statement);
    if (rc != SQLITE_ROW)
        throw platform::Failure(QString::fromUtf8(sqlite3_errmsg(db)));
    return version;
}

void setUserVersion(sqlite3* db, int version)
{
    execute(db, QStringLiteral("PRAGMA user_version = %1").arg(version));
}

} // namespace

QStringList keptTablesStatements()
{
    QStringList statements;
    // What versions 2 and 3 kept inside the data tables' own schema needed this program's functions to write
    // a row: indexes on the sort key and triggers that counted starts. They go; the kept order replaces them.
    for (const ListedTable& table : listedTables()) {
        statements << QStringLiteral("DROP INDEX IF EXISTS %1_in_order").arg(table.table);
        for (const char* trigger :
             {"counted_insert", "counted_delete", "prefixes_insert", "prefixes_delete", "prefixes_update"})
            statements << QStringLiteral("DROP TRIGGER IF EXISTS %1_%2").arg(table.table, QLatin1String(trigger));
    }
    // Album look-ups by artist and title, and the tracks of one album: plain indexes any program can keep.
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS eloado_by_name ON eloado (ELOADO, ALBUM)");
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS szamok_by_album ON szamok (eloado_azonosito)");
    statements << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (table_name TEXT COLLATE NOCASE PRIMARY KEY, "
                                 "row_count INTEGER NOT NULL)")
                      .arg(rowCountsTable);
    statements << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (table_name TEXT COLLATE NOCASE, prefix TEXT, "
                                 "row_count INTEGER NOT NULL, PRIMARY KEY (table_name, prefix)) WITHOUT ROWID")
                      .arg(prefixCountsTable);
    statements << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (seq INTEGER PRIMARY KEY, table_name TEXT NOT NULL, "
                                 "row INTEGER)")
                      .arg(changesTable);
    statements << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (name TEXT PRIMARY KEY, value)").arg(stateTable);
    return statements;
}

void createTables(sqlite3* db)
{
    execute(db, QStringLiteral("BEGIN"));
    try {
        for (const QString& statement : schemaStatements())
            execute(db, statement);
        setUserVersion(db, 1);
        execute(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

namespace {

// Everything of the current version over the seven tables, inside the caller's transaction. A table that is
// missing, or lacks a column, costs only its own kept order (its lists are then ordered and counted by reading).
void keepOrder(sqlite3* db, const std::function<void(const QString&)>& progress)
{
    for (const QString& statement : keptTablesStatements()) {
        // An index on a missing table is left out alone.
        execute(db, QStringLiteral("SAVEPOINT upgrade_step"));
        const bool done = sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!done)
            execute(db, QStringLiteral("ROLLBACK TO upgrade_step"));
        execute(db, QStringLiteral("RELEASE upgrade_step"));
    }
    for (const ListedTable& table : listedTables()) {
        if (progress)
            progress(table.table);
        execute(db, QStringLiteral("SAVEPOINT upgrade_step"));
        try {
            buildKeptOrder(db, table);
        } catch (const platform::Failure&) {
            execute(db, QStringLiteral("ROLLBACK TO upgrade_step"));
        }
        execute(db, QStringLiteral("RELEASE upgrade_step"));
    }
    execute(db, QStringLiteral("DELETE FROM %1").arg(changesTable));
    recordCheckedSchema(db);
    if (progress)
        progress(QString()); // done
}

} // namespace

void createSchema(sqlite3* db)
{
    execute(db, QStringLiteral("BEGIN"));
    try {
        for (const QString& statement : schemaStatements())
            execute(db, statement);
        keepOrder(db, {});
        setUserVersion(db, schemaVersion);
        execute(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

bool needsUpgrade(sqlite3* db)
{
    return userVersion(db) < schemaVersion;
}

void upgradeSchema(sqlite3* db, const std::function<void(const QString&)>& progress)
{
    if (userVersion(db) >= schemaVersion)
        return;
    // One transaction: a file whose upgrade is interrupted (the program killed, the power gone) stays as it was.
    execute(db, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        // Another copy of the program may have upgraded the file while this one waited for the lock.
        if (userVersion(db) < schemaVersion) {
            keepOrder(db, progress);
            setUserVersion(db, schemaVersion);
        }
        execute(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

namespace {

// Opens a new file at path, which must not exist, and writes into it what write writes.
void createFile(const QString& path, const std::function<void(sqlite3*)>& write)
{
    if (QFileInfo::exists(path))
        throw platform::Failure(QStringLiteral("%1: the file already exists").arg(path));
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        throw platform::Failure(QStringLiteral("%1: %2").arg(path, text));
    }
    try {
        prepareConnection(db);
        write(db);
        // A new file is plain at rest: the rollback journal, no side files.
        sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

} // namespace

void createCatalogueFile(const QString& path)
{
    createFile(path, createSchema);
}

} // namespace store
