// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/replaced_search.h"

#include "engine/categories.h"
#include "support/held_window.h"
#include "support/server_figures.h"

#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace bench {

namespace {

// The slow search's statements at work: those of a pattern that only a pass over the table answers.
qint64 atWork(const BareServer& watcher, bool countOnly)
{
    return watcher.number(
        QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND pid <> "
                       "pg_backend_pid() AND query LIKE $1"),
        {countOnly ? QStringLiteral("SELECT count(*)%LIKE lower($1::text%") : QStringLiteral("%LIKE lower($1::text%")});
}

// Runs the event loop, asleep between events, until done or limitMs.
bool waitFor(const std::function<bool()>& done, int limitMs)
{
    return TimingApplication::instance().waitFor(done, limitMs, nullptr);
}

} // namespace

double replacedSearchGoesOn(catalogue::QueryChannel& channel, const catalogue::Statement& slow,
                            const catalogue::Statement& next, const BareServer& watcher, int limitMs)
{
    channel.setStatement(slow);
    channel.openThen([] {}, [](const QString&) {});
    if (!channel.isPending())
        throw std::runtime_error("the slow search ended within a frame");
    // Its count at work before the next keystroke, as when a user types on while it is counted.
    QElapsedTimer waited;
    waited.start();
    while (atWork(watcher, true) == 0) {
        if (waited.elapsed() > 5000)
            throw std::runtime_error("the slow search's count never came to the server");
    }
    const auto keystroke = std::chrono::steady_clock::now();
    channel.setStatement(next);
    channel.openThen([] {}, [](const QString&) {});
    double goneAfter = -1;
    while (std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - keystroke).count() < limitMs) {
        if (atWork(watcher, false) == 0) {
            goneAfter = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - keystroke).count();
            break;
        }
    }
    if (!waitFor([&] { return !channel.isPending(); }, 60000))
        throw std::runtime_error("the next search never completed");
    return goneAfter;
}

void measureReplacedSearch(benchmark::State& state, catalogue::QueryChannel* channel, const Listed& table,
                           const QString& uri)
{
    if (!channel) {
        state.SkipWithError("the program cannot open the catalogue");
        return;
    }
    const engine::Category& category = engine::category(table.tab);
    const BareServer watcher(uri);
    double longest = 0;
    for (auto _ : state) {
        const double ms =
            replacedSearchGoesOn(*channel, category.searchStatement(table.column, QStringLiteral("%_"), true),
                                 category.searchStatement(table.column, QStringLiteral("Sze"), false), watcher);
        if (ms < 0)
            state.SkipWithError("the replaced search went on at the server");
        state.SetIterationTime(std::max(ms, 0.0) / 1000);
        longest = std::max(longest, ms);
    }
    state.counters["longest_ms"] = longest;
    serverFigures()["replaced search on " + table.table().toStdString()] = longest;
}

} // namespace bench
