#include "store/schema.h"

#include "platform/failure.h"
#include "store/connection_setup.h"
#include "hungarian/hungarian.h"

#include <QFileInfo>
#include <functional>
#include <sqlite3.h>

namespace store {

const std::vector<TableDefinition>& catalogueTables()
{
    static const std::vector<TableDefinition> tables = {
        {"eloado", {"kod", "ELOADO", "ALBUM"}},
        {"szamok", {"CIM", "IDO", "MERET", "BITRATA", "KOD", "eloado_azonosito"}},
        {"Valogatasok", {"ELOADO", "ALBUM", "IDO", "BITRATA", "MERET", "KOD"}},
        {"DVD_Filmek", {"CIM", "EREDETI_CIM", "Nyelv", "Felirat", "db_DVD", "Hossz", "Stilus"}},
        {"Filmek_videoklippek",
         {"CIM", "MEGJEGYZES", "Nyelv", "Felbontas", "MERET", "Hossz", "Stilus", "Video", "Hang"}},
        {"games", {"NEV", "Megjegyzes", "MERET", "KOD"}},
        {"progs_other", {"Programok", "Megjegyzes", "MERET", "KOD"}},
    };
    return tables;
}

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

struct OrderIndex
{
    QString table;
    QStringList columns; // the columns of the list's ORDER BY, in order
};

// The tables the main window lists, with the columns their lists are ordered by.
const std::vector<OrderIndex>& listedTables()
{
    static const std::vector<OrderIndex> tables = {
        {"eloado", {"ELOADO", "ALBUM"}},  {"Valogatasok", {"ELOADO"}}, {"DVD_Filmek", {"CIM"}},
        {"Filmek_videoklippek", {"CIM"}}, {"games", {"NEV"}},          {"progs_other", {"Programok"}},
    };
    return tables;
}

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

QStringList versionTwoStatements()
{
    QStringList statements;
    // The lists run through these indexes in their own order, so a screenful of a huge table costs a screenful.
    // The columns themselves follow their keys, so a search on them reads the index alone.
    for (const OrderIndex& index : listedTables()) {
        QStringList keys;
        for (const QString& column : index.columns)
            keys << QStringLiteral("%1(%2)").arg(QString::fromLatin1(hungarian::keyFunctionName), column);
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1_in_order ON %1 (%2, %3)")
                          .arg(index.table, keys.join(QStringLiteral(", ")), index.columns.join(QStringLiteral(", ")));
    }
    // Album look-ups by artist and title, and the tracks of one album.
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS eloado_by_name ON eloado (ELOADO, ALBUM)");
    statements << QStringLiteral("CREATE INDEX IF NOT EXISTS szamok_by_album ON szamok (eloado_azonosito)");
    // Row counts kept by triggers, which every writer runs, the stock sqlite3 tool included.
    statements << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (table_name TEXT COLLATE NOCASE PRIMARY KEY, "
                                 "row_count INTEGER NOT NULL)")
                      .arg(rowCountsTable);
    for (const OrderIndex& index : listedTables()) {
        const QString& table = index.table;
        statements << QStringLiteral("INSERT OR REPLACE INTO %1 (table_name, row_count) SELECT '%2', count(*) FROM %2")
                          .arg(rowCountsTable, table);
        statements << QStringLiteral("CREATE TRIGGER IF NOT EXISTS %2_counted_insert AFTER INSERT ON %2 BEGIN "
                                     "UPDATE %1 SET row_count = row_count + 1 WHERE table_name = '%2'; END")
                          .arg(rowCountsTable, table);
        statements << QStringLiteral("CREATE TRIGGER IF NOT EXISTS %2_counted_delete AFTER DELETE ON %2 BEGIN "
                                     "UPDATE %1 SET row_count = row_count - 1 WHERE table_name = '%2'; END")
                          .arg(rowCountsTable, table);
    }
    return statements;
}

QList<QStringList> versionThreeSteps()
{
    QList<QStringList> steps;
    steps << QStringList{QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (table_name TEXT COLLATE NOCASE, prefix TEXT, "
                                        "row_count INTEGER NOT NULL, PRIMARY KEY (table_name, prefix)) WITHOUT ROWID")
                             .arg(prefixCountsTable)};
    // Each row counted under the start of its first order value, folded, of every length up to the longest
    // counted; the empty start (every row with a value) marks the table as counted.
    for (const OrderIndex& index : listedTables()) {
        const QString& table = index.table;
        const QString& column = index.columns.first();
        // The starts of a value as rows of one column, prefix; from names the table when the value is a column.
        const auto prefixesOf = [&](const QString& value, const QString& from) {
            QStringList levels;
            for (int length = 0; length <= countedPrefixLength; ++length)
                levels << QStringLiteral("SELECT %1(%2, %3) AS prefix%4")
                              .arg(QString::fromLatin1(hungarian::prefixFunctionName), value)
                              .arg(length)
                              .arg(from);
            return levels.join(QStringLiteral(" UNION ALL "));
        };
        const QString added =
            QStringLiteral("INSERT INTO %1 (table_name, prefix, row_count) SELECT '%2', prefix, 1 "
                           "FROM (%3) WHERE prefix IS NOT NULL ON CONFLICT (table_name, prefix) DO "
                           "UPDATE SET row_count = row_count + 1;")
                .arg(prefixCountsTable, table, prefixesOf(QStringLiteral("new.") + column, QString()));
        const QString removed =
            QStringLiteral("UPDATE %1 SET row_count = row_count - 1 WHERE table_name = '%2' AND "
                           "prefix IN (%3);")
                .arg(prefixCountsTable, table, prefixesOf(QStringLiteral("old.") + column, QString()));
        steps << QStringList{
            QStringLiteral("DELETE FROM %1 WHERE table_name = '%2'").arg(prefixCountsTable, table),
            QStringLiteral("INSERT INTO %1 (table_name, prefix, row_count) SELECT '%2', prefix, count(*) FROM (%3) "
                           "WHERE prefix IS NOT NULL GROUP BY prefix")
                .arg(prefixCountsTable, table, prefixesOf(column, QStringLiteral(" FROM ") + table)),
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_prefixes_insert AFTER INSERT ON %1 BEGIN %2 END")
                .arg(table, added),
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_prefixes_delete AFTER DELETE ON %1 BEGIN %2 END")
                .arg(table, removed),
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_prefixes_update AFTER UPDATE OF %2 ON %1 BEGIN %3 %4 END")
                .arg(table, column, removed, added)};
    }
    return steps;
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

void createSchema(sqlite3* db)
{
    execute(db, QStringLiteral("BEGIN"));
    try {
        for (const QString& statement : schemaStatements() + versionTwoStatements())
            execute(db, statement);
        for (const QStringList& step : versionThreeSteps()) {
            for (const QString& statement : step)
                execute(db, statement);
        }
        setUserVersion(db, schemaVersion);
        execute(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

namespace {

// Runs the statements of one upgrade step all or none; a step the file cannot take is left out.
void applyStep(sqlite3* db, const QStringList& step)
{
    execute(db, QStringLiteral("SAVEPOINT upgrade_step"));
    bool done = true;
    for (const QString& statement : step)
        done = done && sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!done)
        execute(db, QStringLiteral("ROLLBACK TO upgrade_step"));
    execute(db, QStringLiteral("RELEASE upgrade_step"));
}

} // namespace

void upgradeSchema(sqlite3* db)
{
    if (userVersion(db) >= schemaVersion)
        return;
    execute(db, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        // Another copy of the program may have upgraded the file while this one waited for the lock.
        // A table that is missing, or lacks a column, costs only its own step: its index or its counts (its
        // list is then counted by reading it).
        if (userVersion(db) < 2) {
            for (const QString& statement : versionTwoStatements())
                applyStep(db, {statement});
            setUserVersion(db, 2);
        }
        if (userVersion(db) < 3) {
            for (const QStringList& step : versionThreeSteps())
                applyStep(db, step);
            setUserVersion(db, 3);
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

void createTablesFile(const QString& path)
{
    createFile(path, createTables);
}

} // namespace store
