// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/failure.h"
#include "store/search_connections.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <thread>

// The connections a search reads on are opened once, in the background; one the background could not open is
// opened when a search asks for it, and a failure then is the search's, not the program's end.
TEST(SearchConnections, eachIsOpenedOnceAndOneThatFailedIsOpenedWhenAskedFor)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("katalogus.tnx")));
    const int helpers = std::thread::hardware_concurrency() > 1 ? 1 : 0;
    const struct
    {
        const char* what;
        int failing; // the first openings that fail
        int opened;  // attempts once a searcher is there
        bool helped;
    } cases[] = {
        {"all open", 0, 1 + helpers, helpers == 1},
        {"the background fails", 1, 2, false},
        {"the background and the first search fail", 2, 3, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        std::atomic<int> attempts{0};
        store::SearchConnections connections;
        connections.open([&] {
            if (attempts++ < test.failing)
                throw platform::Failure(QStringLiteral("unable to open database file"));
            sqlite3* db = nullptr;
            sqlite3_open(path.constData(), &db);
            return db;
        });
        if (test.failing == 2) {
            EXPECT_THROW(connections.searcher(), platform::Failure);
        }
        sqlite3* searcher = connections.searcher();
        ASSERT_NE(searcher, nullptr);
        EXPECT_EQ(sqlite3_exec(searcher, "CREATE TABLE IF NOT EXISTS t (x)", nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_EQ(connections.searcher(), searcher);
        EXPECT_EQ(connections.helps(), test.helped);
        EXPECT_EQ(attempts.load(), test.opened);
        connections.close();
        EXPECT_EQ(attempts.load(), test.opened);
    }
}
