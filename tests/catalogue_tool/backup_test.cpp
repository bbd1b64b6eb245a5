// SPDX-License-Identifier: GPL-3.0-or-later

#include "hungarian/hungarian.h"
#include "store/schema.h"
#include "support/catalogue_builder.h"
#include "tool_support.h"
#include "store/hungarian_functions.h"

#include <atomic>
#include <memory>
#include <thread>

using namespace tool_test;

namespace {

// Another program writing to the catalogue all the time: each transaction adds an album and its track, so a copy
// of any one moment has as many tracks as albums.
class Writer
{
public:
    Writer(const QString& catalogue, const char* journalMode)
    {
        EXPECT_EQ(sqlite3_open_v2(catalogue.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        sqlite3_busy_timeout(m_db, 10000);
        store::installHungarian(m_db);
        const QByteArray mode = QByteArray("PRAGMA journal_mode = ") + journalMode;
        EXPECT_EQ(sqlite3_exec(m_db, mode.constData(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(m_db);
        m_thread = std::thread([this] { run(); });
    }
    ~Writer()
    {
        stop();
        sqlite3_close(m_db);
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    void waitForCommits(int count)
    {
        while (m_commits < count && !m_failed)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int commits() const { return m_commits; }
    bool failed() const { return m_failed; }

private:
    void run()
    {
        for (int i = 0; !m_stop; ++i) {
            const QByteArray sql = QStringLiteral("BEGIN IMMEDIATE; "
                                                  "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Író %1', 'Lemez'); "
                                                  "INSERT INTO szamok (CIM, eloado_azonosito) "
                                                  "VALUES ('Szám', last_insert_rowid()); COMMIT;")
                                       .arg(i)
                                       .toUtf8();
            if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
                m_failed = true;
                return;
            }
            ++m_commits;
        }
    }

    sqlite3* m_db = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_failed{false};
    std::atomic<int> m_commits{0};
};

class BackupFixture : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    // A catalogue of some thousands of rows, closed again, so that the writer chooses its journal mode.
    QString filledCatalogue()
    {
        TestCatalogue catalogue(dir.path());
        catalogue.exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < 3000; ++i) {
            const qint64 album = catalogue.addAlbum(QStringLiteral("Előadó %1").arg(i), QStringLiteral("Album"));
            catalogue.addTrack(album, QStringLiteral("Dal %1").arg(i), QStringLiteral("00:03:00"),
                               QStringLiteral("5 MB"), QStringLiteral("192 kbps"), QStringLiteral("CD"));
        }
        catalogue.exec(QStringLiteral("COMMIT"));
        return catalogue.path();
    }

    QTemporaryDir dir;
};

class BackupTest : public BackupFixture, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(BackupTest, aCopyTakenWhileAnotherProgramWritesIsWholeAndPassesTheCheck)
{
    const QString source = filledCatalogue();
    const QString copy = path(QStringLiteral("mentes.tnx"));
    Writer writer(source, GetParam());
    writer.waitForCommits(20);
    const ToolRun run = runTool({QStringLiteral("backup"), source, copy});
    const int commitsAfterCopy = writer.commits();
    writer.waitForCommits(commitsAfterCopy + 20);
    writer.stop();
    ASSERT_FALSE(writer.failed());
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("checked"))) << run.out.toStdString();

    const ToolRun check = runTool({QStringLiteral("check"), copy});
    EXPECT_EQ(check.code, 0) << check.out.toStdString() << check.err.toStdString();
    const QList<QVariantList> counts = queryRows(
        copy, QStringLiteral("SELECT (SELECT count(*) FROM eloado), (SELECT count(*) FROM szamok), "
                             "(SELECT count(*) FROM szamok WHERE eloado_azonosito NOT IN (SELECT kod FROM eloado))"));
    ASSERT_EQ(counts.size(), 1);
    const qlonglong albums = counts.first().at(0).toLongLong();
    EXPECT_GE(albums, 3020);
    EXPECT_LT(albums, 3000 + writer.commits());
    EXPECT_EQ(counts.first().at(1).toLongLong(), albums);
    EXPECT_EQ(counts.first().at(2).toLongLong(), 0);
    // Nothing of the temporary copy is left beside it.
    for (const QString& entry : folderEntries(dir.path()))
        EXPECT_FALSE(entry.startsWith(QLatin1Char('.'))) << entry.toStdString();
}

INSTANTIATE_TEST_SUITE_P(JournalModes, BackupTest, ::testing::Values("WAL", "DELETE"));

class BackupTargetTest : public BackupFixture
{
};

TEST_F(BackupTargetTest, anExistingFileTheSourceItselfAndNoCatalogueAreRefused)
{
    TestCatalogue catalogue(dir.path());
    catalogue.addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    const QString copy = path(QStringLiteral("mentes.tnx"));
    QFile old(copy);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("régi mentés");
    old.close();

    ToolRun run = runTool({QStringLiteral("backup"), catalogue.path(), copy});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("already exists (--force replaces it)"))) << run.err.toStdString();
    EXPECT_EQ(fileHash(copy), QCryptographicHash::hash("régi mentés", QCryptographicHash::Sha256));

    run = runTool({QStringLiteral("backup"), catalogue.path(), catalogue.path(), QStringLiteral("--force")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot replace the file it is made from"))) << run.err.toStdString();

    run = runTool({QStringLiteral("backup"), copy, path(QStringLiteral("masik.tnx"))});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("not a catalogue"))) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("masik.tnx"))));

    run = runTool({QStringLiteral("backup"), catalogue.path(), copy, QStringLiteral("--force")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(queryRows(copy, QStringLiteral("SELECT ELOADO, ALBUM FROM eloado")),
              QList<QVariantList>({{QStringLiteral("Omega"), QStringLiteral("Időrabló")}}));
}

TEST_F(BackupTargetTest, aCatalogueWithProblemsOfItsOwnIsCopiedWithThemAndAWarning)
{
    TestCatalogue catalogue(dir.path());
    catalogue.addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue.exec(QStringLiteral("DROP TABLE games"));
    const QString copy = path(QStringLiteral("mentes.tnx"));
    const ToolRun run = runTool({QStringLiteral("backup"), catalogue.path(), copy});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("has problems of its own"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("the table games is missing"))) << run.err.toStdString();
    EXPECT_EQ(queryRows(copy, QStringLiteral("SELECT count(*) FROM eloado")), QList<QVariantList>({{qlonglong(1)}}));
}

// A catalogue as another program makes it: the seven tables and their rows, nothing of the program's own (no kept
// tables, schema version 0). The check finds its version; the copy has it too, and is made with that as a warning,
// whether or not another program is writing to the file at the time.
TEST_F(BackupTargetTest, aPlainCatalogueIsCopiedWithAWarningAlsoWhileAnotherProgramWritesIt)
{
    const QString source = path(QStringLiteral("sima.tnx"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(source.toUtf8().constData(), &db), SQLITE_OK);
    QString sql = QStringLiteral("BEGIN;");
    for (const QString& statement : store::schemaStatements())
        sql += statement + QLatin1Char(';');
    for (int i = 0; i < 2000; ++i)
        sql += QStringLiteral("INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Előadó %1', 'Album');"
                              "INSERT INTO szamok (CIM, eloado_azonosito) VALUES ('Dal', %2);")
                   .arg(i)
                   .arg(i + 1);
    sql += QStringLiteral("PRAGMA user_version = 0; COMMIT;");
    ASSERT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    const QString version =
        QStringLiteral("warning:   the schema version is 0 where %1 is expected").arg(store::schemaVersion);

    for (const bool written : {false, true}) {
        SCOPED_TRACE(written ? "while written" : "idle");
        const QString copy = path(written ? QStringLiteral("írás közben.tnx") : QStringLiteral("nyugalomban.tnx"));
        std::unique_ptr<Writer> writer;
        if (written) {
            writer = std::make_unique<Writer>(source, "DELETE");
            writer->waitForCommits(20);
        }
        const ToolRun run = runTool({QStringLiteral("backup"), source, copy});
        if (writer) {
            writer->waitForCommits(writer->commits() + 20);
            writer->stop();
            ASSERT_FALSE(writer->failed());
        }
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(version)) << run.err.toStdString();
        const QList<QVariantList> counts =
            queryRows(copy, QStringLiteral("SELECT (SELECT count(*) FROM eloado), (SELECT count(*) FROM szamok), "
                                           "(SELECT count(*) FROM sqlite_master WHERE name LIKE 'mediatar%'), "
                                           "(SELECT user_version FROM pragma_user_version)"));
        ASSERT_EQ(counts.size(), 1);
        // As plain as the catalogue: the copy is not brought up to date on the way.
        EXPECT_EQ(counts.first().at(2).toLongLong(), 0);
        EXPECT_EQ(counts.first().at(3).toLongLong(), 0);
        EXPECT_EQ(counts.first().at(1).toLongLong(), counts.first().at(0).toLongLong());
        EXPECT_GE(counts.first().at(0).toLongLong(), written ? 2020 : 2000);
    }
}

// Damage the catalogue has itself is no fault of the copy: the copy is made, with the engine's findings as a warning.
TEST_F(BackupTargetTest, aCatalogueWithADamagedIndexIsCopiedWithTheDamageListed)
{
    TestCatalogue catalogue(dir.path());
    for (int i = 0; i < 200; ++i)
        catalogue.insert(QStringLiteral("games"), {QStringLiteral("Játék %1").arg(i), QString(), QString(), QString()});
    catalogue.exec(QStringLiteral("CREATE INDEX games_kod ON games (KOD)"));
    // The index loses its entries while the table keeps its rows: the engine's integrity check finds that.
    catalogue.exec(QStringLiteral("PRAGMA writable_schema = ON"));
    catalogue.exec(QStringLiteral("UPDATE sqlite_master SET sql = 'CREATE INDEX games_kod ON games (NEV)' "
                                  "WHERE name = 'games_kod'"));
    catalogue.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
    const ToolRun damaged = runTool({QStringLiteral("check"), catalogue.path()});
    ASSERT_EQ(damaged.code, 1);
    ASSERT_TRUE(damaged.out.contains(QStringLiteral("games_kod"))) << damaged.out.toStdString();

    const QString copy = path(QStringLiteral("mentes.tnx"));
    const ToolRun run = runTool({QStringLiteral("backup"), catalogue.path(), copy});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("has problems of its own"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("games_kod"))) << run.err.toStdString();
    EXPECT_EQ(queryRows(copy, QStringLiteral("SELECT count(*) FROM games")), QList<QVariantList>({{qlonglong(200)}}));
}

} // namespace
