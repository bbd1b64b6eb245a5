// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/short_containment.h"

#include "server/server_schema.h"
#include "support/bare_server.h"
#include "support/program_under_test.h"
#include "support/server_figures.h"

namespace bench {

const std::vector<ShortText>& shortTexts()
{
    static const std::vector<ShortText> texts = {
        {"a", QString(), QStringLiteral("a")},
        {"sz", QStringLiteral("s"), QStringLiteral("sz")},
        {"q", QString(), QStringLiteral("q")},
        {"qu", QStringLiteral("q"), QStringLiteral("qu")},
        {"qx", QStringLiteral("q"), QStringLiteral("qx")},
    };
    return texts;
}

void markRareRows(const BareServer& target, const Listed& table)
{
    target.command(QStringLiteral("UPDATE %1 SET %2 = %2 || ' Quartett' WHERE %3 % 3331 = 0")
                       .arg(table.table(), table.column, server::identityColumn(table.table())));
}

namespace {

// The first screen's order column of a bare screen (identity, then the designed columns).
QStringList orderColumnOf(const BareServer::Screen& first)
{
    QStringList picked;
    const int columns = first.rows ? static_cast<int>(first.values.size()) / first.rows : 0;
    for (int i = 1; columns > 0 && i < first.values.size(); i += columns)
        picked << first.values.at(i);
    return picked;
}

struct Timed
{
    double countMs = 0;
    double screenMs = 0;
    qint64 count = -1;
    QStringList orderColumn;
};

// The first screen of a search through the gram index, as the program picks it: the order index walked with the
// text tested row by row when matches are dense, else every match gathered through the gram index and sorted.
// (Left to itself with a rare gram, the planner walks the order index working out every row's grams: seconds.)
QString gramScreenSql(const QString& table, const QString& column, bool dense)
{
    if (dense)
        return firstScreenSql(table, server::gramTest(column), true);
    const QString identity = server::identityColumn(table);
    const QString columns = designedColumns(table).join(QStringLiteral(", "));
    return QStringLiteral(
               "WITH matches AS MATERIALIZED (SELECT %1, %2 FROM %3 WHERE %4) SELECT %1, %5 FROM %3 WHERE %1 = "
               "ANY (ARRAY (SELECT %1 FROM matches ORDER BY %6 LIMIT %7)) ORDER BY %6")
        .arg(identity, column, table, server::gramCondition(column), columns, orderOf(table))
        .arg(serverScreen);
}

Timed bareSearch(const BareServer& bare, const QString& table, const QString& column, bool grams, const QString& value)
{
    const QString condition = grams ? server::gramCondition(column) : server::containsCondition(column);
    Timed timed;
    Clock::time_point start = Clock::now();
    timed.count = bare.number(countSql(table, condition), {value});
    timed.countMs = millisecondsSince(start);
    start = Clock::now();
    const QString screen = grams ? gramScreenSql(table, column, timed.count * 100 >= serverTableRows)
                                 : firstScreenSql(table, condition, true);
    timed.orderColumn = orderColumnOf(bare.screen(screen, {value}));
    timed.screenMs = millisecondsSince(start);
    return timed;
}

} // namespace

void measureShortContainment(benchmark::State& state, const Listed& table, const BareServer& bare,
                             const ProgramKeystroke& program, const QString& programMissing)
{
    const ShortText& text = shortTexts().at(static_cast<std::size_t>(state.range(1)));
    const QString t = table.table();
    const QString escaped = server::likeEscaped(text.typed);
    Timed sums[2]; // old, new
    double programMs = 0, firstMs = 0, heldMax = 0;
    qint64 count = -1;
    // One round unmeasured, so that no side pays alone for reading pages into the server's cache.
    bareSearch(bare, t, table.column, true, text.typed);
    if (program)
        program(text.before, text.typed);
    for (auto _ : state) {
        ProgramKey key;
        if (program) {
            key = program(text.before, text.typed);
            programMs += key.completeMs;
            firstMs += key.firstMs;
            heldMax = std::max(heldMax, key.heldMs);
        }
        const Timed now[2] = {bareSearch(bare, t, table.column, false, escaped),
                              bareSearch(bare, t, table.column, true, text.typed)};
        for (int side = 0; side < 2; ++side) {
            sums[side].countMs += now[side].countMs;
            sums[side].screenMs += now[side].screenMs;
        }
        count = now[1].count;
        state.SetIterationTime((program ? key.completeMs : now[1].countMs + now[1].screenMs) / 1000);
        if (now[0].count != now[1].count || now[0].orderColumn != now[1].orderColumn)
            state.SkipWithError("the gram index finds other rows than the plain LIKE");
        if (program && (key.count != count || key.orderColumn != now[1].orderColumn))
            state.SkipWithError("the program's count or first screen differs from the bare one");
    }
    const double n = static_cast<double>(state.iterations());
    const std::string name = std::string("short containment '") + text.name + "' on " + t.toStdString();
    state.counters["rows"] = static_cast<double>(count);
    state.counters["old_count_ms"] = sums[0].countMs / n;
    state.counters["old_screen_ms"] = sums[0].screenMs / n;
    state.counters["bare_count_ms"] = sums[1].countMs / n;
    state.counters["bare_screen_ms"] = sums[1].screenMs / n;
    serverFigures()[name + " bare"] = (sums[1].countMs + sums[1].screenMs) / n;
    serverFigures()[name + " old"] = (sums[0].countMs + sums[0].screenMs) / n;
    if (program) {
        state.counters["program_ms"] = programMs / n;
        state.counters["program_first_screen_ms"] = firstMs / n;
        state.counters["held_max_ms"] = heldMax;
        serverFigures()[name] = programMs / n;
        serverFigures()[name + " first screen"] = firstMs / n;
    } else {
        state.SetLabel("program not run: " + programMissing.toStdString());
    }
}

} // namespace bench
