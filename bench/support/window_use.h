// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/categories.h"
#include "support/program_under_test.h"

#include <QList>
#include <QMetaObject>
#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <vector>

class CategoryGrid;
class QWidget;

// The program's window used as a user uses it, and the figures kept for the summary against the targets.

namespace bench {

constexpr int million = 1000000;
constexpr int hundredThousand = 100000;
constexpr double heldTarget = 8;   // ms the window may be held by any interaction at 1,000,000 rows
constexpr int typingPauseMs = 120; // a quick typist's next key
constexpr int wheelPauseMs = 16;   // a wheel turned briskly: a notch a frame

// Whether a grid's screen has been painted since its rows last changed.
class ScreenWatch
{
public:
    explicit ScreenWatch(CategoryGrid* grid);
    ~ScreenWatch();
    // Nothing painted before now counts.
    void restart();
    bool shown() const;

private:
    int m_paintsAtChange = 0;
    QList<QMetaObject::Connection> m_connections;
};

// Waits until the list is complete, its screen painted, and the window idle (what its end changed, such as the count,
// painted too): the time from start, or -1 when it never was.
double untilShown(ProgramWindow& program, const ScreenWatch& watch, Clock::time_point start);

// A character typed as the user types it: its key's press and release, through the application.
void typeKey(QWidget* widget, QChar character);
void pressKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Sets up a search without measuring it: the column picked as the user picks it, containment ticked or not, the
// text in the box, the list complete. False when the search list has no item for the column.
bool setSearch(ProgramWindow& program, const engine::Category& category, const QString& column, const QString& text,
               bool containment);
// A click on a tab, as the user clicks it.
void clickTab(ProgramWindow& program, int tab);
// Notches of the wheel over the grid's rows, downwards, at a brisk pace.
void turnWheel(CategoryGrid* grid, int notches);
// The Page Down key pressed again and again, at the same pace.
void pageDown(CategoryGrid* grid, int pages);
// The count shown beside the list.
QString countShown(ProgramWindow& program);

// Figures for the summary: name -> rows per table -> milliseconds (or MiB).
std::map<std::string, std::map<int, double>>& figures();
void keep(benchmark::State& state, const std::string& name, double value);
// What held the window longest in a measurement at rows, for the summary.
void keepWhat(const std::string& name, int rows, const QString& what);
double figure(const std::string& name, int rows);
// One line of the summary: the value against its target.
void line(const std::string& what, double value, const char* target, bool met);
// The system's load average (/proc/loadavg), printed with when.
void loadAverage(const char* when);
// Everything measured against the targets; containments names the containment searches measured.
void printSummary(const std::vector<std::string>& containments);

} // namespace bench
