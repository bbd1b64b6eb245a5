#include "platform/failure.h"
#include "store/categories.h"
#include "store/hungarian.h"
#include "store/query_channel.h"
#include "support/catalogue_builder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

#include "support/qt_printing.h"

namespace {

// Games named so that Hungarian order differs from the order of insertion and from byte order.
QString gameName(int i)
{
    static const QStringList starts = {"Ötödik", "szoba", "Csata", "sárga", "Szél", "sas", "Ágyú", "alma"};
    return QStringLiteral("%1 %2").arg(starts.at(i % starts.size())).arg(i, 4, 10, QLatin1Char('0'));
}

class PagedListTest : public ::testing::Test
{
protected:
    PagedListTest() : catalogue(dir.path()), channel(QStringLiteral("paged_test"))
    {
        channel.pointAt(catalogue.path());
    }

    void addGames(int count)
    {
        catalogue.exec(QStringLiteral("BEGIN"));
        for (int i = m_added; i < m_added + count; ++i)
            catalogue.insert(QStringLiteral("games"), {gameName(i), QStringLiteral("megjegyzés %1").arg(i),
                                                       QStringLiteral("%1 MB").arg(i), QVariant()});
        catalogue.exec(QStringLiteral("COMMIT"));
        m_added += count;
    }

    QStringList expectedNames(const QString& typed = QString()) const
    {
        QStringList names;
        for (int i = 0; i < m_added; ++i) {
            if (store::hungarian::like(typed + QLatin1Char('%'), gameName(i)))
                names << gameName(i);
        }
        std::sort(names.begin(), names.end(),
                  [](const QString& a, const QString& b) { return store::hungarian::compare(a, b) < 0; });
        return names;
    }

    void openGames()
    {
        channel.setStatement(store::category(4).browseStatement());
        channel.open();
    }

    // Waits for a pending list, with a limit so that a lost callback fails instead of hanging.
    void waitWhilePending()
    {
        QElapsedTimer timer;
        timer.start();
        while (channel.isPending() && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    QTemporaryDir dir;
    TestCatalogue catalogue;
    store::QueryChannel channel;

private:
    int m_added = 0;
};

TEST_F(PagedListTest, everyRowOfAWholeTableIsReachableInOrder)
{
    addGames(300);
    openGames();
    const QStringList expected = expectedNames();
    ASSERT_EQ(channel.recordCount(), 300);
    EXPECT_EQ(channel.currentRow(), 0);
    // From the end first, then scattered, then every row: each screen is found on its own.
    for (int row : {299, 0, 150, 64, 63, 235, 128, 1, 298}) {
        EXPECT_EQ(channel.fieldText(row, QStringLiteral("nev")), expected.at(row)) << "row " << row;
    }
    for (int row = 0; row < 300; ++row)
        ASSERT_EQ(channel.fieldText(row, QStringLiteral("NEV")), expected.at(row)) << "row " << row;
    // Values by name, in any case; a null reads as empty text.
    const int i = expected.at(77).right(4).toInt();
    EXPECT_EQ(channel.fieldText(77, QStringLiteral("Megjegyzes")), QStringLiteral("megjegyzés %1").arg(i));
    EXPECT_EQ(channel.fieldText(77, QStringLiteral("meret")), QStringLiteral("%1 MB").arg(i));
    EXPECT_EQ(channel.fieldText(77, QStringLiteral("KOD")), QString());
    EXPECT_THROW(channel.fieldText(77, QStringLiteral("CIM")), platform::Failure);
}

// Screens read in any order, far from both ends, across long runs of equal names and rows without a name.
TEST_F(PagedListTest, screensReadInAnyOrderKeepEveryRowInItsPlace)
{
    static const QStringList names = {"Zsákutca", "ötödik", "Ötödik", "cukor", "Csata", "sas", "Szél", "alma"};
    catalogue.exec(QStringLiteral("BEGIN"));
    QList<QPair<QString, qint64>> expected; // name, rowid: the order of equal names is their rowid's
    for (int i = 0; i < 3000; ++i) {
        // Runs of equal names hundreds of rows long, and a few rows with no name at all.
        const QVariant name = i % 500 == 7 ? QVariant() : QVariant(names.at((i / 3) % names.size()));
        catalogue.insert(QStringLiteral("games"), {name, QString(), QString::number(i), QString()});
        expected.append({name.toString(), i + 1});
    }
    catalogue.exec(QStringLiteral("COMMIT"));
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        if (a.first.isEmpty() != b.first.isEmpty())
            return a.first.isEmpty();
        const int order = store::hungarian::compare(a.first, b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    openGames();
    ASSERT_EQ(channel.recordCount(), 3000);
    std::vector<int> rows(3000);
    for (int i = 0; i < 3000; ++i)
        rows[static_cast<std::size_t>(i)] = (i * 1237) % 3000; // every row once, screens far apart
    for (int row : rows) {
        ASSERT_EQ(channel.fieldText(row, QStringLiteral("MERET")), QString::number(expected.at(row).second - 1))
            << "row " << row;
        ASSERT_EQ(channel.fieldText(row, QStringLiteral("NEV")), expected.at(row).first) << "row " << row;
    }
}

TEST_F(PagedListTest, emptyTableAndEmptySearchAreOpenWithNoRows)
{
    openGames();
    EXPECT_TRUE(channel.isOpen());
    EXPECT_EQ(channel.recordCount(), 0);
    EXPECT_EQ(channel.currentRow(), -1);
    addGames(10);
    channel.setStatement(store::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("zzz"), true));
    channel.open();
    EXPECT_EQ(channel.recordCount(), 0);
}

TEST_F(PagedListTest, anOpenListDoesNotChangeWhileOthersWrite)
{
    addGames(200);
    openGames();
    const QStringList before = expectedNames();
    EXPECT_EQ(channel.fieldText(199, QStringLiteral("NEV")), before.at(199));
    // Another program changes the file while the list is shown.
    catalogue.exec(QStringLiteral("DELETE FROM games WHERE rowid <= 20"));
    addGames(50);
    EXPECT_EQ(channel.recordCount(), 200);
    for (int row = 0; row < 200; ++row)
        ASSERT_EQ(channel.fieldText(row, QStringLiteral("NEV")), before.at(row)) << "row " << row;
    // Closing lets go of the old snapshot: the same channel writes, and the next list shows every change.
    channel.close();
    channel.setStatement(store::Statement(QStringLiteral("delete from games where MERET = \"30 MB\"")));
    EXPECT_NO_THROW(channel.execute());
    openGames();
    EXPECT_EQ(channel.recordCount(), 200 - 20 + 50 - 1);
    EXPECT_EQ(channel.recordCount(), catalogue.count(QStringLiteral("games")));
}

TEST_F(PagedListTest, aLongSearchShowsItsFirstRowsAtOnceAndTheRestLater)
{
    addGames(2400);
    const QStringList expected = expectedNames(QStringLiteral("s"));
    ASSERT_GT(expected.size(), 1000);
    QSignalSpy appended(&channel, &store::QueryChannel::rowsAboutToBeAppended);
    int opened = 0;
    channel.setStatement(store::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("s"), false));
    channel.openThen([&] { ++opened; }, [](const QString& text) { FAIL() << text.toStdString(); });
    ASSERT_TRUE(channel.isOpen());
    ASSERT_TRUE(channel.isPending());
    EXPECT_EQ(opened, 0);
    const int shown = channel.recordCount();
    ASSERT_GT(shown, 0);
    ASSERT_LT(shown, expected.size());
    for (int row : {0, shown - 1, shown / 2})
        EXPECT_EQ(channel.fieldText(row, QStringLiteral("NEV")), expected.at(row)) << "row " << row;
    waitWhilePending();
    ASSERT_FALSE(channel.isPending());
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(channel.recordCount(), expected.size());
    ASSERT_EQ(appended.count(), 1);
    EXPECT_EQ(appended.first().at(0).toInt(), shown);
    EXPECT_EQ(appended.first().at(1).toInt(), expected.size() - 1);
    for (int row = 0; row < expected.size(); ++row)
        ASSERT_EQ(channel.fieldText(row, QStringLiteral("NEV")), expected.at(row)) << "row " << row;
}

TEST_F(PagedListTest, theNewestSearchWins)
{
    addGames(2400);
    int firstOpened = 0;
    int firstFailed = 0;
    channel.setStatement(store::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("%"), false));
    channel.openThen([&] { ++firstOpened; }, [&](const QString&) { ++firstFailed; });
    ASSERT_TRUE(channel.isPending());
    // The next keystroke replaces the search before the first one is counted.
    int secondOpened = 0;
    channel.setStatement(store::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("cs"), false));
    channel.openThen([&] { ++secondOpened; }, [](const QString& text) { FAIL() << text.toStdString(); });
    waitWhilePending();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(firstOpened, 0);
    EXPECT_EQ(firstFailed, 0);
    EXPECT_EQ(secondOpened, 1);
    EXPECT_EQ(channel.recordCount(), expectedNames(QStringLiteral("cs")).size());
}

TEST_F(PagedListTest, closingAPendingListFreesTheChannelForWriting)
{
    addGames(2400);
    int opened = 0;
    channel.setStatement(store::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("%"), true));
    channel.openThen([&] { ++opened; }, [](const QString&) {});
    ASSERT_TRUE(channel.isPending());
    channel.close();
    EXPECT_FALSE(channel.isPending());
    EXPECT_FALSE(channel.isOpen());
    EXPECT_THROW(channel.recordCount(), platform::Failure);
    channel.setStatement(store::Statement(QStringLiteral("delete from games")));
    EXPECT_NO_THROW(channel.execute());
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(catalogue.count(QStringLiteral("games")), 0);
}

TEST_F(PagedListTest, aSynchronousOpenCountsEverything)
{
    addGames(2400);
    channel.setStatement(store::category(4).searchStatement(QStringLiteral("NEV"), QStringLiteral("%"), true));
    channel.open();
    EXPECT_FALSE(channel.isPending());
    EXPECT_EQ(channel.recordCount(), 2400);
    EXPECT_EQ(channel.fieldText(2399, QStringLiteral("NEV")), expectedNames().last());
}

TEST_F(PagedListTest, aRefusedStatementFailsAtOnceWithTheEnginesText)
{
    addGames(5);
    channel.setStatement(store::category(4).searchStatement(QStringLiteral("CIM"), QStringLiteral("a"), false));
    try {
        channel.openThen([] {}, [](const QString&) {});
        FAIL() << "no failure";
    } catch (const platform::Failure& failure) {
        EXPECT_TRUE(failure.text().contains(QStringLiteral("no such column: CIM"))) << failure.text().toStdString();
    }
    EXPECT_FALSE(channel.isOpen());
    EXPECT_FALSE(channel.isPending());
    // The failed list left no read open behind it.
    channel.setStatement(store::Statement(QStringLiteral("delete from games")));
    EXPECT_NO_THROW(channel.execute());
}

TEST_F(PagedListTest, keptCountsFollowTheProgramsOwnChanges)
{
    addGames(40);
    channel.setStatement(store::Statement(QStringLiteral("insert into games values ("))
                             .quoted("Új")
                             .fixed(", ")
                             .quoted("")
                             .fixed(", ")
                             .quoted("")
                             .fixed(", ")
                             .quoted("")
                             .fixed(")"));
    channel.execute();
    channel.setStatement(store::Statement(QStringLiteral("delete from games where NEV like 'a%'")));
    channel.execute();
    openGames();
    EXPECT_EQ(channel.recordCount(), catalogue.count(QStringLiteral("games")));
    EXPECT_EQ(channel.recordCount(), 40 + 1 - 5);
}

} // namespace
