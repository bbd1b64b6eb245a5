// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_upkeep.h"

#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_rows.h"
#include "server/server_schema.h"

#include <optional>

namespace server {

namespace {

bool hasTable(Connection& connection, const QString& table)
{
    return !connection.single(QStringLiteral("SELECT to_regclass($1)"), {table.toLower()}).isEmpty();
}

// Whether the database holds any part of a catalogue.
bool holdsCatalogue(Connection& connection)
{
    if (hasTable(connection, QString::fromLatin1(rowCountsTable)))
        return true;
    for (const engine::TableDefinition& table : engine::catalogueTables())
        if (hasTable(connection, table.name))
            return true;
    return false;
}

// Runs a statement whose failure, at the end of a transaction that failed already, only hides the first one.
void runQuietly(Connection& connection, const QString& sql)
{
    try {
        if (!connection.broken())
            connection.run(sql);
    } catch (const platform::Failure&) {
    }
}

class ServerRowReader : public engine::RowReader
{
public:
    ServerRowReader(Connection& connection, const engine::TableDefinition& table) : m_connection(connection)
    {
        m_connection.run(
            QStringLiteral("DECLARE mediatar_rows NO SCROLL CURSOR FOR SELECT %3, %1 FROM %2 ORDER BY %3")
                .arg(table.columns.join(QStringLiteral(", ")), table.name.toLower(), identityColumn(table.name)));
        m_open = true;
        m_fields.resize(static_cast<size_t>(table.columns.size()));
        m_bytes.resize(m_fields.size());
    }
    ~ServerRowReader() override
    {
        if (m_open)
            runQuietly(m_connection, QStringLiteral("CLOSE mediatar_rows"));
    }

    bool next() override
    {
        if (++m_next >= m_rows.size()) {
            if (!m_open)
                return false;
            m_rows = m_connection.run(QStringLiteral("FETCH FORWARD 5000 FROM mediatar_rows"));
            m_next = 0;
            if (m_rows.empty()) {
                m_open = false;
                m_connection.run(QStringLiteral("CLOSE mediatar_rows"));
                return false;
            }
        }
        const Row& row = m_rows[m_next];
        m_key = row.at(0).value_or(QString()).toLongLong();
        for (size_t i = 0; i < m_fields.size(); ++i) {
            const Value& value = row.at(i + 1);
            if (!value) {
                m_fields[i] = {};
                continue;
            }
            m_bytes[i] = value->toUtf8();
            m_fields[i] = engine::Field::text(m_bytes[i]);
        }
        return true;
    }
    const engine::Fields& fields() const override { return m_fields; }
    qint64 key() const override { return m_key; }

private:
    Connection& m_connection;
    std::vector<Row> m_rows;
    size_t m_next = 0;
    bool m_open = false;
    qint64 m_key = 0;
    engine::Fields m_fields;
    std::vector<QByteArray> m_bytes;
};

class ServerSnapshot : public engine::Snapshot
{
public:
    explicit ServerSnapshot(const QString& uri) : m_connection(uri)
    {
        m_connection.run(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    }
    ~ServerSnapshot() override { runQuietly(m_connection, QStringLiteral("ROLLBACK")); }

    bool hasTable(const QString& table) override { return server::hasTable(m_connection, table); }
    qint64 rowCount(const QString& table) override { return countedRows(m_connection, table); }
    std::unique_ptr<engine::RowReader> rows(const engine::TableDefinition& table) override
    {
        return std::make_unique<ServerRowReader>(m_connection, table);
    }

private:
    Connection m_connection;
};

class ServerBulkWrite : public engine::BulkWrite
{
public:
    ServerBulkWrite(const QString& uri, const engine::WriteOptions& options) : m_connection(uri), m_options(options)
    {
        m_connection.run(QStringLiteral("BEGIN"));
        // An empty database gets the catalogue's tables first when told so; a catalogue that 'create' made, still
        // without rows, is filled as it is. A catalogue with rows, or only part of one, is refused.
        if (options.makeCatalogue && !holdsCatalogue(m_connection))
            writeServerSchema(m_connection);
        else
            prepareForRows(m_connection, options.replace);
        m_indexes.emplace(m_connection);
    }
    ~ServerBulkWrite() override
    {
        if (!m_committed)
            runQuietly(m_connection, QStringLiteral("ROLLBACK"));
    }

    void startTable(const engine::TableDefinition& table) override
    {
        m_inserter.emplace(m_connection, table.name, table.columns);
        m_tables << table.name;
    }
    QString add(const engine::Fields& fields) override
    {
        Row row;
        row.reserve(fields.size());
        for (const engine::Field& field : fields) {
            if (field.isNull())
                row.emplace_back(std::nullopt);
            else
                row.emplace_back(QString::fromUtf8(field.data, field.size));
        }
        m_inserter->add(std::move(row));
        return QString();
    }
    qint64 finishTable() override
    {
        m_inserter->finish();
        return m_inserter->rows();
    }
    qint64 storedRows(const QString& table) override
    {
        const qint64 counted = countedRows(m_connection, table);
        return keptRowCount(m_connection, table) == counted ? counted : -1;
    }
    engine::OrphanTracks orphanTracks() override
    {
        const std::vector<Row> rows = m_connection.run(QStringLiteral(
            "SELECT count(*), count(DISTINCT eloado_azonosito), (SELECT string_agg(key::text, ',' ORDER BY key) FROM "
            "(SELECT DISTINCT eloado_azonosito AS key FROM szamok s WHERE NOT EXISTS (SELECT 1 FROM eloado e WHERE "
            "e.kod = s.eloado_azonosito) ORDER BY 1 LIMIT 10) k) FROM szamok s WHERE NOT EXISTS (SELECT 1 FROM "
            "eloado e WHERE e.kod = s.eloado_azonosito)"));
        engine::OrphanTracks orphans;
        orphans.tracks = rows.at(0).at(0).value_or(QString()).toLongLong();
        orphans.albumKeys = rows.at(0).at(1).value_or(QString()).toLongLong();
        if (rows.at(0).at(2))
            orphans.firstKeys = rows.at(0).at(2)->split(QLatin1Char(','));
        return orphans;
    }
    bool commit() override
    {
        m_indexes->rebuild();
        keepAlbumKeysFree(m_connection);
        // The counting triggers fire once a statement: a kept count that differs now would mislead every list.
        for (const QString& table : m_tables) {
            const qint64 kept = keptRowCount(m_connection, table);
            if (kept != countedRows(m_connection, table))
                throw platform::Failure(
                    QStringLiteral("%1: the kept count of %2 is %3 after the rows went in; nothing was written")
                        .arg(m_connection.uri(), table)
                        .arg(kept));
        }
        if (m_options.keep && !m_options.keep(nullptr))
            return false;
        m_connection.run(QStringLiteral("COMMIT"));
        m_committed = true;
        if (m_options.settle) {
            // Statistics for the planner and the map of pages whose rows every transaction sees, so that the
            // first lists are served by the indexes alone, without waiting for the server's own maintenance. The
            // rows are already there: a role that may not vacuum loses nothing.
            for (const engine::TableDefinition& table : engine::catalogueTables())
                runQuietly(m_connection, QStringLiteral("VACUUM (ANALYZE) %1").arg(table.name.toLower()));
        }
        return true;
    }

private:
    Connection m_connection;
    engine::WriteOptions m_options;
    std::optional<IndexesSetAside> m_indexes;
    std::optional<RowInserter> m_inserter;
    QStringList m_tables;
    bool m_committed = false;
};

} // namespace

void ServerUpkeep::create(const QString& seedPath)
{
    if (!seedPath.isEmpty())
        throw platform::Failure(QStringLiteral("%1: a seed is run on a file only").arg(shownName()));
    Connection connection(uri());
    createServerCatalogue(connection);
}

QStringList ServerUpkeep::check(bool repair)
{
    Connection connection(uri());
    if (repair) {
        rebuildKeptCounts(connection);
        // A catalogue of an older schema is brought up to date, as the program does when it opens one (after the
        // recount, which refuses a database that holds no catalogue).
        upgradeServerSchema(connection);
        // A gram index dropped from a current catalogue is made again.
        inTransaction(connection, QStringLiteral("BEGIN"), [&] { buildMissingGramIndexes(connection); });
    }
    QStringList problems;
    // One snapshot: writers meanwhile cannot make a kept count differ from its recount.
    inTransaction(connection, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"),
                  [&] { problems = serverCatalogueProblems(connection); });
    return problems;
}

std::unique_ptr<engine::Snapshot> ServerUpkeep::read()
{
    return std::make_unique<ServerSnapshot>(uri());
}

void ServerUpkeep::checkWritable(const engine::WriteOptions& options)
{
    Connection connection(uri());
    if (!options.makeCatalogue || holdsCatalogue(connection))
        checkReadyForRows(connection, options.replace);
}

std::unique_ptr<engine::BulkWrite> ServerUpkeep::write(const engine::WriteOptions& options)
{
    return std::make_unique<ServerBulkWrite>(uri(), options);
}

engine::BackupReport ServerUpkeep::backupInto(engine::Upkeep& copy, bool replaceExisting)
{
    engine::BackupReport report;
    report.unit = QStringLiteral("rows");
    engine::WriteOptions options;
    options.replace = replaceExisting;
    options.purpose = QStringLiteral("backup");
    options.keep = [&](engine::Upkeep* finished) {
        if (!finished)
            return true;
        QStringList found;
        try {
            found = finished->check(false);
        } catch (const platform::Failure& failure) {
            found << failure.text();
        }
        // The copy's tables are new and its rows counted against the server's, so what the check finds is either
        // in the rows themselves (tracks without their album, which the server catalogue has too, and a copy is
        // worth most before a repair) or a fault of the copy.
        for (const QString& line : found)
            if (!line.contains(QLatin1String("belong to no album")))
                throw platform::Failure(QStringLiteral("the copy fails the check, so %1 was not written:\n  %2")
                                            .arg(copy.shownName(), found.join(QStringLiteral("\n  "))));
        report.findings = found;
        return true;
    };
    report.amount = engine::copyCatalogue(*this, copy, options);
    return report;
}

} // namespace server
