// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "main_window/main_window.h"
#include "platform/scripted_platform.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>

class CategoryGrid;
class QLineEdit;
struct sqlite3;

namespace bench {

// Runs the event loop for ms milliseconds as an idle program does: asleep between events, so that the time goes
// to the program's other threads and to the server, not to polling.
void idle(int ms);
// Runs the event loop until done holds, asleep between events; false when limitMs passed first.
bool runUntil(const std::function<bool()>& done, int limitMs);

// A generated catalogue of rows rows per table in the system's temporary folder, made on first use and kept
// for later runs.
QString catalogueWithRows(int rows);

// The real main window on a catalogue, started as the user starts it (shipped language, list.ini).
class ProgramWindow
{
public:
    explicit ProgramWindow(const QString& catalogue);
    ~ProgramWindow();

    TFoablak& window() { return *m_window; }
    CategoryGrid* grid(int tab) const;
    QLineEdit* searchBox() const;
    // Switches tabs as the user does; the browse operation runs.
    void switchToTab(int tab);
    // Paints the grid now, as the next frame would: the rows on the screen are read.
    void paint(CategoryGrid* grid);
    // Waits until a search counted in the background is complete.
    void waitUntilComplete();
    // Error reports shown so far (a benchmark of a failing program is no benchmark).
    QStringList errors() const;

private:
    QTemporaryDir m_folder;
    platform::ScriptedPlatform m_desktop;
    std::unique_ptr<TFoablak> m_window;
};

// The same statements through the bare sqlite3 C API: no model, no widget, no index of ours in use.
class PlainConnection
{
public:
    explicit PlainConnection(const QString& catalogue);
    ~PlainConnection();

    // Runs a row-returning statement to its end, as a complete row set would hold it: the row count, and the
    // text of every column of the first screen (or of the last one).
    struct Result
    {
        int count = 0;
        QStringList screen;
    };
    Result list(const QString& sql, bool lastScreen = false) const;
    // The same with the statement's values bound in order.
    Result list(const QString& sql, const QStringList& values) const;
    qint64 number(const QString& sql) const;

private:
    Result run(const QString& sql, const QStringList& values, bool lastScreen) const;

    sqlite3* m_db = nullptr;
};

constexpr int screenRows = 20;

// Peak and current resident memory of this process, in bytes.
qint64 peakResidentBytes();

using Clock = std::chrono::steady_clock;
inline double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace bench
