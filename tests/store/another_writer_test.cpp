// SPDX-License-Identifier: GPL-3.0-or-later

#include "hungarian/hungarian.h"
#include "engine/categories.h"
#include "store/kept_order.h"
#include "catalogue/query_channel.h"
#include "store/row_set.h"
#include "store/schema.h"
#include "engine/write_transaction.h"
#include "platform/failure.h"
#include "support/bare_engine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/qt_printing.h"
#include "store/hungarian_functions.h"

// Another program holding, changing or damaging the program's own tables in a catalogue file: nobody waits on
// anybody for long, nobody's row is lost, and no list shows a row that is not there.

namespace {

// A connection of the bare engine, as another SQLite tool has one; with the Hungarian functions for recounts.
class OtherTool
{
public:
    explicit OtherTool(const QString& path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        store::installHungarian(m_db);
    }
    ~OtherTool() { close(); }
    void close()
    {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    OtherTool(const OtherTool&) = delete;
    OtherTool& operator=(const OtherTool&) = delete;

    // The engine's result code and, on failure, its text.
    int run(const QString& sql)
    {
        char* message = nullptr;
        const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
        m_message = QString::fromUtf8(message ? message : "");
        sqlite3_free(message);
        return rc;
    }
    void expectRuns(const QString& sql)
    {
        EXPECT_EQ(run(sql), SQLITE_OK) << sql.toStdString() << ": " << m_message.toStdString();
    }
    QStringList rows(const QString& sql) const { return bareRows(m_db, sql); }
    const QString& message() const { return m_message; }

private:
    sqlite3* m_db = nullptr;
    QString m_message;
};

struct ToolRun
{
    int code = -1;
    QString out;
};

ToolRun catalogueTool(const QStringList& args)
{
    QProcess tool;
    tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL), args);
    tool.waitForFinished(60000);
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput())};
}

QStringList listed(const catalogue::QueryChannel& channel)
{
    QStringList values;
    for (int row = 0; row < channel.recordCount(); ++row)
        values << channel.fieldText(row, QStringLiteral("NEV"));
    return values;
}

bool readsKeptOrder(const catalogue::QueryChannel& channel)
{
    const auto* rows = dynamic_cast<const store::PagedRowSet*>(channel.rows());
    return rows && rows->readsKeptOrder();
}

class AnotherWriterTest : public ::testing::Test
{
protected:
    AnotherWriterTest() : channel(QStringLiteral("another_writer")) {}

    // A catalogue of games that the program has opened and closed, so that it keeps its order and rests in the
    // rollback journal, as a catalogue does between two runs of the program.
    QString keptCatalogue(int games)
    {
        const QString path = dir.filePath(QStringLiteral("katalogus.tnx"));
        store::createCatalogueFile(path);
        {
            OtherTool writer(path);
            writer.expectRuns(QStringLiteral("BEGIN"));
            for (int i = 0; i < games; ++i)
                writer.expectRuns(QStringLiteral("INSERT INTO games VALUES ('%1 játék %2', 'leírás', '%2 MB', 'CD-%2')")
                                      .arg(QStringList({"Ász", "Bástya", "Cica", "Csata", "Őz"}).at(i % 5))
                                      .arg(i));
            writer.expectRuns(QStringLiteral("COMMIT"));
        }
        openGames(path);
        EXPECT_TRUE(readsKeptOrder(channel));
        channel.disconnect();
        return path;
    }

    void openGames(const QString& path)
    {
        channel.pointAt(path);
        channel.setStatement(engine::category(4).browseStatement());
        channel.open();
    }

    // The games in Hungarian order, as the data holds them now.
    static QStringList gamesInOrder(OtherTool& tool)
    {
        return tool.rows(QStringLiteral("SELECT NEV FROM games ORDER BY hungarian_key(NEV), NEV, rowid"));
    }

    QTemporaryDir dir;
    catalogue::QueryChannel channel;
};

// A tool that holds the write lock across the program's start: the program lists from the data at once
// without taking the lock from it, the tool's commit goes through while the list is shown, and the program
// brings its kept order up to date once the lock is free.
TEST_F(AnotherWriterTest, aToolHoldingTheWriteLockNeitherWaitsForTheProgramNorMakesItWait)
{
    const QString path = keptCatalogue(300);
    OtherTool tool(path);
    tool.expectRuns(QStringLiteral("DELETE FROM games WHERE rowid % 7 = 0")); // changes the program has not seen
    tool.expectRuns(QStringLiteral("BEGIN IMMEDIATE; INSERT INTO games (NEV) VALUES ('Bagoly')"));
    OtherTool reader(path);

    QElapsedTimer opening;
    opening.start();
    openGames(path);
    EXPECT_LT(opening.elapsed(), 2000) << "the program waited for the other tool's lock";
    EXPECT_FALSE(readsKeptOrder(channel)) << "the kept order cannot be brought up to date yet";
    EXPECT_EQ(listed(channel), gamesInOrder(reader));
    EXPECT_EQ(channel.recordCount(), 300 - 300 / 7);

    // While the list is shown, the tool commits, and others read the file.
    EXPECT_EQ(tool.run(QStringLiteral("COMMIT")), SQLITE_OK) << tool.message().toStdString();
    EXPECT_EQ(reader.rows(QStringLiteral("SELECT count(*) FROM games WHERE NEV = 'Bagoly'")), QStringList{"1"});

    channel.close();
    channel.open();
    EXPECT_TRUE(readsKeptOrder(channel)) << "the kept order was not brought up to date once the lock was free";
    EXPECT_EQ(OtherTool(path).rows(QStringLiteral("PRAGMA journal_mode")), QStringList{"wal"})
        << "the file was not shared once the lock was free";
    EXPECT_EQ(listed(channel), gamesInOrder(reader));
    EXPECT_TRUE(listed(channel).contains(QStringLiteral("Bagoly")));
    // With the file shared, the tool takes the write lock again while the program lists: the same.
    tool.expectRuns(QStringLiteral("BEGIN IMMEDIATE; INSERT INTO games (NEV) VALUES ('Zsiráf')"));
    channel.close();
    opening.restart();
    channel.open();
    EXPECT_LT(opening.elapsed(), 2000) << "the program waited for the other tool's lock";
    EXPECT_EQ(listed(channel), gamesInOrder(reader));
    EXPECT_EQ(tool.run(QStringLiteral("COMMIT")), SQLITE_OK) << tool.message().toStdString();
    channel.close();
    channel.open();
    EXPECT_TRUE(readsKeptOrder(channel));
    EXPECT_EQ(listed(channel), gamesInOrder(reader));
    EXPECT_EQ(channel.recordCount(), 300 - 300 / 7 + 2);
    // A commit the program has not taken in, then the lock held and let go with nothing more committed: the
    // order is brought up to date at the next list all the same.
    tool.expectRuns(QStringLiteral("INSERT INTO games (NEV) VALUES ('Cica'); BEGIN IMMEDIATE"));
    channel.close();
    channel.open();
    EXPECT_FALSE(readsKeptOrder(channel)) << "the kept order cannot be brought up to date yet";
    EXPECT_EQ(tool.run(QStringLiteral("ROLLBACK")), SQLITE_OK) << tool.message().toStdString();
    channel.close();
    channel.open();
    EXPECT_TRUE(readsKeptOrder(channel)) << "the kept order was not brought up to date once the lock was free";
    EXPECT_EQ(listed(channel), gamesInOrder(reader));
    // Once the others let go, the program leaves the file in the rollback journal, as it found it.
    tool.close();
    reader.close();
    channel.disconnect();
    EXPECT_EQ(OtherTool(path).rows(QStringLiteral("PRAGMA journal_mode")), QStringList{"delete"});
}

// What another tool does to the program's own tables: check judges them as they will be once the changes it
// logged are applied, finds what is missing or wrong, --repair mends it, and where the program can tell, the
// program mends it itself when it opens the file; no list shows a row that is not there, and the tool's and the
// program's writes go through afterwards.
TEST_F(AnotherWriterTest, checkJudgesTheKeptTablesAsTheyWillBeAndWhatIsLostIsMadeAnew)
{
    struct Damage
    {
        const char* what;
        QString before; // done by the user and followed by check --repair
        QString sql;
        QStringList found; // what check says, line by line; nothing wrong when empty
        bool programMends; // the program finds and mends it when it opens the file
    };
    const QString inserted = QStringLiteral("INSERT INTO games (NEV) VALUES ('Bagoly');");
    const QString changedValue = QStringLiteral("UPDATE mediatar_order_games SET v1 = 'Ász játék 299' WHERE row = 1;");
    const std::vector<Damage> damages = {
        {"rows written by another tool",
         {},
         inserted + "DELETE FROM games WHERE rowid % 7 = 0; UPDATE games SET NEV = 'Zebra' WHERE rowid = 5;",
         {},
         true},
        {"a raised count, then a row inserted",
         {},
         "UPDATE mediatar_row_counts SET row_count = row_count + 7 WHERE table_name = 'games';" + inserted,
         {"the kept row count of games is 308 once the waiting changes are applied where the table holds 301 rows"},
         true},
        {"a raised start count, then a row inserted",
         {},
         "UPDATE mediatar_prefix_counts SET row_count = row_count + 2 WHERE table_name = 'games' AND prefix = 'b';" +
             inserted,
         {"the kept count of the rows of games starting with 'b' is 63 once the waiting changes are applied where 61 "
          "rows do"},
         false},
        {"an order value changed", {}, changedValue, {"the kept order of games differs from its rows"}, false},
        {"an order value changed, then a row inserted",
         {},
         changedValue + inserted,
         {"the kept order of games differs from its rows"},
         false},
        {"a row replaced under a unique index",
         "CREATE UNIQUE INDEX games_by_code ON games (KOD)",
         "INSERT OR REPLACE INTO games (NEV, KOD) VALUES ('Bagoly', 'CD-3')",
         {"the kept order of games differs from its rows",
          "the kept row count of games is 301 once the waiting changes are applied where the table holds 300 rows",
          "the kept count of the rows of games starting with '' is 301 once the waiting changes are applied where 300 "
          "rows do",
          "the kept count of the rows of games starting with 'c' is 120 once the waiting changes are applied where 119 "
          "rows do",
          "the kept count of the rows of games starting with 'cs' is 60 once the waiting changes are applied where 59 "
          "rows do",
          "the kept count of the rows of games starting with 'csa' is 60 once the waiting changes are applied where 59 "
          "rows do"},
         true},
        {"the state table dropped, then rows deleted",
         {},
         "DROP TABLE mediatar_state; DELETE FROM games WHERE rowid % 7 = 0",
         {"the program's table mediatar_state is missing (--repair makes it anew, as the program does when it next "
          "opens the file)"},
         true},
        {"the change log dropped",
         {},
         "DROP TABLE mediatar_changes",
         {"the program's table mediatar_changes is missing (--repair makes it anew, as the program does when it next "
          "opens the file); until then every write to a listed table fails, whatever program makes it"},
         true},
        {"the row counts dropped, then a row inserted",
         {},
         "DROP TABLE mediatar_row_counts;" + inserted,
         {"the program's table mediatar_row_counts is missing (--repair makes it anew, as the program does when it "
          "next opens the file)"},
         true},
    };
    const QString original = keptCatalogue(300);
    const QString path = dir.filePath(QStringLiteral("kar.tnx"));
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(original, path));
        OtherTool tool(path);
        if (!damage.before.isEmpty()) {
            tool.expectRuns(damage.before);
            EXPECT_EQ(catalogueTool({QStringLiteral("check"), path, QStringLiteral("--repair")}).code, 0);
        }
        tool.expectRuns(damage.sql);
        ToolRun check = catalogueTool({QStringLiteral("check"), path});
        if (damage.found.isEmpty()) {
            EXPECT_EQ(check.code, 0) << check.out.toStdString();
        } else {
            EXPECT_EQ(check.code, 1) << check.out.toStdString();
            // What is found, and nothing else: a kept order the program builds anew anyway is no problem.
            QStringList expected;
            for (const QString& problem : damage.found)
                expected << path + QStringLiteral(": ") + problem;
            EXPECT_EQ(check.out.trimmed(), expected.join(QLatin1Char('\n')));
        }
        if (damage.programMends) {
            openGames(path);
            EXPECT_TRUE(readsKeptOrder(channel));
            EXPECT_EQ(listed(channel), gamesInOrder(tool));
            EXPECT_EQ(channel.recordCount(), tool.rows(QStringLiteral("SELECT count(*) FROM games")).value(0).toInt());
            EXPECT_FALSE(listed(channel).contains(QString())) << "an empty row is listed";
            channel.setStatement(engine::Statement(QStringLiteral("delete from games where rowid = 2")));
            EXPECT_NO_THROW(channel.execute());
            channel.disconnect();
            check = catalogueTool({QStringLiteral("check"), path});
            EXPECT_EQ(check.code, 0) << check.out.toStdString();
        }
        // Any tool writes again, and --repair leaves nothing for check to find.
        tool.expectRuns(QStringLiteral("INSERT INTO games (NEV) VALUES ('Zsiráf'); DELETE FROM games WHERE rowid = 3"));
        check = catalogueTool({QStringLiteral("check"), path, QStringLiteral("--repair")});
        EXPECT_EQ(check.code, 0) << check.out.toStdString();
        check = catalogueTool({QStringLiteral("check"), path});
        EXPECT_EQ(check.code, 0) << check.out.toStdString();
    }
}

// The change log dropped by another tool while the program has the file open: the program's next write, on its
// own or in a transaction, makes it anew first instead of failing, and its change reaches the lists.
TEST_F(AnotherWriterTest, aChangeLogDroppedWhileTheFileIsOpenIsMadeAnewBeforeTheProgramWrites)
{
    const QString path = keptCatalogue(50);
    openGames(path);
    OtherTool tool(path);
    for (const bool inTransaction : {true, false}) {
        SCOPED_TRACE(inTransaction);
        tool.expectRuns(QStringLiteral("DROP TABLE mediatar_changes"));
        channel.setStatement(
            engine::Statement(QStringLiteral("delete from games where rowid = %1").arg(inTransaction ? 1 : 2)));
        try {
            if (inTransaction) {
                engine::WriteTransaction write(channel);
                channel.execute();
                write.commit();
            } else {
                channel.execute();
            }
        } catch (const platform::Failure& failure) {
            ADD_FAILURE() << failure.text().toStdString();
        }
    }
    // Another tool writes again (a connection of its own: the one that dropped the table still has it dropped in
    // its idea of the schema until it next reads).
    OtherTool(path).expectRuns(QStringLiteral("INSERT INTO games (NEV) VALUES ('Bagoly')"));
    channel.setStatement(engine::category(4).browseStatement());
    channel.open();
    EXPECT_TRUE(readsKeptOrder(channel));
    EXPECT_EQ(listed(channel), gamesInOrder(tool));
    EXPECT_EQ(channel.recordCount(), 49);
    channel.disconnect();
}

} // namespace
