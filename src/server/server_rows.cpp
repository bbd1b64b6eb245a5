// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_rows.h"

#include "platform/failure.h"
#include "server/server_schema.h"
#include "engine/tables.h"

namespace server {

namespace {

// Rows per insert statement: the widest table (nine columns) stays far below the protocol's 65,535 bound values.
constexpr int rowsPerInsert = 500;

QString placeholders(int count, int first)
{
    QStringList marks;
    for (int i = first + 1; i <= first + count; ++i)
        marks << QStringLiteral("$%1").arg(i);
    return marks.join(QStringLiteral(", "));
}

QString tableList()
{
    QStringList names;
    for (const engine::TableDefinition& table : engine::catalogueTables())
        names << table.name.toLower();
    return names.join(QStringLiteral(", "));
}

// Refuses a database without the whole catalogue: rows written into part of one would be lost to the program.
void refuseMissingTables(Connection& connection)
{
    QStringList missing;
    for (const engine::TableDefinition& table : engine::catalogueTables())
        if (connection.single(QStringLiteral("SELECT to_regclass($1)"), {table.name.toLower()}).isEmpty())
            missing << table.name;
    const bool counts =
        !connection.single(QStringLiteral("SELECT to_regclass($1)"), {QString::fromLatin1(rowCountsTable)}).isEmpty();
    if (missing.size() == static_cast<qsizetype>(engine::catalogueTables().size()) && !counts)
        throw platform::Failure(QStringLiteral("%1: the database holds no catalogue ('mediatar-catalogue create' "
                                               "makes one); nothing was changed")
                                    .arg(connection.uri()));
    if (!counts)
        missing << QString::fromLatin1(rowCountsTable);
    if (!missing.isEmpty())
        throw platform::Failure(QStringLiteral("%1: the catalogue has no table %2 ('mediatar-catalogue check' lists "
                                               "what is wrong); nothing was changed")
                                    .arg(connection.uri(), missing.first()));
}

void refuseRows(Connection& connection)
{
    QStringList held;
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        const QString t = table.name.toLower();
        if (connection.single(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(t)) == QLatin1String("t"))
            held << QStringLiteral("%1: %2").arg(table.name).arg(countedRows(connection, t));
    }
    if (!held.isEmpty())
        throw platform::Failure(QStringLiteral("%1: the catalogue holds rows already (%2); --force replaces them; "
                                               "nothing was changed")
                                    .arg(connection.uri(), held.join(QStringLiteral(", "))));
}

} // namespace

RowInserter::RowInserter(Connection& connection, const QString& table, const QStringList& columns)
    : m_connection(connection), m_table(table.toLower()), m_columns(columns)
{
    // A name of its own for each inserter: a prepared statement outlives a transaction that failed.
    static int serial = 0;
    m_statementName = QStringLiteral("rows_%1_%2").arg(m_table).arg(++serial);
    m_values.reserve(static_cast<size_t>(m_columns.size() * rowsPerInsert));
}

QString RowInserter::insertOf(int rowCount) const
{
    const int width = static_cast<int>(m_columns.size());
    QStringList tuples;
    for (int r = 0; r < rowCount; ++r)
        tuples << QStringLiteral("(") + placeholders(width, r * width) + QStringLiteral(")");
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
        .arg(m_table, m_columns.join(QStringLiteral(", ")), tuples.join(QStringLiteral(", ")));
}

void RowInserter::add(Row row)
{
    if (row.size() != static_cast<size_t>(m_columns.size()))
        throw platform::Failure(
            QStringLiteral("%1 values for the %2 columns of %3").arg(row.size()).arg(m_columns.size()).arg(m_table));
    for (Value& value : row)
        m_values.push_back(std::move(value));
    ++m_rows;
    if (m_values.size() == static_cast<size_t>(m_columns.size() * rowsPerInsert))
        sendFull();
}

void RowInserter::sendFull()
{
    if (!m_prepared) {
        m_connection.prepare(m_statementName, insertOf(rowsPerInsert),
                             static_cast<int>(m_columns.size()) * rowsPerInsert);
        m_prepared = true;
    }
    m_connection.runPrepared(m_statementName, m_values);
    m_values.clear();
}

void RowInserter::finish()
{
    if (!m_values.empty())
        m_connection.run(insertOf(static_cast<int>(m_values.size() / m_columns.size())), m_values);
    m_values.clear();
    if (m_prepared) {
        m_connection.run(QStringLiteral("DEALLOCATE %1").arg(m_statementName));
        m_prepared = false;
    }
}

void checkReadyForRows(Connection& connection, bool replaceRows)
{
    refuseMissingTables(connection);
    if (!replaceRows)
        refuseRows(connection);
}

namespace {

// Emptying tables and setting indexes aside wait for every open list of every program on the catalogue, and
// meanwhile the new lists of those programs would queue behind them: so they wait a few seconds at most.
void waitBrieflyForLocks(Connection& connection)
{
    connection.run(QStringLiteral("SET lock_timeout = '5s'"));
}

void runRefusingInUse(Connection& connection, const QString& sql)
{
    try {
        connection.run(sql);
    } catch (const platform::Failure& failure) {
        if (!failure.text().contains(QLatin1String("lock timeout")))
            throw;
        throw platform::Failure(
            QStringLiteral("%1: the catalogue is in use (a program has it open); nothing was changed. Close the "
                           "programs on it and try again (%2)")
                .arg(connection.uri(), failure.text()));
    }
}

} // namespace

void prepareForRows(Connection& connection, bool replaceRows)
{
    refuseMissingTables(connection);
    waitBrieflyForLocks(connection);
    if (replaceRows) {
        // The identities start again, as in a new catalogue; the truncate triggers set the kept counts to 0.
        runRefusingInUse(connection, QStringLiteral("TRUNCATE %1 RESTART IDENTITY").arg(tableList()));
        return;
    }
    // Readers go on; a writer waits for the end of the transaction.
    runRefusingInUse(connection, QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(tableList()));
    refuseRows(connection);
}

IndexesSetAside::IndexesSetAside(Connection& connection) : m_connection(connection)
{
    QStringList tables;
    for (const engine::TableDefinition& table : engine::catalogueTables())
        tables << table.name.toLower();
    // The definitions as the server itself gives them, so that every index comes back as it was.
    const std::vector<Row> indexes = connection.run(
        QStringLiteral("SELECT format('DROP INDEX %I.%I', i.schemaname, i.indexname), i.indexdef FROM pg_indexes i "
                       "WHERE i.schemaname = current_schema() AND i.tablename = ANY($1::text[]) AND NOT EXISTS "
                       "(SELECT 1 FROM pg_constraint c WHERE c.conindid = format('%I.%I', i.schemaname, "
                       "i.indexname)::regclass) ORDER BY i.indexname"),
        {QStringLiteral("{%1}").arg(tables.join(QLatin1Char(',')))});
    waitBrieflyForLocks(connection);
    for (const Row& index : indexes) {
        runRefusingInUse(connection, index.at(0).value_or(QString()));
        m_definitions << index.at(1).value_or(QString());
    }
}

void IndexesSetAside::rebuild()
{
    for (const QString& definition : m_definitions)
        m_connection.run(definition);
    m_definitions.clear();
}

void keepAlbumKeysFree(Connection& connection)
{
    connection.run(QStringLiteral("SELECT setval(pg_get_serial_sequence('eloado', 'kod'), greatest((SELECT max(kod) "
                                  "FROM eloado), (SELECT max(eloado_azonosito) FROM szamok), 0) + 1, false)"));
}

int rebuildKeptCounts(Connection& connection)
{
    int wrong = 0;
    inTransaction(connection, QStringLiteral("BEGIN"), [&] {
        refuseMissingTables(connection);
        // Readers go on; a writer waits, so that no row comes or goes between a recount and its kept count.
        connection.run(QStringLiteral("LOCK TABLE %1 IN SHARE MODE").arg(tableList()));
        for (const engine::TableDefinition& table : engine::catalogueTables()) {
            const QString t = table.name.toLower();
            const qint64 counted = countedRows(connection, t);
            const qint64 kept = keptRowCount(connection, t);
            if (kept == counted)
                continue;
            ++wrong;
            if (kept < 0)
                connection.run(QStringLiteral("INSERT INTO %1 (table_name, row_count) VALUES ($1, $2)")
                                   .arg(QLatin1String(rowCountsTable)),
                               {t, QString::number(counted)});
            else
                connection.run(QStringLiteral("UPDATE %1 SET row_count = $2 WHERE table_name = $1")
                                   .arg(QLatin1String(rowCountsTable)),
                               {t, QString::number(counted)});
        }
    });
    return wrong;
}

} // namespace server
