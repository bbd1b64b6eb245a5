// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/window_holds.h"

#include "engine/categories.h"
#include "main_window/category_grid.h"
#include "support/held_window.h"
#include "support/program_under_test.h"
#include "support/window_use.h"
#include "support/scroll_bar_drag.h"

#include <QScrollBar>
#include <QTest>

namespace bench {

namespace {

TimingApplication& app()
{
    return TimingApplication::instance();
}

// Every row on the grid's screen shows its values (the films all have a title).
bool screenFilled(CategoryGrid* grid)
{
    const int top = std::max(grid->rowAt(0), 0);
    int bottom = grid->rowAt(grid->viewport()->height() - 1);
    if (bottom < 0)
        bottom = grid->model()->rowCount() - 1;
    for (int row = top; row <= bottom; ++row)
        if (grid->model()->data(grid->model()->index(row, 0)).toString().isEmpty())
            return false;
    return true;
}

// The scroll bar's handle dragged with the mouse from where it is to fraction of the bar's length, a step a
// frame, as a hand drags it.
void dragScrollBar(CategoryGrid* grid, double fraction)
{
    QScrollBar* bar = grid->verticalScrollBar();
    const auto [from, to] = scrollBarDrag(bar, fraction);
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, from);
    constexpr int steps = 20;
    for (int step = 1; step <= steps; ++step) {
        QTest::mouseMove(bar, from + (to - from) * step / steps);
        idle(wheelPauseMs);
    }
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, to);
}

Hold measure(CategoryGrid* grid, const std::function<void()>& gesture)
{
    idle(100);
    app().startInteraction();
    gesture();
    // The rows are waited for from the gesture's end: a drag or the wheel takes its own time.
    const Clock::time_point start = Clock::now();
    Hold hold;
    Clock::time_point filled;
    if (app().waitFor([&] { return screenFilled(grid); }, 600000, &filled))
        hold.filledMs = std::chrono::duration<double, std::milli>(filled - start).count();
    idle(50);
    hold.heldMs = app().longestMs();
    hold.heldBy = app().longestWhat();
    return hold;
}

} // namespace

std::map<std::string, Hold> measureWindowHolds(ProgramWindow& program, const QString& searched)
{
    std::map<std::string, Hold> holds;
    const engine::Category& films = engine::category(2);
    CategoryGrid* grid = program.grid(2);
    holds["tab change"] = measure(grid, [&] {
        clickTab(program, 4);
        idle(200);
        clickTab(program, 2);
        program.waitUntilComplete();
    });
    setSearch(program, films, QStringLiteral("CIM"), searched, true);
    grid->setFocus();
    holds["wheel, 30 notches"] = measure(grid, [&] { turnWheel(grid, 30); });
    holds["Page Down, 20 times"] = measure(grid, [&] { pageDown(grid, 20); });
    holds["scroll bar dragged to the middle"] = measure(grid, [&] { dragScrollBar(grid, 0.5); });
    holds["scroll bar dragged to the end"] = measure(grid, [&] { dragScrollBar(grid, 1.0); });
    pressKey(grid, Qt::Key_Home, Qt::ControlModifier);
    holds["Ctrl+End"] = measure(grid, [&] { pressKey(grid, Qt::Key_End, Qt::ControlModifier); });
    setSearch(program, films, QStringLiteral("CIM"), QString(), false);
    return holds;
}

} // namespace bench
