// SPDX-License-Identifier: GPL-3.0-or-later

#include "hungarian/hungarian.h"
#include "platform/failure.h"
#include "engine/categories.h"
#include "store/connection_setup.h"
#include "store/kept_order.h"
#include "catalogue/query_channel.h"
#include "store/row_set.h"
#include "store/schema.h"
#include "support/bare_engine.h"
#include "support/unprivileged_run.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/qt_printing.h"
#include "store/hungarian_functions.h"

// A catalogue stays a plain SQLite file: the stock sqlite3 tool writes every table of one the program has
// opened, the program brings those rows into its lists, the file is plain at rest, read-only files open
// read-only, and only catalogues are ever changed.

namespace {

struct ToolRun
{
    int code = -1;
    QString out;
    QString err;
};

QString stockToolPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
}

// Runs the stock sqlite3 tool on a file, as a user mending rows with it would.
ToolRun stockTool(const QString& file, const QString& sql)
{
    QProcess tool;
    tool.start(stockToolPath(), {QStringLiteral("-batch"), QStringLiteral("-bail"), file, sql});
    tool.waitForFinished(60000);
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()).trimmed(),
            QString::fromUtf8(tool.readAllStandardError()).trimmed()};
}

void expectStockToolWrites(const QString& file, const QString& sql)
{
    const ToolRun run = stockTool(file, sql);
    EXPECT_EQ(run.code, 0) << sql.toStdString() << ": " << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << sql.toStdString() << ": " << run.err.toStdString();
}

ToolRun catalogueTool(const QStringList& args)
{
    QProcess tool;
    tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL), args);
    tool.waitForFinished(60000);
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()),
            QString::fromUtf8(tool.readAllStandardError())};
}

QByteArray hashOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("unreadable");
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

QStringList sideFiles(const QString& path)
{
    QStringList present;
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        if (QFile::exists(path + QLatin1String(suffix)))
            present << path + QLatin1String(suffix);
    }
    return present;
}

// A connection of the bare engine with the program's Hungarian functions, which recounts what the program keeps.
class Recount
{
public:
    explicit Recount(const QString& path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        if (sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) != SQLITE_OK) {
            // A file in WAL mode in a folder where the engine cannot make its side files.
            sqlite3_close(m_db);
            const QByteArray uri = "file:" + QFile::encodeName(path) + "?mode=ro&immutable=1";
            sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
        }
        store::installHungarian(m_db);
    }
    ~Recount() { sqlite3_close(m_db); }
    QStringList rows(const QString& sql) const { return bareRows(m_db, sql); }
    int number(const QString& sql) const { return rows(sql).value(0).toInt(); }

private:
    sqlite3* m_db = nullptr;
};

// The first shown column of each tab and the Hungarian order its list must have, recounted from the data.
QString firstColumn(int tab)
{
    return engine::category(tab).columns.front().field;
}

QStringList recountedOrder(const QString& path, int tab, const QString& pattern = QString())
{
    const engine::ListedTable& listed = engine::listedTables().at(static_cast<std::size_t>(tab));
    QStringList keys;
    for (const QString& column : listed.columns)
        keys << QStringLiteral("hungarian_key(%1)").arg(column);
    const QString where =
        pattern.isEmpty()
            ? QString()
            : QStringLiteral(" WHERE %1 LIKE '%2'").arg(listed.columns.first(), QString(pattern).replace("'", "''"));
    return Recount(path).rows(QStringLiteral("SELECT ifnull(%1, '') FROM %2%3 ORDER BY %4, %5, rowid")
                                  .arg(firstColumn(tab), listed.table, where, keys.join(QStringLiteral(", ")),
                                       listed.columns.join(QStringLiteral(", "))));
}

QStringList listed(const catalogue::QueryChannel& channel, const QString& column)
{
    QStringList values;
    for (int row = 0; row < channel.recordCount(); ++row)
        values << channel.fieldText(row, column);
    return values;
}

bool readsKeptOrder(const catalogue::QueryChannel& channel)
{
    const auto* rows = dynamic_cast<const store::PagedRowSet*>(channel.rows());
    return rows && rows->readsKeptOrder();
}

// Rows another program writes, in every table: odd text, NULLs, numbers, quotes, long values.
const QString anotherProgramsRows = QStringLiteral(
    "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Zorán', 'Körtánc'), ('ábel', NULL), (NULL, 'Cím nélkül'), "
    "('Csík zenekar', 'Senki sem tud'), ('omega', 'Élő Omega'), (1234, 'szám');"
    "INSERT INTO szamok VALUES ('Kertész leszek', '00:03:10', '4 MB', '192', 'CD1', last_insert_rowid());"
    "INSERT INTO Valogatasok VALUES ('Ötös válogatás', 'A', '01:00:00', '128', '700 MB', 'K1'), "
    "('öreg rock', NULL, NULL, NULL, NULL, NULL), ('O''Brien', 'x', '', '', '', '');"
    "INSERT INTO DVD_Filmek VALUES ('Szindbád', 'Sindbad', 'HU', '-', '1', '01:38:00', 'Dráma'), "
    "('szegénylegények', NULL, NULL, NULL, NULL, NULL, NULL), ('Ágyú', 'x', 'x', 'x', 'x', 'x', 'x');"
    "INSERT INTO Filmek_videoklippek VALUES ('Csinibaba', '', '', '', '', '', '', '', ''), "
    "(NULL, 'nincs cím', '', '', '', '', '', '', '');"
    "INSERT INTO games VALUES ('Szél és vihar', 'Kaland', '1 GB', 'DVD-1'), ('szarka', NULL, NULL, NULL), "
    "('Ő', NULL, NULL, NULL), (42, NULL, NULL, NULL), ('', NULL, NULL, NULL);"
    "INSERT INTO progs_other VALUES ('Gyors program', 'x', '1 MB', 'CD-2'), ('gyűjtő', NULL, NULL, NULL);"
    "UPDATE games SET NEV = 'Ötvös' WHERE NEV = 'alma';"
    "UPDATE eloado SET ALBUM = 'Gyöngyhajú lány' WHERE ELOADO = 'Omega';"
    "UPDATE DVD_Filmek SET Nyelv = 'EN' WHERE CIM = 'Üvegtigris';"
    "DELETE FROM games WHERE NEV = 'Zsákutca';"
    "DELETE FROM progs_other WHERE Programok LIKE 'T%';"
    "DELETE FROM szamok WHERE CIM = 'Időrabló';");

class PlainFileTest : public ::testing::Test
{
protected:
    PlainFileTest() : browse(QStringLiteral("plain_browse")), detail(QStringLiteral("plain_detail")) {}

    void SetUp() override
    {
        if (stockToolPath().isEmpty())
            GTEST_SKIP() << "the stock sqlite3 tool is needed";
    }

    // A catalogue with rows in every table, written by the program's own connection set-up.
    QString catalogueWithRows(const QString& name = QStringLiteral("katalogus.tnx"))
    {
        const QString path = dir.filePath(name);
        store::createCatalogueFile(path);
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        store::prepareConnection(db);
        sqlite3_exec(db,
                     "BEGIN;"
                     "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Omega', 'Időrabló'), ('Illés', 'Human Rights');"
                     "INSERT INTO szamok VALUES ('Időrabló', '00:04:10', '5 MB', '192', 'MP3-01', 1);"
                     "INSERT INTO Valogatasok VALUES ('Best of', 'B', '', '', '', '');"
                     "INSERT INTO DVD_Filmek VALUES ('Üvegtigris', 'Glass Tiger', 'HU', '-', '1', '01:45:00', 'x');"
                     "INSERT INTO Filmek_videoklippek VALUES ('Macskafogó', '', '', '', '', '', '', '', '');"
                     "INSERT INTO games VALUES ('Zsákutca', NULL, NULL, NULL), ('alma', NULL, NULL, NULL), "
                     "('sas', NULL, NULL, NULL), ('Csillagok', NULL, NULL, NULL);"
                     "INSERT INTO progs_other VALUES ('Total Commander', '', '', ''), ('Word', '', '', '');"
                     "COMMIT; PRAGMA journal_mode = DELETE;",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return path;
    }

    void open(const QString& path)
    {
        browse.pointAt(path);
        detail.pointAt(path);
        browse.connect();
        detail.connect();
    }

    void close()
    {
        browse.disconnect();
        detail.disconnect();
    }

    // Every tab's list, count and short prefix searches against a recount of the data.
    void expectListsMatchTheData(const QString& path, bool throughKeptOrder)
    {
        for (int tab = 0; tab < engine::dataCategoryCount; ++tab) {
            SCOPED_TRACE(tab);
            const engine::Category& category = engine::category(tab);
            browse.setStatement(category.browseStatement());
            browse.open();
            EXPECT_EQ(readsKeptOrder(browse), throughKeptOrder);
            EXPECT_EQ(listed(browse, firstColumn(tab)), recountedOrder(path, tab));
            EXPECT_EQ(browse.recordCount(),
                      Recount(path).number(QStringLiteral("SELECT count(*) FROM %1").arg(category.table)));
            const QString column = engine::listedTables().at(static_cast<std::size_t>(tab)).columns.first();
            for (const char* start : {"a", "Sz", "ő", "ö", "cs", "1", "gyö", "o'"}) {
                const QString typed = QString::fromUtf8(start);
                SCOPED_TRACE(start);
                browse.setStatement(category.searchStatement(column, typed, false));
                browse.open();
                EXPECT_EQ(listed(browse, firstColumn(tab)), recountedOrder(path, tab, typed + QStringLiteral("%")));
            }
            browse.setStatement(category.searchStatement(column, QStringLiteral("e"), true));
            browse.open();
            EXPECT_EQ(listed(browse, firstColumn(tab)), recountedOrder(path, tab, QStringLiteral("%e%")));
        }
    }

    QTemporaryDir dir;
    catalogue::QueryChannel browse;
    catalogue::QueryChannel detail;
};

TEST_F(PlainFileTest, theStockToolWritesEveryTableOfAnOpenedCatalogueAndTheListsShowItsRows)
{
    const QString path = catalogueWithRows();
    open(path);
    expectListsMatchTheData(path, true);
    close();

    // Insert, update and delete in every table, the program's own tables included, with nothing loaded.
    expectStockToolWrites(path, anotherProgramsRows);
    for (const char* table : {"eloado", "szamok", "Valogatasok", "DVD_Filmek", "Filmek_videoklippek", "games",
                              "progs_other", "mediatar_row_counts", "mediatar_changes"})
        expectStockToolWrites(path, QStringLiteral("UPDATE %1 SET rowid = rowid WHERE 0").arg(QLatin1String(table)));
    expectStockToolWrites(path, QStringLiteral("PRAGMA integrity_check"));

    open(path);
    expectListsMatchTheData(path, true);
    // And again while the program has the file open: the next list shows them.
    expectStockToolWrites(path, QStringLiteral("INSERT INTO games VALUES ('Ábécé', NULL, NULL, NULL); "
                                               "UPDATE games SET NEV = 'Szarka' WHERE NEV = 'szarka'"));
    expectListsMatchTheData(path, true);
    close();
    EXPECT_TRUE(Recount(path).rows(QStringLiteral("SELECT * FROM mediatar_changes")).isEmpty());
}

// A catalogue the previous version had opened kept indexes and triggers on the program's own functions: the
// program takes them out, and the stock tool can write to it again.
TEST_F(PlainFileTest, aCatalogueOfTheVersionWithFunctionIndexesIsMadePlain)
{
    const QString path = dir.filePath(QStringLiteral("v3.tnx"));
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    store::prepareConnection(db);
    for (const QString& statement : store::schemaStatements())
        sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(db,
                 "INSERT INTO games VALUES ('Ötödik', NULL, NULL, NULL), ('alma', NULL, NULL, NULL);"
                 "CREATE INDEX games_in_order ON games (hungarian_key(NEV), NEV);"
                 "CREATE TABLE mediatar_row_counts (table_name TEXT COLLATE NOCASE PRIMARY KEY, row_count INTEGER);"
                 "CREATE TRIGGER games_counted_insert AFTER INSERT ON games BEGIN UPDATE mediatar_row_counts "
                 "SET row_count = row_count + 1 WHERE table_name = 'games'; END;"
                 "CREATE TRIGGER games_prefixes_insert AFTER INSERT ON games BEGIN SELECT hungarian_prefix(new.NEV, "
                 "1); END;"
                 "PRAGMA user_version = 3;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_NE(stockTool(path, QStringLiteral("INSERT INTO games VALUES ('x', NULL, NULL, NULL)")).code, 0);

    open(path);
    close();
    expectStockToolWrites(path, QStringLiteral("INSERT INTO games VALUES ('Zoli', NULL, NULL, NULL)"));
    open(path);
    browse.setStatement(engine::category(4).browseStatement());
    browse.open();
    EXPECT_EQ(listed(browse, QStringLiteral("NEV")), QStringList({"alma", "Ötödik", "Zoli"}));
}

// A vacuum may give the rows of a table without an integer key other rowids; a tool that rebuilds a table drops
// its triggers with it; an index of the program's may be dropped. Each shows in the file's schema, and the
// program checks and rebuilds what it keeps.
TEST_F(PlainFileTest, aVacuumARebuiltTableAndADroppedIndexAreNoticed)
{
    const QString path = catalogueWithRows();
    open(path);
    close();
    QStringList many;
    for (int i = 0; i < 300; ++i)
        many << QStringLiteral("('%1 %2', NULL, NULL, NULL)").arg(i % 2 ? "Szél" : "alma").arg(i);
    expectStockToolWrites(path, QStringLiteral("INSERT INTO games VALUES %1").arg(many.join(',')));
    open(path);
    close();
    const QString before = stockTool(path, QStringLiteral("SELECT group_concat(rowid) FROM games")).out;
    expectStockToolWrites(path, QStringLiteral("DELETE FROM games WHERE rowid % 3 = 0; VACUUM;"));
    // Renumbered behind the program's back: the rows keep no rowid of their own across a rebuild like this.
    expectStockToolWrites(path,
                          QStringLiteral("CREATE TABLE games_new (NEV TEXT, Megjegyzes TEXT, MERET TEXT, KOD TEXT);"
                                         "INSERT INTO games_new SELECT * FROM games ORDER BY NEV DESC;"
                                         "DROP TABLE games; ALTER TABLE games_new RENAME TO games;"
                                         "DROP INDEX mediatar_order_DVD_Filmek_in_order;"));
    EXPECT_NE(stockTool(path, QStringLiteral("SELECT group_concat(rowid) FROM games")).out, before);
    open(path);
    expectListsMatchTheData(path, true);
    close();
    // The rebuilt table logs its changes again.
    expectStockToolWrites(path, QStringLiteral("INSERT INTO games VALUES ('Ágyú', NULL, NULL, NULL)"));
    EXPECT_EQ(stockTool(path, QStringLiteral("SELECT count(*) FROM mediatar_changes")).out, QStringLiteral("1"));
    open(path);
    expectListsMatchTheData(path, true);
    close();

    // A table another program dropped: its tab reports it, the others list as before.
    expectStockToolWrites(path, QStringLiteral("DROP TABLE progs_other"));
    open(path);
    browse.setStatement(engine::category(5).browseStatement());
    EXPECT_THROW(browse.open(), platform::Failure);
    browse.setStatement(engine::category(4).browseStatement());
    browse.open();
    EXPECT_TRUE(readsKeptOrder(browse));
    EXPECT_EQ(listed(browse, QStringLiteral("NEV")), recountedOrder(path, 4));
    close();
    EXPECT_EQ(stockTool(path, QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE name LIKE "
                                             "'mediatar_order_progs_other%'"))
                  .out,
              QStringLiteral("0"));
}

TEST_F(PlainFileTest, closingLeavesTheRollbackJournalAndNoSideFiles)
{
    const QString path = catalogueWithRows();
    EXPECT_EQ(stockTool(path, QStringLiteral("PRAGMA journal_mode")).out, QStringLiteral("delete"));
    open(path);
    browse.setStatement(engine::category(4).browseStatement());
    browse.open();
    EXPECT_TRUE(QFile::exists(path + QStringLiteral("-wal"))); // while it runs, the shared journal
    // A second running copy of the program on the same file.
    catalogue::QueryChannel other(QStringLiteral("plain_other_copy"));
    other.pointAt(path);
    other.setStatement(engine::category(4).browseStatement());
    other.open();
    other.setStatement(
        engine::Statement(QStringLiteral("insert into games values (")).quoted("B").fixed(", '', '', '')"));
    other.execute();
    close();
    // The other copy still has it open: leaving WAL was refused, and the other copy goes on.
    EXPECT_TRUE(QFile::exists(path + QStringLiteral("-wal")));
    other.setStatement(engine::category(4).browseStatement());
    other.open();
    EXPECT_EQ(other.recordCount(), 5);
    other.disconnect();
    EXPECT_EQ(sideFiles(path), QStringList());
    EXPECT_EQ(stockTool(path, QStringLiteral("PRAGMA journal_mode")).out, QStringLiteral("delete"));
    EXPECT_EQ(stockTool(path, QStringLiteral("SELECT count(*) FROM games")).out, QStringLiteral("5"));
}

TEST_F(PlainFileTest, aForeignDatabaseAndAnEmptyFileAreRefusedAndLeftAsTheyWere)
{
    const QString foreign = dir.filePath(QStringLiteral("contacts.db"));
    expectStockToolWrites(foreign, QStringLiteral("CREATE TABLE contacts (name TEXT, phone TEXT); INSERT INTO "
                                                  "contacts VALUES ('Anna', '123'); PRAGMA user_version = 3;"));
    const QString empty = dir.filePath(QStringLiteral("ures.tnx"));
    QFile(empty).open(QIODevice::WriteOnly);
    for (const QString& path : {foreign, empty}) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray before = hashOf(path);
        browse.pointAt(path);
        browse.setStatement(engine::category(0).browseStatement());
        try {
            browse.open();
            ADD_FAILURE() << "opened as a catalogue";
        } catch (const platform::Failure& failure) {
            EXPECT_TRUE(failure.text().contains(QStringLiteral("nem Médiatár-katalógus")))
                << failure.text().toStdString();
        }
        browse.disconnect();
        EXPECT_EQ(hashOf(path), before);
        EXPECT_EQ(sideFiles(path), QStringList());
    }
    EXPECT_EQ(QFileInfo(empty).size(), 0);
}

// The upgrade runs in one transaction: a program killed half-way leaves the older file as it was, and the next
// opening upgrades it.
TEST_F(PlainFileTest, anInterruptedUpgradeLeavesTheFileAsItWas)
{
    const QString path = dir.filePath(QStringLiteral("regi.tnx"));
    expectStockToolWrites(path, store::schemaStatements().join(';') +
                                    QStringLiteral(";INSERT INTO games VALUES ('Ötödik', 'x', NULL, NULL), "
                                                   "('alma', NULL, NULL, NULL); INSERT INTO DVD_Filmek (CIM) VALUES "
                                                   "('Szindbád'); PRAGMA user_version = 1;"));
    const auto content = [&] {
        return stockTool(path, QStringLiteral("SELECT type, name, sql FROM sqlite_schema ORDER BY name; "
                                              "SELECT * FROM games; SELECT * FROM DVD_Filmek; PRAGMA user_version"))
            .out;
    };
    const QString before = content();
    const pid_t child = fork();
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        store::prepareConnection(db);
        store::upgradeSchema(db, [](const QString& table) {
            if (table == QLatin1String("Filmek_videoklippek"))
                std::raise(SIGKILL); // half-way, as a power cut would
        });
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(content(), before);
    open(path);
    EXPECT_EQ(Recount(path).number(QStringLiteral("PRAGMA user_version")), store::schemaVersion);
    browse.setStatement(engine::category(4).browseStatement());
    browse.open();
    EXPECT_TRUE(readsKeptOrder(browse));
    EXPECT_EQ(listed(browse, QStringLiteral("NEV")), QStringList({"alma", "Ötödik"}));
}

TEST_F(PlainFileTest, theUpgradeNamesEachTableItIndexes)
{
    const QString path = dir.filePath(QStringLiteral("regi.tnx"));
    expectStockToolWrites(path, store::schemaStatements().join(';') + QStringLiteral("; PRAGMA user_version = 1"));
    QStringList named;
    browse.setUpgradeProgress([&](const QString& table) { named << table; });
    browse.pointAt(path);
    browse.connect();
    EXPECT_EQ(named,
              QStringList({"eloado", "Valogatasok", "DVD_Filmek", "Filmek_videoklippek", "games", "progs_other", ""}));
}

// A kept count another program made wrong: check finds it and --repair mends it; the program, finding a screen
// short of its count, recounts and lists again rather than showing blank rows.
TEST_F(PlainFileTest, aTamperedKeptCountIsFoundByCheckAndRepaired)
{
    const QString path = catalogueWithRows();
    open(path);
    close();
    EXPECT_EQ(catalogueTool({QStringLiteral("check"), path}).code, 0);
    expectStockToolWrites(path, QStringLiteral("UPDATE mediatar_row_counts SET row_count = 60 WHERE table_name = "
                                               "'games'; UPDATE mediatar_prefix_counts SET row_count = 9 WHERE "
                                               "table_name = 'games' AND prefix = 'a'"));
    ToolRun run = catalogueTool({QStringLiteral("check"), path});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.out.contains(QStringLiteral("the kept row count of games is 60 where the table holds 4 rows")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("starting with 'a' is 9 where 1 rows do"))) << run.out.toStdString();
    const QByteArray unrepaired = hashOf(path);
    run = catalogueTool({QStringLiteral("check"), path, QStringLiteral("--repair")});
    EXPECT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_NE(hashOf(path), unrepaired);
    EXPECT_EQ(catalogueTool({QStringLiteral("check"), path}).code, 0);

    // The program reading a list whose count is too high.
    expectStockToolWrites(path,
                          QStringLiteral("UPDATE mediatar_row_counts SET row_count = 70 WHERE table_name = 'games'"));
    open(path);
    QSignalSpy recounted(&browse, &catalogue::QueryChannel::recounted);
    browse.setStatement(engine::category(4).browseStatement());
    browse.open();
    EXPECT_EQ(browse.recordCount(), 70);
    browse.fieldText(69, QStringLiteral("NEV")); // the last screen comes back short
    QElapsedTimer waited;
    waited.start();
    while (recounted.isEmpty() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(recounted.size(), 1);
    EXPECT_EQ(listed(browse, QStringLiteral("NEV")), QStringList({"alma", "Csillagok", "sas", "Zsákutca"}));
    close();
    EXPECT_EQ(catalogueTool({QStringLiteral("check"), path}).code, 0);

    // A count of none over a table with rows: the list is counted and the count mended.
    expectStockToolWrites(path,
                          QStringLiteral("UPDATE mediatar_row_counts SET row_count = 0 WHERE table_name = 'games'"));
    open(path);
    browse.setStatement(engine::category(4).browseStatement());
    browse.open();
    EXPECT_EQ(browse.recordCount(), 4);
    QCoreApplication::processEvents();
    close();
    EXPECT_EQ(catalogueTool({QStringLiteral("check"), path}).code, 0);
}

class ReadOnlyCatalogueTest : public PlainFileTest
{
protected:
    // Lists, counts and searches work, every change is refused with the message, and the file is unchanged.
    void expectReadOnlyUse(const QString& path, bool throughKeptOrder)
    {
        const QByteArray before = hashOf(path);
        const QStringList sideFilesBefore = sideFiles(path);
        open(path);
        EXPECT_TRUE(browse.readOnly());
        expectListsMatchTheData(path, throughKeptOrder);
        browse.setStatement(engine::Statement(QStringLiteral("delete from games")));
        try {
            browse.execute();
            ADD_FAILURE() << "a change reached a read-only catalogue";
        } catch (const platform::Failure& failure) {
            EXPECT_EQ(failure.text(), engine::readOnlyMessage());
        }
        close();
        EXPECT_EQ(hashOf(path), before);
        EXPECT_EQ(sideFiles(path), sideFilesBefore);
    }
};

TEST_F(ReadOnlyCatalogueTest, aFileWithoutWritePermissionOpensReadOnly)
{
    if (runUnprivileged())
        return;
    const QString path = catalogueWithRows();
    open(path);
    close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    expectReadOnlyUse(path, true);
    // Rows another program wrote before the file became read-only: listed from the data, in their places.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    expectStockToolWrites(path, anotherProgramsRows);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    expectReadOnlyUse(path, false);
}

TEST_F(ReadOnlyCatalogueTest, aFileInAReadOnlyFolderOpensReadOnly)
{
    if (runUnprivileged())
        return;
    const QString folder = dir.filePath(QStringLiteral("lemez"));
    QDir().mkpath(folder);
    const QString path = catalogueWithRows(QStringLiteral("lemez/katalogus.tnx"));
    open(path);
    close();
    // A catalogue the older version would have left in WAL mode, copied onto the medium.
    const QString wal = catalogueWithRows(QStringLiteral("lemez/wal.tnx"));
    open(wal);
    close();
    expectStockToolWrites(wal, QStringLiteral("PRAGMA journal_mode = WAL"));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    expectReadOnlyUse(path, true);
    expectReadOnlyUse(wal, true);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
}

} // namespace
