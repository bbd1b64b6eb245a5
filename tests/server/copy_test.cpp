// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_schema.h"
#include "server_support.h"
#include "store/schema.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <sqlite3.h>

using server_test::execute;
using server_test::fileRows;
using server_test::hostile;
using server_test::hostileCatalogue;
using server_test::Rows;
using server_test::shown;
using test_server::PostgresServer;
using tool_test::runTool;

namespace {

QString columnsOf(const engine::TableDefinition& table)
{
    return table.columns.join(QStringLiteral(", "));
}

Rows serverRows(server::Connection& connection, const engine::TableDefinition& table)
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
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        const Rows inFile =
            fileRows(source, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columnsOf(table), table.name));
        const Rows onServer = serverRows(connection, table);
        EXPECT_EQ(onServer, inFile) << table.name.toStdString() << " on the server:\n"
                                    << shown(onServer) << "in the file:\n"
                                    << shown(inFile);
        EXPECT_EQ(server::keptRowCount(connection, table.name), static_cast<qint64>(inFile.size()));
    }
    // The copy ends by vacuuming and analysing what it filled itself, not leaving it to the server's own
    // maintenance: the planner knows the rows, and index-only reads find the pages visible. The server counts
    // the vacuums its sessions ran apart from its own, and reports them once the tool's session has ended.
    QElapsedTimer waited;
    waited.start();
    QString vacuumed;
    while (waited.elapsed() < 5000) {
        vacuumed = connection.single(QStringLiteral("SELECT least(vacuum_count, analyze_count) FROM "
                                                    "pg_stat_user_tables WHERE relname = 'games'"));
        if (vacuumed == QLatin1String("1"))
            break;
        connection.run(QStringLiteral("SELECT pg_stat_clear_snapshot()"));
        QThread::msleep(20);
    }
    EXPECT_EQ(vacuumed, QStringLiteral("1"));
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
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
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
