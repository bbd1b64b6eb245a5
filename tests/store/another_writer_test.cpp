#include "hungarian/hungarian.h"
#include "store/categories.h"
#include "store/kept_order.h"
#include "store/query_channel.h"
#include "store/row_set.h"
#include "store/schema.h"
#include "support/bare_engine.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/qt_printing.h"

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
        hungarian::installInto(m_db);
    }
    ~OtherTool() { sqlite3_close(m_db); }
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
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
    QString m_message;
};

QStringList listed(const store::QueryChannel& channel)
{
    QStringList values;
    for (int row = 0; row < channel.recordCount(); ++row)
        values << channel.fieldText(row, QStringLiteral("NEV"));
    return values;
}

bool readsKeptOrder(const store::QueryChannel& channel)
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
        channel.setStatement(store::category(4).browseStatement());
        channel.open();
    }

    // The games in Hungarian order, as the data holds them now.
    static QStringList gamesInOrder(OtherTool& tool)
    {
        return tool.rows(QStringLiteral("SELECT NEV FROM games ORDER BY hungarian_key(NEV), NEV, rowid"));
    }

    QTemporaryDir dir;
    store::QueryChannel channel;
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
    channel.disconnect();
}

} // namespace
