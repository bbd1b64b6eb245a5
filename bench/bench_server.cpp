// SPDX-License-Identifier: GPL-3.0-or-later

// The program's engine on a catalogue on a PostgreSQL server, each measurement beside the same statements run
// through the bare libpq C API (no channel, no row set) in the same run.
//
//   bench_server                                     every measurement
//   bench_server --benchmark_filter=Containment      one kind
//
// The server is a throwaway one, started in a private folder and ended with this process. Its catalogue has the
// 1,000,000 rows per table of the generated catalogue that the file engine is measured on (made on first use and
// kept in the system's temporary folder), copied in for the games and the films tabs before anything is
// measured.

#include "server/connection.h"
#include "server/server_schema.h"
#include "engine/categories.h"
#include "store/kept_order.h"
#include "catalogue/query_channel.h"
#include "store/schema.h"
#include "support/bare_server.h"
#include "support/postgres_server.h"
#include "support/program_under_test.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <sqlite3.h>
#include <stdexcept>

namespace {

using bench::BareServer;
using bench::Clock;
using bench::millisecondsSince;

constexpr int tableRows = 1000000;
constexpr int screen = 64;                           // the rows of a first screen, as the program reads them at a time
const QString prefixTyped = QStringLiteral("Sz");    // then "e" is the measured keystroke
const QString containedTyped = QStringLiteral("ős"); // then "z"

// A listed table the catalogue fills, with the tab that lists it and the column searched.
struct Listed
{
    int tab;
    QString column;
    QString table() const { return engine::category(tab).table.toLower(); }
};
const std::map<int, Listed> listed = {{2, {2, QStringLiteral("CIM")}}, {4, {4, QStringLiteral("NEV")}}};

QString catalogueUri;

// Figures kept for the summary against the targets.
std::map<std::string, double>& figures()
{
    static std::map<std::string, double> all;
    return all;
}

void check(benchmark::State& state, bool condition, const char* what)
{
    if (!condition)
        state.SkipWithError(what);
}

// --- the bare statements: what the program's server engine runs for each action

QStringList designedColumns(const QString& table)
{
    for (const engine::TableDefinition& definition : engine::catalogueTables())
        if (definition.name.compare(table, Qt::CaseInsensitive) == 0)
            return definition.columns;
    throw std::runtime_error("no such table");
}

// The list's order as the schema's order index holds it: the order columns (rows without a value first, as on
// a file), then the row's identity.
QString orderOf(const QString& table)
{
    QStringList order;
    for (const QString& column : engine::listedTable(table)->columns)
        order << column + QStringLiteral(" NULLS FIRST");
    order << server::identityColumn(table);
    return order.join(QStringLiteral(", "));
}

QString keptCountSql()
{
    return QStringLiteral("SELECT row_count FROM %1 WHERE table_name = $1").arg(QLatin1String(server::rowCountsTable));
}

// The first screen of a list: the row's identity, the designed columns, in Hungarian order. The program reads
// it in a snapshot; the bare side asks for the screen alone. A containment search picks the screen's rows by
// their identity and order alone, then reads them, as the program does.
QString firstScreenSql(const QString& table, const QString& condition = QString(), bool picked = false)
{
    const QString identity = server::identityColumn(table);
    const QString columns = designedColumns(table).join(QStringLiteral(", "));
    const QString where = condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition;
    if (picked)
        return QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 = ANY (ARRAY (SELECT %1 FROM %3%4 ORDER BY %5 LIMIT %6)) "
                              "ORDER BY %5")
            .arg(identity, columns, table, where, orderOf(table))
            .arg(screen);
    return QStringLiteral("SELECT %1, %2 FROM %3%4 ORDER BY %5 LIMIT %6")
        .arg(identity, columns, table, where, orderOf(table))
        .arg(screen);
}

QString countSql(const QString& table, const QString& condition)
{
    return QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table, condition);
}

// The same count with every index path closed: the server reads the whole table.
qint64 scannedCount(const BareServer& bare, const QString& table, const QString& condition, const QString& value)
{
    bare.command(QStringLiteral("BEGIN; SET LOCAL enable_indexscan = off; SET LOCAL enable_bitmapscan = off; "
                                "SET LOCAL enable_indexonlyscan = off"));
    const qint64 count = bare.number(countSql(table, condition), {value});
    bare.command(QStringLiteral("COMMIT"));
    return count;
}

BareServer& bare()
{
    static BareServer connection(catalogueUri);
    return connection;
}

// --- the program's side: its query channel pointed at the server catalogue, as the window points it

std::unique_ptr<catalogue::QueryChannel> programChannel;
QString programMissing; // why the program cannot open the catalogue

catalogue::QueryChannel* program()
{
    static bool tried = false;
    if (!tried) {
        tried = true;
        auto channel = std::make_unique<catalogue::QueryChannel>(QStringLiteral("bench-server"));
        try {
            channel->pointAt(catalogueUri);
            channel->connect();
            programChannel = std::move(channel);
        } catch (const std::exception& error) {
            programMissing = QString::fromUtf8(error.what());
        }
    }
    return programChannel.get();
}

// The text of the first rows of a row set, as a grid's first screen reads them.
QStringList readScreen(const engine::RowSet& rows, int limit = screen)
{
    QStringList values;
    const int count = std::min(rows.count(), limit);
    const int columns = static_cast<int>(rows.columnNames().size());
    for (int row = 0; row < count; ++row)
        for (int column = 0; column < columns; ++column)
            values << rows.value(row, column).toString();
    return values;
}

// One column of a screen's values: the order column, which both sides must show alike whatever else they carry.
QStringList columnOf(const QStringList& values, int columns, int column)
{
    QStringList picked;
    for (int i = column; columns > 0 && i < values.size(); i += columns)
        picked << values.at(i);
    return picked;
}

QStringList orderColumnOf(const engine::RowSet& rows, const QStringList& values, const QString& column)
{
    return columnOf(values, static_cast<int>(rows.columnNames().size()), rows.columnIndex(column));
}

// The bare screens carry the identity, then the designed columns: the order column comes second.
QStringList orderColumnOf(const BareServer::Screen& first)
{
    return columnOf(first.values, first.rows ? static_cast<int>(first.values.size()) / first.rows : 0, 1);
}

struct Keystroke
{
    double heldMs = 0;     // until openThen returned and the rows shown then were read
    double completeMs = 0; // until the exact count and the first screen were there
    int count = -1;
    QStringList screen;
};

// One keystroke as the search box's handler makes it: the new statement, opened without holding up the window;
// then the time until the list is complete.
Keystroke keystroke(catalogue::QueryChannel& channel, const engine::Statement& statement)
{
    Keystroke result;
    bool done = false;
    QString failed;
    const Clock::time_point start = Clock::now();
    channel.setStatement(statement);
    channel.openThen([&] { done = true; },
                     [&](const QString& text) {
                         failed = text;
                         done = true;
                     });
    if (channel.rows())
        readScreen(*channel.rows());
    result.heldMs = millisecondsSince(start);
    if (!bench::runUntil([&] { return done; }, 600000))
        throw std::runtime_error("a search never completed");
    if (!failed.isEmpty())
        throw std::runtime_error(failed.toStdString());
    result.count = channel.recordCount();
    result.screen = readScreen(*channel.rows());
    result.completeMs = millisecondsSince(start);
    return result;
}

double& longestHeld()
{
    return figures()["keystroke held"];
}

void noteHeld(double ms)
{
    longestHeld() = std::max(longestHeld(), ms);
}

// Counters of a measurement with its baseline: the program's mean, the bare statements' mean and their ratio.
void report(benchmark::State& state, const std::string& name, double program, double baseline, int iterations)
{
    state.counters["bare_ms"] = baseline / iterations;
    figures()[name + " bare"] = baseline / iterations;
    if (program > 0) {
        state.counters["program_ms"] = program / iterations;
        state.counters["ratio"] = program / baseline;
        figures()[name] = program / iterations;
    } else {
        state.SetLabel("program not run: " + programMissing.toStdString());
    }
}

std::string named(const char* action, const Listed& table)
{
    return std::string(action) + " " + table.table().toStdString();
}

// Opening a tab: its count and its first screen.
void BM_OpenTab(benchmark::State& state)
{
    const Listed& table = listed.at(static_cast<int>(state.range(0)));
    const QString t = table.table();
    catalogue::QueryChannel* channel = program();
    double programMs = 0, bareMs = 0;
    int iterations = 0;
    // One round unmeasured, for both sides alike: the program's first list also opens its list connection.
    if (channel) {
        channel->setStatement(engine::category(table.tab).browseStatement());
        channel->open();
        readScreen(*channel->rows());
    }
    bare().number(keptCountSql(), {t});
    bare().screen(firstScreenSql(t));
    for (auto _ : state) {
        double took = 0;
        QStringList programScreen;
        int programCount = -1;
        if (channel) {
            const Clock::time_point start = Clock::now();
            channel->setStatement(engine::category(table.tab).browseStatement());
            channel->open();
            programCount = channel->recordCount();
            programScreen = readScreen(*channel->rows());
            took = millisecondsSince(start);
            programMs += took;
        }
        const Clock::time_point start = Clock::now();
        const qint64 count = bare().number(keptCountSql(), {t});
        const BareServer::Screen first = bare().screen(firstScreenSql(t));
        const double bareTook = millisecondsSince(start);
        bareMs += bareTook;
        state.SetIterationTime((channel ? took : bareTook) / 1000);
        check(state, count == tableRows && first.rows == screen, "the bare statements found too few rows");
        if (channel) {
            check(state, programCount == count, "the program's count differs from the kept count");
            check(state, orderColumnOf(*channel->rows(), programScreen, table.column) == orderColumnOf(first),
                  "the program's first screen differs from the bare one");
        }
        ++iterations;
    }
    report(state, named("open tab", table), programMs, bareMs, iterations);
}

// A keystroke that makes the search text "Sze" (prefix) or "ősz" (containment), measured to its exact count and
// first screen; the containment search also against a scan of the whole table.
void searchKeystroke(benchmark::State& state, bool containment)
{
    const Listed& table = listed.at(static_cast<int>(state.range(0)));
    const QString t = table.table();
    const engine::Category& category = engine::category(table.tab);
    const QString typed = containment ? containedTyped : prefixTyped;
    const QString full = typed + (containment ? QLatin1Char('z') : QLatin1Char('e'));
    const QString condition =
        containment ? server::containsCondition(table.column) : server::orderedPrefixCondition(table.column);
    const QString value = containment ? server::likeEscaped(full) : full;
    catalogue::QueryChannel* channel = program();
    double programMs = 0, heldMs = 0, longest = 0, bareMs = 0, bareScreenMs = 0, scanMs = 0;
    int iterations = 0;
    // One round unmeasured: whichever side ran first would otherwise pay alone for reading the search's pages
    // into the server's cache.
    if (channel) {
        channel->setStatement(category.searchStatement(table.column, typed, containment));
        channel->open();
        keystroke(*channel, category.searchStatement(table.column, full, containment));
    }
    bare().number(countSql(t, condition), {value});
    bare().screen(firstScreenSql(t, condition, containment), {value});
    for (auto _ : state) {
        Keystroke typedKey;
        if (channel) {
            // The text before the key, listed to its end: not measured.
            channel->setStatement(category.searchStatement(table.column, typed, containment));
            channel->open();
            typedKey = keystroke(*channel, category.searchStatement(table.column, full, containment));
            programMs += typedKey.completeMs;
            heldMs += typedKey.heldMs;
            longest = std::max(longest, typedKey.heldMs);
        }
        // The bare side: the exact count, then the first screen. A prefix keystroke's baseline is both; a
        // containment keystroke's is its indexed count, its first screen shown beside it.
        Clock::time_point start = Clock::now();
        const qint64 count = bare().number(countSql(t, condition), {value});
        const double countTook = millisecondsSince(start);
        start = Clock::now();
        const BareServer::Screen first = bare().screen(firstScreenSql(t, condition, containment), {value});
        const double screenTook = millisecondsSince(start);
        bareMs += containment ? countTook : countTook + screenTook;
        bareScreenMs += screenTook;
        if (containment) {
            start = Clock::now();
            const qint64 scanned = scannedCount(bare(), t, condition, value);
            scanMs += millisecondsSince(start);
            check(state, scanned == count, "the scan counts differently from the index");
        }
        state.SetIterationTime((channel ? typedKey.completeMs : countTook + screenTook) / 1000);
        check(state, count > screen && first.rows == screen, "the bare statements found too few rows");
        if (channel) {
            check(state, typedKey.count == count, "the program's count differs from the bare count");
            check(state, orderColumnOf(*channel->rows(), typedKey.screen, table.column) == orderColumnOf(first),
                  "the program's first screen differs from the bare one");
        }
        ++iterations;
    }
    const std::string name = named(containment ? "containment keystroke" : "prefix keystroke", table);
    report(state, name, programMs, bareMs, iterations);
    state.counters["bare_screen_ms"] = bareScreenMs / iterations;
    figures()[name + " bare screen"] = bareScreenMs / iterations;
    if (channel) {
        state.counters["held_ms"] = heldMs / iterations;
        state.counters["held_max_ms"] = longest;
        noteHeld(longest);
    }
    if (containment) {
        state.counters["scan_ms"] = scanMs / iterations;
        state.counters["scan_per_bare"] = scanMs / bareMs;
        figures()[name + " scan"] = scanMs / iterations;
        if (channel)
            state.counters["scan_per_program"] = scanMs / programMs;
    }
}

void BM_PrefixKeystroke(benchmark::State& state)
{
    searchKeystroke(state, false);
}

void BM_ContainmentKeystroke(benchmark::State& state)
{
    searchKeystroke(state, true);
}

// Typing a whole word at a quick typist's pace, the next key 120 ms after the last whether its list is complete
// or not: the longest time any keystroke held up the caller.
void BM_TypingWords(benchmark::State& state)
{
    catalogue::QueryChannel* channel = program();
    if (!channel) {
        state.SkipWithError(("program not run: " + programMissing).toStdString().c_str());
        return;
    }
    const Listed& table = listed.at(static_cast<int>(state.range(0)));
    const engine::Category& category = engine::category(table.tab);
    // Where a keystroke's time goes: replacing the statement (the list shown, or the search under way, let go),
    // opening the new one, and the rows shown at its return.
    double longest = 0, replacing = 0, opening = 0, reading = 0;
    for (auto _ : state) {
        for (bool containment : {false, true}) {
            QString text;
            for (const QChar letter : QStringLiteral("szerelem")) {
                text += letter;
                const Clock::time_point start = Clock::now();
                channel->setStatement(category.searchStatement(table.column, text, containment));
                const double replaced = millisecondsSince(start);
                channel->openThen([] {}, [](const QString&) {});
                const double opened = millisecondsSince(start);
                if (channel->rows())
                    readScreen(*channel->rows());
                const double held = millisecondsSince(start);
                longest = std::max(longest, held);
                replacing = std::max(replacing, replaced);
                opening = std::max(opening, opened - replaced);
                reading = std::max(reading, held - opened);
                bench::idle(120);
            }
            channel->open(); // waits for the last list
        }
        state.SetIterationTime(longest / 1000);
    }
    state.counters["held_max_ms"] = longest;
    state.counters["replace_max_ms"] = replacing;
    state.counters["openThen_max_ms"] = opening;
    state.counters["screen_max_ms"] = reading;
    noteHeld(longest);
}

// --- memory, measured in fresh processes so that nothing else of the run counts

qint64 statusBytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// Sets the peak resident size back to the current one, so that the peak read later is the workload's own.
bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// The program's work in a probe: both tabs opened, the last screen of the films, both searches on both tabs, a
// word typed.
void programWorkload()
{
    catalogue::QueryChannel channel(QStringLiteral("bench-server-probe"));
    channel.pointAt(catalogueUri);
    channel.connect();
    for (const auto& [tab, table] : listed) {
        const engine::Category& category = engine::category(tab);
        channel.setStatement(category.browseStatement());
        channel.open();
        readScreen(*channel.rows());
        if (tab == 2) {
            // The end of the list: its last screen.
            const int count = channel.recordCount();
            for (int row = count - screen; row < count; ++row)
                for (int column = 0; column < static_cast<int>(channel.rows()->columnNames().size()); ++column)
                    channel.rows()->value(row, column);
        }
        for (bool containment : {false, true}) {
            const QString typed = containment ? containedTyped + QLatin1Char('z') : prefixTyped + QLatin1Char('e');
            keystroke(channel, category.searchStatement(table.column, typed, containment));
            // A word typed on one tab only: each short prefix can take seconds, and adds no memory of its own.
            QString text;
            for (const QChar letter : tab == 2 ? QStringLiteral("szerelem") : QString()) {
                text += letter;
                keystroke(channel, category.searchStatement(table.column, text, containment));
            }
        }
    }
}

// The same statements through the bare client library.
void bareWorkload()
{
    BareServer bare(catalogueUri);
    for (const auto& [tab, table] : listed) {
        const QString t = table.table();
        bare.number(keptCountSql(), {t});
        bare.screen(firstScreenSql(t));
        if (tab == 2)
            bare.screen(firstScreenSql(t).replace(QStringLiteral(" ORDER BY CIM NULLS FIRST, mediatar_id"),
                                                  QStringLiteral(" ORDER BY CIM DESC NULLS LAST, mediatar_id DESC")));
        for (bool containment : {false, true}) {
            const QString condition =
                containment ? server::containsCondition(table.column) : server::orderedPrefixCondition(table.column);
            const QString typed = containment ? containedTyped + QLatin1Char('z') : prefixTyped + QLatin1Char('e');
            QStringList searches = {typed};
            if (tab == 2)
                searches << QStringLiteral("s") << QStringLiteral("sz") << QStringLiteral("sze")
                         << QStringLiteral("szer") << QStringLiteral("szere") << QStringLiteral("szerel")
                         << QStringLiteral("szerele") << QStringLiteral("szerelem");
            for (const QString& searched : searches) {
                const QString value = containment ? server::likeEscaped(searched) : searched;
                bare.number(countSql(t, condition), {value});
                bare.screen(firstScreenSql(t, condition, containment), {value});
            }
        }
    }
}

int probe(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString mode = QString::fromLatin1(argv[1]);
    catalogueUri = QString::fromUtf8(argv[2]);
    const bool reset = resetPeak();
    const qint64 before = reset ? statusBytes("VmRSS:") : statusBytes("VmHWM:");
    try {
        if (mode == QLatin1String("--probe-program"))
            programWorkload();
        else
            bareWorkload();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(statusBytes("VmHWM:") - before));
    return 0;
}

double probeGrowthMegabytes(const char* mode, QString& failure)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode), catalogueUri});
    if (!child.waitForFinished(-1) || child.exitCode() != 0) {
        failure = QString::fromUtf8(child.readAllStandardError()).trimmed();
        return -1;
    }
    return child.readAllStandardOutput().trimmed().toDouble() / (1024.0 * 1024.0);
}

void BM_MemoryGrowth(benchmark::State& state)
{
    double programMb = -1, bareMb = -1;
    QString failure;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        programMb = probeGrowthMegabytes("--probe-program", failure);
        bareMb = probeGrowthMegabytes("--probe-bare", failure);
        state.SetIterationTime(millisecondsSince(start) / 1000);
    }
    state.counters["bare_growth_MB"] = bareMb;
    figures()["memory growth bare"] = bareMb;
    if (programMb >= 0) {
        state.counters["program_growth_MB"] = programMb;
        figures()["memory growth"] = programMb;
    } else {
        state.SetLabel("program not run: " + failure.toStdString());
    }
}

BENCHMARK(BM_OpenTab)->Arg(2)->Arg(4)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrefixKeystroke)->Arg(2)->Arg(4)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContainmentKeystroke)->Arg(2)->Arg(4)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypingWords)->Arg(2)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryGrowth)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// --- the catalogue on the server, made before anything is measured

// A value as COPY's text format reads it.
void appendCopyField(QByteArray& line, const unsigned char* text, int bytes)
{
    if (!text) {
        line += "\\N";
        return;
    }
    for (int i = 0; i < bytes; ++i) {
        const char c = static_cast<char>(text[i]);
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

// Copies a table's rows from the generated catalogue file with COPY. The table's list indexes are dropped
// first and made again afterwards, exactly as the schema makes them: one build is far quicker than keeping
// them up row by row.
void copyTable(const BareServer& target, sqlite3* file, const QString& table)
{
    const QString t = table.toLower();
    QStringList indexes;
    for (const QString& statement : server::serverSchemaStatements())
        if (statement.startsWith(QStringLiteral("CREATE INDEX %1_").arg(t)))
            indexes << statement;
    for (const QString& statement : indexes)
        target.command(QStringLiteral("DROP INDEX ") + statement.section(QLatin1Char(' '), 2, 2));
    const QString columns = designedColumns(table).join(QStringLiteral(", "));
    sqlite3_stmt* rows = nullptr;
    if (sqlite3_prepare_v2(file, QStringLiteral("SELECT %1 FROM %2").arg(columns, table).toUtf8().constData(), -1,
                           &rows, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(file));
    const int width = sqlite3_column_count(rows);
    int rc = SQLITE_ROW;
    target.copyIn(QStringLiteral("COPY %1 (%2) FROM STDIN").arg(t, columns), [&] {
        QByteArray chunk;
        // Never a step after the last row: the engine would start the statement over.
        while (rc == SQLITE_ROW && chunk.size() < (1 << 20) && (rc = sqlite3_step(rows)) == SQLITE_ROW) {
            for (int column = 0; column < width; ++column) {
                if (column > 0)
                    chunk += '\t';
                appendCopyField(chunk, sqlite3_column_text(rows, column), sqlite3_column_bytes(rows, column));
            }
            chunk += '\n';
        }
        return chunk;
    });
    sqlite3_finalize(rows);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(file));
    for (const QString& statement : indexes)
        target.command(statement);
}

// Statistics and the visibility map, so that autovacuum has no reason to start in the middle of a measurement,
// and index-only reads find every page visible, as on a catalogue the server has kept for a while. A vacuum marks
// no page while a snapshot older than the copied rows is open (the server's own analyze of the table copied just
// before): it is repeated until every page is marked.
void settle(const BareServer& target, const QString& table)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        target.command(QStringLiteral("VACUUM ANALYZE ") + table);
        if (target.number(QStringLiteral("SELECT relpages - relallvisible FROM pg_class WHERE relname = $1"),
                          {table}) == 0)
            return;
        QThread::msleep(250);
    }
    throw std::runtime_error("the copied table's pages never became all visible");
}

// The plan of a statement, for the run's record: which index, if any, serves it.
QString plan(const QString& sql, const QString& value)
{
    return bare().lines(QStringLiteral("EXPLAIN ") + sql, {value}).join(QStringLiteral("\n    "));
}

void makeCatalogue(test_server::PostgresServer& server)
{
    const Clock::time_point start = Clock::now();
    const QString file = bench::catalogueWithRows(tableRows);
    catalogueUri = server.newDatabase(QStringLiteral("bench"));
    {
        server::Connection connection(catalogueUri);
        server::createServerCatalogue(connection);
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    try {
        const BareServer target(catalogueUri);
        target.command(QStringLiteral("SET maintenance_work_mem = '512MB'"));
        // The throwaway server commits without waiting for its log; the copied rows' commits must be on disk for
        // the vacuum to mark their pages all visible, as on a server that keeps its defaults.
        target.command(QStringLiteral("SET synchronous_commit = on"));
        for (const auto& [tab, table] : listed) {
            copyTable(target, db, engine::category(tab).table);
            if (target.number(keptCountSql(), {table.table()}) != tableRows)
                throw std::runtime_error("the kept count is not the rows copied");
        }
        for (const auto& entry : listed)
            settle(target, entry.second.table());
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    std::fprintf(stderr, "bench_server: %d rows in each of the games and the films tables on the server, %.0f s\n",
                 tableRows, millisecondsSince(start) / 1000);
    const QString t = listed.at(2).table();
    const QString contains = server::containsCondition(listed.at(2).column);
    const QString value = server::likeEscaped(containedTyped + QLatin1Char('z'));
    std::fprintf(stderr, "  containment count, indexed:\n    %s\n", qPrintable(plan(countSql(t, contains), value)));
    std::fprintf(stderr, "  containment first screen, as the planner would read it:\n    %s\n",
                 qPrintable(plan(firstScreenSql(t, contains, true), value)));
    for (const auto& [tab, table] : listed) {
        // The planner's estimate of a prefix decides between the order index and the prefix index: the run's
        // record shows which plan the bare side got.
        const QString prefix = server::prefixCondition(table.column);
        std::fprintf(stderr, "  prefix count and first screen on %s:\n    %s\n    %s\n", qPrintable(table.table()),
                     qPrintable(plan(countSql(table.table(), prefix), prefixTyped + QLatin1Char('e'))),
                     qPrintable(plan(firstScreenSql(table.table(), prefix), prefixTyped + QLatin1Char('e'))));
    }
}

// --- the summary against the targets

double figure(const std::string& name)
{
    const auto found = figures().find(name);
    return found == figures().end() ? -1 : found->second;
}

int failures = 0;

void target(const std::string& what, double value, const char* limit, bool met)
{
    if (value < 0) {
        std::printf("FAIL  %-62s %10s   %s\n", what.c_str(), "not run", limit);
        ++failures;
        return;
    }
    std::printf("%s  %-62s %10.2f   %s\n", met ? "PASS" : "FAIL", what.c_str(), value, limit);
    if (!met)
        ++failures;
}

void summary()
{
    const auto ratio = [](double a, double b) { return a < 0 || b <= 0 ? -1.0 : a / b; };
    std::printf("\nTargets at %d rows per table on a local server (program / bare libpq, same run):\n", tableRows);
    if (!programMissing.isEmpty())
        std::printf("  the program was not run: %s\n", qPrintable(programMissing));
    for (const auto& [tab, table] : listed) {
        const std::string t = table.table().toStdString();
        double r = ratio(figure("open tab " + t), figure("open tab " + t + " bare"));
        target("opening the " + t + " tab / bare count + first screen", r, "<= 1.5", r <= 1.5);
        r = ratio(figure("prefix keystroke " + t), figure("prefix keystroke " + t + " bare"));
        target("prefix keystroke on " + t + " / bare count + first screen", r, "<= 2", r <= 2);
        r = ratio(figure("containment keystroke " + t), figure("containment keystroke " + t + " bare"));
        target("containment keystroke on " + t + " to its count / bare indexed count", r, "<= 1.5", r <= 1.5);
        r = ratio(figure("containment keystroke " + t + " scan"), figure("containment keystroke " + t));
        target("scan of " + t + " / the program's containment keystroke", r, ">= 10", r >= 10);
    }
    double r = figure("memory growth");
    target("memory growth over the program's work, MB", r, "< 50", r < 50);
    r = figure("keystroke held");
    target("longest a keystroke held the caller, ms", figures().count("keystroke held") ? r : -1, "<= 16", r <= 16);
    std::printf("\nThe bare side alone (no target):\n");
    for (const auto& [tab, table] : listed) {
        const std::string t = table.table().toStdString();
        std::printf(
            "  %-62s %10.2f\n", ("scan of " + t + " / bare indexed containment count").c_str(),
            ratio(figure("containment keystroke " + t + " scan"), figure("containment keystroke " + t + " bare")));
        std::printf("  %-62s %10.2f\n", ("containment first screen on " + t + ", bare, ms").c_str(),
                    figure("containment keystroke " + t + " bare screen"));
    }
    std::printf("  %-62s %10.2f\n", "memory growth of the bare statements, MB", figure("memory growth bare"));
    std::printf("\n%s: %d of the targets missed\n", failures ? "FAIL" : "PASS", failures);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]).startsWith("--probe-"))
        return probe(argc, argv);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    test_server::PostgresServer& server = test_server::PostgresServer::instance();
    if (!server.running()) {
        std::fprintf(stderr, "bench_server: the PostgreSQL server did not start: %s\n", qPrintable(server.failure()));
        return 1;
    }
    try {
        makeCatalogue(server);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_server: the catalogue could not be made: %s\n", error.what());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    programChannel.reset(); // the channel goes before the application
    summary();
    benchmark::Shutdown();
    return 0;
}
