// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_list.h"
#include "server/server_schema.h"
#include "server/server_session.h"
#include "server_support.h"
#include "engine/categories.h"
#include "catalogue/query_channel.h"
#include "engine/write_transaction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

using test_server::PostgresServer;

// The query channel on a server catalogue, as the windows use it: lists in Hungarian order, searches, changes
// reaching exactly their row, write transactions, and a role that may only read.

namespace {

QString filledCatalogue(const QString& name)
{
    PostgresServer& server = PostgresServer::instance();
    const QString uri = server.newDatabase(name);
    server::Connection connection(uri);
    server::createServerCatalogue(connection);
    for (const char* title : {"Őszi levél", "alma", "Árnyék", "Zöld", "cukor", "Csiga", "ÁBC 100%", "a_b\\c"})
        connection.run(QStringLiteral("INSERT INTO games VALUES ($1, $2, $3, $4)"),
                       {QString::fromUtf8(title), QStringLiteral("m"), QStringLiteral("1"), QStringLiteral("K")});
    connection.run(QStringLiteral("INSERT INTO games VALUES (NULL, 'nincs neve', NULL, NULL)"));
    connection.run(QStringLiteral("INSERT INTO games (NEV) SELECT 'Tömeg ' || lpad(n::text, 4, '0') FROM "
                                  "generate_series(1, 300) n"));
    return uri;
}

QStringList column(catalogue::QueryChannel& channel, const QString& name, int limit = 1000)
{
    QStringList values;
    for (int row = 0; row < std::min(channel.recordCount(), limit); ++row)
        values << channel.fieldText(row, name);
    return values;
}

} // namespace

TEST(ServerChannel, ListsSearchesAndScreensInHungarianOrder)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = filledCatalogue(QStringLiteral("channel_lists"));
    catalogue::QueryChannel channel(QStringLiteral("lists"));
    channel.pointAt(uri);
    const engine::Category& games = engine::category(4);
    channel.setStatement(games.browseStatement());
    channel.open();
    ASSERT_EQ(channel.recordCount(), 309);
    EXPECT_FALSE(channel.readOnly());
    // A row without a name comes first, as on a file; then Hungarian order: a, á, c, cs, ő, t, z.
    EXPECT_EQ(column(channel, QStringLiteral("NEV"), 8),
              (QStringList{"", "a_b\\c", "ÁBC 100%", "alma", "Árnyék", "cukor", "Csiga", "Őszi levél"}));
    // Screens far from the start, from the end, and back again hold the rows of their places.
    EXPECT_EQ(channel.fieldText(308, QStringLiteral("NEV")), QStringLiteral("Zöld"));
    EXPECT_EQ(channel.fieldText(307, QStringLiteral("NEV")), QStringLiteral("Tömeg 0300"));
    EXPECT_EQ(channel.fieldText(150, QStringLiteral("NEV")), QStringLiteral("Tömeg 0143"));
    EXPECT_EQ(channel.fieldText(8, QStringLiteral("NEV")), QStringLiteral("Tömeg 0001"));
    EXPECT_EQ(channel.fieldText(200, QStringLiteral("NEV")), QStringLiteral("Tömeg 0193"));

    const auto search = [&](const QString& text, bool containment) {
        channel.setStatement(games.searchStatement(QStringLiteral("NEV"), text, containment));
        channel.open();
        return column(channel, QStringLiteral("NEV"));
    };
    // Case-blind for every letter, prefix and containment.
    EXPECT_EQ(search(QStringLiteral("ősz"), false), QStringList{"Őszi levél"});
    EXPECT_EQ(search(QStringLiteral("ÁR"), false), QStringList{"Árnyék"});
    EXPECT_EQ(search(QStringLiteral("LEVÉL"), true), QStringList{"Őszi levél"});
    EXPECT_EQ(search(QStringLiteral("tömeg 029"), false).size(), 10);
    // Typed % and _ keep their meaning, as on a file; a backslash is only a character.
    EXPECT_EQ(search(QStringLiteral("a_b"), false), (QStringList{"a_b\\c"}));
    EXPECT_EQ(search(QStringLiteral("b\\c"), true), (QStringList{"a_b\\c"}));
    EXPECT_EQ(search(QStringLiteral("%100%"), false), (QStringList{"ÁBC 100%", "Tömeg 0100"}));
    EXPECT_EQ(search(QStringLiteral("nincs"), false), QStringList{});
    // A search outside the order's column.
    channel.setStatement(games.searchStatement(QStringLiteral("Megjegyzes"), QStringLiteral("NINCS"), false));
    channel.open();
    EXPECT_EQ(column(channel, QStringLiteral("Megjegyzes")), QStringList{"nincs neve"});

    // The same search through the window's way, the newest statement winning.
    channel.setStatement(games.searchStatement(QStringLiteral("NEV"), QStringLiteral("t"), false));
    int opened = 0;
    channel.openThen([&] { ++opened; }, [](const QString& text) { FAIL() << text.toStdString(); });
    channel.setStatement(games.searchStatement(QStringLiteral("NEV"), QStringLiteral("tö"), true));
    channel.openThen([&] { opened += 10; }, [](const QString& text) { FAIL() << text.toStdString(); });
    QElapsedTimer waited;
    waited.start();
    while (channel.isPending() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_FALSE(channel.isPending());
    EXPECT_EQ(channel.recordCount(), 300);
    EXPECT_GE(opened, 10);
    EXPECT_LT(opened % 10, 2);
}

// A search on the order's column picks its first screen either walking the order index or sorting every match,
// whichever its exact count says is shorter. Both ways, and the list the window gets, must give the rows the
// plain select of the list in order gives: Hungarian order, rows without a value first, equal names in the order
// they were entered.
TEST(ServerChannel, AFirstScreenIsTheSameWhicheverWayItIsPicked)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = PostgresServer::instance().newDatabase(QStringLiteral("channel_picked"));
    server::Connection connection(uri);
    server::createServerCatalogue(connection);
    // 25,000 names, more than the stretch of the order a first screen is first looked for in: every one holds an
    // "a", one in ten "Ősz" or "ősz", a few "Zsák" (at the order's far end), some none; twins of each.
    connection.run(QStringLiteral(
        "INSERT INTO games (NEV, KOD) SELECT CASE WHEN n % 97 = 0 THEN NULL "
        "WHEN n % 10 = 0 THEN (CASE WHEN n % 20 = 0 THEN 'Ősz' ELSE 'ősz' END) || ' ' || (n % 250) || ' a' "
        "WHEN n % 500 = 1 THEN 'Zsák ' || (n % 3) || 'a' ELSE (ARRAY['Ábel', 'alma', 'Cukor', 'Csiga', 'Éva', "
        "'Ödön', 'Őrs', 'zab'])[1 + n % 8] || ' ' || (n % 700) || ' a' END, n::text FROM generate_series(1, 25000) n"));
    connection.run(QStringLiteral("ANALYZE games"));
    const engine::Category& games = engine::category(4);
    for (const QString& typed :
         {QStringLiteral("ősz"), QStringLiteral("A"), QStringLiteral("zsák"), QStringLiteral("nincs ilyen")}) {
        SCOPED_TRACE(typed.toStdString());
        const engine::Statement search = games.searchStatement(QStringLiteral("NEV"), typed, true);
        const server::ServerList::Statements statements = server::ServerList::statementsFor(*search.listPlan());
        ASSERT_TRUE(statements.picked());
        connection.run(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        const std::vector<server::Row> plain = connection.run(statements.firstScreen, statements.values);
        const std::vector<server::Row> sorted = connection.run(statements.sortedScreen, statements.values);
        connection.run(QStringLiteral("SET LOCAL enable_bitmapscan = off"));
        connection.run(QStringLiteral("SET LOCAL enable_seqscan = off"));
        const std::vector<server::Row> walked = connection.run(statements.walkedScreen, statements.values);
        connection.run(QStringLiteral("RESET enable_bitmapscan"));
        connection.run(QStringLiteral("RESET enable_seqscan"));
        const std::vector<server::Row> bounded = connection.run(statements.boundedScreen, statements.values);
        const std::vector<server::Row> count = connection.run(statements.count, statements.values);
        connection.run(QStringLiteral("ROLLBACK"));
        EXPECT_EQ(sorted, plain);
        EXPECT_EQ(walked, plain);
        // The first stretch of the order holds the list's first rows, if not all of a screen.
        ASSERT_LE(bounded.size(), plain.size());
        EXPECT_EQ(bounded, std::vector<server::Row>(plain.begin(), plain.begin() + bounded.size()));

        catalogue::QueryChannel channel(QStringLiteral("picked"));
        channel.pointAt(uri);
        channel.setStatement(search);
        channel.open();
        ASSERT_EQ(channel.recordCount(), count.at(0).at(0).value_or(QString()).toInt());
        const int shown = std::min(channel.recordCount(), 64);
        ASSERT_EQ(static_cast<int>(plain.size()), shown);
        for (int row = 0; row < shown; ++row) {
            EXPECT_EQ(channel.fieldText(row, QStringLiteral("NEV")), plain.at(row).at(1).value_or(QString()));
            EXPECT_EQ(channel.fieldText(row, QStringLiteral("KOD")), plain.at(row).at(4).value_or(QString()));
        }
    }
    // The counts themselves, against what the rows hold.
    catalogue::QueryChannel channel(QStringLiteral("picked_counts"));
    channel.pointAt(uri);
    channel.setStatement(games.searchStatement(QStringLiteral("NEV"), QStringLiteral("ŐSZ"), true));
    channel.open();
    EXPECT_EQ(channel.recordCount(), 2500 - 25); // every tenth row, less those of them without a name
    EXPECT_TRUE(channel.fieldText(0, QStringLiteral("NEV")).startsWith(QStringLiteral("Ősz 0 a")) ||
                channel.fieldText(0, QStringLiteral("NEV")).startsWith(QStringLiteral("ősz 0 a")))
        << channel.fieldText(0, QStringLiteral("NEV")).toStdString();
}

// A list that is dropped ends its snapshot at once, without waiting for the server's answer: another user's
// bulk work is not held up by it, and the next list on the same connection takes the answer with its own.
TEST(ServerChannel, ADroppedListEndsItsSnapshotAtOnce)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = filledCatalogue(QStringLiteral("channel_dropped"));
    server::Connection watcher(uri);
    const auto snapshotsOpen = [&] {
        return watcher
            .single(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                                   "AND state = 'idle in transaction'"))
            .toInt();
    };
    catalogue::QueryChannel channel(QStringLiteral("dropped"));
    channel.pointAt(uri);
    for (int round = 0; round < 3; ++round) {
        channel.setStatement(engine::category(4).browseStatement());
        channel.open();
        ASSERT_EQ(channel.recordCount(), 309);
        EXPECT_EQ(snapshotsOpen(), 1);
        channel.close();
        QElapsedTimer waited;
        waited.start();
        while (snapshotsOpen() != 0 && waited.elapsed() < 5000)
            QThread::msleep(10);
        EXPECT_EQ(snapshotsOpen(), 0) << "round " << round;
    }
    // Lists replaced one after another, each reusing the connection its predecessor ended without waiting.
    for (const QString& typed : {QStringLiteral("a"), QStringLiteral("ö"), QStringLiteral("Tömeg 01")}) {
        channel.setStatement(engine::category(4).searchStatement(QStringLiteral("NEV"), typed, false));
        channel.open();
        channel.setStatement(engine::category(4).browseStatement());
        channel.open();
        EXPECT_EQ(channel.recordCount(), 309);
    }
    channel.setStatement(engine::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("Tömeg 01"), false));
    channel.open();
    EXPECT_EQ(channel.recordCount(), 100);
}

TEST(ServerChannel, ChangesReachTheirRowOnlyAndTransactionsHoldTogether)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = filledCatalogue(QStringLiteral("channel_changes"));
    catalogue::QueryChannel channel(QStringLiteral("changes"));
    channel.pointAt(uri);
    // Two equal rows: the identity picks one.
    channel.setStatement(engine::Statement(QStringLiteral("insert into games values ("))
                             .quoted("Ikrek")
                             .fixed(", ")
                             .quoted("")
                             .fixed(", ")
                             .quoted("")
                             .fixed(", ")
                             .quoted("")
                             .fixed(")"));
    channel.execute();
    channel.execute();
    EXPECT_EQ(channel.changedRows(), 1);
    channel.setStatement(engine::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("Ikrek"), false));
    channel.open();
    ASSERT_EQ(channel.recordCount(), 2);
    const QVariant second = channel.rows()->value(1, channel.rows()->columnIndex(engine::rowIdentityColumn));
    engine::Statement update(QStringLiteral("update games set Megjegyzes = "));
    update.quoted(QStringLiteral("O'Brien \"idéz\""))
        .fixed(QStringLiteral(" where "))
        .compared(QStringLiteral("NEV"), QStringLiteral(" = "), QStringLiteral("Ikrek"));
    update.sqlOnly(QStringLiteral(" and rowid = ?"), {second});
    channel.setStatement(update);
    channel.execute();
    EXPECT_EQ(channel.changedRows(), 1);
    const auto notes = channel.fetch(engine::Statement().sqlOnly(
        QStringLiteral("SELECT Megjegyzes FROM games WHERE NEV = ? ORDER BY rowid"), {QStringLiteral("Ikrek")}));
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0][0].toString(), QString());
    EXPECT_EQ(notes[1][0].toString(), QStringLiteral("O'Brien \"idéz\""));

    // An album and its track stand or fall together.
    {
        engine::WriteTransaction transaction(channel);
        channel.setStatement(engine::Statement(QStringLiteral("insert into eloado (ELOADO, ALBUM) values ("))
                                 .quoted("E")
                                 .fixed(", ")
                                 .quoted("A")
                                 .fixed(")"));
        channel.execute();
        const qint64 key = channel.lastInsertedKey();
        EXPECT_GT(key, 0);
        channel.setStatement(engine::Statement(QStringLiteral("insert into szamok values ("))
                                 .quoted("Dal")
                                 .fixed(", ")
                                 .quoted("1")
                                 .fixed(", ")
                                 .quoted("2")
                                 .fixed(", ")
                                 .quoted("3")
                                 .fixed(", ")
                                 .quoted("4")
                                 .fixed(", ")
                                 .bare(QString::number(key))
                                 .fixed(")"));
        channel.execute();
        // Not committed: both go.
    }
    EXPECT_TRUE(channel.fetch(engine::Statement(QStringLiteral("SELECT * FROM eloado"))).empty());
    EXPECT_TRUE(channel.fetch(engine::Statement(QStringLiteral("SELECT * FROM szamok"))).empty());
}

TEST(ServerChannel, ARoleThatMayOnlyReadListsAndIsRefusedEveryChange)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = filledCatalogue(QStringLiteral("channel_reader"));
    {
        server::Connection admin(uri);
        admin.run(QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'olvaso') THEN "
                                 "CREATE ROLE olvaso LOGIN; END IF; END $$"));
        admin.run(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO olvaso"));
    }
    QString readerUri = uri;
    readerUri.replace(QStringLiteral("user=postgres"), QStringLiteral("user=olvaso"));
    catalogue::QueryChannel channel(QStringLiteral("reader"));
    channel.pointAt(readerUri);
    channel.setStatement(engine::category(4).browseStatement());
    channel.open();
    EXPECT_TRUE(channel.readOnly());
    EXPECT_EQ(channel.recordCount(), 309);
    channel.setStatement(engine::Statement(QStringLiteral("delete from games")));
    try {
        channel.execute();
        ADD_FAILURE() << "a read-only role deleted rows";
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(failure.text(), engine::readOnlyMessage());
    }
    EXPECT_THROW(engine::WriteTransaction transaction(channel), platform::Failure);
    server::Connection admin(uri);
    EXPECT_EQ(server::countedRows(admin, QStringLiteral("games")), 309);
}

TEST(ServerChannel, EngineFormOfTheDesignedStatements)
{
    EXPECT_EQ(server::serverSql(QStringLiteral("delete from szamok where (ifnull(CIM, '')=?) and szamok.rowid = ? "
                                               "and x = '?' order by hungarian_key(szamok.CIM), szamok.CIM")),
              QStringLiteral("delete from szamok where (coalesce(CIM, '')=$1) and szamok.mediatar_id = $2 and x = '?' "
                             "order by szamok.CIM, szamok.CIM"));
}

// A program's open list holds its snapshot; a tool that must empty the tables or set their indexes aside does not
// wait for it for ever (every other program's next list would queue behind it), and says why it gave up.
TEST(ServerChannel, ABulkFillWaitsOnlyBrieflyForAnOpenList)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = PostgresServer::instance().newDatabase(QStringLiteral("channel_in_use"));
    {
        server::Connection connection(uri);
        server::createServerCatalogue(connection);
    }
    catalogue::QueryChannel channel(QStringLiteral("in_use"));
    channel.pointAt(uri);
    channel.setStatement(engine::category(4).browseStatement());
    channel.open();
    const tool_test::ToolRun refused =
        tool_test::runTool({QStringLiteral("generate"), uri, QStringLiteral("--rows"), QStringLiteral("5")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("in use"))) << refused.err.toStdString();
    channel.close();
    const tool_test::ToolRun filled =
        tool_test::runTool({QStringLiteral("generate"), uri, QStringLiteral("--rows"), QStringLiteral("5")});
    EXPECT_EQ(filled.code, 0) << filled.err.toStdString();
}
