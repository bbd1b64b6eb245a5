// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/kept_order.h"

#include "hungarian/hungarian.h"
#include "platform/failure.h"
#include "store/connection_setup.h"
#include "store/kept_text.h"
#include "store/schema.h"

#include <QVariant>
#include <map>
#include <sqlite3.h>

namespace store {

const QString changesTable = QStringLiteral("mediatar_changes");
const QString stateTable = QStringLiteral("mediatar_state");

namespace {

// How long bringing the kept order up to date waits for another connection's lock (milliseconds).
constexpr int briefLockWait = 100;

// The schema cookie the kept order was last checked against, under this name in the state table.
const QString checkedSchemaName = QStringLiteral("checked_schema");

void execute(sqlite3* db, const QString& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw platform::Failure(text);
    }
}

// The rows of a query, each as its values; values bound in order. Throws with the engine's text.
std::vector<QVariantList> query(sqlite3* db, const QString& sql, const QVariantList& values = {})
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        throw platform::Failure(text);
    }
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray text = values.at(i).toString().toUtf8();
        sqlite3_bind_text(statement, i + 1, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    std::vector<QVariantList> rows;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        QVariantList row;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            if (sqlite3_column_type(statement, i) == SQLITE_NULL)
                row << QVariant();
            else if (sqlite3_column_type(statement, i) == SQLITE_INTEGER)
                row << QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement, i)));
            else
                row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
        }
        rows.push_back(row);
    }
    const QString text = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        throw platform::Failure(text);
    return rows;
}

qint64 number(sqlite3* db, const QString& sql, const QVariantList& values = {})
{
    const std::vector<QVariantList> rows = query(db, sql, values);
    return rows.empty() || rows.front().isEmpty() ? 0 : rows.front().front().toLongLong();
}

QString orderIndexOf(const QString& table)
{
    return orderTableOf(table) + QStringLiteral("_in_order");
}

QStringList triggersOf(const QString& table)
{
    return {QStringLiteral("mediatar_%1_inserted").arg(table), QStringLiteral("mediatar_%1_deleted").arg(table),
            QStringLiteral("mediatar_%1_updated").arg(table)};
}

// The order table's key and value columns of the listed table's order columns: k1, v1, k2, v2...
QStringList keyColumns(const ListedTable& table)
{
    QStringList keys;
    for (int i = 1; i <= table.columns.size(); ++i)
        keys << QStringLiteral("k%1").arg(i);
    return keys;
}

QStringList valueColumns(const ListedTable& table)
{
    QStringList values;
    for (int i = 1; i <= table.columns.size(); ++i)
        values << QStringLiteral("v%1").arg(i);
    return values;
}

// The starts (0 to countedPrefixLength characters, folded) of value, one row each in the column prefix; from
// follows each select (" FROM ... WHERE ...").
QString prefixesOf(const QString& value, const QString& from)
{
    QStringList levels;
    for (int length = 0; length <= countedPrefixLength; ++length)
        levels << QStringLiteral("SELECT %1(%2, %3) AS prefix%4")
                      .arg(QString::fromLatin1(hungarian::prefixFunctionName), value)
                      .arg(length)
                      .arg(from);
    return levels.join(QStringLiteral(" UNION ALL "));
}

// Adds (sign +) or takes away (sign -) the starts of the first order values of the order table's rows that
// from selects.
void adjustPrefixCounts(sqlite3* db, const ListedTable& table, const QString& from, char sign)
{
    execute(db, QStringLiteral("INSERT INTO %1 (table_name, prefix, row_count) SELECT '%2', prefix, %3count(*) "
                               "FROM (%4) WHERE prefix IS NOT NULL GROUP BY prefix ON CONFLICT (table_name, prefix) "
                               "DO UPDATE SET row_count = row_count + excluded.row_count")
                    .arg(prefixCountsTable, table.table, QString(QLatin1Char(sign)), prefixesOf("v1", from)));
}

void countFromOrderTable(sqlite3* db, const ListedTable& table)
{
    const QString order = orderTableOf(table.table);
    execute(db, QStringLiteral("DELETE FROM %1 WHERE table_name = '%2'").arg(prefixCountsTable, table.table));
    adjustPrefixCounts(db, table, QStringLiteral(" FROM ") + order, '+');
    execute(db, QStringLiteral("INSERT OR REPLACE INTO %1 (table_name, row_count) SELECT '%2', count(*) FROM %3")
                    .arg(rowCountsTable, table.table, order));
}

// Brings one table's order and counts up to its logged changes: the old entries of the changed rows go, with
// their counts, and the rows as they are now come in.
void applyChanges(sqlite3* db, const ListedTable& table)
{
    const QString order = orderTableOf(table.table);
    const QString changed = QStringLiteral(" FROM %1 WHERE row IN (SELECT row FROM %2 WHERE table_name = '%3')")
                                .arg(order, changesTable, table.table);
    const QString rowCount = QStringLiteral("UPDATE %1 SET row_count = row_count %2 (SELECT count(*)%3) "
                                            "WHERE table_name = '%4'");
    adjustPrefixCounts(db, table, changed, '-');
    execute(db, rowCount.arg(rowCountsTable, QStringLiteral("-"), changed, table.table));
    execute(db, QStringLiteral("DELETE") + changed);
    QStringList computed;
    for (const QString& column : table.columns)
        computed << QStringLiteral("%1(%2), %2").arg(QString::fromLatin1(hungarian::keyFunctionName), column);
    QStringList stored;
    for (int i = 0; i < table.columns.size(); ++i)
        stored << keyColumns(table).at(i) << valueColumns(table).at(i);
    execute(db, QStringLiteral("INSERT INTO %1 (row, %2) SELECT rowid, %3 FROM %4 WHERE rowid IN (SELECT row FROM %5 "
                               "WHERE table_name = '%4')")
                    .arg(order, stored.join(QStringLiteral(", ")), computed.join(QStringLiteral(", ")), table.table,
                         changesTable));
    execute(db, rowCount.arg(rowCountsTable, QStringLiteral("+"), changed, table.table));
    adjustPrefixCounts(db, table, changed, '+');
    execute(
        db,
        QStringLiteral("DELETE FROM %1 WHERE table_name = '%2' AND row_count = 0").arg(prefixCountsTable, table.table));
}

// Whether a table's kept row count is its number of rows.
bool keptCountIsRowCount(sqlite3* db, const ListedTable& table)
{
    return number(db,
                  QStringLiteral("SELECT (SELECT row_count FROM %1 WHERE table_name = ?) IS (SELECT count(*) "
                                 "FROM %2)")
                      .arg(rowCountsTable, table.table),
                  {table.table}) != 0;
}

bool hasSchemaObject(sqlite3* db, const QString& type, const QString& name)
{
    return number(db, QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = ? AND name = ?"), {type, name}) >
           0;
}

// A subquery of no rows.
const QString noRows = QStringLiteral("SELECT NULL WHERE 0");

// The rows of a table whose changes are logged and wait to be applied, as a subquery; none when the log is gone.
QString pendingRows(sqlite3* db, const ListedTable& table)
{
    if (!hasSchemaObject(db, QStringLiteral("table"), changesTable))
        return noRows;
    return QStringLiteral("SELECT row FROM %1 WHERE table_name = '%2' AND row IS NOT NULL")
        .arg(changesTable, table.table);
}

// Whether a table's kept order is whole (its order table, index and triggers are there) and holds exactly the
// data's rows with their order values; with pending (a subquery of rowids), as it will once the changes of those
// rows are applied: their entries are then made anew from the rows. Reads every row once.
bool orderMatchesData(sqlite3* db, const ListedTable& table, const QString& pending = noRows)
{
    if (!hasSchemaObject(db, QStringLiteral("index"), orderIndexOf(table.table)))
        return false;
    for (const QString& trigger : triggersOf(table.table)) {
        if (!hasSchemaObject(db, QStringLiteral("trigger"), trigger))
            return false;
    }
    QStringList same;
    for (int i = 0; i < table.columns.size(); ++i)
        same << QStringLiteral("o.%1 IS t.%2").arg(valueColumns(table).at(i), table.columns.at(i));
    try {
        // Each entry compared by its values, not only counted: an entry with a changed value is wrong.
        const std::vector<QVariantList> counts =
            query(db, QStringLiteral("SELECT (SELECT count(*) FROM %1), (SELECT count(*) FROM %2 WHERE row NOT IN "
                                     "(%4)) + (SELECT count(*) FROM %1 WHERE rowid IN (%4)), (SELECT count(*) FROM %1 "
                                     "AS t JOIN %2 AS o ON o.row = t.rowid WHERE t.rowid NOT IN (%4) AND %3) + (SELECT "
                                     "count(*) FROM %1 WHERE rowid IN (%4))")
                          .arg(table.table, orderTableOf(table.table), same.join(QStringLiteral(" AND ")), pending));
        const QVariantList& row = counts.front();
        return row.at(0) == row.at(1) && row.at(1) == row.at(2);
    } catch (const platform::Failure&) {
        return false;
    }
}

// Runs work inside a savepoint: all of it or none.
bool inSavepoint(sqlite3* db, const std::function<void()>& work)
{
    execute(db, QStringLiteral("SAVEPOINT kept_order_step"));
    try {
        work();
    } catch (const platform::Failure&) {
        execute(db, QStringLiteral("ROLLBACK TO kept_order_step"));
        execute(db, QStringLiteral("RELEASE kept_order_step"));
        return false;
    }
    execute(db, QStringLiteral("RELEASE kept_order_step"));
    return true;
}

// Rebuilds a table's kept order, or drops it when the table cannot take it any more.
void rebuild(sqlite3* db, const ListedTable& table)
{
    if (!inSavepoint(db, [&] { buildKeptOrder(db, table); }))
        inSavepoint(db, [&] { dropKeptOrder(db, table); });
}

// Checks every table against its kept order after a change of the schema; those that differ are rebuilt.
void reconcile(sqlite3* db, const std::function<void(const QString&)>& progress)
{
    // The program's own tables may have been dropped as well: made anew, and then counted anew.
    const bool countsLost = !hasSchemaObject(db, QStringLiteral("table"), rowCountsTable) ||
                            !hasSchemaObject(db, QStringLiteral("table"), prefixCountsTable);
    for (const QString& statement : keptTablesStatements())
        inSavepoint(db, [&] { execute(db, statement); });
    bool rebuilt = false;
    for (const ListedTable& table : listedTables()) {
        if (orderMatchesData(db, table)) {
            if (countsLost)
                countFromOrderTable(db, table);
            // The search text holds more columns than the order, changed meanwhile without the order table
            // noticing: it is checked against the rows as well, and built anew where it differs.
            inSavepoint(db, [&] {
                bringKeptTextUpToDate(db, table);
                if (!keptTextProblems(db, table).isEmpty()) {
                    if (progress)
                        progress(table.table);
                    rebuilt = true;
                    buildKeptText(db, table);
                }
            });
            continue;
        }
        if (progress)
            progress(table.table);
        rebuild(db, table);
        rebuilt = true;
    }
    if (progress && rebuilt)
        progress(QString()); // done
}

// The program's own tables beside the order tables that are missing from the file.
QStringList missingProgramTables(sqlite3* db)
{
    QStringList missing;
    for (const QString& table : {rowCountsTable, prefixCountsTable, changesTable, stateTable}) {
        if (!hasSchemaObject(db, QStringLiteral("table"), table))
            missing << table;
    }
    return missing;
}

bool schemaChanged(sqlite3* db)
{
    // Without the state table nothing tells which schema the kept order was checked against.
    if (!hasSchemaObject(db, QStringLiteral("table"), stateTable))
        return true;
    return number(db,
                  QStringLiteral("SELECT (SELECT value FROM %1 WHERE name = ?) IS NOT (SELECT schema_version FROM "
                                 "pragma_schema_version)")
                      .arg(stateTable),
                  {checkedSchemaName}) != 0;
}

} // namespace

QString orderTableOf(const QString& table)
{
    const ListedTable* listed = listedTable(table);
    return QStringLiteral("mediatar_order_") + (listed ? listed->table : table);
}

void buildKeptOrder(sqlite3* db, const ListedTable& table)
{
    const QString order = orderTableOf(table.table);
    QStringList columns{QStringLiteral("row INTEGER PRIMARY KEY")};
    QStringList stored;
    QStringList computed;
    for (int i = 0; i < table.columns.size(); ++i) {
        // The value column has no type, so it holds each value as the data holds it, number or text.
        columns << keyColumns(table).at(i) + QStringLiteral(" BLOB") << valueColumns(table).at(i);
        stored << keyColumns(table).at(i) << valueColumns(table).at(i);
        computed
            << QStringLiteral("%1(%2), %2").arg(QString::fromLatin1(hungarian::keyFunctionName), table.columns.at(i));
    }
    execute(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(order));
    execute(db, QStringLiteral("CREATE TABLE %1 (%2)").arg(order, columns.join(QStringLiteral(", "))));
    execute(db, QStringLiteral("INSERT INTO %1 (row, %2) SELECT rowid, %3 FROM %4")
                    .arg(order, stored.join(QStringLiteral(", ")), computed.join(QStringLiteral(", ")), table.table));
    // The lists run along this index in their own order, so a screenful of a huge table costs a screenful; the
    // values follow their keys, so a search on them reads the index alone.
    execute(db, QStringLiteral("CREATE INDEX %1 ON %2 (%3, %4, row)")
                    .arg(orderIndexOf(table.table), order, keyColumns(table).join(QStringLiteral(", ")),
                         valueColumns(table).join(QStringLiteral(", "))));
    countFromOrderTable(db, table);
    execute(db, QStringLiteral("DELETE FROM %1 WHERE table_name = '%2'").arg(changesTable, table.table));
    // Plain SQL, which every program that writes to the file runs without knowing this one.
    const QStringList triggers = triggersOf(table.table);
    const QString log = QStringLiteral("INSERT INTO %1 (table_name, row) VALUES ('%2', %3.rowid);");
    execute(db, QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN %3 END")
                    .arg(triggers.at(0), table.table, log.arg(changesTable, table.table, QStringLiteral("new"))));
    execute(db, QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN %3 END")
                    .arg(triggers.at(1), table.table, log.arg(changesTable, table.table, QStringLiteral("old"))));
    execute(db, QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE ON %2 BEGIN %3 INSERT INTO %4 "
                               "(table_name, row) SELECT '%2', new.rowid WHERE new.rowid IS NOT old.rowid; END")
                    .arg(triggers.at(2), table.table, log.arg(changesTable, table.table, QStringLiteral("old")),
                         changesTable));
    buildKeptText(db, table);
}

void dropKeptOrder(sqlite3* db, const ListedTable& table)
{
    dropKeptText(db, table);
    for (const QString& trigger : triggersOf(table.table))
        execute(db, QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(trigger));
    execute(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(orderTableOf(table.table)));
    execute(db, QStringLiteral("DELETE FROM %1 WHERE table_name = '%2'").arg(prefixCountsTable, table.table));
    execute(db, QStringLiteral("DELETE FROM %1 WHERE table_name = '%2'").arg(rowCountsTable, table.table));
}

void recordCheckedSchema(sqlite3* db)
{
    execute(db, QStringLiteral("INSERT OR REPLACE INTO %1 (name, value) SELECT '%2', schema_version FROM "
                               "pragma_schema_version")
                    .arg(stateTable, checkedSchemaName));
}

bool keptOrderBehind(sqlite3* db)
{
    try {
        // An older file gets its kept order from the upgrade.
        if (number(db, QStringLiteral("PRAGMA user_version")) < schemaVersion)
            return false;
        // A program table dropped by another tool: made anew, and the kept order checked against the data.
        if (!missingProgramTables(db).isEmpty())
            return true;
        return number(db, QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(changesTable)) != 0 ||
               schemaChanged(db) || anyKeptTextBehind(db);
    } catch (const platform::Failure&) {
        return false; // a file that keeps no order
    }
}

bool keptOrderServes(sqlite3* db, const QString& table)
{
    try {
        return number(db, QStringLiteral("SELECT NOT EXISTS (SELECT 1 FROM %1)").arg(changesTable)) != 0 &&
               !schemaChanged(db) && hasSchemaObject(db, QStringLiteral("index"), orderIndexOf(table));
    } catch (const platform::Failure&) {
        return false;
    }
}

bool bringKeptOrderUpToDate(sqlite3* db, const std::function<void(const QString&)>& progress)
{
    if (!keptOrderBehind(db))
        return true;
    // Another program holding the write lock is not waited for: it may hold it for minutes, and the lists
    // read the data meanwhile. Nothing is read before the lock is had, so no snapshot is held while waiting
    // (another writer could never commit past it).
    const BriefWait brief(db, briefLockWait);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    bool rebuilt = false;
    try {
        // Another copy of the program may have done it while this one waited for the lock.
        if (schemaChanged(db) || !missingProgramTables(db).isEmpty()) {
            reconcile(db, progress);
        } else {
            for (const ListedTable& table : listedTables()) {
                if (!hasSchemaObject(db, QStringLiteral("table"), orderTableOf(table.table)) ||
                    number(db, QStringLiteral("SELECT EXISTS (%1)").arg(pendingRows(db, table))) == 0)
                    continue;
                applyChanges(db, table);
                // A row can go without its delete being logged: INSERT OR REPLACE under a UNIQUE index deletes
                // the row it replaces without running delete triggers. Its entry would be listed as an empty
                // row; the count shows it, and the table's kept order is built anew.
                if (!keptCountIsRowCount(db, table)) {
                    if (progress)
                        progress(table.table);
                    rebuild(db, table);
                    rebuilt = true;
                }
            }
        }
        // The search text follows the order: the stretches of the rows that changed are made anew.
        for (const ListedTable& table : listedTables()) {
            if (keptTextBehind(db, table))
                bringKeptTextUpToDate(db, table, [&](const QString& name) {
                    if (progress)
                        progress(name);
                    rebuilt = true;
                });
        }
        execute(db, QStringLiteral("DELETE FROM %1").arg(changesTable));
        recordCheckedSchema(db);
        execute(db, QStringLiteral("COMMIT"));
        if (progress && rebuilt)
            progress(QString()); // done
        return true;
    } catch (const platform::Failure&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
}

QStringList keptCountProblems(sqlite3* db)
{
    QStringList problems;
    if (number(db, QStringLiteral("PRAGMA user_version")) < schemaVersion)
        return problems;
    const QStringList missing = missingProgramTables(db);
    for (const QString& table : missing)
        problems << QStringLiteral("the program's table %1 is missing (--repair makes it anew, as the program does "
                                   "when it next opens the file)%2")
                        .arg(table, table == changesTable ? QStringLiteral("; until then every write to a listed "
                                                                           "table fails, whatever program makes it")
                                                          : QString());
    // The kept tables are judged as they will be once the program has brought them up to date: the logged
    // changes applied; or, after a change of the schema, each kept order that differs from its rows built anew
    // and the counts of the others kept as they are.
    const bool reconciling = schemaChanged(db) || !missing.isEmpty();
    const bool countsLost = missing.contains(rowCountsTable) || missing.contains(prefixCountsTable);
    for (const ListedTable& table : listedTables()) {
        if (!hasSchemaObject(db, QStringLiteral("table"), table.table))
            continue;
        if (!hasSchemaObject(db, QStringLiteral("table"), orderTableOf(table.table))) {
            problems << QStringLiteral("the table %1 has no kept order; its lists are read whole").arg(table.table);
            continue;
        }
        const QString pending = reconciling ? noRows : pendingRows(db, table);
        const bool matches = orderMatchesData(db, table, pending);
        if (reconciling && (!matches || countsLost))
            continue; // built or counted anew from the rows
        if (!matches)
            problems << QStringLiteral("the kept order of %1 differs from its rows").arg(table.table);
        const qint64 waiting =
            number(db, QStringLiteral("SELECT count(*) FROM %1 WHERE rowid IN (%2)").arg(table.table, pending)) +
            number(db,
                   QStringLiteral("SELECT count(*) FROM %1 WHERE row IN (%2)").arg(orderTableOf(table.table), pending));
        const QString afterChanges = waiting > 0 ? QStringLiteral(" once the waiting changes are applied") : QString();
        const qint64 rows = number(db, QStringLiteral("SELECT count(*) FROM %1").arg(table.table));
        const std::vector<QVariantList> kept = query(
            db, QStringLiteral("SELECT row_count FROM %1 WHERE table_name = ?").arg(rowCountsTable), {table.table});
        // The entries of changed rows go with their counts, and the rows as they are now come in.
        const qint64 keptRows =
            kept.empty()
                ? 0
                : kept.front().front().toLongLong() -
                      number(db, QStringLiteral("SELECT count(*) FROM %1 WHERE row IN (%2)")
                                     .arg(orderTableOf(table.table), pending)) +
                      number(db,
                             QStringLiteral("SELECT count(*) FROM %1 WHERE rowid IN (%2)").arg(table.table, pending));
        if (kept.empty())
            problems << QStringLiteral("the kept row count of %1 is missing (the table holds %2 rows)")
                            .arg(table.table)
                            .arg(rows);
        else if (keptRows != rows)
            problems << QStringLiteral("the kept row count of %1 is %2%3 where the table holds %4 rows")
                            .arg(table.table)
                            .arg(keptRows)
                            .arg(afterChanges)
                            .arg(rows);
        // The starts as the rows give them, against those kept.
        std::map<QString, std::pair<qint64, qint64>> starts; // prefix -> (kept, counted)
        for (const QVariantList& row :
             query(db,
                   QStringLiteral("SELECT prefix, row_count FROM %1 WHERE table_name = ? AND row_count <> 0")
                       .arg(prefixCountsTable),
                   {table.table}))
            starts[row.at(0).toString()].first = row.at(1).toLongLong();
        const QString startCounts =
            QStringLiteral("SELECT prefix, count(*) FROM (%1) WHERE prefix IS NOT NULL GROUP BY "
                           "prefix");
        for (const QVariantList& row :
             query(db, startCounts.arg(prefixesOf(
                           QStringLiteral("v1"),
                           QStringLiteral(" FROM %1 WHERE row IN (%2)").arg(orderTableOf(table.table), pending)))))
            starts[row.at(0).toString()].first -= row.at(1).toLongLong();
        for (const QVariantList& row : query(
                 db,
                 startCounts.arg(prefixesOf(table.columns.first(),
                                            QStringLiteral(" FROM %1 WHERE rowid IN (%2)").arg(table.table, pending)))))
            starts[row.at(0).toString()].first += row.at(1).toLongLong();
        for (const QVariantList& row :
             query(db, startCounts.arg(prefixesOf(table.columns.first(), QStringLiteral(" FROM ") + table.table))))
            starts[row.at(0).toString()].second = row.at(1).toLongLong();
        int wrong = 0;
        for (const auto& [prefix, counts] : starts) {
            if (counts.first == counts.second)
                continue;
            if (++wrong <= 5)
                problems << QStringLiteral(
                                "the kept count of the rows of %1 starting with '%2' is %3%4 where %5 rows do")
                                .arg(table.table, prefix)
                                .arg(counts.first)
                                .arg(afterChanges)
                                .arg(counts.second);
        }
        if (wrong > 5)
            problems << QStringLiteral("%1 more kept counts of starts in %2 differ from a recount")
                            .arg(wrong - 5)
                            .arg(table.table);
        // The search text is made anew for the rows that changed, and judged as it is only when none wait.
        if (!reconciling && waiting == 0 && number(db, QStringLiteral("SELECT EXISTS (%1)").arg(pending)) == 0)
            problems << keptTextProblems(db, table);
    }
    return problems;
}

void recountKept(sqlite3* db, const QString& only)
{
    execute(db, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        // Program tables another tool dropped are made anew (an index on a missing table is left out alone).
        const bool countsLost = !hasSchemaObject(db, QStringLiteral("table"), rowCountsTable) ||
                                !hasSchemaObject(db, QStringLiteral("table"), prefixCountsTable);
        for (const QString& statement : keptTablesStatements())
            inSavepoint(db, [&] { execute(db, statement); });
        for (const ListedTable& table : listedTables()) {
            if (!countsLost && !only.isEmpty() && table.table.compare(only, Qt::CaseInsensitive) != 0)
                continue;
            if (orderMatchesData(db, table)) {
                countFromOrderTable(db, table);
                if (!keptTextProblems(db, table).isEmpty())
                    inSavepoint(db, [&] { buildKeptText(db, table); });
            } else {
                rebuild(db, table);
            }
        }
        if (only.isEmpty()) {
            execute(db, QStringLiteral("DELETE FROM %1").arg(changesTable));
            recordCheckedSchema(db);
        }
        execute(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

} // namespace store
