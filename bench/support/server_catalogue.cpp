// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/server_catalogue.h"
#include "support/short_containment.h"

#include "engine/categories.h"
#include "engine/tables.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "store/kept_order.h"
#include "support/bare_server.h"
#include "support/postgres_server.h"
#include "support/program_under_test.h"

#include <QThread>
#include <cstdio>
#include <sqlite3.h>
#include <stdexcept>

namespace bench {

namespace {
constexpr int tableRows = serverTableRows;
constexpr int screen = serverScreen;
const QString prefixTyped = QStringLiteral("Sz");    // the measured prefix keystroke makes "Sze"
const QString containedTyped = QStringLiteral("ős"); // ... and the containment one "ősz"
const std::map<int, Listed>& listed = listedTables();
} // namespace

QString Listed::table() const
{
    return engine::category(tab).table.toLower();
}

const std::map<int, Listed>& listedTables()
{
    static const std::map<int, Listed> tables = {{2, {2, QStringLiteral("CIM")}}, {4, {4, QStringLiteral("NEV")}}};
    return tables;
}

QStringList designedColumns(const QString& table)
{
    for (const engine::TableDefinition& definition : engine::catalogueTables())
        if (definition.name.compare(table, Qt::CaseInsensitive) == 0)
            return definition.columns;
    throw std::runtime_error("no such table");
}

// The list's order as the schema's order index holds it: the order columns (rows without a value first, as on
// a file), then the row's identity.
QString orderOf(const QString& table)
{
    QStringList order;
    for (const QString& column : engine::listedTable(table)->columns)
        order << column + QStringLiteral(" NULLS FIRST");
    order << server::identityColumn(table);
    return order.join(QStringLiteral(", "));
}

QString keptCountSql()
{
    return QStringLiteral("SELECT row_count FROM %1 WHERE table_name = $1").arg(QLatin1String(server::rowCountsTable));
}

// The first screen of a list: the row's identity, the designed columns, in Hungarian order. The program reads
// it in a snapshot; the bare side asks for the screen alone. A containment search picks the screen's rows by
// their identity and order alone, then reads them, as the program does.
QString firstScreenSql(const QString& table, const QString& condition, bool picked)
{
    const QString identity = server::identityColumn(table);
    const QString columns = designedColumns(table).join(QStringLiteral(", "));
    const QString where = condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition;
    if (picked)
        return QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 = ANY (ARRAY (SELECT %1 FROM %3%4 ORDER BY %5 LIMIT %6)) "
                              "ORDER BY %5")
            .arg(identity, columns, table, where, orderOf(table))
            .arg(screen);
    return QStringLiteral("SELECT %1, %2 FROM %3%4 ORDER BY %5 LIMIT %6")
        .arg(identity, columns, table, where, orderOf(table))
        .arg(screen);
}

QString countSql(const QString& table, const QString& condition)
{
    return QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table, condition);
}

// The same count with every index path closed: the server reads the whole table.
qint64 scannedCount(const BareServer& bare, const QString& table, const QString& condition, const QString& value)
{
    bare.command(QStringLiteral("BEGIN; SET LOCAL enable_indexscan = off; SET LOCAL enable_bitmapscan = off; "
                                "SET LOCAL enable_indexonlyscan = off"));
    const qint64 count = bare.number(countSql(table, condition), {value});
    bare.command(QStringLiteral("COMMIT"));
    return count;
}

namespace {

using bench::Clock;

// A value as COPY's text format reads it.
void appendCopyField(QByteArray& line, const unsigned char* text, int bytes)
{
    if (!text) {
        line += "\\N";
        return;
    }
    for (int i = 0; i < bytes; ++i) {
        const char c = static_cast<char>(text[i]);
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

// Copies a table's rows from the generated catalogue file with COPY. The table's list indexes are dropped
// first and made again afterwards, exactly as the schema makes them: one build is far quicker than keeping
// them up row by row.
void copyTable(const BareServer& target, sqlite3* file, const QString& table)
{
    const QString t = table.toLower();
    QStringList indexes;
    for (const QString& statement : server::serverSchemaStatements())
        if (statement.startsWith(QStringLiteral("CREATE INDEX %1_").arg(t)))
            indexes << statement;
    for (const QString& statement : indexes)
        target.command(QStringLiteral("DROP INDEX ") + statement.section(QLatin1Char(' '), 2, 2));
    const QString columns = designedColumns(table).join(QStringLiteral(", "));
    sqlite3_stmt* rows = nullptr;
    if (sqlite3_prepare_v2(file, QStringLiteral("SELECT %1 FROM %2").arg(columns, table).toUtf8().constData(), -1,
                           &rows, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(file));
    const int width = sqlite3_column_count(rows);
    int rc = SQLITE_ROW;
    target.copyIn(QStringLiteral("COPY %1 (%2) FROM STDIN").arg(t, columns), [&] {
        QByteArray chunk;
        // Never a step after the last row: the engine would start the statement over.
        while (rc == SQLITE_ROW && chunk.size() < (1 << 20) && (rc = sqlite3_step(rows)) == SQLITE_ROW) {
            for (int column = 0; column < width; ++column) {
                if (column > 0)
                    chunk += '\t';
                appendCopyField(chunk, sqlite3_column_text(rows, column), sqlite3_column_bytes(rows, column));
            }
            chunk += '\n';
        }
        return chunk;
    });
    sqlite3_finalize(rows);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(file));
    for (const QString& statement : indexes)
        target.command(statement);
}

// Statistics and the visibility map, so that autovacuum has no reason to start in the middle of a measurement,
// and index-only reads find every page visible, as on a catalogue the server has kept for a while. A vacuum marks
// no page while a snapshot older than the copied rows is open (the server's own analyze of the table copied just
// before): it is repeated until every page is marked.
void settle(const BareServer& target, const QString& table)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        target.command(QStringLiteral("VACUUM ANALYZE ") + table);
        if (target.number(QStringLiteral("SELECT relpages - relallvisible FROM pg_class WHERE relname = $1"),
                          {table}) == 0)
            return;
        QThread::msleep(250);
    }
    throw std::runtime_error("the copied table's pages never became all visible");
}

// The plan of a statement, for the run's record: which index, if any, serves it.
QString plan(const BareServer& bare, const QString& sql, const QString& value)
{
    return bare.lines(QStringLiteral("EXPLAIN ") + sql, {value}).join(QStringLiteral("\n    "));
}

} // namespace

QString makeServerCatalogue(test_server::PostgresServer& server)
{
    const Clock::time_point start = Clock::now();
    const QString file = bench::catalogueWithRows(tableRows);
    const QString catalogueUri = server.newDatabase(QStringLiteral("bench"));
    {
        server::Connection connection(catalogueUri);
        server::createServerCatalogue(connection);
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    try {
        const BareServer target(catalogueUri);
        target.command(QStringLiteral("SET maintenance_work_mem = '512MB'"));
        // The throwaway server commits without waiting for its log; the copied rows' commits must be on disk for
        // the vacuum to mark their pages all visible, as on a server that keeps its defaults.
        target.command(QStringLiteral("SET synchronous_commit = on"));
        for (const auto& [tab, table] : listed) {
            copyTable(target, db, engine::category(tab).table);
            if (target.number(keptCountSql(), {table.table()}) != tableRows)
                throw std::runtime_error("the kept count is not the rows copied");
            markRareRows(target, table);
        }
        for (const auto& entry : listed)
            settle(target, entry.second.table());
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    std::fprintf(stderr, "bench_server: %d rows in each of the games and the films tables on the server, %.0f s\n",
                 tableRows, millisecondsSince(start) / 1000);
    const BareServer bare(catalogueUri);
    const QString t = listed.at(2).table();
    const QString contains = server::containsCondition(listed.at(2).column);
    const QString value = server::likeEscaped(containedTyped + QLatin1Char('z'));
    std::fprintf(stderr, "  containment count, indexed:\n    %s\n",
                 qPrintable(plan(bare, countSql(t, contains), value)));
    std::fprintf(stderr, "  containment first screen, as the planner would read it:\n    %s\n",
                 qPrintable(plan(bare, firstScreenSql(t, contains, true), value)));
    for (const auto& [tab, table] : listed)
        std::fprintf(stderr, "  gram index of %s: %s\n", qPrintable(table.table()),
                     qPrintable(bare.lines(QStringLiteral("SELECT pg_size_pretty(pg_relation_size(to_regclass($1)))"),
                                           {table.table() + QStringLiteral("_by_grams")})
                                    .join(QString())));
    for (const auto& [tab, table] : listed) {
        // The planner's estimate of a prefix decides between the order index and the prefix index: the run's
        // record shows which plan the bare side got.
        const QString prefix = server::prefixCondition(table.column);
        std::fprintf(stderr, "  prefix count and first screen on %s:\n    %s\n    %s\n", qPrintable(table.table()),
                     qPrintable(plan(bare, countSql(table.table(), prefix), prefixTyped + QLatin1Char('e'))),
                     qPrintable(plan(bare, firstScreenSql(table.table(), prefix), prefixTyped + QLatin1Char('e'))));
    }
    return catalogueUri;
}

} // namespace bench
