// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/window_use.h"

#include "main_window/category_grid.h"
#include "support/held_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <cstdio>

namespace bench {

namespace {

TimingApplication& app()
{
    return TimingApplication::instance();
}

} // namespace

// Figures kept for the summary against the targets: name -> rows -> milliseconds (or MiB).
std::map<std::string, std::map<int, double>>& figures()
{
    static std::map<std::string, std::map<int, double>> all;
    return all;
}

void keep(benchmark::State& state, const std::string& name, double value)
{
    figures()[name][static_cast<int>(state.range(0))] = value;
}

namespace {

std::map<std::string, std::map<int, QString>>& heldBy()
{
    static std::map<std::string, std::map<int, QString>> all;
    return all;
}

void heldLine(const std::string& name)
{
    const double held = figure(name, million);
    line(name, held, "<= 8", held <= heldTarget);
    if (held >= 0)
        std::printf("  %4s by %s\n", "", qPrintable(heldBy()[name][million]));
}

} // namespace

void keepWhat(const std::string& name, int rows, const QString& what)
{
    heldBy()[name][rows] = what;
}

QString countShown(ProgramWindow& program)
{
    return program.window().findChild<QLabel*>(QStringLiteral("Label2"))->text();
}

ScreenWatch::ScreenWatch(CategoryGrid* grid)
{
    app().watchPaints(grid->viewport());
    const auto changed = [this] { m_paintsAtChange = app().paints(); };
    // Rows added below the screen leave the screen as it was painted.
    const auto inserted = [this, grid](const QModelIndex&, int first, int) {
        if (first <= grid->rowAt(grid->viewport()->height() - 1) || grid->rowAt(grid->viewport()->height() - 1) < 0)
            m_paintsAtChange = app().paints();
    };
    m_connections << QObject::connect(grid->model(), &QAbstractItemModel::modelReset, changed)
                  << QObject::connect(grid->model(), &QAbstractItemModel::rowsInserted, inserted);
    changed();
}

ScreenWatch::~ScreenWatch()
{
    for (const QMetaObject::Connection& connection : m_connections)
        QObject::disconnect(connection);
}

void ScreenWatch::restart()
{
    m_paintsAtChange = app().paints();
}

bool ScreenWatch::shown() const
{
    return app().paints() > m_paintsAtChange;
}

// Waits until the list is complete and its screen painted: the time from start, or -1 when it never was.
double untilShown(ProgramWindow& program, const ScreenWatch& watch, Clock::time_point start)
{
    Clock::time_point when;
    // Shown once the list is complete, its screen painted, and all that its end asked for (the count) painted too.
    const bool shown = app().waitFor(
        [&] { return app().idle() && !program.window().browseQuery().isPending() && watch.shown(); }, 600000, &when);
    return shown ? std::chrono::duration<double, std::milli>(when - start).count() : -1;
}

// A character typed as the user types it: its key's press and release, through the application.
void typeKey(QWidget* widget, QChar character)
{
    const auto key = static_cast<Qt::Key>(character.toUpper().unicode());
    QTest::sendKeyEvent(QTest::Click, widget, key, QString(character), Qt::NoModifier);
}

void pressKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::sendKeyEvent(QTest::Click, widget, key, QString(), modifiers);
}

// Sets up a search without measuring it: the column picked, containment ticked or not, the text in the box.
bool setSearch(ProgramWindow& program, const engine::Category& category, const QString& column, const QString& text,
               bool containment)
{
    QCheckBox* box = program.window().findChild<QCheckBox*>(QStringLiteral("tartalmazza"));
    if (box->isChecked() != containment)
        box->click();
    QComboBox* columns = program.window().findChild<QComboBox*>(QStringLiteral("Keresesoszlop"));
    int item = -1;
    for (const engine::SearchCaption& caption : category.searchCaptions) {
        if (caption.column == column)
            item = columns->findText(caption.caption);
    }
    if (item < 0)
        return false;
    if (columns->currentIndex() != item) {
        columns->setCurrentIndex(item);
        emit columns->activated(item); // as the user's pick: the box is emptied
    }
    program.searchBox()->setText(text);
    program.waitUntilComplete();
    idle(50);
    return true;
}

void clickTab(ProgramWindow& program, int tab)
{
    auto* tabs = program.window().findChild<QTabWidget*>(QStringLiteral("Olvasas"));
    QTabBar* bar = tabs->findChild<QTabBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(tab).center());
}

void turnWheel(CategoryGrid* grid, int notches)
{
    const QPoint at = grid->viewport()->rect().center();
    for (int notch = 0; notch < notches; ++notch) {
        QWheelEvent wheel(at, grid->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &wheel);
        idle(wheelPauseMs);
    }
}

void pageDown(CategoryGrid* grid, int pages)
{
    for (int page = 0; page < pages; ++page) {
        pressKey(grid, Qt::Key_PageDown);
        idle(wheelPauseMs);
    }
}

double figure(const std::string& name, int rows)
{
    const auto found = figures().find(name);
    if (found == figures().end() || !found->second.count(rows))
        return -1;
    return found->second.at(rows);
}

void line(const std::string& what, double value, const char* target, bool met)
{
    if (value < 0)
        std::printf("  %-62s %9s   %s\n", what.c_str(), "not run", target);
    else
        std::printf("  %-62s %9.2f   %-8s %s\n", what.c_str(), value, target, met ? "met" : "MISSED");
}

void loadAverage(const char* when)
{
    QFile load(QStringLiteral("/proc/loadavg"));
    const QByteArray text = load.open(QIODevice::ReadOnly) ? load.readAll().trimmed() : QByteArray("unknown");
    std::printf("Load average at the %s of the run: %s\n", when, text.constData());
}

void printSummary(const std::vector<std::string>& containments)
{
    std::printf("\nThe window held (longest single event), ms, at 1,000,000 rows per table:\n");
    for (const char* name : {"tab change held", "scrolling held", "prefix keystroke held", "typing held"})
        heldLine(name);
    for (const std::string& search : containments)
        heldLine("containment, " + search + " held");
    std::printf("\nContainment keystroke to the exact count and first screen, ms (beside: the bare SQLite "
                "statement, one in-memory pass):\n");
    for (const auto& [rows, target] : {std::pair{million, 16.0}, std::pair{hundredThousand, 5.0}}) {
        for (const std::string& search : containments) {
            const std::string name = "containment, " + search;
            const double took = figure(name, rows);
            line(QStringLiteral("%1 rows, %2").arg(rows).arg(QString::fromStdString(search)).toStdString(), took,
                 rows == million ? "<= 16" : "<= 5", took <= target);
            if (took >= 0)
                std::printf("  %64s SQLite %.2f, in-memory pass %.2f\n", "", figure(name + " sqlite", rows),
                            figure(name + " pass", rows));
        }
    }
    std::printf("\nOther answers, ms (beside: the bare SQLite statement run to its end):\n");
    for (const char* name : {"tab change", "prefix keystroke", "jump to last row", "album tracks"}) {
        for (int rows : {hundredThousand, million}) {
            const double took = figure(name, rows);
            if (took >= 0)
                std::printf("  %-40s %8d rows %9.2f   (SQLite %.2f)\n", name, rows, took,
                            figure(std::string(name) + " baseline", rows));
        }
    }
    std::printf("\nPeak memory of the program's workload (VmHWM), MiB:\n");
    double peak = figure("peak memory empty", hundredThousand);
    line("an empty catalogue", peak, "", true);
    peak = figure("peak memory", hundredThousand);
    line("100,000 rows per table", peak, "<= 40", peak <= 40);
    peak = figure("peak memory", million);
    line("1,000,000 rows per table", peak, "<= 48", peak <= 48);
    std::printf("\nAnother program's 10,000 rows brought into the lists at open, ms (no target):\n");
    for (int rows : {hundredThousand, million}) {
        const double took = figure("another program's 10,000 rows at open", rows);
        if (took >= 0)
            std::printf("  %9d rows per table: %8.1f   (the other program's insert: %.1f)\n", rows, took,
                        figure("another program's 10,000 rows at open baseline", rows));
    }
}

} // namespace bench
