// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/tool_support.h"
#include "hungarian/hungarian.h"
#include "platform/failure.h"
#include "store/catalogue_hold.h"
#include "store/hungarian_functions.h"

#include <QElapsedTimer>
#include <QThread>
#include <csignal>

using namespace tool_test;

namespace {

class ReplaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_FIXTURES();
        // What the other two commands make their catalogue of: a catalogue, and its tables as CSV files.
        ASSERT_EQ(runTool({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), source()}).code, 0);
        ASSERT_EQ(runTool({QStringLiteral("export"), source(), csvFolder()}).code, 0);
    }

    QString source() const { return sources.path() + QStringLiteral("/forras.tnx"); }
    QString csvFolder() const { return sources.path() + QStringLiteral("/csv"); }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    // A catalogue of this program at out, with one album, in the journal mode given.
    QString existingCatalogue(const char* journalMode)
    {
        const QString out = path(QStringLiteral("lista.tnx"));
        EXPECT_EQ(runTool({QStringLiteral("create"), out}).code, 0);
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(out.toUtf8().constData(), &db), SQLITE_OK);
        store::installHungarian(db);
        EXPECT_EQ(sqlite3_exec(db, QStringLiteral("PRAGMA journal_mode = %1").arg(QLatin1String(journalMode)).toUtf8(),
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db,
                               "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Omega', 'Időrabló'), ('Tücsökraj', 'Ősz')",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        return out;
    }

    // The arguments of each command that writes a new catalogue of 36 tracks over out.
    QStringList forcedArguments(const QString& command, const QString& out) const
    {
        if (command == QLatin1String("import-csv"))
            return {command, csvFolder(), out, QStringLiteral("--force")};
        if (command == QLatin1String("backup"))
            return {command, source(), out, QStringLiteral("--force")};
        return {command, QStringLiteral("--force"), fixture(QStringLiteral("sample.tnx")), out};
    }

    ToolRun forceWrite(const QString& command, const QString& out) { return runTool(forcedArguments(command, out)); }

    // The import was refused with a message that says why, and the catalogue is the one the program has open.
    void expectKept(const ToolRun& run, const QString& out, const QByteArray& hash)
    {
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("the catalogue is open in another program")))
            << run.err.toStdString();
        EXPECT_EQ(fileHash(out), hash);
        EXPECT_EQ(queryRows(out, QStringLiteral("SELECT count(*) FROM szamok")).value(0).value(0).toInt(), 0);
        for (const QString& name : folderEntries(dir.path()))
            EXPECT_TRUE(name.startsWith(QLatin1String("lista.tnx"))) << name.toStdString();
    }

    const QStringList commands{QStringLiteral("import"), QStringLiteral("import-csv"), QStringLiteral("backup")};
    QTemporaryDir dir;
    QTemporaryDir sources;
};

// A connection that has the catalogue open, as the program has: idle, or in the middle of reading.
class OpenCatalogue
{
public:
    OpenCatalogue(const QString& path, bool reading)
    {
        EXPECT_EQ(sqlite3_open(path.toUtf8().constData(), &m_db), SQLITE_OK);
        EXPECT_EQ(sqlite3_prepare_v2(m_db, "SELECT * FROM eloado", -1, &m_statement, nullptr), SQLITE_OK);
        // Opening reads the schema; a statement stepped once and not finished keeps a read transaction open.
        EXPECT_EQ(sqlite3_step(m_statement), SQLITE_ROW);
        if (!reading)
            sqlite3_reset(m_statement);
    }
    ~OpenCatalogue()
    {
        sqlite3_finalize(m_statement);
        sqlite3_close(m_db);
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

TEST_F(ReplaceTest, aCatalogueThatAnotherConnectionHasOpenIsNotReplacedByAnyCommandInEitherJournalMode)
{
    for (const QString& command : commands) {
        for (const char* mode : {"WAL", "DELETE"}) {
            for (const bool reading : {false, true}) {
                SCOPED_TRACE(command.toStdString() + ", " + mode + (reading ? ", reading" : ", idle"));
                const QString out = existingCatalogue(mode);
                const QByteArray hash = fileHash(out);
                {
                    OpenCatalogue program(out, reading);
                    expectKept(forceWrite(command, out), out, hash);
                }
                // Once the other program has let it go, --force replaces it.
                const ToolRun run = forceWrite(command, out);
                EXPECT_EQ(run.code, 0) << run.err.toStdString();
                EXPECT_EQ(queryRows(out, QStringLiteral("SELECT count(*) FROM szamok")).value(0).value(0).toInt(), 36);
                EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("lista.tnx")});
                for (const QString& name : folderEntries(dir.path()))
                    QFile::remove(path(name));
            }
        }
    }
}

// What the engine's locks alone tell, for a program the process table does not show (another user's): WAL
// tells an idle connection, rollback mode only a reading one. The hold, once taken, keeps every reader out.
TEST_F(ReplaceTest, theEnginesLocksTellWhatTheyCanAndTheHoldKeepsOthersOut)
{
    const auto refused = [](const QString& path) {
        try {
            store::CatalogueHold hold(path, store::CatalogueHold::Look::LocksOnly);
            return false;
        } catch (const platform::Failure& failure) {
            EXPECT_TRUE(failure.text().contains(QStringLiteral("open in another program")))
                << failure.text().toStdString();
            return true;
        }
    };
    struct Case
    {
        const char* mode;
        bool reading;
        bool told;
    };
    for (const Case& test : {Case{"WAL", false, true}, Case{"WAL", true, true}, Case{"DELETE", true, true},
                             Case{"DELETE", false, false}}) {
        SCOPED_TRACE(std::string(test.mode) + (test.reading ? ", reading" : ", idle"));
        const QString out = existingCatalogue(test.mode);
        {
            OpenCatalogue program(out, test.reading);
            EXPECT_EQ(refused(out), test.told);
        }
        {
            store::CatalogueHold hold(out, store::CatalogueHold::Look::LocksOnly);
            sqlite3* other = nullptr;
            ASSERT_EQ(sqlite3_open(out.toUtf8().constData(), &other), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(other, "SELECT count(*) FROM eloado", nullptr, nullptr, nullptr), SQLITE_BUSY);
            sqlite3_close(other);
        }
        EXPECT_EQ(queryRows(out, QStringLiteral("SELECT count(*) FROM eloado")).value(0).value(0).toInt(), 2);
        for (const QString& name : folderEntries(dir.path()))
            QFile::remove(path(name));
    }
}

// The same through the executable, with the catalogue open in another process: the stock sqlite3 tool.
TEST_F(ReplaceTest, aCatalogueOpenInAnotherProcessIsNotReplaced)
{
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        GTEST_SKIP() << "sqlite3 is not installed";
    for (const QString& command : commands) {
        for (const char* mode : {"WAL", "DELETE"}) {
            SCOPED_TRACE(command.toStdString() + ", " + mode);
            const QString out = existingCatalogue(mode);
            const QByteArray hash = fileHash(out);
            QProcess other;
            other.start(shell, {out});
            ASSERT_TRUE(other.waitForStarted());
            other.write("SELECT 'kész', count(*) FROM eloado;\n");
            QElapsedTimer waited;
            waited.start();
            while (!other.readAllStandardOutput().contains("kész") && waited.elapsed() < 10000)
                other.waitForReadyRead(100);

            QProcess tool;
            tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL), forcedArguments(command, out));
            ASSERT_TRUE(tool.waitForFinished(60000));
            ToolRun run;
            run.code = tool.exitCode();
            run.err = QString::fromUtf8(tool.readAllStandardError());
            expectKept(run, out, hash);

            other.closeWriteChannel();
            other.waitForFinished(10000);
            for (const QString& name : folderEntries(dir.path()))
                QFile::remove(path(name));
        }
    }
}

TEST_F(ReplaceTest, staleTemporaryFilesAreRemovedAndOnesInUseKept)
{
    const auto make = [this](const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    // What killed imports leave: this version's names and the earlier ones, with the engine's side files.
    make(QStringLiteral(".lista.tnx.mediatar-import-1a2b3c"), "SQLite format 3");
    make(QStringLiteral(".lista.tnx.mediatar-import-1a2b3c-journal"), "");
    make(QStringLiteral(".masik.tnx.import-zz9"), "SQLite format 3");
    // One that a running import still holds, and files of the user's that only look alike.
    make(QStringLiteral(".lista.tnx.mediatar-import-fut"), "SQLite format 3");
    QFile running(path(QStringLiteral(".lista.tnx.mediatar-import-fut")));
    ASSERT_TRUE(running.open(QIODevice::ReadOnly));
    make(QStringLiteral("lista.tnx.mediatar-import-1"), "mine");
    make(QStringLiteral(".jegyzet.txt"), "mine");

    const ToolRun run =
        runTool({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), path(QStringLiteral("uj.tnx"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(folderEntries(dir.path()),
              (QStringList{QStringLiteral(".jegyzet.txt"), QStringLiteral(".lista.tnx.mediatar-import-fut"),
                           QStringLiteral("lista.tnx.mediatar-import-1"), QStringLiteral("uj.tnx")}));
}

// Each command names its temporary file for what it is writing; whichever of them a killed run left behind,
// the next run of any of them in the folder clears it away, and keeps one that a running command holds.
TEST_F(ReplaceTest, aStaleTemporaryOfAnyCommandIsClearedByTheNextRunOfEach)
{
    const auto make = [this](const QString& name) {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("SQLite format 3");
    };
    for (const QString& command : commands) {
        SCOPED_TRACE(command.toStdString());
        for (const char* purpose : {"import", "csv", "backup"}) {
            make(QStringLiteral(".lista.tnx.mediatar-%1-1a2b3c").arg(QLatin1String(purpose)));
            make(QStringLiteral(".lista.tnx.mediatar-%1-1a2b3c-journal").arg(QLatin1String(purpose)));
        }
        make(QStringLiteral(".lista.tnx.mediatar-backup-fut"));
        QFile running(path(QStringLiteral(".lista.tnx.mediatar-backup-fut")));
        ASSERT_TRUE(running.open(QIODevice::ReadOnly));

        const ToolRun run = runTool(forcedArguments(command, path(QStringLiteral("uj.tnx"))));
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_EQ(folderEntries(dir.path()),
                  (QStringList{QStringLiteral(".lista.tnx.mediatar-backup-fut"), QStringLiteral("uj.tnx")}));
        running.close();
        for (const QString& name : folderEntries(dir.path()))
            QFile::remove(path(name));
    }
}

// A killed import leaves its temporary file; the next import into the folder clears it away.
TEST_F(ReplaceTest, aKilledImportLeavesNothingThatTheNextImportKeeps)
{
    const QString medium = fixture(QStringLiteral("medium.tnx"));
    if (!QFileInfo::exists(medium))
        GTEST_SKIP() << "medium.tnx is not there";
    const QString out = path(QStringLiteral("nagy.tnx"));
    QProcess tool;
    tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL), {QStringLiteral("import"), medium, out});
    ASSERT_TRUE(tool.waitForStarted());
    // Killed while the rows are being copied.
    QStringList seen;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000 && tool.state() == QProcess::Running) {
        seen = folderEntries(dir.path());
        if (!seen.isEmpty() && QFileInfo(path(seen.first())).size() > 256 * 1024)
            break;
        QThread::msleep(2);
    }
    ::kill(static_cast<pid_t>(tool.processId()), SIGKILL);
    tool.waitForFinished(10000);
    ASSERT_FALSE(seen.isEmpty());
    // Named for what it is, beside the file it was to become.
    for (const QString& name : seen)
        EXPECT_TRUE(name.startsWith(QLatin1String(".nagy.tnx.mediatar-import-"))) << name.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
    ASSERT_FALSE(folderEntries(dir.path()).isEmpty());

    const ToolRun run = runTool({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), path("kicsi.tnx")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("kicsi.tnx")});
}

} // namespace
