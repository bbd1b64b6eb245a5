// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/engines.h"
#include "platform/failure.h"
#include "server/server_support.h"
#include "server/server_schema.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Whole catalogues through the engines' common interface: a copy between any two engines keeps every row as it
// was, and a bulk write that does not reach its end leaves the target as it was.

namespace {

using server_test::Rows;
using test_server::PostgresServer;

int databases = 0;

QString newServerCatalogue(const char* name)
{
    return PostgresServer::instance().newDatabase(
        QStringLiteral("upkeep_%1_%2").arg(QLatin1String(name)).arg(++databases));
}

std::unique_ptr<engine::Upkeep> upkeep(const QString& name)
{
    return catalogue::upkeepFor(engine::Location(name));
}

QString columnsOf(const engine::TableDefinition& table)
{
    return table.columns.join(QStringLiteral(", "));
}

// A table's rows in the order they were entered, read past the interface: the file's own rowids, or the
// server's identity column.
Rows rowsOf(const QString& catalogue, const engine::TableDefinition& table)
{
    if (!engine::Location::namesServer(catalogue))
        return server_test::fileRows(
            catalogue, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columnsOf(table), table.name));
    server::Connection connection(catalogue);
    return connection.run(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                              .arg(columnsOf(table), table.name.toLower(), server::identityColumn(table.name)));
}

// The key a new album gets in the catalogue (the album is taken out again).
qint64 newAlbumKey(const QString& catalogue)
{
    if (engine::Location::namesServer(catalogue)) {
        server::Connection connection(catalogue);
        const QString key =
            connection.single(QStringLiteral("INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Új', '') RETURNING kod"));
        connection.run(QStringLiteral("DELETE FROM eloado WHERE kod = $1"), {key});
        return key.toLongLong();
    }
    sqlite3* db = nullptr;
    sqlite3_open_v2(catalogue.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    server_test::execute(db, "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Új', '')");
    const qint64 key = sqlite3_last_insert_rowid(db);
    server_test::execute(db, "DELETE FROM eloado WHERE kod = ?", {QString::number(key)});
    sqlite3_close(db);
    return key;
}

engine::WriteOptions copyOptions()
{
    engine::WriteOptions options;
    options.makeCatalogue = true;
    options.settle = true;
    return options;
}

TEST(Upkeep, ACopyBetweenAnyTwoEnginesKeepsEveryValueOrderAndKey)
{
    ASSERT_SERVER_RUNNING();
    QTemporaryDir folder;
    const QString original = server_test::hostileCatalogue(folder.path());
    // A track whose album is gone, under a key above every album's: a new album must never take it.
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(original.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        server_test::execute(db, "INSERT INTO szamok VALUES ('Árva', '', NULL, '', '', 40)");
        sqlite3_close(db);
    }
    const QString onServer = newServerCatalogue("source");
    ASSERT_NO_THROW(engine::copyCatalogue(*upkeep(original), *upkeep(onServer), copyOptions()));

    struct Case
    {
        const char* name;
        QString source;
        QString target;
    };
    const std::vector<Case> cases = {
        {"file to file", original, folder.filePath(QStringLiteral("masolat.tnx"))},
        {"file to server", original, newServerCatalogue("from_file")},
        {"server to server", onServer, newServerCatalogue("from_server")},
        {"server to file", onServer, folder.filePath(QStringLiteral("vissza.tnx"))},
    };
    qint64 expected = 0;
    for (const engine::TableDefinition& table : engine::catalogueTables())
        expected += static_cast<qint64>(rowsOf(original, table).size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qint64 copied = 0;
        ASSERT_NO_THROW(copied = engine::copyCatalogue(*upkeep(c.source), *upkeep(c.target), copyOptions()));
        EXPECT_EQ(copied, expected);
        for (const engine::TableDefinition& table : engine::catalogueTables()) {
            const Rows want = rowsOf(original, table);
            const Rows got = rowsOf(c.target, table);
            EXPECT_EQ(got, want) << table.name.toStdString() << ":\n"
                                 << server_test::shown(got) << "where the original holds:\n"
                                 << server_test::shown(want);
        }
        // The copy is a sound catalogue whose kept counts and order are its rows'; a file's check also tells of
        // the orphan it was given.
        const QStringList problems = upkeep(c.target)->check(false);
        EXPECT_LE(problems.size(), 1);
        for (const QString& problem : problems)
            EXPECT_TRUE(problem.contains(QStringLiteral("belong to no album"))) << problem.toStdString();
        EXPECT_GT(newAlbumKey(c.target), 40);
    }
}

// Writes some of the rows of a catalogue, then ends as told without committing.
void writeHalf(engine::Upkeep& target, const engine::WriteOptions& options,
               const std::function<void(engine::BulkWrite&)>& end)
{
    const std::unique_ptr<engine::BulkWrite> write = target.write(options);
    const engine::TableDefinition& albums = engine::catalogueTables().at(0);
    write->startTable(albums);
    for (int i = 0; i < 1200; ++i) {
        const QByteArray key = QByteArray::number(100 + i);
        const QByteArray name = QStringLiteral("Félbehagyott %1").arg(i).toUtf8();
        ASSERT_EQ(write->add({engine::Field::text(key), engine::Field::text(name), engine::Field()}), QString());
    }
    EXPECT_EQ(write->finishTable(), 1200);
    end(*write);
}

TEST(Upkeep, ABulkWriteThatEndsHalfWayLeavesTheTargetAsItWas)
{
    ASSERT_SERVER_RUNNING();
    QTemporaryDir folder;
    const QString original = server_test::hostileCatalogue(folder.path());

    struct Case
    {
        const char* name;
        bool onServer;
        bool replace;
        std::function<void(engine::BulkWrite&)> end;
    };
    const auto lost = [](engine::BulkWrite& write) {
        // Another session ends this one's, as a restarted server or a lost network would, between statements.
        const QString uri = PostgresServer::instance().uri(QStringLiteral("postgres"));
        server::Connection admin(uri);
        admin.run(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname LIKE "
                                 "'upkeep_half_%' AND pid <> pg_backend_pid()"));
        EXPECT_THROW(write.commit(), platform::Failure);
    };
    const auto refusedRow = [](engine::BulkWrite& write) {
        write.startTable(engine::catalogueTables().at(1));
        const QByteArray text("Rossz");
        const QByteArray key("nem szám");
        const QString refused = write.add({engine::Field::text(text), engine::Field(), engine::Field(), engine::Field(),
                                           engine::Field(), engine::Field::text(key)});
        // A server learns of the refusal only when the rows are sent, and then the whole write fails.
        EXPECT_EQ(refused, QString());
        EXPECT_THROW(write.finishTable(), platform::Failure);
    };
    const auto dropped = [](engine::BulkWrite&) {};
    const std::vector<Case> cases = {
        {"file dropped", false, false, dropped},
        {"file replacing, dropped", false, true, dropped},
        {"server dropped", true, false, dropped},
        {"server, a refused row", true, false, refusedRow},
        {"server replacing, connection lost", true, true, lost},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString target = folder.filePath(QStringLiteral("uj.tnx"));
        if (c.onServer) {
            target = PostgresServer::instance().newDatabase(QStringLiteral("upkeep_half_%1").arg(++databases));
            ASSERT_NO_THROW(upkeep(target)->create(QString()));
        }
        if (c.replace) {
            ASSERT_NO_THROW(engine::copyCatalogue(*upkeep(original), *upkeep(target),
                                                  c.onServer ? copyOptions() : engine::WriteOptions()));
        }
        const QStringList entries = tool_test::folderEntries(folder.path());
        std::vector<Rows> before;
        for (const engine::TableDefinition& table : engine::catalogueTables())
            before.push_back(c.onServer || c.replace ? rowsOf(target, table) : Rows());

        engine::WriteOptions options;
        options.replace = c.replace;
        options.purpose = QStringLiteral("generate");
        writeHalf(*upkeep(target), options, c.end);

        EXPECT_EQ(tool_test::folderEntries(folder.path()), entries);
        if (!c.onServer && !c.replace) {
            EXPECT_FALSE(QFileInfo::exists(target));
            continue;
        }
        for (size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(rowsOf(target, engine::catalogueTables()[i]), before[i]);
        // Kept counts, order and the list indexes set aside for the rows are all back.
        EXPECT_EQ(upkeep(target)->check(false), QStringList());
        QFile::remove(target);
    }
}

// A role that may read every table but write none: it copies the whole catalogue out, and every write it tries,
// a repair of the kept counts among them, changes nothing.
TEST(Upkeep, ARoleThatMayOnlyReadCopiesTheCatalogueOutAndWritesNothing)
{
    ASSERT_SERVER_RUNNING();
    QTemporaryDir folder;
    const QString original = server_test::hostileCatalogue(folder.path());
    const QString owner = newServerCatalogue("reader");
    ASSERT_NO_THROW(engine::copyCatalogue(*upkeep(original), *upkeep(owner), copyOptions()));
    const QString database = owner.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
    {
        server::Connection admin(owner);
        admin.run(QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'csak_olvas') "
                                 "THEN CREATE ROLE csak_olvas LOGIN; END IF; END $$"));
        admin.run(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO csak_olvas"));
    }
    const QString reader =
        QStringLiteral("postgresql:///%1?host=%2&user=csak_olvas").arg(database, PostgresServer::instance().folder());

    const QString copy = folder.filePath(QStringLiteral("olvaso.tnx"));
    ASSERT_NO_THROW(engine::copyCatalogue(*upkeep(reader), *upkeep(copy), engine::WriteOptions()));
    for (const engine::TableDefinition& table : engine::catalogueTables())
        EXPECT_EQ(rowsOf(copy, table), rowsOf(original, table)) << table.name.toStdString();

    {
        server::Connection admin(owner);
        admin.run(QStringLiteral("UPDATE mediatar_row_counts SET row_count = 99 WHERE table_name = 'games'"));
    }
    engine::WriteOptions replacing;
    replacing.replace = true;
    EXPECT_THROW(engine::copyCatalogue(*upkeep(copy), *upkeep(reader), replacing), platform::Failure);
    EXPECT_THROW(upkeep(reader)->check(true), platform::Failure);
    for (const engine::TableDefinition& table : engine::catalogueTables())
        EXPECT_EQ(rowsOf(owner, table), rowsOf(original, table)) << table.name.toStdString();
    server::Connection admin(owner);
    EXPECT_EQ(admin.single(QStringLiteral("SELECT row_count FROM mediatar_row_counts WHERE table_name = 'games'")),
              QStringLiteral("99"));
}

} // namespace
