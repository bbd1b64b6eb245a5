// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/query_channel.h"
#include "engine/categories.h"
#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "support/postgres_server.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <thread>
#include <gtest/gtest.h>

// A search replaced by the next keystroke is stopped at the server, its count included, at once; and the cancel
// that stops it never ends a statement of another list, shown beside it or opened after it.

using test_server::PostgresServer;

namespace {

constexpr int gamesTab = 4;
constexpr int rows = 300000;

class ServerSearchCancel : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!PostgresServer::instance().running())
            return;
        uri = new QString(PostgresServer::instance().newDatabase(QStringLiteral("kereses_megszakitas")));
        server::Connection connection(*uri);
        server::createServerCatalogue(connection);
        connection.run(QStringLiteral("INSERT INTO games (NEV, Megjegyzes, MERET, KOD) SELECT 'Játék ' || i, "
                                      "'Őszi megjegyzés ' || (i % 997), '', '' FROM generate_series(1, $1) AS i"),
                       {QString::number(rows)});
        connection.run(QStringLiteral("ANALYZE games"));
    }
    static void TearDownTestSuite()
    {
        delete uri;
        uri = nullptr;
    }
    void SetUp() override { ASSERT_SERVER_RUNNING(); }

    // Statements of the slow search (or its count) still at work on the server.
    static int slowAtWork(server::Connection& watcher, bool count = false)
    {
        return watcher
            .single(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND pid <> "
                                   "pg_backend_pid() AND query ILIKE $1"),
                    {count ? QStringLiteral("SELECT count(*) %lower(Megjegyzes) LIKE %")
                           : QStringLiteral("%lower(Megjegyzes) LIKE %")})
            .toInt();
    }

    static catalogue::Statement search(const QString& column, const QString& text, bool containment)
    {
        return engine::category(gamesTab).searchStatement(column, text, containment);
    }

    // Opens the channel's statement as the window does and waits for the whole list.
    static void openWhole(catalogue::QueryChannel& channel, const catalogue::Statement& statement)
    {
        channel.setStatement(statement);
        QString failure;
        bool done = false;
        channel.openThen([&] { done = true; },
                         [&](const QString& text) {
                             failure = text;
                             done = true;
                         });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 20000));
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        ASSERT_FALSE(channel.isPending());
    }

    // Every row of the list read, its last screen included: a statement a stray cancel ended would fail here.
    static void readAll(const catalogue::QueryChannel& channel, int expected)
    {
        ASSERT_EQ(channel.recordCount(), expected);
        for (const int row : {0, expected / 2, expected - 1})
            EXPECT_FALSE(channel.fieldText(row, QStringLiteral("NEV")).isEmpty()) << row;
    }

    static QString* uri;
};

QString* ServerSearchCancel::uri = nullptr;

TEST_F(ServerSearchCancel, aReplacedSearchStopsAtOnceAndNoOtherListLosesAStatement)
{
    // Searches whose count and first screen both read the whole table, on two connections: one on a column
    // outside the order, one whose pattern no index serves.
    struct Case
    {
        const char* what;
        const char* text;
        bool containment;
    };
    const Case cases[] = {
        {"a pattern read by a pass over the table", "%_", true},
        {"a part of a word", "megjegyz", true},
    };
    server::Connection watcher(*uri);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        catalogue::QueryChannel other(QStringLiteral("masik_ful"));
        other.pointAt(*uri);
        openWhole(other, engine::category(gamesTab).browseStatement());
        ASSERT_EQ(other.recordCount(), rows);
        EXPECT_FALSE(other.fieldText(rows / 3, QStringLiteral("NEV")).isEmpty());

        catalogue::QueryChannel searching(QStringLiteral("kereso"));
        searching.pointAt(*uri);
        searching.connect();
        searching.setStatement(search(QStringLiteral("Megjegyzes"), QString::fromUtf8(c.text), c.containment));
        searching.openThen([] {}, [](const QString&) {});
        ASSERT_TRUE(searching.isPending()) << "the search ended within a frame; nothing was left to stop";
        // Its count is at work before the next keystroke, in one server process: parallel workers would take more
        // of a shared server for every keystroke, and a replaced search waits for its workers to end.
        ASSERT_TRUE(QTest::qWaitFor([&] { return slowAtWork(watcher, true) > 0; }, 5000));
        EXPECT_FALSE(QTest::qWaitFor(
            [&] {
                return watcher
                           .single(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE backend_type = "
                                                  "'parallel worker'"))
                           .toInt() > 0;
            },
            200));

        QElapsedTimer since;
        since.start();
        searching.setStatement(search(QStringLiteral("NEV"), QStringLiteral("Játék 12"), false));
        const qint64 keystrokeMs = since.elapsed();
        searching.openThen([] {}, [](const QString&) {});
        qint64 stoppedMs = -1;
        while (since.elapsed() < 3000) {
            if (slowAtWork(watcher) == 0) {
                stoppedMs = since.elapsed();
                break;
            }
        }
        EXPECT_LT(keystrokeMs, 8);
        // 10 ms, and the slack of a test on a machine whose cores the server's processes share with others.
        EXPECT_GE(stoppedMs, 0);
        EXPECT_LT(stoppedMs, 60);

        // The next list of the same window, lists opened right after on the connections the search gave back,
        // and the other tab's list all read every row.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !searching.isPending(); }, 10000));
        readAll(searching, 1 + 10 + 100 + 1000 + 10000);
        for (int again = 0; again < 6; ++again) {
            catalogue::QueryChannel next(QStringLiteral("utana"));
            next.pointAt(*uri);
            openWhole(next, search(QStringLiteral("NEV"), QStringLiteral("Játék 2"), false));
            readAll(next, 1 + 10 + 100 + 1000 + 10000 + 100000);
        }
        readAll(other, rows);
        EXPECT_EQ(slowAtWork(watcher), 0);
    }
}

// A search whose count takes long (one letter, in every row) shows its first screen while the count goes on; the
// whole list then grows from it, its later screens painted as they are read. A count that fails after the first
// screen was shown takes that screen away: no part of a list stays on the screen as if it were the whole.
TEST_F(ServerSearchCancel, aFirstScreenComesBeforeItsCountAndTheWholeListGrowsFromIt)
{
    server::Connection watcher(*uri);
    const auto countAtWork = [&] {
        return watcher.single(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE state = 'active' AND pid <> "
                                             "pg_backend_pid() AND query ILIKE 'SELECT count(*)%' LIMIT 1"));
    };
    for (const bool countFails : {false, true}) {
        SCOPED_TRACE(countFails ? "the count fails" : "the count ends");
        catalogue::QueryChannel channel(QStringLiteral("elso_kepernyo"));
        channel.pointAt(*uri);
        channel.connect();
        QSignalSpy appended(&channel, &catalogue::QueryChannel::rowsAboutToBeAppended);
        int opened = 0;
        QString failure;
        channel.setStatement(search(QStringLiteral("NEV"), QStringLiteral("á"), true));
        channel.openThen([&] { ++opened; }, [&](const QString& text) { failure = text; });
        QStringList part;
        bool cancelled = false;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                if (channel.isPending() && part.isEmpty() && channel.recordCount() > 0) {
                    for (int row = 0; row < channel.recordCount(); ++row)
                        part << channel.fieldText(row, QStringLiteral("NEV"));
                }
                if (countFails && !part.isEmpty() && !cancelled) {
                    const QString pid = countAtWork();
                    if (!pid.isEmpty())
                        cancelled = watcher.single(QStringLiteral("SELECT pg_cancel_backend($1)"), {pid}) ==
                                    QStringLiteral("t");
                }
                return !channel.isPending();
            },
            20000));
        ASSERT_EQ(part.size(), 64) << "no first screen was shown while the list was counted";
        if (countFails) {
            ASSERT_TRUE(cancelled) << "the count ended before it could be made to fail";
            EXPECT_TRUE(failure.contains(QStringLiteral("canceling statement"))) << failure.toStdString();
            EXPECT_EQ(opened, 0);
            EXPECT_FALSE(channel.isOpen());
            continue;
        }
        EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
        EXPECT_EQ(opened, 1);
        ASSERT_EQ(channel.recordCount(), rows);
        ASSERT_EQ(appended.size(), 1);
        EXPECT_EQ(appended.at(0).at(0).toInt(), 64);
        EXPECT_EQ(appended.at(0).at(1).toInt(), rows - 1);
        for (int row = 0; row < 64; ++row)
            EXPECT_EQ(channel.fieldText(row, QStringLiteral("NEV")), part.at(row)) << row;
        // A screen far down is asked for as it is painted, and announced once it is read.
        QSignalSpy read(&channel, &catalogue::QueryChannel::rowsRead);
        const int name = channel.rows()->columnIndex(QStringLiteral("NEV"));
        EXPECT_FALSE(channel.rows()->shownValue(rows - 1, name).has_value());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !read.isEmpty(); }, 5000)) << "the screen read was not announced";
        EXPECT_LE(read.at(0).at(0).toInt(), rows - 1);
        EXPECT_GE(read.at(0).at(1).toInt(), rows - 1);
        EXPECT_EQ(channel.rows()->shownValue(rows - 1, name).value_or(QVariant()).toString(),
                  channel.fieldText(rows - 1, QStringLiteral("NEV")));
    }
}

// A connection stopped at any moment of its work: a statement under way ends with the server's cancel, the next
// one is refused before it is sent, and the connection, when it is given to other work, never loses a statement
// of that work to the cancel: it is either clean (the cancel was seen to land) or given up.
TEST_F(ServerSearchCancel, aStoppedConnectionNeverCancelsTheNextOwnersStatement)
{
    server::Connection signalling(*uri);
    for (const bool throughOpenConnection : {false, true}) {
        SCOPED_TRACE(throughOpenConnection ? "through an open connection" : "a cancel request of its own");
        int reused = 0;
        int givenUp = 0;
        for (int attempt = 0; attempt < 30; ++attempt) {
            SCOPED_TRACE(attempt);
            server::Connection connection(*uri);
            auto stopper = std::make_shared<server::Stopper>();
            if (throughOpenConnection)
                stopper->signalThrough([&](const std::vector<int>& processes) {
                    for (const int process : processes)
                        signalling.run(QStringLiteral("SELECT pg_cancel_backend($1)"), {QString::number(process)});
                    return true;
                });
            connection.stopWith(stopper);
            QString refused;
            std::thread work([&] {
                try {
                    // Short statements back to back: the stop comes during one or between two.
                    for (;;)
                        connection.run(QStringLiteral("SELECT pg_sleep(0.01)"));
                } catch (const platform::Failure& failure) {
                    refused = failure.text();
                }
            });
            std::this_thread::sleep_for(std::chrono::microseconds(1000 + 700 * attempt % 9000));
            stopper->stop();
            work.join();
            EXPECT_TRUE(refused.contains(QStringLiteral("canceling statement due to user request")))
                << refused.toStdString();
            EXPECT_THROW(connection.run(QStringLiteral("SELECT 1")), platform::Failure);
            if (!connection.stopWith(nullptr)) {
                ++givenUp;
                continue;
            }
            ++reused;
            // The next owner's statements, sent at once: none of them is ended by the earlier cancel.
            for (int next = 0; next < 3; ++next)
                EXPECT_NO_THROW(connection.run(QStringLiteral("SELECT pg_sleep(0.003)")));
            EXPECT_EQ(connection.single(QStringLiteral("SELECT 7")), QStringLiteral("7"));
        }
        // Most cancels land on the statement they were sent for, and those connections serve again.
        EXPECT_GE(reused, 10) << givenUp;
    }
}

} // namespace
