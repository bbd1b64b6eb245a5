#include "server/server_schema.h"
#include "server_support.h"
#include "store/schema.h"

#include <QTemporaryDir>
#include <sqlite3.h>

using server_test::fileRows;
using server_test::Rows;
using server_test::shown;
using test_server::PostgresServer;
using tool_test::runTool;

namespace {

// Values a user may type, each of which breaks a statement that pastes it.
const QStringList hostile = {
    QStringLiteral("O'Brien \"Idéző\" dala"), QStringLiteral("100% _tiszta_ \\ per"),
    QStringLiteral("ŐSZI LEVÉL űrhajó"),      QStringLiteral("sor\nvége\ttabbal; DROP TABLE games; --"),
    QStringLiteral("$1 :name ? 🎵"),
};

void execute(sqlite3* db, const char* sql, const std::vector<std::optional<QString>>& values = {})
{
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i]) {
            const QByteArray text = values[i]->toUtf8();
            sqlite3_bind_text(statement, static_cast<int>(i) + 1, text.constData(), text.size(), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(statement, static_cast<int>(i) + 1);
        }
    }
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(statement);
}

// A catalogue file with hostile values in every table, nulls beside empty texts, and album keys with gaps.
QString hostileCatalogue(const QString& folder)
{
    const QString path = folder + QStringLiteral("/forrás katalógus.qvdb");
    store::createCatalogueFile(path);
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    for (int i = 0; i < hostile.size(); ++i) {
        const QString v = hostile.at(i);
        execute(db, "INSERT INTO eloado (ELOADO, ALBUM) VALUES (?, ?)", {v, QString::number(i)});
        execute(db, "INSERT INTO szamok VALUES (?, '00:03:10', ?, '', NULL, ?)",
                {v, i % 2 ? std::optional<QString>() : QString(), QString::number(i + 1)});
        execute(db, "INSERT INTO Valogatasok VALUES (?, ?, '', NULL, ?, 'K')", {v, v, QString()});
        execute(db, "INSERT INTO DVD_Filmek VALUES (?, NULL, '', '-', '1', '01:30:00', ?)", {v, v});
        execute(db, "INSERT INTO Filmek_videoklippek VALUES (?, ?, NULL, '', ?, NULL, '', ?, NULL)", {v, v, v, v});
        execute(db, "INSERT INTO games VALUES (?, NULL, ?, '')", {v, v});
        execute(db, "INSERT INTO progs_other VALUES (?, '', NULL, ?)", {v, v});
    }
    // Two equal rows are two rows; an album key with a gap before it.
    execute(db, "INSERT INTO games VALUES ('Egyforma', '', '', '')");
    execute(db, "INSERT INTO games VALUES ('Egyforma', '', '', '')");
    execute(db, "DELETE FROM szamok WHERE eloado_azonosito = 2");
    execute(db, "DELETE FROM eloado WHERE kod = 2");
    execute(db, "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Késői', '')");
    sqlite3_close(db);
    return path;
}

QString columnsOf(const store::TableDefinition& table)
{
    return table.columns.join(QStringLiteral(", "));
}

Rows serverRows(server::Connection& connection, const store::TableDefinition& table)
{
    return connection.run(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                              .arg(columnsOf(table), table.name, server::identityColumn(table.name)));
}

} // namespace

// A file goes to the server and comes back, every value as it was: quotes, wildcards, backslashes, Hungarian
// letters, and a null kept apart from an empty text. The tracks keep their albums, and the file that comes back
// is a sound catalogue with its kept order.
TEST(ServerCopy, FileToServerAndBackKeepsEveryRowAsItWas)
{
    ASSERT_SERVER_RUNNING();
    QTemporaryDir folder;
    const QString source = hostileCatalogue(folder.path());
    // More rows than one insert statement of the copy carries, so that they go over in several.
    sqlite3* db = nullptr;
    sqlite3_open_v2(source.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    execute(db, "BEGIN");
    for (int i = 0; i < 1100; ++i)
        execute(db, "INSERT INTO games VALUES (?, ?, NULL, '')",
                {hostile.at(i % hostile.size()) + QString::number(i), i % 3 ? std::optional<QString>() : QString()});
    execute(db, "COMMIT");
    sqlite3_close(db);
    const QString uri = PostgresServer::instance().newDatabase(QStringLiteral("copy_both_ways"));

    const tool_test::ToolRun there = runTool({QStringLiteral("copy"), source, uri});
    ASSERT_EQ(there.code, 0) << there.err.toStdString();
    EXPECT_TRUE(there.out.startsWith(QStringLiteral("copied 1136 rows"))) << there.out.toStdString();

    server::Connection connection(uri);
    for (const store::TableDefinition& table : store::catalogueTables()) {
        const Rows inFile =
            fileRows(source, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columnsOf(table), table.name));
        const Rows onServer = serverRows(connection, table);
        EXPECT_EQ(onServer, inFile) << table.name.toStdString() << " on the server:\n"
                                    << shown(onServer) << "in the file:\n"
                                    << shown(inFile);
        EXPECT_EQ(server::keptRowCount(connection, table.name), static_cast<qint64>(inFile.size()));
    }
    // Tracks still join their albums by the kept keys; a new album gets a key after them.
    EXPECT_EQ(connection.single(QStringLiteral("SELECT count(*) FROM eloado INNER JOIN szamok ON eloado.kod = "
                                               "szamok.eloado_azonosito")),
              QStringLiteral("4"));
    const QString newKey =
        connection.single(QStringLiteral("insert into eloado (ELOADO, ALBUM) values ($1, $2) RETURNING kod"),
                          {QStringLiteral("Új"), QStringLiteral("")});
    EXPECT_EQ(newKey, QStringLiteral("7"));
    connection.run(QStringLiteral("delete from eloado where kod = $1"), {newKey});

    const QString back = folder.path() + QStringLiteral("/vissza.qvdb");
    const tool_test::ToolRun home = runTool({QStringLiteral("copy"), uri, back});
    ASSERT_EQ(home.code, 0) << home.err.toStdString();
    for (const store::TableDefinition& table : store::catalogueTables()) {
        const QString sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columnsOf(table), table.name);
        EXPECT_EQ(fileRows(back, sql), fileRows(source, sql)) << table.name.toStdString();
    }
    const tool_test::ToolRun checked = runTool({QStringLiteral("check"), back});
    EXPECT_EQ(checked.code, 0) << checked.out.toStdString() << checked.err.toStdString();
}

// A copy that cannot be completed leaves nothing: no half-filled server database, no half-written file, and an
// existing target is never overwritten.
TEST(ServerCopy, AllOrNothing)
{
    ASSERT_SERVER_RUNNING();
    QTemporaryDir folder;
    const QString source = hostileCatalogue(folder.path());
    // A track whose album key is no number: the server refuses it after six tables went in.
    sqlite3* db = nullptr;
    sqlite3_open_v2(source.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    execute(db, "INSERT INTO szamok VALUES ('Rossz', '', '', '', '', 'nem szám')");
    sqlite3_close(db);
    const QString uri = PostgresServer::instance().newDatabase(QStringLiteral("copy_refused"));
    const tool_test::ToolRun refused = runTool({QStringLiteral("copy"), source, uri});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("bigint"))) << refused.err.toStdString();
    server::Connection connection(uri);
    EXPECT_EQ(connection.single(QStringLiteral("SELECT count(*) FROM pg_class WHERE relname = ANY($1)"),
                                {QStringLiteral("{eloado,games,mediatar_row_counts}")}),
              QStringLiteral("0"));

    // A database with a catalogue already is not copied into, and keeps its rows.
    QTemporaryDir otherFolder;
    const QString clean = hostileCatalogue(otherFolder.path());
    ASSERT_EQ(runTool({QStringLiteral("copy"), clean, uri}).code, 0);
    const tool_test::ToolRun again = runTool({QStringLiteral("copy"), clean, uri});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("already"))) << again.err.toStdString();
    EXPECT_EQ(server::countedRows(connection, QStringLiteral("games")), 7);

    // An existing file is not overwritten; a server that cannot be reached leaves no file.
    const QByteArray before = tool_test::fileHash(source);
    EXPECT_EQ(runTool({QStringLiteral("copy"), uri, source}).code, 1);
    EXPECT_EQ(tool_test::fileHash(source), before);
    const QString nowhere = folder.path() + QStringLiteral("/sehol.qvdb");
    const tool_test::ToolRun unreachable =
        runTool({QStringLiteral("copy"),
                 QStringLiteral("postgresql://postgres:titok@/x?host=%1/nincs").arg(folder.path()), nowhere});
    EXPECT_EQ(unreachable.code, 1);
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_FALSE(unreachable.err.contains(QStringLiteral("titok"))) << unreachable.err.toStdString();
    EXPECT_EQ(tool_test::folderEntries(folder.path()), QStringList{QStringLiteral("forrás katalógus.qvdb")});

    // Two files, or two servers, are not what copy does.
    EXPECT_EQ(runTool({QStringLiteral("copy"), source, nowhere}).code, 2);
    EXPECT_EQ(runTool({QStringLiteral("copy"), uri, uri}).code, 2);
}
