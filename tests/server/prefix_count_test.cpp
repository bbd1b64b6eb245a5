// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/query_channel.h"
#include "engine/categories.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "server_support.h"

#include <gtest/gtest.h>

// A prefix search's exact count is read from the index of folded starts alone, on a catalogue made now and on
// one of an older version, which the program (when it opens it) or the tool's repair brings up to date.

using test_server::PostgresServer;
using tool_test::runTool;

namespace {

constexpr int gamesTab = 4;

// Makes the catalogue as version 2 made it: the index of folded starts without the column.
void makeVersionTwo(server::Connection& connection)
{
    connection.run(QStringLiteral("DROP INDEX games_by_prefix"));
    connection.run(QStringLiteral("CREATE INDEX games_by_prefix ON games ((lower(NEV) COLLATE \"C\"))"));
    connection.run(QStringLiteral("UPDATE mediatar_state SET value = '2' WHERE name = 'schema_version'"));
}

QString plan(server::Connection& connection, const QString& typed)
{
    // The count as the program runs it, with enough rows that the planner leaves the table alone.
    connection.run(QStringLiteral("SET enable_seqscan = off"));
    connection.run(QStringLiteral("SET enable_bitmapscan = off"));
    QStringList lines;
    for (const server::Row& row : connection.run(QStringLiteral("EXPLAIN SELECT count(*) FROM games WHERE ") +
                                                     server::orderedPrefixCondition(QStringLiteral("NEV")),
                                                 {typed}))
        lines << row.at(0).value_or(QString());
    connection.run(QStringLiteral("RESET enable_seqscan"));
    connection.run(QStringLiteral("RESET enable_bitmapscan"));
    return lines.join(QLatin1Char('\n'));
}

int channelCount(const QString& uri, const QString& typed)
{
    catalogue::QueryChannel channel(QStringLiteral("elotag"));
    channel.pointAt(uri);
    channel.setStatement(engine::category(gamesTab).searchStatement(QStringLiteral("NEV"), typed, false));
    channel.open();
    return channel.recordCount();
}

TEST(ServerPrefixCount, anOlderCatalogueIsBroughtUpToDateByTheProgramOrTheRepair)
{
    ASSERT_SERVER_RUNNING();
    struct Case
    {
        const char* database;
        bool older;
        bool byTool; // else the program opens it
    };
    const Case cases[] = {
        {"elotag_uj", false, false},
        {"elotag_regi_program", true, false},
        {"elotag_regi_eszkoz", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.database);
        const QString uri = PostgresServer::instance().newDatabase(QString::fromLatin1(c.database));
        server::Connection connection(uri);
        server::createServerCatalogue(connection);
        connection.run(QStringLiteral("INSERT INTO games (NEV) SELECT (ARRAY['Szép', 'SZÉL', 'szerda', 'Őszi', "
                                      "'ősz', 'Sz', 'Alma'])[1 + i % 7] || ' ' || i FROM generate_series(1, 7000) i"));
        connection.run(QStringLiteral("VACUUM ANALYZE games"));
        if (c.older) {
            makeVersionTwo(connection);
            const tool_test::ToolRun found = runTool({QStringLiteral("check"), uri});
            EXPECT_EQ(found.code, 1);
            EXPECT_TRUE(found.out.contains(QStringLiteral("the index games_by_prefix does not hold NEV")))
                << found.out.toStdString();
            EXPECT_FALSE(plan(connection, QStringLiteral("alma 7")).contains(QStringLiteral("Index Only Scan")));
            if (c.byTool) {
                EXPECT_EQ(runTool({QStringLiteral("check"), uri, QStringLiteral("--repair")}).code, 0);
            }
        }
        // Exact counts, case-blind for every Hungarian letter, whichever way the catalogue came to be.
        const struct
        {
            const char* typed;
            int count;
        } searches[] = {{"sz", 4000}, {"SZÉ", 2000}, {"ősz", 2000}, {"Ő", 2000}, {"alma 7", 15}};
        for (const auto& search : searches)
            EXPECT_EQ(channelCount(uri, QString::fromUtf8(search.typed)), search.count) << search.typed;
        EXPECT_TRUE(plan(connection, QStringLiteral("alma 7"))
                        .contains(QStringLiteral("Index Only Scan using "
                                                 "games_by_prefix")))
            << plan(connection, QStringLiteral("alma 7")).toStdString();
        const tool_test::ToolRun checked = runTool({QStringLiteral("check"), uri});
        EXPECT_EQ(checked.code, 0) << checked.out.toStdString();
        EXPECT_EQ(connection.single(QStringLiteral("SELECT value FROM mediatar_state WHERE name = 'schema_version'")),
                  QString::number(server::serverSchemaVersion));
    }
}

} // namespace
