// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/engines.h"
#include "catalogue/query_channel.h"
#include "engine/categories.h"
#include "engine/write_transaction.h"
#include "platform/failure.h"
#include "server/server_engine.h"
#include "store/file_engine.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

// The channel the windows use, driven over an engine of the test's own: what the channel does for every engine
// (lists read in the background, the newest list winning, changes refused on a read-only catalogue, a kept
// count repaired, other users' changes announced) holds for any engine that keeps the interface.

namespace {

std::unique_ptr<engine::RowSet> games(int count)
{
    std::vector<QVariantList> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({i + 1, QStringLiteral("Játék %1").arg(i + 1)});
    return std::make_unique<engine::LoadedRowSet>(QStringList{QStringLiteral("row_identity"), QStringLiteral("NEV")},
                                                  std::move(rows));
}

// Rows whose count the test moves, as a list that grows in place.
struct GrowingRows : engine::RowSet
{
    explicit GrowingRows(std::shared_ptr<int> rows) : rows(std::move(rows)) {}
    int count() const override { return *rows; }
    const QStringList& columnNames() const override { return columns; }
    QVariant value(int row, int) const override { return row; }
    std::shared_ptr<int> rows;
    QStringList columns{QStringLiteral("row_identity"), QStringLiteral("NEV")};
};

// A list the test finishes when it chooses. The part shown first grows in place (as a file's does) unless a
// whole new list is given (as a server's is).
struct Opening : engine::ListOpening
{
    struct Control
    {
        std::function<void()> done;
        bool finished = false;
        QString failure;
        int whole = 0;
        bool replaced = false;
        bool abandoned = false;
        int part = 0; // first rows come on their own before the end
        int partsTaken = 0;
    };
    Opening(std::shared_ptr<Control> control, int shown)
        : control(std::move(control)), shown(std::make_shared<int>(shown))
    {
    }
    ~Opening() override { control->abandoned = true; }
    bool waitForFrame() override { return control->finished; }
    void waitForEnd() override { control->finished = true; }
    bool ended() const override { return control->finished; }
    bool failed() const override { return !control->failure.isEmpty(); }
    QString failure() const override { return control->failure; }
    std::unique_ptr<engine::RowSet> takeShown() override
    {
        if (control->finished)
            *shown = control->whole;
        return std::make_unique<GrowingRows>(shown);
    }
    std::unique_ptr<engine::RowSet> takePart() override
    {
        if (control->part == 0)
            return nullptr;
        ++control->partsTaken;
        *shown = std::exchange(control->part, 0);
        return std::make_unique<GrowingRows>(shown);
    }
    std::unique_ptr<engine::RowSet> takeWhole() override { return control->replaced ? games(control->whole) : nullptr; }
    int wholeCount() const override { return control->whole; }
    void completeShown() override { *shown = control->whole; }

    std::shared_ptr<Control> control;
    std::shared_ptr<int> shown;
};

class FakeEngine : public engine::Engine
{
public:
    using Engine::Engine;
    void connect() override { connected = true; }
    void disconnect() override { connected = false; }
    bool isConnected() const override { return connected; }
    bool readOnly() const override { return onlyReads; }
    std::unique_ptr<engine::RowSet> openList(const engine::ListPlan&) override
    {
        ++listsOpened;
        return games(listLength);
    }
    std::unique_ptr<engine::ListOpening> startList(const engine::ListPlan&, std::function<void()> done) override
    {
        auto control = std::make_shared<Opening::Control>();
        control->done = std::move(done);
        openings.push_back(control);
        return std::make_unique<Opening>(control, 2);
    }
    bool keepsRowsWhileReadingAgain() const override { return keepsRows; }
    void repairCounts(const QString& table) override { repaired << table; }
    std::unique_ptr<engine::RowSet> load(const engine::Statement&) override { return games(1); }
    int execute(const engine::Statement& statement) override
    {
        executed << statement.text();
        return 1;
    }
    qint64 lastInsertedKey() override { return 0; }
    void begin() override { transaction << QStringLiteral("begin"); }
    void commit() override { transaction << QStringLiteral("commit"); }
    void rollback() override { transaction << QStringLiteral("rollback"); }
    int changeSocket() override { return socket; }
    QStringList takeChanges() override
    {
        char byte;
        while (::recv(socket, &byte, 1, MSG_DONTWAIT) == 1) {
        }
        return {QStringLiteral("games")};
    }
    void reportCountWrong(const QString& table) { countFoundWrong(table); }

    bool connected = false;
    bool onlyReads = false;
    bool keepsRows = false;
    int listLength = 5;
    int listsOpened = 0;
    int socket = -1;
    std::vector<std::shared_ptr<Opening::Control>> openings;
    QStringList executed, transaction, repaired;
};

class ChannelSeam : public ::testing::Test
{
protected:
    ChannelSeam()
    {
        catalogue::setEngineChooser([this](const engine::Location& location) {
            auto made = std::make_unique<FakeEngine>(location);
            fake = made.get();
            return made;
        });
        channel.pointAt(QStringLiteral("memory:games"));
        channel.setStatement(engine::category(4).browseStatement());
    }
    ~ChannelSeam() override { catalogue::setEngineChooser({}); }

    // Opens the list in the background; whenOpen and whenFailed leave their trace.
    void openInBackground(bool again = false)
    {
        auto opened = [this] { ++openedCount; };
        auto failed = [this](const QString& text) { failures << text; };
        if (again)
            channel.refreshThen(opened, failed);
        else
            channel.openThen(opened, failed);
    }
    // The engine's worker ends the list n and says so, as a worker thread does.
    void finish(std::size_t n, int whole, const QString& failure = {}, bool replaced = false)
    {
        Opening::Control& control = *fake->openings.at(n);
        control.finished = true;
        control.whole = whole;
        control.failure = failure;
        control.replaced = replaced;
        control.done();
        QCoreApplication::processEvents();
    }

    catalogue::QueryChannel channel{QStringLiteral("seam")};
    FakeEngine* fake = nullptr;
    int openedCount = 0;
    QStringList failures;
};

TEST_F(ChannelSeam, aListReadInTheBackgroundEndsAsTheEngineSays)
{
    struct Case
    {
        const char* name;
        bool replaced;   // the engine gives a whole new list instead of completing the part shown
        QString failure; // the reading failed with this text
        bool again;      // a list read again for other users' changes, on an engine that keeps its rows meanwhile
        int rowsAfter;   // -1: the list is closed
        int appendedFrom;
    };
    const std::vector<Case> cases = {
        {"grows in place", false, {}, false, 9, 2},
        {"replaced by the whole list", true, {}, false, 9, -1},
        {"fails", false, QStringLiteral("disk I/O error"), false, -1, -1},
        {"read again and fails: the old rows stay", true, QStringLiteral("server closed the connection"), true, 5, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        channel.pointAt(QStringLiteral("memory:games"));
        channel.setStatement(engine::category(4).browseStatement());
        openedCount = 0;
        failures.clear();
        if (c.again) {
            channel.open();
            fake->keepsRows = true;
        }
        QSignalSpy appended(&channel, &catalogue::QueryChannel::rowsAboutToBeAppended);
        openInBackground(c.again);
        ASSERT_TRUE(channel.isPending());
        EXPECT_EQ(channel.recordCount(), c.again ? 5 : 2);
        EXPECT_EQ(openedCount, 0);
        finish(0, 9, c.failure, c.replaced);
        EXPECT_FALSE(channel.isPending());
        EXPECT_EQ(channel.isOpen() ? channel.recordCount() : -1, c.rowsAfter);
        EXPECT_EQ(openedCount, c.failure.isEmpty() ? 1 : 0);
        EXPECT_EQ(failures, c.failure.isEmpty() ? QStringList() : QStringList{c.failure});
        ASSERT_EQ(appended.size(), c.appendedFrom < 0 ? 0 : 1);
        if (c.appendedFrom >= 0) {
            EXPECT_EQ(appended.at(0).at(0).toInt(), c.appendedFrom);
            EXPECT_EQ(appended.at(0).at(1).toInt(), 8);
        }
    }
}

TEST_F(ChannelSeam, firstRowsComingOnTheirOwnAreShownUntilTheWholeListGrowsFromThem)
{
    struct Case
    {
        const char* name;
        bool again;        // a list read again, whose old rows stay until it is whole
        bool late;         // the first rows' news is taken only after the end
        int rowsWhilePart; // the list shown after the first rows' news
        int partsTaken;
        int appendedFrom;
    };
    const std::vector<Case> cases = {
        {"first rows shown, then grown", false, false, 3, 1, 3},
        {"read again: the old rows stay", true, false, 5, 0, -1},
        {"the end came first: no part", false, true, 2, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        channel.pointAt(QStringLiteral("memory:games"));
        channel.setStatement(engine::category(4).browseStatement());
        openedCount = 0;
        if (c.again) {
            channel.open();
            fake->keepsRows = true;
        }
        openInBackground(c.again);
        Opening::Control& control = *fake->openings.at(0);
        QSignalSpy changed(&channel, &catalogue::QueryChannel::rowsChanged);
        QSignalSpy appended(&channel, &catalogue::QueryChannel::rowsAboutToBeAppended);
        control.part = 3;
        control.finished = c.late;
        control.whole = 9;
        control.replaced = c.again;
        control.done(); // the first rows' news, as the worker posts it
        QCoreApplication::processEvents();
        if (!c.late) {
            EXPECT_TRUE(channel.isPending());
            EXPECT_EQ(openedCount, 0);
            EXPECT_EQ(channel.recordCount(), c.rowsWhilePart);
            EXPECT_EQ(changed.size(), c.partsTaken);
            finish(0, 9, {}, c.again);
        }
        EXPECT_FALSE(channel.isPending());
        EXPECT_EQ(control.partsTaken, c.partsTaken);
        EXPECT_EQ(openedCount, 1);
        EXPECT_EQ(channel.recordCount(), 9);
        ASSERT_EQ(appended.size(), c.appendedFrom < 0 ? 0 : 1);
        if (c.appendedFrom >= 0) {
            EXPECT_EQ(appended.at(0).at(0).toInt(), c.appendedFrom);
        }
    }
}

TEST_F(ChannelSeam, theNewestListWinsAndOpenWaitsForTheOneOnItsWay)
{
    openInBackground();
    channel.setStatement(engine::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("Já"), false));
    EXPECT_TRUE(fake->openings.at(0)->abandoned);
    openInBackground();
    // The first list's late news changes nothing: the second is still on its way.
    finish(0, 50);
    EXPECT_TRUE(channel.isPending());
    EXPECT_EQ(openedCount, 0);
    EXPECT_EQ(channel.recordCount(), 2);

    // open() takes the list on its way as it ends, and a list that failed on its way is a failure of open().
    fake->openings.at(1)->whole = 7;
    channel.open();
    EXPECT_EQ(openedCount, 1);
    EXPECT_FALSE(channel.isPending());
    channel.close();
    openInBackground();
    fake->openings.at(2)->failure = QStringLiteral("database is locked");
    EXPECT_THROW(channel.open(), platform::Failure);
    EXPECT_FALSE(channel.isOpen());
}

TEST_F(ChannelSeam, aReadOnlyCatalogueRefusesChangesBeforeTheEngineSeesThem)
{
    channel.connect();
    fake->onlyReads = true;
    channel.setStatement(engine::Statement(QStringLiteral("DELETE FROM games")));
    EXPECT_THROW(channel.execute(), platform::Failure);
    EXPECT_TRUE(fake->executed.isEmpty());
    fake->onlyReads = false;
    channel.execute();
    EXPECT_EQ(fake->executed, QStringList{QStringLiteral("DELETE FROM games")});

    // A transaction that is left without its commit is rolled back; one committed is not.
    try {
        engine::WriteTransaction transaction(channel);
        channel.execute();
        throw platform::Failure(QStringLiteral("a later statement failed"));
    } catch (const platform::Failure&) {
    }
    {
        engine::WriteTransaction transaction(channel);
        transaction.commit();
    }
    EXPECT_EQ(fake->transaction, (QStringList{"begin", "rollback", "begin", "commit"}));
}

TEST_F(ChannelSeam, aWrongKeptCountIsRepairedOnceAndTheListReadAgain)
{
    channel.open();
    QSignalSpy recounted(&channel, &catalogue::QueryChannel::recounted);
    const int listsBefore = fake->listsOpened;
    // Several screens find it wrong before the window's thread is free again; another table's news is not this
    // list's.
    fake->reportCountWrong(QStringLiteral("games"));
    fake->reportCountWrong(QStringLiteral("games"));
    QCoreApplication::processEvents();
    fake->reportCountWrong(QStringLiteral("eloado"));
    QCoreApplication::processEvents();
    EXPECT_EQ(fake->repaired, QStringList{QStringLiteral("games")});
    EXPECT_EQ(fake->listsOpened, listsBefore + 1);
    EXPECT_EQ(recounted.size(), 1);

    // A list closed before the news is taken (a change is being written) is neither repaired nor opened again.
    fake->reportCountWrong(QStringLiteral("games"));
    channel.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(fake->repaired.size(), 1);
    EXPECT_EQ(fake->listsOpened, listsBefore + 1);
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(recounted.size(), 1);
}

TEST_F(ChannelSeam, otherUsersChangesAreAnnouncedOnlyWhileFollowed)
{
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    channel.connect();
    fake->socket = sockets[0];
    QSignalSpy changed(&channel, &catalogue::QueryChannel::catalogueChanged);
    channel.setFollowsChanges(true);
    ASSERT_EQ(::write(sockets[1], "x", 1), 1);
    EXPECT_TRUE(changed.wait(2000));
    EXPECT_EQ(changed.at(0).at(0).toStringList(), QStringList{QStringLiteral("games")});
    channel.setFollowsChanges(false);
    ASSERT_EQ(::write(sockets[1], "x", 1), 1);
    EXPECT_FALSE(changed.wait(200));
    EXPECT_EQ(changed.size(), 1);
    channel.disconnect();
    ::close(sockets[0]);
    ::close(sockets[1]);
}

TEST(EngineChooser, aLocationGetsTheEngineThatServesIt)
{
    struct Case
    {
        QString name;
        bool server;
    };
    for (const Case& c : std::vector<Case>{{QStringLiteral("/home/anna/filmek.tnx"), false},
                                           {QStringLiteral("filmek.tnx"), false},
                                           {QStringLiteral("postgresql://anna@nas/filmek"), true},
                                           {QStringLiteral("POSTGRES://nas:5433/filmek?sslmode=require"), true},
                                           {QStringLiteral("postgresql.tnx"), false}}) {
        SCOPED_TRACE(c.name.toStdString());
        const std::unique_ptr<engine::Engine> chosen = catalogue::engineFor(engine::Location(c.name));
        EXPECT_EQ(dynamic_cast<server::ServerEngine*>(chosen.get()) != nullptr, c.server);
        EXPECT_EQ(dynamic_cast<store::FileEngine*>(chosen.get()) != nullptr, !c.server);
        EXPECT_EQ(chosen->location().name(), c.name);
        EXPECT_FALSE(chosen->isConnected());
    }
}

} // namespace
