// SPDX-License-Identifier: GPL-3.0-or-later

#include "category_fixture.h"
#include "hungarian/hungarian.h"
#include "main_window/category_grid.h"
#include "server/connection.h"
#include "support/scroll_bar_drag.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

// Scrolling a long list of a server catalogue: the window never waits for the server. A place not read yet is
// shown at once with empty rows, which fill in with exactly the list's rows there when they come.

namespace {

constexpr int gameCount = 5000;

class ServerScrollTest : public CategoryFixture
{
protected:
    ServerScrollTest() { engine = Engine::Server; }

    void SetUp() override
    {
        const QStringList words = {"Zsákutca", "Ötödik", "ősz", "Szél", "sas", "Csata", "cukor", "Ágyú", "alma"};
        catalogue->exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < gameCount; ++i) {
            const QString name = QStringLiteral("%1 %2").arg(words.at(i % words.size())).arg(i);
            catalogue->insert(QStringLiteral("games"), {name, QString(), QString(), QString()});
            names << name;
        }
        catalogue->exec(QStringLiteral("COMMIT"));
        std::sort(names.begin(), names.end(),
                  [](const QString& a, const QString& b) { return hungarian::compare(a, b) < 0; });
        startWithCaptions();
        switchToTab(4);
        games = grid(QStringLiteral("DBGrid6"));
        ASSERT_TRUE(games);
        ASSERT_EQ(games->model()->rowCount(), gameCount);
        games->setFocus();
    }

    // The server process of the list on the screen: the one connection whose snapshot waits between reads.
    int listProcess()
    {
        server::Connection watcher(catalogue->place());
        return watcher
            .single(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND state = "
                                   "'idle in transaction' ORDER BY xact_start DESC LIMIT 1"))
            .toInt();
    }

    std::pair<int, int> rowsOnScreen() const
    {
        const int top = games->rowAt(0);
        const int bottom = games->rowAt(games->viewport()->height() - 1);
        return {top, bottom < 0 ? games->model()->rowCount() - 1 : bottom};
    }

    // Every row on the screen shows the list's row of its place (after waiting for them to come).
    void expectScreenFilledRight()
    {
        const auto [top, bottom] = rowsOnScreen();
        ASSERT_GE(top, 0);
        (void)QTest::qWaitFor( // each row is compared below, with its text
            [&] {
                for (int row = top; row <= bottom; ++row)
                    if (games->model()->index(row, 0).data().toString().isEmpty())
                        return false;
                return true;
            },
            5000);
        for (int row = top; row <= bottom; ++row)
            EXPECT_EQ(games->model()->index(row, 0).data().toString(), names.at(row)) << "row " << row;
    }

    // The scroll bar's handle dragged with the mouse to fraction of its way.
    void dragScrollBar(double fraction)
    {
        // The scroll bar laid out for the place the grid is at now, as the user sees it.
        QApplication::processEvents();
        QScrollBar* bar = games->verticalScrollBar();
        const auto [from, to] = scrollBarDrag(bar, fraction);
        QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, from);
        for (int step = 1; step <= 10; ++step)
            QTest::mouseMove(bar, from + (to - from) * step / 10);
        QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, to);
    }

    QStringList names;
    CategoryGrid* games = nullptr;
};

// The server held still while the user jumps to the end and drags to the middle: each gesture is over at once,
// its rows painted empty; let go, the server's rows fill in, each at its own place.
TEST_F(ServerScrollTest, aFarPlaceShowsAtOnceAndFillsInWithTheRowsOfThatPlace)
{
    for (const bool dragged : {false, true}) {
        SCOPED_TRACE(dragged ? "scroll bar dragged to the middle" : "Ctrl+End");
        const int process = listProcess();
        ASSERT_GT(process, 0);
        ASSERT_EQ(::kill(process, SIGSTOP), 0);
        // Were the window to wait for its rows, it would wait until the server is let go.
        std::thread letGo([process] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            ::kill(process, SIGCONT);
        });
        QElapsedTimer gesture;
        gesture.start();
        if (dragged)
            dragScrollBar(0.5);
        else
            QTest::keyClick(games, Qt::Key_End, Qt::ControlModifier);
        games->viewport()->repaint();
        const qint64 heldMs = gesture.elapsed();
        const auto [top, bottom] = rowsOnScreen();
        const QString shownThen = games->model()->index(bottom, 0).data().toString();
        letGo.join();
        EXPECT_LT(heldMs, 1000) << "the window waited for the server";
        if (dragged) {
            EXPECT_GT(top, gameCount / 3) << bottom;
            EXPECT_LT(bottom, gameCount * 2 / 3) << top;
        } else {
            EXPECT_EQ(bottom, gameCount - 1);
        }
        EXPECT_TRUE(shownThen.isEmpty()) << "a row came from a server that was held still: " << bottom;
        expectScreenFilledRight();
        EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join(QLatin1Char(10)).toStdString();
    }
}

// The list's connection cut while the user scrolls: the user is told once, however many rows are painted, the
// window goes on, and the list reads itself again at the same place.
TEST_F(ServerScrollTest, aConnectionCutWhileScrollingIsToldOnceAndTheListReadsAgain)
{
    const int process = listProcess();
    ASSERT_GT(process, 0);
    {
        server::Connection watcher(catalogue->place());
        watcher.run(QStringLiteral("SELECT pg_terminate_backend($1)"), {QString::number(process)});
    }
    dragScrollBar(0.4);
    QTest::keyClick(games, Qt::Key_PageDown);
    QTest::keyClick(games, Qt::Key_End, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.errors.reports.isEmpty(); }, 5000)) << "nobody was told";
    QTest::qWait(300);
    ASSERT_EQ(desktop.errors.reports.size(), 1) << desktop.errors.reports.join(QLatin1Char(10)).toStdString();
    EXPECT_TRUE(desktop.errors.reports.first().contains(QStringLiteral("A lista sorai nem olvashatók be")))
        << desktop.errors.reports.first().toStdString();
    // Read again a little later, on a new connection, at the same place.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return games->model()->index(gameCount - 1, 0).data().toString() == names.last(); }, 8000));
    expectScreenFilledRight();
    EXPECT_EQ(countLabel()->text(), QString::number(gameCount));
}

} // namespace
