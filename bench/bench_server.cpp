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

#include "catalogue/query_channel.h"
#include "engine/categories.h"
#include "server/server_schema.h"
#include "support/bare_server.h"
#include "support/postgres_server.h"
#include "support/program_under_test.h"
#include "support/server_catalogue.h"
#include "support/screen_values.h"
#include "support/server_figures.h"
#include "support/held_window.h"
#include "support/replaced_search.h"
#include "support/short_containment.h"
#include "support/window_holds.h"
#include "support/window_use.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace {

using bench::BareServer;
using bench::Clock;
using bench::countSql;
using bench::firstScreenSql;
using bench::keptCountSql;
using bench::Listed;
using bench::millisecondsSince;
using bench::orderColumnOf;
using bench::readScreen;
using bench::scannedCount;

constexpr int tableRows = bench::serverTableRows;
constexpr int screen = bench::serverScreen;
const QString prefixTyped = QStringLiteral("Sz");    // then "e" is the measured keystroke
const QString containedTyped = QStringLiteral("ős"); // then "z"
const std::map<int, Listed>& listed = bench::listedTables();

// The longest single dispatch of the event loop since the last call: the window is held for as long as one
// dispatch lasts, whatever it does (a keystroke's handler, a list arriving, a screen read).
double takeLongestDispatch()
{
    // The memory probes run without a window, on a plain application.
    auto* timed = dynamic_cast<bench::TimingApplication*>(QCoreApplication::instance());
    if (!timed)
        return -1;
    const double longest = timed->longestMs();
    timed->startInteraction();
    return longest;
}

// Runs the event loop, asleep between events, until quit or limitMs.
void runLoop(QEventLoop& loop, int limitMs)
{
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(limitMs);
    loop.exec();
}

QString catalogueUri;

std::map<std::string, double>& figures()
{
    return bench::serverFigures();
}

void check(benchmark::State& state, bool condition, const char* what)
{
    if (!condition)
        state.SkipWithError(what);
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

struct Keystroke
{
    double heldMs = 0;     // until openThen returned and the rows shown then were read
    double completeMs = 0; // until the exact count and the first screen were there
    double firstMs = 0;    // until rows were first on the screen (the first screen shown before its count)
    int count = -1;
    QStringList screen;
};

// One keystroke as the search box's handler makes it, from the event loop: the new statement, opened without
// holding up the window; then the loop runs, asleep, until the list is complete. heldMs is the longest single
// dispatch meanwhile, the keystroke's own included.
Keystroke keystroke(catalogue::QueryChannel& channel, const engine::Statement& statement)
{
    Keystroke result;
    bool done = false;
    QString failed;
    QEventLoop loop;
    Clock::time_point start;
    result.firstMs = -1;
    const QMetaObject::Connection shown = QObject::connect(&channel, &catalogue::QueryChannel::rowsChanged, [&] {
        if (result.firstMs < 0 && channel.rows() && channel.rows()->count() > 0)
            result.firstMs = millisecondsSince(start);
    });
    takeLongestDispatch();
    QTimer::singleShot(0, &loop, [&] {
        start = Clock::now();
        channel.setStatement(statement);
        channel.openThen(
            [&] {
                done = true;
                loop.quit();
            },
            [&](const QString& text) {
                failed = text;
                done = true;
                loop.quit();
            });
        if (channel.rows())
            readScreen(*channel.rows());
    });
    runLoop(loop, 600000);
    QObject::disconnect(shown);
    if (!done)
        throw std::runtime_error("a search never completed");
    if (!failed.isEmpty())
        throw std::runtime_error(failed.toStdString());
    result.count = channel.recordCount();
    result.screen = readScreen(*channel.rows());
    result.completeMs = millisecondsSince(start);
    if (result.firstMs < 0)
        result.firstMs = result.completeMs;
    result.heldMs = takeLongestDispatch();
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

// A keystroke that makes a containment search of one or two letters, from the text before it.
void BM_ShortContainment(benchmark::State& state)
{
    const Listed& table = listed.at(static_cast<int>(state.range(0)));
    const engine::Category& category = engine::category(table.tab);
    catalogue::QueryChannel* channel = program();
    bench::ProgramKeystroke typeKey;
    if (channel)
        typeKey = [&](const QString& before, const QString& typed) {
            channel->setStatement(before.isEmpty() ? category.browseStatement()
                                                   : category.searchStatement(table.column, before, true));
            channel->open();
            const Keystroke key = keystroke(*channel, category.searchStatement(table.column, typed, true));
            noteHeld(key.heldMs);
            return bench::ProgramKey{key.completeMs, key.firstMs, key.heldMs, key.count,
                                     orderColumnOf(*channel->rows(), key.screen, table.column)};
        };
    bench::measureShortContainment(state, table, bare(), typeKey, programMissing);
}

// Typing a whole word at a quick typist's pace, the next key 120 ms after the last whether its list is complete
// or not, then a scroll to the middle of the list and a change of tab: the longest single dispatch of the event
// loop meanwhile, which is the longest the window was held. The bare side runs each typed text's count and first
// screen, one after the other.
void BM_TypingWords(benchmark::State& state)
{
    catalogue::QueryChannel* channel = program();
    if (!channel) {
        state.SkipWithError(("program not run: " + programMissing).toStdString().c_str());
        return;
    }
    const Listed& table = listed.at(static_cast<int>(state.range(0)));
    const engine::Category& category = engine::category(table.tab);
    const Listed& otherTable = listed.at(table.tab == 2 ? 4 : 2);
    const QString word = QStringLiteral("szerelem");
    // Where the longest hold was: a keystroke's own handler, a list arriving, the scroll, the tab change.
    double longest = 0, keyHandler = 0, scrolling = 0, tabChange = 0, bareMs = 0;
    for (auto _ : state) {
        for (const bool containment : {false, true}) {
            channel->setStatement(category.browseStatement());
            channel->open();
            QEventLoop loop;
            bool finished = false;
            takeLongestDispatch();
            for (int typed = 1; typed <= word.size(); ++typed) {
                QTimer::singleShot(120 * typed, Qt::PreciseTimer, &loop, [&, typed] {
                    const Clock::time_point start = Clock::now();
                    channel->setStatement(category.searchStatement(table.column, word.left(typed), containment));
                    const bool last = typed == word.size();
                    channel->openThen(
                        [&, last] {
                            if (last) {
                                finished = true;
                                loop.quit();
                            }
                        },
                        [&](const QString&) {
                            finished = true;
                            loop.quit();
                        });
                    if (channel->rows())
                        readScreen(*channel->rows());
                    keyHandler = std::max(keyHandler, millisecondsSince(start));
                });
            }
            runLoop(loop, 600000);
            if (!finished) {
                state.SkipWithError("the last search never completed");
                return;
            }
            QEventLoop after;
            QTimer::singleShot(10, &after, [&] {
                // The middle of the list, as a drag of the scroll bar paints it: rows not read yet are asked for
                // and painted empty, never waited for.
                const Clock::time_point start = Clock::now();
                const int count = channel->recordCount();
                for (int row = count / 2; row < std::min(count, count / 2 + screen); ++row)
                    (void)channel->rows()->shownValue(row, 1);
                scrolling = std::max(scrolling, millisecondsSince(start));
            });
            QTimer::singleShot(40, &after, [&] {
                const Clock::time_point start = Clock::now();
                channel->setStatement(engine::category(otherTable.tab).browseStatement());
                channel->openThen([&] { after.quit(); }, [&](const QString&) { after.quit(); });
                if (channel->rows())
                    readScreen(*channel->rows());
                tabChange = std::max(tabChange, millisecondsSince(start));
            });
            runLoop(after, 600000);
            longest = std::max(longest, takeLongestDispatch());
            // The bare statements of every text typed.
            const QString condition =
                containment ? server::containsCondition(table.column) : server::orderedPrefixCondition(table.column);
            const Clock::time_point bareStart = Clock::now();
            for (int typed = 1; typed <= word.size(); ++typed) {
                const QString value = containment ? server::likeEscaped(word.left(typed)) : word.left(typed);
                bare().number(countSql(table.table(), condition), {value});
                bare().screen(firstScreenSql(table.table(), condition, containment), {value});
            }
            bareMs += millisecondsSince(bareStart);
        }
        state.SetIterationTime(longest / 1000);
    }
    state.counters["held_max_ms"] = longest;
    state.counters["key_handler_max_ms"] = keyHandler;
    state.counters["scroll_max_ms"] = scrolling;
    state.counters["tab_change_max_ms"] = tabChange;
    state.counters["bare_word_ms"] = bareMs / state.iterations() / 2;
    noteHeld(longest);
}

// The real window on the server catalogue: a change of tab, then a containment search of one letter (most of
// the films) moved through with the wheel, Page Down, the scroll bar dragged to the middle and to the end, and
// Ctrl+End. Each gesture's longest single dispatch is the longest the window was held.
void BM_WindowHolds(benchmark::State& state)
{
    std::map<std::string, bench::Hold> holds;
    for (auto _ : state) {
        bench::ProgramWindow window(catalogueUri);
        window.waitUntilComplete();
        holds = bench::measureWindowHolds(window, QStringLiteral("a"));
        state.SetIterationTime(0.001);
    }
    for (const auto& [gesture, hold] : holds) {
        figures()["window: " + gesture + " held"] = hold.heldMs;
        figures()["window: " + gesture + " filled"] = hold.filledMs;
        std::printf("  %-36s held %8.2f ms, rows filled in %8.2f ms; held by %s\n", gesture.c_str(), hold.heldMs,
                    hold.filledMs, qPrintable(hold.heldBy));
    }
}

// --- memory, measured in fresh processes so that nothing else of the run counts

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

int probe(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString mode = QString::fromLatin1(argv[1]);
    catalogueUri = QString::fromUtf8(argv[2]);
    const bool reset = bench::resetPeak();
    const qint64 before = reset ? bench::statusBytes("VmRSS:") : bench::statusBytes("VmHWM:");
    try {
        if (mode == QLatin1String("--probe-program"))
            programWorkload();
        else
            bench::bareServerWorkload(catalogueUri);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(bench::statusBytes("VmHWM:") - before));
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

void BM_ReplacedSearch(benchmark::State& state)
{
    bench::measureReplacedSearch(state, program(), listed.at(static_cast<int>(state.range(0))), catalogueUri);
}

BENCHMARK(BM_OpenTab)->Arg(2)->Arg(4)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrefixKeystroke)->Arg(2)->Arg(4)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContainmentKeystroke)->Arg(2)->Arg(4)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShortContainment)
    ->ArgsProduct({{2, 4}, {0, 1, 2, 3, 4}})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplacedSearch)->Arg(2)->Arg(4)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypingWords)->Arg(2)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowHolds)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryGrowth)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]).startsWith("--probe-"))
        return probe(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::TimingApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    test_server::PostgresServer& server = test_server::PostgresServer::instance();
    if (!server.running()) {
        std::fprintf(stderr, "bench_server: the PostgreSQL server did not start: %s\n", qPrintable(server.failure()));
        return 1;
    }
    try {
        catalogueUri = bench::makeServerCatalogue(server);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_server: the catalogue could not be made: %s\n", error.what());
        return 1;
    }
    bench::loadAverage("start");
    benchmark::RunSpecifiedBenchmarks();
    programChannel.reset(); // the channel goes before the application
    bench::printServerSummary(programMissing);
    std::printf("\nThe window on the server catalogue, held by each gesture (longest single event), ms:\n");
    for (const auto& [name, value] : figures())
        if (name.rfind("window: ", 0) == 0 && name.size() > 5 && name.compare(name.size() - 5, 5, " held") == 0)
            bench::line(name.substr(8), value, "<= 8", value >= 0 && value <= bench::heldTarget);
    bench::loadAverage("end");
    benchmark::Shutdown();
    return 0;
}
