// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_schema.h"
#include "server_support.h"
#include "store/schema.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <sqlite3.h>

// The tool's commands that read or write a catalogue, each on a server as on a file: what a file gives, the
// server gives byte for byte.

using server_test::execute;
using server_test::hostileCatalogue;
using test_server::PostgresServer;
using tool_test::runTool;
using tool_test::ToolRun;

namespace {

using Files = QMap<QString, QByteArray>;

// Every file in a folder with its bytes.
Files filesIn(const QString& dir)
{
    Files files;
    for (const QString& name : QDir(dir).entryList(QDir::Files, QDir::Name)) {
        QFile file(QDir(dir).filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        files.insert(name, file.readAll());
    }
    return files;
}

// The CSV files 'export' writes of the catalogue (a file or a URI), by name.
Files exported(const QString& catalogue, const QString& dir)
{
    const ToolRun run = runTool({QStringLiteral("export"), catalogue, dir});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    const Files files = filesIn(dir);
    EXPECT_EQ(files.size(), static_cast<qsizetype>(engine::catalogueTables().size()));
    return files;
}

void expectSameFiles(const Files& actual, const Files& expected)
{
    ASSERT_EQ(actual.keys(), expected.keys());
    for (const QString& name : expected.keys())
        EXPECT_EQ(actual.value(name).toStdString(), expected.value(name).toStdString()) << name.toStdString();
}

// The kept count of every table equals its rows.
void expectKeptCountsRight(const QString& uri)
{
    server::Connection connection(uri);
    for (const engine::TableDefinition& table : engine::catalogueTables())
        EXPECT_EQ(server::keptRowCount(connection, table.name), server::countedRows(connection, table.name))
            << table.name.toStdString();
}

// Adds to the hostile catalogue the rows a CSV file quotes: commas, quotes, line ends of both kinds, and
// capital Ő and Ű.
void addQuotedRows(const QString& path)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    execute(db, "INSERT INTO games VALUES (?, ?, ?, ?)",
            {QStringLiteral("Vessző, \"idéző\" és ŰR\r\nkocsivissza"), QStringLiteral("ŐŰ őű 50%_\\"), QString(),
             std::nullopt});
    execute(db, "INSERT INTO DVD_Filmek VALUES (?, '', NULL, ',', '\"', '\t', ?)",
            {QStringLiteral("Űrodüsszeia"), QStringLiteral("a\\b\\\\c")});
    sqlite3_close(db);
}

class ServerToolTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return folder.filePath(name); }
    // A new database with an empty catalogue that create made.
    QString createdCatalogue(const QString& name)
    {
        const QString uri = PostgresServer::instance().newDatabase(name);
        const ToolRun created = runTool({QStringLiteral("create"), uri});
        EXPECT_EQ(created.code, 0) << created.err.toStdString();
        return uri;
    }
    // The URI with a password that must never be printed (the test server does not ask for one).
    static QString withPassword(const QString& uri)
    {
        return QString(uri).replace(QStringLiteral("postgresql://postgres@"),
                                    QStringLiteral("postgresql://postgres:Titok%25jelszo@"));
    }

    QTemporaryDir folder;
};

} // namespace

// A catalogue copied to a server exports there exactly as the file it came from: every value, null and empty text,
// in the file's order. A server catalogue with a table missing is refused before a file is written.
TEST_F(ServerToolTest, ExportFromAServerEqualsExportFromItsFile)
{
    ASSERT_SERVER_RUNNING();
    const QString source = hostileCatalogue(folder.path());
    addQuotedRows(source);
    const QString uri = PostgresServer::instance().newDatabase(QStringLiteral("export_same"));
    ASSERT_EQ(runTool({QStringLiteral("copy"), source, uri}).code, 0);

    const Files fromFile = exported(source, path(QStringLiteral("file")));
    const ToolRun run = runTool({QStringLiteral("export"), withPassword(uri), path(QStringLiteral("server"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_FALSE((run.out + run.err).contains(QStringLiteral("Titok")));
    expectSameFiles(filesIn(path(QStringLiteral("server"))), fromFile);
    // The quoted values really are in the files.
    EXPECT_TRUE(fromFile.value(QStringLiteral("games.csv")).contains("\"Vessző, \"\"idéző\"\" és ŰR\r\nkocsivissza\""));

    // Files already there are kept, as for a file, unless --force.
    const ToolRun again = runTool({QStringLiteral("export"), uri, path(QStringLiteral("server"))});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("the file already exists (--force replaces it)")))
        << again.err.toStdString();
    EXPECT_EQ(runTool({QStringLiteral("export"), uri, path(QStringLiteral("server")), QStringLiteral("--force")}).code,
              0);

    server::Connection(uri).run(QStringLiteral("DROP TABLE games"));
    const ToolRun broken = runTool({QStringLiteral("export"), uri, path(QStringLiteral("broken"))});
    EXPECT_EQ(broken.code, 1);
    EXPECT_TRUE(broken.err.contains(QStringLiteral("the catalogue has no table games"))) << broken.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("broken"))));
}

// generate gives a server the rows it gives a file, also when the album key counter has moved on; the kept counts
// follow, new albums get keys after the made-up ones, and a catalogue with rows, or none at all, is refused.
TEST_F(ServerToolTest, GenerateOnAServerGivesTheRowsOfAFile)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = createdCatalogue(QStringLiteral("generated"));
    {
        server::Connection connection(uri);
        connection.run(QStringLiteral("INSERT INTO eloado (ELOADO, ALBUM) VALUES ($1, $2)"),
                       {QStringLiteral("Eltűnő"), QStringLiteral("")});
        connection.run(QStringLiteral("DELETE FROM eloado"));
    }
    const QString file = path(QStringLiteral("generated.tnx"));
    ASSERT_EQ(runTool({QStringLiteral("generate"), file, QStringLiteral("--rows"), QStringLiteral("1300"),
                       QStringLiteral("--seed"), QStringLiteral("11")})
                  .code,
              0);
    const ToolRun run = runTool({QStringLiteral("generate"), withPassword(uri), QStringLiteral("--rows"),
                                 QStringLiteral("1300"), QStringLiteral("--seed"), QStringLiteral("11")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("generated %1 with 1300 rows in each table\n").arg(uri));

    const Files onServer = exported(uri, path(QStringLiteral("server")));
    expectSameFiles(onServer, exported(file, path(QStringLiteral("file"))));
    expectKeptCountsRight(uri);
    const ToolRun checked = runTool({QStringLiteral("check"), uri});
    EXPECT_EQ(checked.code, 0) << checked.out.toStdString();
    {
        server::Connection connection(uri);
        EXPECT_EQ(server::keptRowCount(connection, QStringLiteral("szamok")), 1300);
        EXPECT_EQ(connection.single(QStringLiteral("INSERT INTO eloado (ELOADO, ALBUM) VALUES ($1, $2) RETURNING kod"),
                                    {QStringLiteral("Új"), QStringLiteral("")}),
                  QStringLiteral("1301"));
        connection.run(QStringLiteral("DELETE FROM eloado WHERE kod = 1301"));
    }

    // Rows there already: refused, and the catalogue is as it was.
    const ToolRun twice = runTool({QStringLiteral("generate"), uri, QStringLiteral("--rows=5")});
    EXPECT_EQ(twice.code, 1);
    EXPECT_TRUE(twice.err.contains(QStringLiteral("holds rows already"))) << twice.err.toStdString();
    expectSameFiles(exported(uri, path(QStringLiteral("after"))), onServer);
    expectKeptCountsRight(uri);

    const QString bare = PostgresServer::instance().newDatabase(QStringLiteral("generated_bare"));
    const ToolRun none = runTool({QStringLiteral("generate"), bare, QStringLiteral("--rows=5")});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("'mediatar-catalogue create' makes one"))) << none.err.toStdString();
    EXPECT_EQ(server::Connection(bare).single(QStringLiteral("SELECT to_regclass('eloado')")), QString());
}

// The CSV files of a file go into a server catalogue and come out as they went in; tracks keep their albums, and an
// album added later takes a key that no track holds, not even one whose album is missing.
TEST_F(ServerToolTest, ImportCsvIntoAServerRoundTrips)
{
    ASSERT_SERVER_RUNNING();
    const QString source = hostileCatalogue(folder.path());
    addQuotedRows(source);
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(source.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        execute(db, "INSERT INTO szamok VALUES ('Árva', '', '', '', '', 40)");
        sqlite3_close(db);
    }
    const Files csv = exported(source, path(QStringLiteral("csv")));
    const QString uri = createdCatalogue(QStringLiteral("csv_round_trip"));

    const ToolRun run = runTool({QStringLiteral("import-csv"), path(QStringLiteral("csv")), withPassword(uri),
                                 QStringLiteral("--keep-orphans")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("imported 39 rows from %1 into %2\n").arg(path("csv"), uri)))
        << run.out.toStdString();
    EXPECT_FALSE((run.out + run.err).contains(QStringLiteral("Titok")));
    expectSameFiles(exported(uri, path(QStringLiteral("back"))), csv);
    expectKeptCountsRight(uri);

    server::Connection connection(uri);
    EXPECT_EQ(connection.single(QStringLiteral("SELECT count(*) FROM eloado INNER JOIN szamok ON eloado.kod = "
                                               "szamok.eloado_azonosito")),
              QStringLiteral("4"));
    EXPECT_EQ(connection.single(QStringLiteral("INSERT INTO eloado (ELOADO, ALBUM) VALUES ($1, $2) RETURNING kod"),
                                {QStringLiteral("Új"), QStringLiteral("")}),
              QStringLiteral("41"));
    // No file is left behind where the import was run from.
    EXPECT_EQ(tool_test::folderEntries(path(QStringLiteral("csv"))).size(), 7);
}

// An import into a server that is refused leaves it as it was: a catalogue with rows (unless --force, which
// replaces them in one go), a CSV file with a fault on its last line, a database without a catalogue.
TEST_F(ServerToolTest, RefusedImportsLeaveTheServerUnchanged)
{
    ASSERT_SERVER_RUNNING();
    const QString source = hostileCatalogue(folder.path());
    const Files csv = exported(source, path(QStringLiteral("csv")));
    const QString uri = createdCatalogue(QStringLiteral("csv_refused"));
    ASSERT_EQ(runTool({QStringLiteral("generate"), uri, QStringLiteral("--rows=40")}).code, 0);
    const Files before = exported(uri, path(QStringLiteral("before")));

    const ToolRun held = runTool({QStringLiteral("import-csv"), path(QStringLiteral("csv")), withPassword(uri)});
    EXPECT_EQ(held.code, 1);
    EXPECT_TRUE(held.err.contains(QStringLiteral("the catalogue holds rows already (eloado: 40,")))
        << held.err.toStdString();
    EXPECT_TRUE(held.err.contains(QStringLiteral("--force replaces them"))) << held.err.toStdString();
    EXPECT_FALSE(held.err.contains(QStringLiteral("Titok"))) << held.err.toStdString();
    expectSameFiles(exported(uri, path(QStringLiteral("after held"))), before);

    // A fault on the last line of the last table (line 9: a value before it spans two lines), with --force: the
    // rows already read never reach the server.
    QDir().mkpath(path(QStringLiteral("faulty")));
    for (const QString& name : csv.keys()) {
        QFile file(QDir(path(QStringLiteral("faulty"))).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(csv.value(name));
        if (name == QLatin1String("progs_other.csv"))
            file.write("Egy,két\r\n");
    }
    const ToolRun faulty =
        runTool({QStringLiteral("import-csv"), path(QStringLiteral("faulty")), uri, QStringLiteral("--force")});
    EXPECT_EQ(faulty.code, 1);
    EXPECT_TRUE(faulty.err.contains(QStringLiteral("progs_other.csv: line 9: 2 fields where the first line names 4")))
        << faulty.err.toStdString();
    expectSameFiles(exported(uri, path(QStringLiteral("after faulty"))), before);
    expectKeptCountsRight(uri);

    // With --force the rows are replaced, the keys of the new rows included.
    const ToolRun replaced =
        runTool({QStringLiteral("import-csv"), path(QStringLiteral("csv")), uri, QStringLiteral("--force")});
    ASSERT_EQ(replaced.code, 0) << replaced.err.toStdString();
    expectSameFiles(exported(uri, path(QStringLiteral("replaced"))), csv);
    expectKeptCountsRight(uri);
    EXPECT_EQ(runTool({QStringLiteral("check"), uri}).code, 0);

    const QString bare = PostgresServer::instance().newDatabase(QStringLiteral("csv_bare"));
    const ToolRun none = runTool({QStringLiteral("import-csv"), path(QStringLiteral("csv")), bare});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("the database holds no catalogue"))) << none.err.toStdString();
    EXPECT_EQ(server::Connection(bare).single(QStringLiteral("SELECT count(*) FROM pg_tables WHERE schemaname = "
                                                             "current_schema()")),
              QStringLiteral("0"));
}

// The older Jet file goes into a server catalogue with the rows it gives a new file; a damaged one is refused
// whole, and salvaged with --salvage.
TEST_F(ServerToolTest, LegacyImportIntoAServer)
{
    ASSERT_SERVER_RUNNING();
    SKIP_WITHOUT_FIXTURES();
    const QString legacy = tool_test::fixture(QStringLiteral("sample.tnx"));
    const QString file = path(QStringLiteral("sample.tnx"));
    ASSERT_EQ(runTool({QStringLiteral("import"), legacy, file}).code, 0);
    const QString uri = createdCatalogue(QStringLiteral("legacy_import"));
    const ToolRun run = runTool({QStringLiteral("import"), legacy, withPassword(uri)});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("into %1\n").arg(uri))) << run.out.toStdString();
    expectSameFiles(exported(uri, path(QStringLiteral("server"))), exported(file, path(QStringLiteral("file"))));
    expectKeptCountsRight(uri);

    const QString damaged = QStringLiteral(MEDIATAR_DAMAGED_FIXTURES "/orphan-tracks.tnx");
    if (!QFileInfo::exists(damaged))
        return;
    const QString other = createdCatalogue(QStringLiteral("legacy_damaged"));
    const ToolRun refused = runTool({QStringLiteral("import"), damaged, other});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(server::Connection(other).single(QStringLiteral("SELECT count(*) FROM eloado")), QStringLiteral("0"));
    const ToolRun salvaged = runTool({QStringLiteral("import"), QStringLiteral("--salvage"), damaged, other});
    EXPECT_EQ(salvaged.code, 3) << salvaged.err.toStdString();
    EXPECT_NE(server::Connection(other).single(QStringLiteral("SELECT count(*) FROM szamok")), QStringLiteral("0"));
    expectKeptCountsRight(other);
}

// backup of a server writes a checked file with its rows; an existing file is kept unless --force.
TEST_F(ServerToolTest, BackupOfAServerIsACheckedFile)
{
    ASSERT_SERVER_RUNNING();
    const QString source = hostileCatalogue(folder.path());
    addQuotedRows(source);
    const QString uri = PostgresServer::instance().newDatabase(QStringLiteral("backed_up"));
    ASSERT_EQ(runTool({QStringLiteral("copy"), source, uri}).code, 0);
    const QString out = path(QStringLiteral("mentés.tnx"));
    const ToolRun run = runTool({QStringLiteral("backup"), withPassword(uri), out});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("backed up %1 into %2 (38 rows, checked)\n").arg(uri, out));
    expectSameFiles(exported(out, path(QStringLiteral("backup"))), exported(source, path(QStringLiteral("source"))));
    EXPECT_EQ(runTool({QStringLiteral("check"), out}).code, 0);

    server::Connection(uri).run(QStringLiteral("DELETE FROM games"));
    const QByteArray first = tool_test::fileHash(out);
    const ToolRun kept = runTool({QStringLiteral("backup"), uri, out});
    EXPECT_EQ(kept.code, 1);
    EXPECT_TRUE(kept.err.contains(QStringLiteral("the file already exists (--force replaces it)")))
        << kept.err.toStdString();
    EXPECT_EQ(tool_test::fileHash(out), first);
    ASSERT_EQ(runTool({QStringLiteral("backup"), uri, out, QStringLiteral("--force")}).code, 0);
    EXPECT_EQ(tool_test::queryRows(out, QStringLiteral("SELECT count(*) FROM games")).value(0).value(0).toInt(), 0);
    EXPECT_EQ(tool_test::folderEntries(folder.path()),
              QStringList({QStringLiteral("forrás katalógus.qvdb"), QStringLiteral("mentés.tnx")}));
}

// check --repair puts wrong and missing kept counts right; the counts then follow writes again.
TEST_F(ServerToolTest, CheckRepairRecountsTheKeptCounts)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = createdCatalogue(QStringLiteral("repaired"));
    ASSERT_EQ(runTool({QStringLiteral("generate"), uri, QStringLiteral("--rows=25")}).code, 0);
    {
        server::Connection connection(uri);
        connection.run(QStringLiteral("UPDATE mediatar_row_counts SET row_count = 3 WHERE table_name = $1"),
                       {QStringLiteral("games")});
        connection.run(QStringLiteral("DELETE FROM mediatar_row_counts WHERE table_name = $1"),
                       {QStringLiteral("dvd_filmek")});
    }
    const ToolRun broken = runTool({QStringLiteral("check"), uri});
    EXPECT_EQ(broken.code, 1);
    EXPECT_TRUE(broken.out.contains(QStringLiteral("the kept count of games is 3 where the table holds 25 rows")))
        << broken.out.toStdString();

    const ToolRun repaired = runTool({QStringLiteral("check"), QStringLiteral("--repair"), withPassword(uri)});
    EXPECT_EQ(repaired.code, 0) << repaired.out.toStdString() << repaired.err.toStdString();
    EXPECT_EQ(repaired.out, uri + QStringLiteral(": ok\n"));
    server::Connection connection(uri);
    connection.run(QStringLiteral("INSERT INTO dvd_filmek (CIM) VALUES ($1)"), {QStringLiteral("Később")});
    EXPECT_EQ(server::keptRowCount(connection, QStringLiteral("DVD_Filmek")), 26);
    EXPECT_EQ(server::keptRowCount(connection, QStringLiteral("games")), 25);

    const QString bare = PostgresServer::instance().newDatabase(QStringLiteral("repaired_bare"));
    const ToolRun none = runTool({QStringLiteral("check"), QStringLiteral("--repair"), bare});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("the database holds no catalogue"))) << none.err.toStdString();
}

// The steps a new user follows: create on the server, then copy a file into it. The copy fills the empty
// catalogue; a second copy, or one into part of a catalogue, is refused and changes nothing.
TEST_F(ServerToolTest, CopyFillsTheEmptyCatalogueThatCreateMade)
{
    ASSERT_SERVER_RUNNING();
    const QString source = hostileCatalogue(folder.path());
    const QString uri = createdCatalogue(QStringLiteral("create_then_copy"));
    const ToolRun copied = runTool({QStringLiteral("copy"), source, uri});
    ASSERT_EQ(copied.code, 0) << copied.err.toStdString();
    expectKeptCountsRight(uri);
    expectSameFiles(exported(uri, path(QStringLiteral("server"))), exported(source, path(QStringLiteral("file"))));

    const ToolRun again = runTool({QStringLiteral("copy"), source, uri});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("holds rows already"))) << again.err.toStdString();
    expectSameFiles(exported(uri, path(QStringLiteral("again"))), exported(source, path(QStringLiteral("file2"))));

    const QString partial = createdCatalogue(QStringLiteral("copy_into_part"));
    server::Connection(partial).run(QStringLiteral("DROP TABLE games"));
    const ToolRun refused = runTool({QStringLiteral("copy"), source, partial});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("has no table games"))) << refused.err.toStdString();
    server::Connection left(partial);
    EXPECT_EQ(server::countedRows(left, QStringLiteral("eloado")), 0);
}
