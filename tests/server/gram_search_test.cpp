// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/query_channel.h"
#include "engine/categories.h"
#include "engine/tables.h"
#include "server/connection.h"
#include "server/server_list.h"
#include "server/server_schema.h"
#include "server_support.h"

#include <gtest/gtest.h>

// A containment search of one or two letters, which no trigram serves, is counted through the index of the
// grams of one and two letters of the folded first column: it finds exactly the rows the plain LIKE finds, on a
// catalogue made now, on one brought up to date from an older version, and (without the index) for a role that
// may not make it.

using test_server::PostgresServer;
using tool_test::runTool;

namespace {

constexpr int gamesTab = 4;

// Values where a gram index goes wrong if it can: Hungarian case pairs, a gram at either end, a text whose
// lower case is longer than itself (İ), one that holds every gram of "i̇x" but not the text, characters outside
// the basic plane, a line break, and a backslash.
const QStringList awkward = {
    QStringLiteral("Őz"),         QStringLiteral("őZ"),    QStringLiteral("ŐZI ŰR"),    QStringLiteral("űr"),
    QStringLiteral("Üröm"),       QStringLiteral("szép"),  QStringLiteral("ősz"),       QStringLiteral("ab"),
    QStringLiteral("xxab"),       QStringLiteral("abxx"),  QStringLiteral("a"),         QStringLiteral("İzmir"),
    QStringLiteral("İ a\u0307x"), QStringLiteral("🎵 dal"), QStringLiteral("sor\nvége"), QStringLiteral("per \\ jel"),
};

// What a user types, and what the plain LIKE on the folded column finds for it.
const QStringList typedTexts = {
    QStringLiteral("ő"),   QStringLiteral("Ő"),  QStringLiteral("őz"), QStringLiteral("ŰR"), QStringLiteral("ü"),
    QStringLiteral("ab"),  QStringLiteral("a"),  QStringLiteral("İ"),  QStringLiteral("İx"), QStringLiteral("🎵"),
    QStringLiteral("r\n"), QStringLiteral("\\"), QStringLiteral("q"),  QStringLiteral("qx"), QStringLiteral("k"),
};

using Listed = std::vector<std::pair<QString, server::Value>>; // identity and name, in the list's order

Listed plainLike(server::Connection& connection, const QString& typed)
{
    Listed rows;
    for (const server::Row& row :
         connection.run(QStringLiteral("SELECT mediatar_id, NEV FROM games WHERE lower(NEV) LIKE '%' || "
                                       "lower($1::text COLLATE \"hu-HU-x-icu\") || '%' ORDER BY NEV NULLS FIRST, "
                                       "mediatar_id"),
                        {server::likeEscaped(typed)}))
        rows.emplace_back(row.at(0).value_or(QString()), row.at(1));
    return rows;
}

Listed searched(catalogue::QueryChannel& channel, const QString& typed)
{
    channel.setStatement(engine::category(gamesTab).searchStatement(QStringLiteral("NEV"), typed, true));
    channel.open();
    const engine::RowSet& rows = *channel.rows();
    const int name = rows.columnIndex(QStringLiteral("NEV"));
    Listed listed;
    for (int row = 0; row < rows.count(); ++row) {
        const QVariant value = rows.value(row, name);
        listed.emplace_back(rows.value(row, 0).toString(),
                            value.isNull() ? server::Value() : server::Value(value.toString()));
    }
    return listed;
}

engine::ListPlan containing(const QString& typed)
{
    engine::ListPlan plan;
    plan.table = QStringLiteral("games");
    plan.columns = QStringLiteral("rowid, *");
    plan.orderColumns = {QStringLiteral("NEV")};
    plan.filterColumn = QStringLiteral("NEV");
    plan.filterOrderColumn = 0;
    plan.pattern = QLatin1Char('%') + typed + QLatin1Char('%');
    return plan;
}

// The count as the program runs it for a typed text.
QString countPlan(server::Connection& connection, const QString& typed)
{
    const server::ServerList::Statements statements = server::ServerList::statementsFor(containing(typed), true);
    QStringList lines;
    server::inTransaction(connection, QStringLiteral("BEGIN"), [&] {
        for (const QString& setting : statements.indexedOnly)
            connection.run(setting);
        for (const server::Row& row : connection.run(QStringLiteral("EXPLAIN ") + statements.count, statements.values))
            lines << row.at(0).value_or(QString());
    });
    return lines.join(QLatin1Char('\n'));
}

// Rows enough that the planner prefers an index: filler that holds no letter searched for but k, then the
// awkward values, a null and an empty text.
void fill(server::Connection& connection)
{
    connection.run(QStringLiteral("INSERT INTO games (NEV) SELECT 'Kék ' || i FROM generate_series(1, 4000) i"));
    for (const QString& value : awkward)
        connection.run(QStringLiteral("INSERT INTO games (NEV) VALUES ($1)"), {value});
    connection.run(QStringLiteral("INSERT INTO games (NEV) VALUES (NULL), ('')"));
    connection.run(QStringLiteral("VACUUM ANALYZE games"));
}

void expectSameRowsAsLike(const QString& uri, server::Connection& connection)
{
    catalogue::QueryChannel channel(QStringLiteral("betuk"));
    channel.pointAt(uri);
    for (const QString& typed : typedTexts) {
        SCOPED_TRACE(typed.toStdString());
        const Listed expected = plainLike(connection, typed);
        EXPECT_EQ(searched(channel, typed), expected);
    }
}

TEST(ServerGramSearch, oneAndTwoLettersFindExactlyTheRowsOfThePlainLikeBeforeAndAfterChanges)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = PostgresServer::instance().newDatabase(QStringLiteral("betuk_sorai"));
    server::Connection connection(uri);
    server::createServerCatalogue(connection);
    fill(connection);
    // Not vacuous: the values hold what is searched for.
    EXPECT_EQ(plainLike(connection, QStringLiteral("ő")).size(), 4u);
    EXPECT_EQ(plainLike(connection, QStringLiteral("ab")).size(), 3u);
    EXPECT_EQ(plainLike(connection, QStringLiteral("İx")).size(), 0u);
    EXPECT_EQ(plainLike(connection, QStringLiteral("k")).size(), 4000u);
    {
        SCOPED_TRACE("as indexed");
        expectSameRowsAsLike(uri, connection);
    }
    // Values changed after the index was built: a gram gone from a row, a new row, a row deleted.
    connection.run(QStringLiteral("UPDATE games SET NEV = 'Ödön' WHERE NEV = 'ab'"));
    connection.run(QStringLiteral("UPDATE games SET NEV = NULL WHERE NEV = 'Őz'"));
    connection.run(QStringLiteral("UPDATE games SET NEV = 'Qxörlő' WHERE NEV = 'Kék 17'"));
    connection.run(QStringLiteral("INSERT INTO games (NEV) VALUES ('ÁBRA'), ('İx')"));
    connection.run(QStringLiteral("DELETE FROM games WHERE NEV = 'űr'"));
    {
        SCOPED_TRACE("after changes");
        EXPECT_EQ(plainLike(connection, QStringLiteral("qx")).size(), 1u);
        expectSameRowsAsLike(uri, connection);
    }
    // Through the gram index, with the text of the whole search only where its lower case is longer.
    // A gram in nearly every row (k, a space) included: read through the index all the same.
    for (const QString& typed :
         {QStringLiteral("ő"), QStringLiteral("qx"), QStringLiteral("İx"), QStringLiteral("k"), QStringLiteral(" ")}) {
        const QString plan = countPlan(connection, typed);
        EXPECT_TRUE(plan.contains(QStringLiteral("games_by_grams"))) << plan.toStdString();
        EXPECT_EQ(plan.contains(QStringLiteral("strpos")), typed == QStringLiteral("İx")) << plan.toStdString();
    }
}

// Only one or two letters on the indexed column go through the gram index: elsewhere the server would work out
// the grams of every row it reads.
TEST(ServerGramSearch, onlyShortTextsOnTheIndexedColumnGoThroughTheGramIndex)
{
    const struct
    {
        const char* typed;
        int filterOrderColumn;
        const char* column;
        bool grams;
    } cases[] = {
        {"ő", 0, "NEV", true},    {"🎵", 0, "NEV", true},          {"őz", 0, "NEV", true}, {"ősz", 0, "NEV", false},
        {"ő", 1, "ALBUM", false}, {"ő", -1, "MEGJEGYZES", false}, {"", 0, "NEV", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        engine::ListPlan plan = containing(QString::fromUtf8(c.typed));
        plan.filterColumn = QString::fromLatin1(c.column);
        plan.filterOrderColumn = c.filterOrderColumn;
        const server::ServerList::Statements statements = server::ServerList::statementsFor(plan, true);
        EXPECT_EQ(statements.count.contains(QLatin1String(server::gramsFunctionName)), c.grams)
            << statements.count.toStdString();
        EXPECT_FALSE(
            server::ServerList::statementsFor(plan, false).count.contains(QLatin1String(server::gramsFunctionName)));
    }
}

// A catalogue as version 3 made it: no grams function, no gram index.
void makeVersionThree(server::Connection& connection)
{
    for (const engine::ListedTable& table : engine::listedTables())
        connection.run(QStringLiteral("DROP INDEX %1_by_grams").arg(table.table.toLower()));
    connection.run(QStringLiteral("DROP FUNCTION %1(text)").arg(QLatin1String(server::gramsFunctionName)));
    connection.run(QStringLiteral("UPDATE mediatar_state SET value = '3' WHERE name = 'schema_version'"));
}

QString roleUri(const QString& uri, server::Connection& admin, const QString& role, const QString& grants)
{
    admin.run(QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE "
                             "%1 LOGIN; END IF; END $$")
                  .arg(role));
    admin.run(QStringLiteral("GRANT %1 ON ALL TABLES IN SCHEMA public TO %2").arg(grants, role));
    admin.run(QStringLiteral("GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO %1").arg(role));
    QString given = uri;
    given.replace(QStringLiteral("user=postgres"), QStringLiteral("user=") + role);
    return given;
}

TEST(ServerGramSearch, anOlderCatalogueGetsItsGramIndexFromItsOwnerAndOtherRolesSearchAsBefore)
{
    ASSERT_SERVER_RUNNING();
    enum class Opener { Owner, Repair, Reader, Writer };
    struct Case
    {
        const char* database;
        const char* version;
        Opener opener;
        bool indexed; // the gram index is there afterwards
    };
    const Case cases[] = {
        {"gram_regi_program", "3", Opener::Owner, true},
        {"gram_regi_eszkoz", "3", Opener::Repair, true},
        {"gram_eldobott_eszkoz", "4", Opener::Repair, true},
        {"gram_regi_olvaso", "3", Opener::Reader, false},
        // Writes rows but owns no table: may not make an index.
        {"gram_regi_iro", "3", Opener::Writer, false},
        {"gram_2_iro", "2", Opener::Writer, false},
        {"gram_1_program", "1", Opener::Owner, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.database);
        const QString uri = PostgresServer::instance().newDatabase(QString::fromLatin1(c.database));
        server::Connection admin(uri);
        server::createServerCatalogue(admin);
        fill(admin);
        makeVersionThree(admin);
        if (qstrcmp(c.version, "1") == 0 || qstrcmp(c.version, "2") == 0) {
            // Versions 1 and 2 kept the folded starts without the column; version 1 announced no changes.
            admin.run(QStringLiteral("DROP INDEX games_by_prefix"));
            admin.run(QStringLiteral("CREATE INDEX games_by_prefix ON games ((lower(NEV) COLLATE \"C\"))"));
            if (qstrcmp(c.version, "1") == 0)
                admin.run(QStringLiteral("DROP FUNCTION mediatar_announce_change() CASCADE"));
            admin.run(QStringLiteral("UPDATE mediatar_state SET value = $1 WHERE name = 'schema_version'"),
                      {QString::fromLatin1(c.version)});
        } else if (qstrcmp(c.version, "4") == 0) {
            admin.run(QStringLiteral("UPDATE mediatar_state SET value = '4' WHERE name = 'schema_version'"));
        }
        const tool_test::ToolRun found = runTool({QStringLiteral("check"), uri});
        EXPECT_EQ(found.code, 1);
        EXPECT_TRUE(found.out.contains(QStringLiteral("the index games_by_grams is missing")))
            << found.out.toStdString();
        QString opened = uri;
        switch (c.opener) {
        case Opener::Owner:
            break;
        case Opener::Repair:
            EXPECT_EQ(runTool({QStringLiteral("check"), uri, QStringLiteral("--repair")}).code, 0);
            break;
        case Opener::Reader:
            opened = roleUri(uri, admin, QStringLiteral("gram_olvaso"), QStringLiteral("SELECT"));
            break;
        case Opener::Writer:
            opened = roleUri(uri, admin, QStringLiteral("gram_iro"), QStringLiteral("SELECT, INSERT, UPDATE, DELETE"));
            break;
        }
        // The program opens it (bringing it up to date where it may) and searches it.
        catalogue::QueryChannel channel(QStringLiteral("regi"));
        channel.pointAt(opened);
        for (const QString& typed : typedTexts) {
            SCOPED_TRACE(typed.toStdString());
            EXPECT_EQ(searched(channel, typed), plainLike(admin, typed));
        }
        if (c.opener == Opener::Writer) {
            // What the role is told it may do, it can.
            EXPECT_FALSE(channel.readOnly());
            channel.setStatement(engine::Statement(QStringLiteral("insert into games (NEV) values ('Új őz')")));
            channel.execute();
            EXPECT_EQ(searched(channel, QStringLiteral("őz")), plainLike(admin, QStringLiteral("őz")));
        }
        EXPECT_EQ(!admin.single(QStringLiteral("SELECT to_regclass('games_by_grams')")).isEmpty(), c.indexed);
        const tool_test::ToolRun checked = runTool({QStringLiteral("check"), uri});
        EXPECT_EQ(checked.code, c.indexed ? 0 : 1) << checked.out.toStdString();
        if (c.indexed) {
            EXPECT_EQ(admin.single(QStringLiteral("SELECT value FROM mediatar_state WHERE name = 'schema_version'")),
                      QString::number(server::serverSchemaVersion));
            EXPECT_TRUE(countPlan(admin, QStringLiteral("ő")).contains(QStringLiteral("games_by_grams")));
        }
    }
}

} // namespace
