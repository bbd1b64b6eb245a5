// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/query_channel.h"
#include "engine/categories.h"
#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_list.h"
#include "server/server_schema.h"
#include "support/postgres_server.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

// A server list's later screens come in the background: a row not read yet is shown empty and asked for, the
// window is told when it comes, a far place shows exactly the rows the whole list holds there, and a read in
// flight when the list goes is stopped without ever ending another list's statement.

using test_server::PostgresServer;

namespace {

constexpr int albumsTab = 0;
constexpr int gamesTab = 4;
constexpr int rows = 40000;

class BackgroundScreens : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!PostgresServer::instance().running())
            return;
        uri = new QString(PostgresServer::instance().newDatabase(QStringLiteral("hatter_kepernyok")));
        server::Connection connection(*uri);
        server::createServerCatalogue(connection);
        // Names without a value, twins, and Hungarian letters whose order differs from their bytes; an "a" in
        // two of every three.
        connection.run(
            QStringLiteral("INSERT INTO games (NEV, Megjegyzes, MERET, KOD) SELECT CASE WHEN i % 211 = 0 THEN NULL "
                           "ELSE (ARRAY['Ábel', 'alma', 'Csiga', 'cukor', 'Ödön', 'Őrs', 'zsák', 'Zab', 'öt'])[1 + "
                           "i % 9] || ' ' || (i % 3000) END, 'm' || i, '', '' FROM generate_series(1, $1) AS i"),
            {QString::number(rows)});
        // Albums: an artist's albums in order, some without a title, some artists without a name.
        connection.run(QStringLiteral("INSERT INTO eloado (ELOADO, ALBUM) SELECT CASE WHEN i % 997 = 0 THEN NULL "
                                      "ELSE 'Előadó ' || (i % 1500) END, CASE WHEN i % 7 = 0 THEN NULL ELSE "
                                      "'Album ' || (i % 13) END FROM generate_series(1, $1) AS i"),
                       {QString::number(rows / 2)});
        connection.run(QStringLiteral("VACUUM ANALYZE games"));
        connection.run(QStringLiteral("VACUUM ANALYZE eloado"));
    }
    static void TearDownTestSuite()
    {
        delete uri;
        uri = nullptr;
    }
    void SetUp() override { ASSERT_SERVER_RUNNING(); }

    // The whole list as one plain select gives it, row identities in order.
    static std::vector<qint64> wholeList(const catalogue::Statement& statement)
    {
        server::Connection connection(*uri);
        const server::ServerList::Statements statements = server::ServerList::statementsFor(*statement.listPlan());
        std::vector<qint64> identities;
        for (const server::Row& row : connection.run(statements.rows, statements.values))
            identities.push_back(row.at(0).value_or(QString()).toLongLong());
        return identities;
    }

    // The server process of the one list open on the catalogue (its snapshot waits between statements).
    static int listProcess(server::Connection& watcher)
    {
        return watcher
            .single(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND pid <> "
                                   "pg_backend_pid() AND state = 'idle in transaction' ORDER BY xact_start DESC "
                                   "LIMIT 1"))
            .toInt();
    }

    static const server::ServerList& listOf(const catalogue::QueryChannel& channel)
    {
        return dynamic_cast<const server::ServerList&>(*channel.rows());
    }

    static QString* uri;
};

QString* BackgroundScreens::uri = nullptr;

// Places reached every way a screen is found: far from everything read (from the start, from the end), beside a
// screen read before (entered at its keys), across the rows without a name and across twins.
TEST_F(BackgroundScreens, aFarPlaceShowsExactlyTheRowsTheWholeListHoldsThere)
{
    struct Case
    {
        const char* name;
        int tab;
        catalogue::Statement statement;
    };
    const std::vector<Case> cases = {
        {"whole games", gamesTab, engine::category(gamesTab).browseStatement()},
        {"games holding an a", gamesTab,
         engine::category(gamesTab).searchStatement(QStringLiteral("NEV"), QStringLiteral("a"), true)},
        {"games by a remark", gamesTab,
         engine::category(gamesTab).searchStatement(QStringLiteral("Megjegyzes"), QStringLiteral("m1"), false)},
        {"albums, two order columns", albumsTab, engine::category(albumsTab).browseStatement()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<qint64> whole = wholeList(c.statement);
        ASSERT_GT(whole.size(), 5000u);
        catalogue::QueryChannel channel(QStringLiteral("far"));
        channel.pointAt(*uri);
        channel.setStatement(c.statement);
        channel.open();
        ASSERT_EQ(channel.recordCount(), static_cast<int>(whole.size()));
        const int count = channel.recordCount();
        const engine::RowSet& list = *channel.rows();
        const int identity = list.columnIndex(engine::rowIdentityColumn);
        QSignalSpy read(&channel, &catalogue::QueryChannel::rowsRead);
        // Each place as the window reads it: painted empty and asked for, then there once told.
        for (const int place : {count / 2, count / 2 + 100, count / 2 - 30, count - 70, count - 1, 3000, 2990,
                                count / 3, count / 3 + 64 * 5 + 7, 64 * 40 + 1}) {
            SCOPED_TRACE(place);
            const std::optional<QVariant> before = list.shownValue(place, identity);
            listOf(channel).waitUntilRead();
            const std::optional<QVariant> after = list.shownValue(place, identity);
            ASSERT_TRUE(after.has_value()) << "asked for and never read";
            EXPECT_EQ(after->toLongLong(), whole[static_cast<std::size_t>(place)]);
            if (before) {
                EXPECT_EQ(before->toLongLong(), whole[static_cast<std::size_t>(place)]);
            }
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !read.isEmpty(); }, 2000)) << "the window was never told";
        // Read waiting, every row of a stretch that crosses screens read and not read.
        for (int row = count / 2 - 200; row < count / 2 + 200; ++row)
            ASSERT_EQ(list.value(row, identity).toLongLong(), whole[static_cast<std::size_t>(row)]) << row;
    }
}

// A list dropped or replaced while its read is at the server: the window does not wait for it, the read is
// stopped, and the lists after it, which may be given the same connection, never lose a statement to that stop.
TEST_F(BackgroundScreens, aReadInFlightEndsWithItsListAndNoOtherListLosesAStatement)
{
    server::Connection watcher(*uri);
    const engine::Category& games = engine::category(gamesTab);
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "closed");
        catalogue::QueryChannel channel(QStringLiteral("inflight"));
        channel.pointAt(*uri);
        channel.setStatement(games.searchStatement(QStringLiteral("NEV"), QStringLiteral("a"), true));
        channel.open();
        const int process = listProcess(watcher);
        ASSERT_GT(process, 0);
        // The list's server process is held still: its read stays at the server until it is let go.
        ASSERT_EQ(::kill(process, SIGSTOP), 0);
        EXPECT_FALSE(channel.rows()->shownValue(channel.recordCount() / 2, 0).has_value());
        QTest::qWait(50);
        QElapsedTimer dropped;
        dropped.start();
        if (replaced) {
            channel.setStatement(games.browseStatement());
        } else {
            channel.close();
        }
        const qint64 tookMs = dropped.elapsed();
        ::kill(process, SIGCONT);
        EXPECT_LT(tookMs, 20) << "the window waited for a read it no longer wants";
        // The stopped read is gone from the server soon after.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return watcher
                           .single(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE pid = $1 AND state = "
                                                  "'active'"),
                                   {QString::number(process)})
                           .toInt() == 0;
            },
            5000));
        // Lists after it read every screen, far ones included, without a cancel reaching them.
        for (int list = 0; list < 6; ++list) {
            channel.setStatement(games.searchStatement(QStringLiteral("NEV"), QStringLiteral("z"), list % 2 == 0));
            channel.open();
            const int count = channel.recordCount();
            ASSERT_GT(count, 1000);
            for (const int place : {count / 2, count - 1, count / 4})
                EXPECT_NO_THROW(channel.rows()->value(place, 0)) << "list " << list << " place " << place;
        }
    }
}

// A drag across the scroll bar asks for place after place while one read is at the server: only the newest place
// asked for is read after it, not every place passed on the way.
TEST_F(BackgroundScreens, aNewerPlaceReplacesThoseNotYetRead)
{
    server::Connection watcher(*uri);
    catalogue::QueryChannel channel(QStringLiteral("drag"));
    channel.pointAt(*uri);
    channel.setStatement(engine::category(gamesTab).browseStatement());
    channel.open();
    const int process = listProcess(watcher);
    ASSERT_GT(process, 0);
    QSignalSpy read(&channel, &catalogue::QueryChannel::rowsRead);
    ASSERT_EQ(::kill(process, SIGSTOP), 0);
    const engine::RowSet& list = *channel.rows();
    // The first place goes to the server at once and waits there; the places after it wait their turn.
    EXPECT_FALSE(list.shownValue(rows / 2, 0).has_value());
    QTest::qWait(50);
    for (const int place : {rows / 4, rows / 3, rows * 2 / 3, rows - 3000})
        EXPECT_FALSE(list.shownValue(place, 0).has_value());
    ::kill(process, SIGCONT);
    listOf(channel).waitUntilRead();
    ASSERT_TRUE(QTest::qWaitFor([&] { return read.size() >= 2; }, 5000));
    QTest::qWait(100);
    ASSERT_EQ(read.size(), 2) << "places passed on the way were read";
    EXPECT_EQ(read.at(0).at(0).toInt(), rows / 2 / 64 * 64);
    EXPECT_EQ(read.at(1).at(0).toInt(), (rows - 3000) / 64 * 64);
}

// The connection cut while a list is shown: the next screen asked for is not waited for in vain; the window is
// told once that rows came, and reading them says why they cannot be shown, every time, without hanging.
TEST_F(BackgroundScreens, aLostConnectionIsToldAndNeverHangs)
{
    server::Connection watcher(*uri);
    catalogue::QueryChannel channel(QStringLiteral("lost"));
    channel.pointAt(*uri);
    channel.setStatement(engine::category(gamesTab).browseStatement());
    channel.open();
    const int process = listProcess(watcher);
    ASSERT_GT(process, 0);
    watcher.run(QStringLiteral("SELECT pg_terminate_backend($1)"), {QString::number(process)});
    QSignalSpy read(&channel, &catalogue::QueryChannel::rowsRead);
    const int far = channel.recordCount() / 2;
    EXPECT_FALSE(channel.rows()->shownValue(far, 0).has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !read.isEmpty(); }, 5000)) << "the window was never told";
    EXPECT_EQ(read.size(), 1);
    EXPECT_EQ(read.first().at(0).toInt(), far / 64 * 64);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_THROW(channel.rows()->shownValue(far, 0), platform::Failure);
        EXPECT_THROW(channel.rows()->value(far + 1000, 0), platform::Failure);
    }
    // The first screen, read with the list, stays.
    EXPECT_NO_THROW(channel.rows()->shownValue(0, 0));
}

} // namespace
