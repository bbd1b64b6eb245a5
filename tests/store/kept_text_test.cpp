// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/query_channel.h"
#include "engine/categories.h"
#include "store/connection_setup.h"
#include "store/hungarian_functions.h"
#include "store/kept_order.h"
#include "platform/failure.h"
#include "store/kept_text.h"
#include "store/search_connections.h"
#include "store/text_stretch.h"
#include "support/catalogue_builder.h"

#include <QCoreApplication>
#include <utility>
#include <chrono>
#include <thread>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/qt_printing.h"

namespace {

// A search of the kept text whose reading a helper connection, when given, shares on a thread of its own.
bool searchShared(sqlite3* db, sqlite3* helper, const QString& column, const QString& pattern,
                  const store::FoundRows& found, const std::function<bool()>& stop)
{
    const QString table = QStringLiteral("DVD_Filmek");
    if (!helper)
        return store::searchKeptText(db, nullptr, table, column, pattern, found, stop);
    store::SharedTextReading sharing(table, column, pattern);
    std::thread helping([&] { sharing.help(helper); });
    struct Join
    {
        std::thread& thread;
        ~Join() { thread.join(); }
    } join{helping};
    return store::searchKeptText(db, &sharing, table, column, pattern, found, stop);
}

// Values that fold in every way the case-blind search knows, and some that no UTF-8 spells or no LIKE matches.
// Each is written by another program through the bare engine, as the SQL literal given here.
const QStringList awkwardValues = {"'Ödön bácsi'",
                                   "'ÖDÖN BÁCSI'",
                                   "'ödön'",
                                   "'Árvíztűrő tükörfúrógép'",
                                   "'ÁRVÍZTŰRŐ TÜKÖRFÚRÓGÉP'",
                                   "'ŐSZ'",
                                   "'ősz'",
                                   "'Őszi sonáta'",
                                   "'Straße'",
                                   "'STRASSE'",
                                   "'İzmir'",
                                   "'ǅungla'",
                                   "'Ǆ'",
                                   "'ǆ'",
                                   "'ΣΊΣΥΦΟΣ'",
                                   "'σίσυφος'",
                                   "'K'",
                                   "'k'",
                                   "'100% tiszta'",
                                   "'a_b'",
                                   "'axb'",
                                   "''",
                                   "' '",
                                   "700",
                                   "1.5",
                                   "-3",
                                   "NULL",
                                   "x'C3A9'",
                                   "CAST(x'41FF42' AS TEXT)",
                                   "CAST(x'C3' AS TEXT)",
                                   "CAST(x'E282' AS TEXT)",
                                   "CAST(x'C0AF' AS TEXT)",
                                   "CAST(x'EDA080' AS TEXT)",
                                   "CAST(x'4100C3A1' AS TEXT)",
                                   "CAST(x'C3A1FF' AS TEXT)",
                                   "'ÅÅ'",
                                   "'åå'"};

// What a user may type into the search box, and what a pattern of another shape may hold.
const QStringList patterns = {"%ö%", "%Ö%",  "%ősz%",        "%ŐSZ%",  "%sz%",       "%a%",   "%ß%",   "%ss%",
                              "%k%", "%K%",  "%σ%",          "%ǆ%",    "%%",         "%",     "%\\_%", "%_%",
                              "%1%", "%00%", "%.%",          "%-%",    "%\xC3\xA1%", "%a_b%", "%a%b%", "ö%",
                              "ÁR%", "%gép", "%GÉP",         "ősz",    "ŐSZ",        "a_b",   "_",     "__",
                              "",    "% %",  "%ödön bácsi%", "%BÁCSI", "%zz%"};

class KeptTextTest : public ::testing::Test
{
protected:
    KeptTextTest() : catalogue(dir.path())
    {
        // A few thousand ordinary rows, so that the text is cut into several stretches.
        catalogue.exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < 5000; ++i)
            catalogue.insert(QStringLiteral("DVD_Filmek"),
                             {QStringLiteral("%1 %2").arg(starts.at(i % starts.size())).arg(i * 7919 % 5000),
                              QStringLiteral("Original %1").arg(i), languages.at(i % languages.size()), QVariant(), 1,
                              QStringLiteral("01:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')), QVariant()});
        catalogue.exec(QStringLiteral("COMMIT"));
        EXPECT_EQ(sqlite3_open(QFile::encodeName(catalogue.path()).constData(), &program), SQLITE_OK);
        store::prepareConnection(program);
        EXPECT_EQ(sqlite3_open(QFile::encodeName(catalogue.path()).constData(), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 5000);
    }
    ~KeptTextTest() override
    {
        sqlite3_close(program);
        sqlite3_close(other);
    }

    // Another program's statement, through the bare engine: no function of this program is known there.
    void otherProgram(const QString& sql)
    {
        char* message = nullptr;
        ASSERT_EQ(sqlite3_exec(other, sql.toUtf8().constData(), nullptr, nullptr, &message), SQLITE_OK)
            << (message ? message : "") << " in " << sql.toStdString();
    }

    void bringUpToDate() { ASSERT_TRUE(store::bringKeptOrderUpToDate(program)); }

    // The identities a pattern finds in a column through the kept text, in list order.
    // With firstRead, the first connection waits at its first stretch (so that a helper surely begins) and
    // counts the stretches it reads itself.
    std::vector<qint64> kept(const QString& column, const QString& pattern, sqlite3* helper = nullptr,
                             std::size_t* firstRead = nullptr)
    {
        sqlite3_exec(program, "BEGIN", nullptr, nullptr, nullptr);
        std::vector<qint64> found;
        EXPECT_TRUE(store::keptTextServes(program, QStringLiteral("DVD_Filmek"), column));
        std::size_t asked = 0;
        EXPECT_TRUE(searchShared(
            program, helper, column, pattern,
            [&](const std::vector<qint64>& rows) { found.insert(found.end(), rows.begin(), rows.end()); },
            [&] {
                if (firstRead && asked++ == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                return false;
            }));
        if (firstRead)
            *firstRead = asked - 1; // asked before each of its stretches, and once at the end
        sqlite3_exec(program, "COMMIT", nullptr, nullptr, nullptr);
        return found;
    }

    // The same read from the rows with the program's own LIKE, in the list's order.
    std::vector<qint64> likeOverRows(const QString& column, const QString& pattern)
    {
        sqlite3_stmt* statement = nullptr;
        const QByteArray sql = QStringLiteral("SELECT rowid FROM DVD_Filmek WHERE %1 LIKE ? ORDER BY "
                                              "hungarian_key(CIM), CIM, rowid")
                                   .arg(column)
                                   .toUtf8();
        EXPECT_EQ(sqlite3_prepare_v2(program, sql.constData(), -1, &statement, nullptr), SQLITE_OK);
        const QByteArray bytes = pattern.toUtf8();
        sqlite3_bind_text(statement, 1, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        std::vector<qint64> rows;
        while (sqlite3_step(statement) == SQLITE_ROW)
            rows.push_back(sqlite3_column_int64(statement, 0));
        sqlite3_finalize(statement);
        return rows;
    }

    void expectEveryPatternAsTheRows(const QStringList& columns = {"CIM", "Nyelv"})
    {
        for (const QString& column : columns) {
            for (const QString& pattern : patterns) {
                SCOPED_TRACE((column + QStringLiteral(" LIKE ") + pattern).toStdString());
                EXPECT_EQ(kept(column, pattern), likeOverRows(column, pattern));
            }
        }
    }

    // The rows of each stretch, as its blob of identities tells them.
    // A page by page copy of the program's file, header and all, at path, and a connection to it (null when it
    // could not be made).
    sqlite3* copyOfTheFile(const QString& path)
    {
        sqlite3* target = nullptr;
        EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &target), SQLITE_OK);
        sqlite3_backup* backup = sqlite3_backup_init(target, "main", program, "main");
        EXPECT_NE(backup, nullptr);
        const bool copied = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
        sqlite3_backup_finish(backup);
        EXPECT_TRUE(copied);
        if (!copied) {
            sqlite3_close(target);
            return nullptr;
        }
        return target;
    }

    std::vector<int> stretchSizes()
    {
        std::vector<int> sizes;
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(program, "SELECT rows FROM mediatar_stretches_DVD_Filmek ORDER BY first", -1, &statement,
                           nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(statement, 0));
            sizes.push_back((sqlite3_column_bytes(statement, 0) - 1) / (blob ? blob[0] : 1));
        }
        sqlite3_finalize(statement);
        return sizes;
    }

    const QStringList starts = {"Ötödik", "szoba", "Csata", "sárga", "Szél", "sas", "Ágyú", "alma", "saláta", "Zúgó"};
    const QStringList languages = {"HU", "EN, HU", "hu, de", "FR", "ŐS"};
    QTemporaryDir dir;
    TestCatalogue catalogue;
    sqlite3* program = nullptr;
    sqlite3* other = nullptr;
};

TEST_F(KeptTextTest, everyPatternFindsInTheKeptTextWhatLikeFindsInTheRows)
{
    int i = 0;
    for (const QString& value : awkwardValues) {
        // Each value in the searched columns, and once in the order column at both ends of the list.
        otherProgram(QStringLiteral("INSERT INTO DVD_Filmek (CIM, Nyelv) VALUES (%1, %1), ('Aa %2', %1), ('Zz %2', %1)")
                         .arg(value)
                         .arg(i++));
    }
    bringUpToDate();
    EXPECT_GT(stretchSizes().size(), 3u);
    expectEveryPatternAsTheRows({"CIM", "Nyelv", "EREDETI_CIM", "db_DVD"});
}

// Another program changes the rows in every way; each time the program brings its kept text up to date, and the
// text finds what the rows hold.
TEST_F(KeptTextTest, theKeptTextFollowsEveryChangeOfAnotherProgram)
{
    bringUpToDate();
    const std::vector<int> before = stretchSizes();
    ASSERT_GE(before.size(), 4u);
    const std::vector<std::pair<const char*, QString>> changes = {
        {"many rows of one title and many of new titles, all in one stretch",
         QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                        "INSERT INTO DVD_Filmek (CIM, Nyelv) SELECT 'Béke', 'ŐSZ ' || i FROM n UNION ALL "
                        "SELECT 'Bokor ' || printf('%05d', i), 'hu' FROM n")},
        {"every row of a stretch gone", QStringLiteral("DELETE FROM DVD_Filmek WHERE CIM LIKE 'Csata%'")},
        {"rows moved from the end of the list to its start",
         QStringLiteral("UPDATE DVD_Filmek SET CIM = 'AAA ' || CIM WHERE CIM LIKE 'Zúgó%' OR CIM LIKE 'Ötödik 1%'")},
        {"a searched column changed under an unchanged order",
         QStringLiteral("UPDATE DVD_Filmek SET Nyelv = upper(Nyelv) || ' ősz' WHERE rowid % 3 = 0")},
        {"a searched column changed, and an index made, by another tool",
         QStringLiteral("UPDATE DVD_Filmek SET Nyelv = 'ősz ' || Nyelv WHERE rowid % 5 = 0; CREATE INDEX "
                        "another_tools_index ON DVD_Filmek (Stilus)")},
        {"rows without a title, which come first",
         QStringLiteral("UPDATE DVD_Filmek SET CIM = NULL WHERE rowid % 7 = 0")},
        {"a replaced row, whose delete no trigger sees",
         QStringLiteral("INSERT OR REPLACE INTO DVD_Filmek (rowid, CIM, Nyelv) VALUES (5, 'Ősz 5', 'ŐSZ')")},
        {"every row gone", QStringLiteral("DELETE FROM DVD_Filmek")},
        {"rows again in an empty table",
         QStringLiteral("INSERT INTO DVD_Filmek (CIM, Nyelv) VALUES (NULL, 'hu'), ('Ősz', NULL), ('ősz', 'HU')")},
    };
    for (const auto& [what, sql] : changes) {
        SCOPED_TRACE(what);
        otherProgram(sql);
        EXPECT_TRUE(store::keptOrderBehind(program));
        bringUpToDate();
        EXPECT_FALSE(store::keptOrderBehind(program));
        expectEveryPatternAsTheRows();
        EXPECT_EQ(store::keptCountProblems(program), QStringList());
        // A stretch that grows past twice its size is cut again, except within the run of one title.
        const std::vector<int> sizes = stretchSizes();
        ASSERT_FALSE(sizes.empty());
        EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), 1024 + 3000);
        if (QByteArray(what).startsWith("many rows")) {
            EXPECT_GE(sizes.size(), before.size() + 3);
        }
    }
}

// A copy of the program from before the kept text updates the order table and knows nothing of the text: the
// triggers on the order table note it, the text does not serve until it is made anew, and the list is read from
// the rows meanwhile.
TEST_F(KeptTextTest, anOlderProgramsChangesToTheOrderAreNotedAndTheTextMadeAnew)
{
    bringUpToDate();
    store::installHungarian(other);
    otherProgram(QStringLiteral("INSERT INTO DVD_Filmek (rowid, CIM, Nyelv) VALUES (90001, 'Őszi eső', 'ŐSZ')"));
    otherProgram(QStringLiteral("INSERT INTO mediatar_order_DVD_Filmek (row, k1, v1) SELECT rowid, hungarian_key(CIM), "
                                "CIM FROM DVD_Filmek WHERE rowid = 90001"));
    otherProgram(QStringLiteral("DELETE FROM mediatar_changes"));
    sqlite3_exec(program, "BEGIN", nullptr, nullptr, nullptr);
    EXPECT_TRUE(store::keptOrderServes(program, QStringLiteral("DVD_Filmek")));
    EXPECT_FALSE(store::keptTextServes(program, QStringLiteral("DVD_Filmek"), QStringLiteral("Nyelv")));
    sqlite3_exec(program, "COMMIT", nullptr, nullptr, nullptr);
    EXPECT_TRUE(store::keptOrderBehind(program));
    bringUpToDate();
    EXPECT_EQ(kept(QStringLiteral("Nyelv"), QStringLiteral("%ősz%")),
              likeOverRows(QStringLiteral("Nyelv"), QStringLiteral("%ősz%")));
    EXPECT_FALSE(likeOverRows(QStringLiteral("Nyelv"), QStringLiteral("%ősz%")).empty());

    // The older program rebuilds the order table, and the triggers that note its changes go with it.
    otherProgram(QStringLiteral("DROP TABLE mediatar_order_DVD_Filmek"));
    otherProgram(QStringLiteral("CREATE TABLE mediatar_order_DVD_Filmek (row INTEGER PRIMARY KEY, k1 BLOB, v1)"));
    otherProgram(QStringLiteral("INSERT INTO mediatar_order_DVD_Filmek SELECT rowid, hungarian_key(CIM), CIM FROM "
                                "DVD_Filmek"));
    otherProgram(QStringLiteral("CREATE INDEX mediatar_order_DVD_Filmek_in_order ON mediatar_order_DVD_Filmek (k1, "
                                "v1, row)"));
    otherProgram(QStringLiteral("UPDATE DVD_Filmek SET Nyelv = 'ősz' WHERE rowid = 1"));
    otherProgram(QStringLiteral("UPDATE mediatar_order_DVD_Filmek SET v1 = v1 WHERE row = 1"));
    otherProgram(QStringLiteral("DELETE FROM mediatar_changes"));
    otherProgram(QStringLiteral("UPDATE mediatar_state SET value = (SELECT schema_version FROM pragma_schema_version) "
                                "WHERE name = 'checked_schema'"));
    sqlite3_exec(program, "BEGIN", nullptr, nullptr, nullptr);
    EXPECT_FALSE(store::keptTextServes(program, QStringLiteral("DVD_Filmek"), QStringLiteral("Nyelv")));
    sqlite3_exec(program, "COMMIT", nullptr, nullptr, nullptr);
    bringUpToDate();
    EXPECT_EQ(kept(QStringLiteral("Nyelv"), QStringLiteral("%ősz%")),
              likeOverRows(QStringLiteral("Nyelv"), QStringLiteral("%ősz%")));
}

// The later half read on a helper connection gives the same rows; a helper that sees another text (a copy of the
// catalogue changed since, as after a write between the two reads) is not believed.
TEST_F(KeptTextTest, aHelperConnectionSharesTheReadingOnlyWhenItSeesTheSameText)
{
    // Enough stretches to be read in two halves.
    otherProgram(QStringLiteral("INSERT INTO DVD_Filmek (CIM, Nyelv) SELECT CIM || ' II', Nyelv FROM DVD_Filmek"));
    bringUpToDate();
    ASSERT_GE(stretchSizes().size(), 8u);
    QTemporaryDir otherDir;
    const QString copy = otherDir.filePath(QStringLiteral("masolat.tnx"));
    sqlite3_close(copyOfTheFile(copy));
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "a changed copy" : "the same file");
        sqlite3* helper = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(changed ? copy : catalogue.path()).constData(), &helper), SQLITE_OK);
        store::prepareConnection(helper);
        if (changed) {
            ASSERT_EQ(sqlite3_exec(helper, "UPDATE DVD_Filmek SET Nyelv = 'xx' WHERE Nyelv LIKE '%hu%'", nullptr,
                                   nullptr, nullptr),
                      SQLITE_OK);
        }
        ASSERT_TRUE(store::bringKeptOrderUpToDate(helper));
        for (const QString& pattern : {QStringLiteral("%hu%"), QStringLiteral("%sz%"), QStringLiteral("%")}) {
            std::size_t firstRead = 0;
            EXPECT_EQ(kept(QStringLiteral("Nyelv"), pattern, helper, &firstRead),
                      likeOverRows(QStringLiteral("Nyelv"), pattern));
            // While the first connection waits at its first stretch, a helper that sees the same text reads the
            // rest; one that sees another text leaves them all to the first.
            if (changed)
                EXPECT_EQ(firstRead, stretchSizes().size()) << pattern.toStdString();
            else
                EXPECT_LT(firstRead, stretchSizes().size() / 2) << pattern.toStdString();
        }
        sqlite3_close(helper);
    }
}

// The engine's helping connection, on the thread it keeps, takes the newest search's share: an older share that
// was never searched (its list gone before its worker came to the text) or is still held does not keep it from
// the next, and closing ends whatever it holds.
TEST_F(KeptTextTest, theHelpingThreadTakesTheNewestShareWhateverBecameOfTheOlder)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core: no helping connection";
    otherProgram(QStringLiteral("INSERT INTO DVD_Filmek (CIM, Nyelv) SELECT CIM || ' II', Nyelv FROM DVD_Filmek"));
    bringUpToDate();
    const std::size_t stretches = stretchSizes().size();
    ASSERT_GE(stretches, 8u);
    store::SearchConnections connections;
    connections.open([&] {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(catalogue.path()).constData(), &db);
        store::prepareConnection(db);
        return db;
    });
    ASSERT_TRUE(connections.helps());
    const QString column = QStringLiteral("Nyelv");
    const QString pattern = QStringLiteral("%hu%");
    for (int search = 0; search < 3; ++search) {
        SCOPED_TRACE(search);
        // An older share nobody ends, taken by the helping thread before the next comes.
        connections.share(std::make_shared<store::SharedTextReading>(QStringLiteral("DVD_Filmek"), column, pattern));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        auto sharing = std::make_shared<store::SharedTextReading>(QStringLiteral("DVD_Filmek"), column, pattern);
        connections.share(sharing);
        sqlite3_exec(program, "BEGIN", nullptr, nullptr, nullptr);
        std::vector<qint64> found;
        std::size_t asked = 0;
        EXPECT_TRUE(store::searchKeptText(
            program, sharing.get(), QStringLiteral("DVD_Filmek"), column, pattern,
            [&](const std::vector<qint64>& rows) { found.insert(found.end(), rows.begin(), rows.end()); },
            [&] {
                // The first connection waits at its first stretch: the helper reads most of the rest meanwhile.
                if (asked++ == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                return false;
            }));
        sqlite3_exec(program, "COMMIT", nullptr, nullptr, nullptr);
        EXPECT_EQ(found, likeOverRows(column, pattern));
        EXPECT_LT(asked - 1, stretches / 2) << "the helping thread did not take the newest share";
    }
    connections.share(std::make_shared<store::SharedTextReading>(QStringLiteral("DVD_Filmek"), column, pattern));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    connections.close();
}

// A stretch the helper cannot read goes back to the first connection: a spoilt blob at the end, where the helper
// begins, fails the search as it does without a helper, and never leaves its rows out.
TEST_F(KeptTextTest, aStretchTheHelperCannotReadIsLeftToTheFirstConnection)
{
    otherProgram(QStringLiteral("INSERT INTO DVD_Filmek (CIM, Nyelv) SELECT CIM || ' II', Nyelv FROM DVD_Filmek"));
    bringUpToDate();
    ASSERT_GE(stretchSizes().size(), 8u);
    otherProgram(QStringLiteral("UPDATE mediatar_text_DVD_Filmek SET text = x'00' WHERE col = 'nyelv' AND stretch = "
                                "(SELECT stretch FROM mediatar_stretches_DVD_Filmek ORDER BY first DESC LIMIT 1)"));
    sqlite3* helper = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(catalogue.path()).constData(), &helper), SQLITE_OK);
    store::prepareConnection(helper);
    for (sqlite3* sharing : {static_cast<sqlite3*>(nullptr), helper}) {
        SCOPED_TRACE(sharing ? "with a helper" : "alone");
        sqlite3_exec(program, "BEGIN", nullptr, nullptr, nullptr);
        std::size_t found = 0;
        // The first connection waits at its first stretch, so that the helper, slower to start, surely begins.
        bool first = true;
        const auto waitAtFirst = [&] {
            if (std::exchange(first, false))
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return false;
        };
        EXPECT_THROW(searchShared(
                         program, sharing, QStringLiteral("Nyelv"), QStringLiteral("%u%"),
                         [&](const std::vector<qint64>& rows) { found += rows.size(); }, waitAtFirst),
                     platform::Failure);
        sqlite3_exec(program, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_close(helper);
}

// A search that fails before it knows its stretches lets go of a helper already waiting for them: the failure is
// told, and nothing hangs. (The first connection reads a copy of the file without its stretches, the helper the
// file itself, where it finds the same text.)
TEST_F(KeptTextTest, aSearchFailingBeforeItsStretchesAreKnownLetsItsHelperGo)
{
    otherProgram(QStringLiteral("INSERT INTO DVD_Filmek (CIM, Nyelv) SELECT CIM || ' II', Nyelv FROM DVD_Filmek"));
    bringUpToDate();
    QTemporaryDir otherDir;
    const QString copy = otherDir.filePath(QStringLiteral("masolat.tnx"));
    sqlite3* first = copyOfTheFile(copy);
    ASSERT_NE(first, nullptr);
    store::prepareConnection(first);
    ASSERT_EQ(sqlite3_exec(first, "DROP TABLE mediatar_stretches_DVD_Filmek", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3* helper = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(catalogue.path()).constData(), &helper), SQLITE_OK);
    store::prepareConnection(helper);
    for (int attempt = 0; attempt < 5; ++attempt) {
        sqlite3_exec(first, "BEGIN", nullptr, nullptr, nullptr);
        EXPECT_THROW(searchShared(
                         first, helper, QStringLiteral("Nyelv"), QStringLiteral("%u%"),
                         [](const std::vector<qint64>&) {}, [] { return false; }),
                     platform::Failure);
        sqlite3_exec(first, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_close(helper);
    sqlite3_close(first);
}

// Asked to stop, the reading ends before the next stretch and says so; nothing is found after.
TEST_F(KeptTextTest, aStoppedSearchEndsAtOnce)
{
    bringUpToDate();
    sqlite3_exec(program, "BEGIN", nullptr, nullptr, nullptr);
    std::size_t found = 0;
    int asked = 0;
    EXPECT_FALSE(store::searchKeptText(
        program, nullptr, QStringLiteral("DVD_Filmek"), QStringLiteral("CIM"), QStringLiteral("%a%"),
        [&](const std::vector<qint64>& rows) { found += rows.size(); }, [&] { return ++asked > 1; }));
    sqlite3_exec(program, "COMMIT", nullptr, nullptr, nullptr);
    EXPECT_EQ(asked, 2);
    EXPECT_GT(found, 0u);
    EXPECT_LE(found, 2048u);
}

// The catalogue tool's check finds a text that another tool has spoilt, and its repair makes it anew.
TEST_F(KeptTextTest, theCheckFindsASpoiltTextAndTheRepairMakesItAnew)
{
    bringUpToDate();
    EXPECT_EQ(store::keptCountProblems(program), QStringList());
    // A stretch grown by another program's rows, not yet to twice its size, is whole as it is.
    otherProgram(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
                                "INSERT INTO DVD_Filmek (CIM, Nyelv) SELECT 'Csata ' || i, 'hu' FROM n"));
    bringUpToDate();
    const std::vector<int> sizes = stretchSizes();
    ASSERT_GT(*std::max_element(sizes.begin(), sizes.end()), 1024);
    EXPECT_EQ(store::keptCountProblems(program), QStringList());
    const std::vector<std::pair<const char*, QString>> spoilings = {
        {"a stretch's text of another stretch",
         QStringLiteral("UPDATE mediatar_text_DVD_Filmek SET text = (SELECT text FROM mediatar_text_DVD_Filmek AS t "
                        "WHERE t.col = mediatar_text_DVD_Filmek.col ORDER BY stretch DESC LIMIT 1) WHERE stretch = "
                        "(SELECT min(stretch) FROM mediatar_text_DVD_Filmek) AND col = 'nyelv'")},
        {"a stretch's rows of another stretch",
         QStringLiteral("UPDATE mediatar_stretches_DVD_Filmek SET rows = (SELECT rows FROM "
                        "mediatar_stretches_DVD_Filmek ORDER BY stretch DESC LIMIT 1) WHERE stretch = (SELECT "
                        "min(stretch) FROM mediatar_stretches_DVD_Filmek)")},
        {"a column's text gone", QStringLiteral("DELETE FROM mediatar_text_DVD_Filmek WHERE col = 'cim' AND stretch "
                                                "= (SELECT max(stretch) FROM mediatar_text_DVD_Filmek)")},
    };
    for (const auto& [what, sql] : spoilings) {
        SCOPED_TRACE(what);
        otherProgram(sql);
        const QStringList problems = store::keptCountProblems(program);
        ASSERT_EQ(problems.size(), 1);
        EXPECT_TRUE(problems.front().startsWith(QStringLiteral("the kept search text of DVD_Filmek differs")))
            << problems.front().toStdString();
        store::recountKept(program);
        EXPECT_EQ(store::keptCountProblems(program), QStringList());
        expectEveryPatternAsTheRows();
    }
}

// The language column's stretches kept coded, as the first byte of their odd part's size tells.
int codedLanguageStretches(sqlite3* db)
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT count(*) FROM mediatar_text_DVD_Filmek WHERE col = 'nyelv' AND "
                       "hex(substr(text, 8, 1)) >= '80'",
                       -1, &statement, nullptr);
    const int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
    sqlite3_finalize(statement);
    return count;
}

// Writes a stretch of the language column plain, from its rows, as an older program writes every stretch.
void writeLanguagePlain(sqlite3* db, qint64 stretch)
{
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(db, "SELECT rows FROM mediatar_stretches_DVD_Filmek WHERE stretch = ?", -1, &rows, nullptr);
    sqlite3_bind_int64(rows, 1, stretch);
    ASSERT_EQ(sqlite3_step(rows), SQLITE_ROW);
    const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(rows, 0));
    const int length = sqlite3_column_bytes(rows, 0);
    std::vector<int> places((length - 1) / blob[0]);
    for (std::size_t i = 0; i < places.size(); ++i)
        places[i] = static_cast<int>(i);
    std::vector<qint64> identities(places.size());
    ASSERT_TRUE(store::text::identitiesAt(blob, length, places, identities.data()));
    sqlite3_finalize(rows);
    store::text::StretchWriter writer;
    sqlite3_stmt* value = nullptr;
    sqlite3_prepare_v2(db, "SELECT Nyelv FROM DVD_Filmek WHERE rowid = ?", -1, &value, nullptr);
    for (const qint64 identity : identities) {
        sqlite3_bind_int64(value, 1, identity);
        ASSERT_EQ(sqlite3_step(value), SQLITE_ROW);
        if (sqlite3_column_type(value, 0) == SQLITE_NULL)
            writer.addNever();
        else
            writer.addText(sqlite3_column_text(value, 0), sqlite3_column_bytes(value, 0));
        sqlite3_reset(value);
    }
    sqlite3_finalize(value);
    const QByteArray text = writer.finish(store::text::StretchWriter::Form::Plain);
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db, "UPDATE mediatar_text_DVD_Filmek SET text = ? WHERE col = 'nyelv' AND stretch = ?", -1,
                       &update, nullptr);
    sqlite3_bind_blob(update, 1, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(update, 2, stretch);
    EXPECT_EQ(sqlite3_step(update), SQLITE_DONE);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_finalize(update);
}

// A text an older program wrote (every stretch plain, no form noted) is searched as it is and passes the check;
// the next writer builds it anew, coded where that is smaller. A stretch that an older program makes anew later,
// plain again, is read and checked beside the coded ones.
TEST_F(KeptTextTest, anOlderPlainTextIsSearchedAsItIsAndBuiltAnewCoded)
{
    bringUpToDate();
    const int stretches = static_cast<int>(stretchSizes().size());
    ASSERT_GT(stretches, 3);
    EXPECT_EQ(codedLanguageStretches(program), stretches);
    for (qint64 stretch = 1; stretch <= stretches; ++stretch)
        writeLanguagePlain(program, stretch);
    otherProgram(QStringLiteral("DELETE FROM mediatar_state WHERE name LIKE 'text_form_%'"));
    ASSERT_EQ(codedLanguageStretches(program), 0);
    expectEveryPatternAsTheRows({"Nyelv"});
    EXPECT_EQ(store::keptCountProblems(program), QStringList());

    EXPECT_TRUE(store::keptOrderBehind(program));
    bringUpToDate();
    EXPECT_FALSE(store::keptOrderBehind(program));
    EXPECT_EQ(codedLanguageStretches(program), stretches);

    writeLanguagePlain(program, 2);
    EXPECT_EQ(codedLanguageStretches(program), stretches - 1);
    expectEveryPatternAsTheRows({"Nyelv"});
    EXPECT_EQ(store::keptCountProblems(program), QStringList());
    EXPECT_FALSE(store::keptOrderBehind(program));
}

// Through the window's channel: a containment search long enough to be counted in the background shows the
// rows the LIKE finds, in order; so does one on a file whose text is behind its rows (an older program changed
// the order) while another program holds the write lock, so that this one cannot bring the text up to date.
TEST_F(KeptTextTest, theWindowsSearchListsWhatTheRowsHoldAlsoWhileTheTextCannotBeMadeAnew)
{
    store::installHungarian(other);
    for (const bool behind : {false, true}) {
        SCOPED_TRACE(behind ? "text behind, file locked" : "text up to date");
        if (behind) {
            otherProgram(QStringLiteral("UPDATE DVD_Filmek SET Nyelv = 'hu ' || Nyelv WHERE rowid % 2 = 0"));
            otherProgram(QStringLiteral("DELETE FROM mediatar_order_DVD_Filmek WHERE row IN (SELECT row FROM "
                                        "mediatar_changes)"));
            otherProgram(QStringLiteral("INSERT INTO mediatar_order_DVD_Filmek (row, k1, v1) SELECT rowid, "
                                        "hungarian_key(CIM), CIM FROM DVD_Filmek WHERE rowid IN (SELECT row FROM "
                                        "mediatar_changes)"));
            otherProgram(QStringLiteral("DELETE FROM mediatar_changes"));
            otherProgram(QStringLiteral("BEGIN IMMEDIATE"));
        }
        catalogue::QueryChannel channel(QStringLiteral("kept_text_window"));
        channel.pointAt(catalogue.path());
        bool done = false;
        channel.setStatement(engine::category(2).searchStatement(QStringLiteral("Nyelv"), QStringLiteral("HU"), true));
        channel.openThen([&] { done = true; }, [&](const QString& text) { ADD_FAILURE() << text.toStdString(); });
        QElapsedTimer timer;
        timer.start();
        while (!done && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(done);
        const std::vector<qint64> expected = likeOverRows(QStringLiteral("Nyelv"), QStringLiteral("%HU%"));
        ASSERT_EQ(channel.recordCount(), static_cast<int>(expected.size()));
        for (int row = 0; row < channel.recordCount(); row += 97)
            EXPECT_EQ(channel.fieldText(row, engine::rowIdentityColumn).toLongLong(),
                      expected[static_cast<std::size_t>(row)]);
        channel.close();
    }
    otherProgram(QStringLiteral("ROLLBACK"));
}

} // namespace
