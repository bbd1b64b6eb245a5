// SPDX-License-Identifier: GPL-3.0-or-later

#include "category_fixture.h"
#include "main_window/category_grid.h"
#include "hungarian/hungarian.h"
#include "store/search_pause.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QSignalSpy>
#include <algorithm>

namespace {

class LongListFixture : public CategoryFixture
{
protected:
    // Games inserted against their Hungarian order, more than a few screens of them.
    QStringList addGames(int count)
    {
        static const QStringList words = {"Zsákutca", "Ötödik", "ősz", "Szél", "sas", "Csata", "cukor", "Ágyú", "alma"};
        QStringList names;
        catalogue->exec(QStringLiteral("BEGIN"));
        for (int i = count - 1; i >= 0; --i) {
            const QString name = QStringLiteral("%1 %2").arg(words.at(i % words.size())).arg(i);
            catalogue->insert(QStringLiteral("games"), {name, QString(), QStringLiteral("%1 MB").arg(i), QString()});
            names << name;
        }
        catalogue->exec(QStringLiteral("COMMIT"));
        std::sort(names.begin(), names.end(),
                  [](const QString& a, const QString& b) { return hungarian::compare(a, b) < 0; });
        return names;
    }
};

class LongListTest : public OnBothEngines<LongListFixture>
{
protected:
    // The text a grid shows in a cell, once its row has come: a server's rows far from those read so far are
    // painted empty at first and filled in when they are read.
    static QString shownOnceRead(const QModelIndex& cell, const QString& expected)
    {
        // The caller compares what is shown: a row never filled in fails there with its text.
        (void)QTest::qWaitFor([&] { return cell.data().toString() == expected; }, 5000);
        return cell.data().toString();
    }
};

// The file engine's own way with a long search: its first rows at once, counted to the end in the background.
class LongListFileTest : public LongListFixture
{
};

TEST_P(LongListTest, theGridReachesEveryRowAndAClickReadsTheRowUnderTheMouse)
{
    const QStringList names = addGames(700);
    // The albums' grids are on the screen first; the games' grid then takes over their row header.
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    startWithCaptions();
    ASSERT_TRUE(grid(QStringLiteral("DBGrid1"))->isVisible());
    switchToTab(4);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("700"));
    CategoryGrid* games = grid(QStringLiteral("DBGrid6"));
    ASSERT_TRUE(games);
    ASSERT_EQ(games->model()->rowCount(), 700);
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join(QLatin1Char(10)).toStdString();
    EXPECT_TRUE(games->isVisible());

    // Jump to the end: the last rows are there at once.
    games->scrollToBottom();
    QApplication::processEvents();
    const QModelIndex bottom = games->indexAt(QPoint(10, games->viewport()->height() - 4));
    ASSERT_TRUE(bottom.isValid());
    EXPECT_EQ(bottom.row(), 699);
    EXPECT_EQ(shownOnceRead(bottom, names.last()), names.last());

    // A click in the middle of a long list reads the row under the mouse, by column name.
    QSignalSpy clicks(games, &CategoryGrid::rowClicked);
    for (int row : {431, 12, 640}) {
        clickCell(QStringLiteral("DBGrid6"), row, 2);
        ASSERT_FALSE(clicks.isEmpty());
        const int clicked = clicks.takeLast().first().toInt();
        EXPECT_EQ(clicked, row);
        EXPECT_EQ(window().browseQuery().fieldText(clicked, QStringLiteral("NEV")), names.at(row));
        EXPECT_EQ(games->model()->index(row, 0).data().toString(), names.at(row));
        EXPECT_EQ(games->model()->index(row, 2).data().toString(),
                  window().browseQuery().fieldText(clicked, QStringLiteral("MERET")));
    }
}

TEST_P(LongListTest, switchingTabsListsEachTableAgainFromItsStart)
{
    const QStringList names = addGames(300);
    startWithCaptions();
    switchToTab(4);
    CategoryGrid* games = grid(QStringLiteral("DBGrid6"));
    games->scrollToBottom();
    switchToTab(2);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("0"));
    switchToTab(4);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("300"));
    // Only the grid on the screen holds the rows; the albums' grid on the hidden tab holds none.
    EXPECT_EQ(grid(QStringLiteral("DBGrid1"))->model()->rowCount(), 0);
    EXPECT_EQ(games->model()->rowCount(), 300);
    EXPECT_EQ(games->model()->index(0, 0).data().toString(), names.first());
    EXPECT_EQ(shownOnceRead(games->model()->index(299, 0), names.last()), names.last());
}

TEST_P(LongListTest, aGridComingOnTheScreenNeverTakesTheRowsOfTheTabItLeaves)
{
    addGames(400);
    for (int i = 0; i < 3; ++i)
        catalogue->insert(QStringLiteral("DVD_Filmek"), {QStringLiteral("Film %1").arg(i), QString(), QString(),
                                                         QString(), QString(), QString(), QString()});
    startWithCaptions();
    switchToTab(4);
    ASSERT_EQ(grid(QStringLiteral("DBGrid6"))->model()->rowCount(), 400);
    // Every row count the films' grid takes on its way to the screen, from the moment its page is shown.
    CategoryGrid* films = grid(QStringLiteral("DBGrid4"));
    std::vector<int> counts;
    const QObject watching; // goes before counts, taking the connections with it
    QObject::connect(films->model(), &QAbstractItemModel::modelReset, &watching,
                     [&] { counts.push_back(films->model()->rowCount()); });
    QObject::connect(films->model(), &QAbstractItemModel::rowsInserted, &watching,
                     [&] { counts.push_back(films->model()->rowCount()); });
    switchToTab(2);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), 3);
    EXPECT_EQ(std::count(counts.begin(), counts.end(), 400), 0) << "the games' rows reached the films' grid";
    EXPECT_EQ(films->model()->index(2, 0).data().toString(), QStringLiteral("Film 2"));

    // Back on the games: their grid takes their rows again, and the films' grid, hidden, holds none.
    switchToTab(4);
    EXPECT_EQ(grid(QStringLiteral("DBGrid6"))->model()->rowCount(), 400);
    EXPECT_EQ(films->model()->rowCount(), 0);
}

TEST_F(LongListFileTest, typingOverALongListKeepsOnlyTheNewestSearch)
{
    const QStringList names = addGames(3000);
    const auto containing = [&](const QString& text) {
        return static_cast<int>(std::count_if(names.begin(), names.end(), [&](const QString& name) {
            return hungarian::like(QLatin1Char('%') + text + QLatin1Char('%'), name);
        }));
    };
    ASSERT_GT(containing(QStringLiteral("a")), 1000); // long enough to be counted in the background
    startWithCaptions();
    switchToTab(4);
    widget<QCheckBox>(QStringLiteral("tartalmazza"))->click();
    ASSERT_TRUE(widget<QCheckBox>(QStringLiteral("tartalmazza"))->isChecked());
    CategoryGrid* games = grid(QStringLiteral("DBGrid6"));
    catalogue::QueryChannel& browse = window().browseQuery();

    // The first letter opens with its first rows; the count waits for the rest (the search is held, as a long
    // one is by the work left).
    store::SearchPause pause;
    QTest::keyClick(searchBox(), Qt::Key_A);
    ASSERT_TRUE(browse.isPending());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3000"));
    EXPECT_GT(games->model()->rowCount(), 0);
    EXPECT_EQ(games->model()->index(0, 0).data().toString(), browse.fieldText(0, QStringLiteral("NEV")));

    // The second letter comes before the first search is counted, though its worker may end first: only the
    // second one is shown.
    pause.release();
    QTest::keyClick(searchBox(), Qt::Key_L);
    EXPECT_EQ(countLabel()->text(), QString::number(containing(QStringLiteral("al"))));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(countLabel()->text(), QString::number(containing(QStringLiteral("al"))));
    EXPECT_EQ(games->model()->rowCount(), containing(QStringLiteral("al")));

    // Back to one letter, and this time the search is left to finish.
    QTest::keyClick(searchBox(), Qt::Key_Backspace);
    timer.restart();
    while (browse.isPending() && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(countLabel()->text(), QString::number(containing(QStringLiteral("a"))));
    EXPECT_EQ(games->model()->rowCount(), containing(QStringLiteral("a")));
    // The grid itself was told of the rows counted in the background: its last row is reached by scrolling.
    games->scrollToBottom();
    QApplication::processEvents();
    const QModelIndex bottom = games->indexAt(QPoint(10, games->viewport()->height() - 4));
    EXPECT_EQ(bottom.row(), containing(QStringLiteral("a")) - 1);
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join(QLatin1Char(10)).toStdString();
}

// The rest of a long search, come below the screen, leaves the rows shown unpainted, and the scroll bar reaches
// its last row at once; a rest that comes on the screen (after a first part shorter than the screen, into a list
// longer than the screen or not) is painted.
TEST_F(LongListFileTest, theRestOfALongSearchIsPaintedOnlyWhereItComesOnTheScreen)
{
    // Every name holds an "a"; an "x" is in five of the first stretch's names and in every later one; a "q" in
    // three of the first stretch's and five later ones.
    catalogue->exec(QStringLiteral("BEGIN"));
    QStringList names;
    for (int i = 0; i < 3000; ++i) {
        const QString q = i % (i < 1500 ? 500 : 300) == 0 ? QStringLiteral(" q") : QString();
        const QString name =
            i < 1500 ? QStringLiteral("Alma %1%2%3").arg(i, 4, 10, QLatin1Char('0')).arg(i % 300 == 0 ? " x" : "", q)
                     : QStringLiteral("Zebra x %1%2").arg(i).arg(q);
        catalogue->insert(QStringLiteral("games"), {name, QString(), QString(), QString()});
        names << name;
    }
    catalogue->exec(QStringLiteral("COMMIT"));
    startWithCaptions();
    switchToTab(4);
    widget<QCheckBox>(QStringLiteral("tartalmazza"))->click();
    CategoryGrid* games = grid(QStringLiteral("DBGrid6"));
    catalogue::QueryChannel& browse = window().browseQuery();
    struct Paints : QObject
    {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            count += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } paints;
    games->viewport()->installEventFilter(&paints);
    for (const QChar letter : {QLatin1Char('a'), QLatin1Char('x'), QLatin1Char('q')}) {
        SCOPED_TRACE(std::string(1, letter.toLatin1()));
        const QStringList found = names.filter(letter);
        QStringList expected = found;
        std::sort(expected.begin(), expected.end(),
                  [](const QString& a, const QString& b) { return hungarian::compare(a, b) < 0; });
        QTest::keyClick(searchBox(), Qt::Key_Backspace);
        QTest::qWait(50);
        {
            store::SearchPause pause;
            QTest::keyClick(searchBox(), letter.toLatin1());
            ASSERT_TRUE(browse.isPending());
            const int part = games->model()->rowCount();
            ASSERT_GT(part, 0);
            ASSERT_LT(part, expected.size());
            QTest::qWait(50); // the part is laid out and painted
            paints.count = 0;
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !browse.isPending(); }, 10000));
        QTest::qWait(50);
        EXPECT_EQ(countLabel()->text(), QString::number(expected.size()));
        const int onScreen = games->viewport()->height() / games->rowHeight();
        ASSERT_GT(onScreen, 8);
        const bool shorter = expected.size() < onScreen;
        EXPECT_EQ(shorter, letter == QLatin1Char('q'));
        if (letter == QLatin1Char('a'))
            EXPECT_EQ(paints.count, 0) << "the rows on the screen were painted again";
        else
            EXPECT_GT(paints.count, 0) << "the rows come on the screen were never painted";
        for (int row = 0; row < std::min<int>(onScreen, expected.size()); ++row)
            ASSERT_EQ(games->model()->index(row, 0).data().toString(), expected.at(row)) << "row " << row;
        if (shorter)
            continue;
        // Ctrl+End, through the window's keys, at once: the last row is on the screen.
        games->setFocus();
        QTest::keyClick(games, Qt::Key_End, Qt::ControlModifier);
        QApplication::processEvents();
        EXPECT_EQ(games->indexAt(QPoint(10, games->viewport()->height() - 4)).row(), expected.size() - 1);
        QTest::keyClick(games, Qt::Key_Home, Qt::ControlModifier);
        searchBox()->setFocus();
    }
    expectNoErrors();
}

RUN_ON_BOTH_ENGINES(LongListTest);

} // namespace
