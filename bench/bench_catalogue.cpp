// SPDX-License-Identifier: GPL-3.0-or-later

// The program's main window on huge generated catalogues, used as a user uses it: keystrokes, clicks and the
// wheel go through the application's event delivery, and between them the program waits in its own event loop.
// Two things are measured for each interaction: how long the window was held (the longest single event the
// event loop dispatched meanwhile, the handler and the painting it caused included), and how long until the
// answer is on the screen, beside the same statement through the bare sqlite3 C API and, for a containment
// search, beside a plain in-memory pass over the searched column.
//
//   bench_catalogue                                   both sizes (100,000 and 1,000,000 rows per table)
//   bench_catalogue --benchmark_filter='/100000/'     one size
//
// Catalogues are generated into the system's temporary folder on first use and kept for later runs.

#include "main_window/category_grid.h"
#include "engine/categories.h"
#include "catalogue/query_channel.h"
#include "support/folded_column.h"
#include "support/held_window.h"
#include "support/program_under_test.h"
#include "support/window_use.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <sqlite3.h>
#include <stdexcept>

namespace {

using bench::Clock;
using bench::millisecondsSince;

const engine::Category& films = engine::category(2);
const QString prefixTyped = QStringLiteral("Sz"); // then "e" is the measured keystroke
using bench::hundredThousand;
using bench::million;
using bench::typingPauseMs;
using namespace bench;

bench::TimingApplication& app()
{
    return bench::TimingApplication::instance();
}

// One program window at a time, on the catalogue of the size being measured.
struct Subject
{
    int rows = -1;
    QString catalogue;
    std::unique_ptr<bench::ProgramWindow> program;
    std::unique_ptr<bench::PlainConnection> plain;
    std::map<QString, std::unique_ptr<bench::FoldedColumn>> columns;
};

Subject current;

Subject& subject(int rows)
{
    if (current.rows != rows) {
        current.program.reset();
        current.plain.reset();
        current.columns.clear();
        current.catalogue = bench::catalogueWithRows(rows);
        current.program = std::make_unique<bench::ProgramWindow>(current.catalogue);
        current.plain = std::make_unique<bench::PlainConnection>(current.catalogue);
        current.rows = rows;
    }
    return current;
}

const bench::FoldedColumn& foldedColumn(Subject& s, const QString& column)
{
    std::unique_ptr<bench::FoldedColumn>& folded = s.columns[column];
    if (!folded)
        folded = std::make_unique<bench::FoldedColumn>(s.catalogue, films.table, column);
    return *folded;
}

void check(benchmark::State& state, bool condition, const char* what)
{
    if (!condition)
        state.SkipWithError(what);
}

// Opening a tab with a click on it: the count, the grid and its widths, and the first screen painted.
void BM_OpenTab(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    double program = 0, baseline = 0, held = 0;
    int iterations = 0;
    for (auto _ : state) {
        clickTab(*s.program, 4);
        bench::idle(50);
        ScreenWatch watch(s.program->grid(2));
        app().startInteraction();
        const Clock::time_point start = Clock::now();
        clickTab(*s.program, 2);
        const double took = untilShown(*s.program, watch, start);
        check(state, took >= 0, "the films were never shown");
        if (app().longestMs() >= held)
            keepWhat("tab change held", static_cast<int>(state.range(0)), app().longestWhat());
        held = std::max(held, app().longestMs());
        state.SetIterationTime(took / 1000);
        program += took;
        const Clock::time_point plainStart = Clock::now();
        const auto plain = s.plain->list(films.browseText());
        baseline += millisecondsSince(plainStart);
        check(state, countShown(*s.program) == QString::number(plain.count), "the count differs from the baseline");
        ++iterations;
    }
    state.counters["program_ms"] = program / iterations;
    state.counters["baseline_ms"] = baseline / iterations;
    state.counters["held_max_ms"] = held;
    keep(state, "tab change", program / iterations);
    keep(state, "tab change baseline", baseline / iterations);
    keep(state, "tab change held", held);
}

// One keystroke of a search, as the user types it after a pause: how long it held the window, and the time until
// the exact count and the first screen are shown.
struct KeystrokeFigures
{
    double held = 0;
    double shown = 0;
    QString what; // what held the window longest
};

KeystrokeFigures keystroke(benchmark::State& state, Subject& s, QChar key)
{
    CategoryGrid* grid = s.program->grid(2);
    ScreenWatch watch(grid);
    app().startInteraction();
    const Clock::time_point start = Clock::now();
    typeKey(s.program->searchBox(), key);
    KeystrokeFigures figures;
    figures.shown = untilShown(*s.program, watch, start);
    figures.held = app().longestMs();
    figures.what = app().longestWhat();
    check(state, figures.shown >= 0, "the list was never shown");
    return figures;
}

// Takes the measured key back, and waits as the user would before typing it again.
void takeBack(Subject& s)
{
    pressKey(s.program->searchBox(), Qt::Key_Backspace);
    s.program->waitUntilComplete();
    bench::idle(typingPauseMs);
}

void BM_PrefixKeystroke(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    clickTab(*s.program, 2);
    check(state, setSearch(*s.program, films, QStringLiteral("CIM"), prefixTyped, false), "no such search column");
    const QString sql = QStringLiteral("SELECT * FROM DVD_Filmek WHERE CIM LIKE ? ORDER BY CIM");
    double program = 0, baseline = 0, held = 0;
    int iterations = 0;
    for (auto _ : state) {
        const KeystrokeFigures took = keystroke(state, s, QLatin1Char('e'));
        state.SetIterationTime(took.shown / 1000);
        program += took.shown;
        if (took.held >= held)
            keepWhat("prefix keystroke held", static_cast<int>(state.range(0)), took.what);
        held = std::max(held, took.held);
        const Clock::time_point start = Clock::now();
        const auto plain = s.plain->list(sql, {prefixTyped + QStringLiteral("e%")});
        baseline += millisecondsSince(start);
        check(state, countShown(*s.program) == QString::number(plain.count), "the count differs from the baseline");
        takeBack(s);
        ++iterations;
    }
    state.counters["program_ms"] = program / iterations;
    state.counters["baseline_ms"] = baseline / iterations;
    state.counters["held_max_ms"] = held;
    keep(state, "prefix keystroke", program / iterations);
    keep(state, "prefix keystroke baseline", baseline / iterations);
    keep(state, "prefix keystroke held", held);
    setSearch(*s.program, films, QStringLiteral("CIM"), QString(), false);
}

// A containment keystroke: the column searched, what is in the box before, and the key typed.
struct Containment
{
    const char* name;
    QString column;
    QString before;
    QChar key;
};

const std::vector<Containment>& containments()
{
    static const std::vector<Containment> all = {
        {"title, one letter", QStringLiteral("CIM"), QString(), QLatin1Char('s')},
        {"title, two letters", QStringLiteral("CIM"), QStringLiteral("ő"), QLatin1Char('s')},
        {"title, three letters", QStringLiteral("CIM"), QStringLiteral("ős"), QLatin1Char('z')},
        {"language, one letter", QStringLiteral("Nyelv"), QString(), QLatin1Char('h')},
        {"language, two letters", QStringLiteral("Nyelv"), QStringLiteral("h"), QLatin1Char('u')},
        {"language, six letters", QStringLiteral("Nyelv"), QStringLiteral("dts h"), QLatin1Char('u')},
    };
    return all;
}

// The keystroke beside the bare statement (run to its end) and beside one pass over the column in memory; the
// count shown must be the in-memory pass's own, which folds every letter as the program does.
void BM_ContainmentKeystroke(benchmark::State& state, const Containment& search)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    clickTab(*s.program, 2);
    check(state, setSearch(*s.program, films, search.column, search.before, true), "no such search column");
    const QString full = search.before + search.key;
    const bench::FoldedColumn& folded = foldedColumn(s, search.column);
    const QString sql = QStringLiteral("SELECT * FROM DVD_Filmek WHERE %1 LIKE ? ORDER BY CIM").arg(search.column);
    double program = 0, baseline = 0, pass = 0, held = 0;
    int iterations = 0;
    for (auto _ : state) {
        const KeystrokeFigures took = keystroke(state, s, search.key);
        state.SetIterationTime(took.shown / 1000);
        program += took.shown;
        if (took.held >= held)
            keepWhat(std::string("containment, ") + search.name + " held", static_cast<int>(state.range(0)), took.what);
        held = std::max(held, took.held);
        Clock::time_point start = Clock::now();
        s.plain->list(sql, {QLatin1Char('%') + full + QLatin1Char('%')});
        baseline += millisecondsSince(start);
        start = Clock::now();
        const int found = folded.countContaining(full);
        pass += millisecondsSince(start);
        check(state, countShown(*s.program) == QString::number(found), "the count differs from the in-memory pass");
        takeBack(s);
        ++iterations;
    }
    state.counters["program_ms"] = program / iterations;
    state.counters["sqlite_ms"] = baseline / iterations;
    state.counters["memory_pass_ms"] = pass / iterations;
    state.counters["held_max_ms"] = held;
    const std::string name = std::string("containment, ") + search.name;
    keep(state, name, program / iterations);
    keep(state, name + " sqlite", baseline / iterations);
    keep(state, name + " pass", pass / iterations);
    keep(state, name + " held", held);
    setSearch(*s.program, films, QStringLiteral("CIM"), QString(), false);
}

// Typing a whole word at a quick typist's pace: the longest time any event held the window meanwhile, the
// results arriving from the background included.
void BM_TypingWords(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    clickTab(*s.program, 2);
    double longest = 0;
    QString what;
    for (auto _ : state) {
        double word = 0;
        for (bool containment : {false, true}) {
            setSearch(*s.program, films, QStringLiteral("CIM"), QString(), containment);
            app().startInteraction();
            for (const QChar letter : QStringLiteral("szerelem")) {
                typeKey(s.program->searchBox(), letter);
                bench::idle(typingPauseMs);
            }
            s.program->waitUntilComplete();
            bench::idle(typingPauseMs);
            word = std::max(word, app().longestMs());
            if (app().longestMs() >= longest)
                what = app().longestWhat();
        }
        longest = std::max(longest, word);
        state.SetIterationTime(word / 1000);
    }
    state.counters["held_max_ms"] = longest;
    keep(state, "typing held", longest);
    keepWhat("typing held", static_cast<int>(state.range(0)), what);
    setSearch(*s.program, films, QStringLiteral("CIM"), QString(), false);
}

// The films' tab opened anew at its first screen, with nothing read beyond it.
CategoryGrid* freshFilmsTab(Subject& s)
{
    clickTab(*s.program, 4);
    bench::idle(50);
    CategoryGrid* grid = s.program->grid(2);
    ScreenWatch watch(grid);
    clickTab(*s.program, 2);
    untilShown(*s.program, watch, Clock::now());
    bench::idle(50);
    return grid;
}

// Scrolling as the user scrolls a freshly opened list: the wheel, a screen at a time, a jump to the last row
// (timed until it is painted, beside the bare statement run to its end) and back to the first. The longest
// time any of it held the window is kept.
void BM_Scrolling(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    double jumps = 0, baseline = 0, held = 0;
    int iterations = 0;
    QString what;
    for (auto _ : state) {
        CategoryGrid* grid = freshFilmsTab(s);
        app().startInteraction();
        turnWheel(grid, 30);
        pageDown(grid, 20);
        check(state, grid->verticalScrollBar()->value() > 0, "the list did not scroll");
        ScreenWatch watch(grid);
        watch.restart();
        grid->setFocus();
        const Clock::time_point start = Clock::now();
        pressKey(grid, Qt::Key_End, Qt::ControlModifier);
        Clock::time_point painted;
        app().waitFor([&] { return watch.shown(); }, 600000, &painted);
        const double jump = std::chrono::duration<double, std::milli>(painted - start).count();
        const QModelIndex last = grid->model()->index(grid->model()->rowCount() - 1, 0);
        check(state, grid->verticalScrollBar()->value() == grid->verticalScrollBar()->maximum(),
              "the last row is not on screen");
        bench::idle(wheelPauseMs);
        pressKey(grid, Qt::Key_Home, Qt::ControlModifier);
        bench::idle(wheelPauseMs);
        check(state, grid->verticalScrollBar()->value() == 0, "the list did not go back to its start");
        if (app().longestMs() >= held)
            what = app().longestWhat();
        held = std::max(held, app().longestMs());
        state.SetIterationTime(jump / 1000);
        jumps += jump;
        const Clock::time_point plainStart = Clock::now();
        const auto plain = s.plain->list(films.browseText(), true);
        baseline += millisecondsSince(plainStart);
        check(state, last.row() == plain.count - 1, "the row count differs from the baseline");
        ++iterations;
    }
    state.counters["jump_to_last_ms"] = jumps / iterations;
    state.counters["baseline_ms"] = baseline / iterations;
    state.counters["held_max_ms"] = held;
    keep(state, "jump to last row", jumps / iterations);
    keep(state, "jump to last row baseline", baseline / iterations);
    keep(state, "scrolling held", held);
    keepWhat("scrolling held", static_cast<int>(state.range(0)), what);
}

// Counters of a measurement with its baseline: the program's mean, the baseline's mean and their ratio.
void report(benchmark::State& state, const std::string& name, double program, double baseline, int iterations)
{
    state.counters["program_ms"] = program / iterations;
    state.counters["baseline_ms"] = baseline / iterations;
    state.counters["ratio"] = baseline > 0 ? program / baseline : 0;
    keep(state, name, program / iterations);
    keep(state, name + " baseline", baseline / iterations);
}

// A click on an album: its tracks are listed in the second grid.
void BM_AlbumTracks(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    s.program->switchToTab(0);
    CategoryGrid* albums = s.program->grid(0);
    catalogue::QueryChannel& browse = s.program->window().browseQuery();
    int row = 0;
    while (row < browse.recordCount() &&
           s.plain->number(QStringLiteral("SELECT count(*) FROM szamok WHERE eloado_azonosito = %1")
                               .arg(browse.fieldText(row, engine::rowIdentityColumn))) < 8)
        ++row;
    const QString statement =
        engine::trackListStatement(browse.fieldText(row, QStringLiteral("ELOADO")), browse.fieldText(row, "ALBUM"))
            .text();
    const QModelIndex index = albums->model()->index(row, 0);
    albums->scrollTo(index);
    s.program->paint(albums);
    double program = 0, baseline = 0;
    int iterations = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        QTest::mouseClick(albums->viewport(), Qt::LeftButton, Qt::NoModifier, albums->visualRect(index).center());
        s.program->paint(s.program->window().trackGrid());
        const double took = millisecondsSince(start);
        state.SetIterationTime(took / 1000);
        program += took;
        start = Clock::now();
        const auto plain = s.plain->list(statement);
        baseline += millisecondsSince(start);
        check(state, s.program->window().trackGrid()->model()->rowCount() == plain.count,
              "the track count differs from the baseline");
        ++iterations;
    }
    report(state, "album tracks", program, baseline, iterations);
}

// Another program (the stock tool, say) adds 10,000 rows to a table of a catalogue the program had open; the
// program brings them into its lists the next time it opens the file: the time from opening the file to the
// games tab listed with their count. The baseline is the other program's own insert of those rows.
void BM_AnotherProgramsRowsAtOpen(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    const QString catalogue = bench::catalogueWithRows(rows);
    current = Subject(); // no window holds the file
    constexpr int added = 10000;
    const auto write = [&](const char* sql, bool insert) {
        sqlite3* db = nullptr; // the bare engine: none of the program's functions
        sqlite3_open(catalogue.toUtf8().constData(), &db);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        for (int i = 0; insert && i < added; ++i) {
            const QByteArray name = QStringLiteral("Másik program %1. játéka").arg(i * 7919 % added).toUtf8();
            sqlite3_bind_text(statement, 1, name.constData(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
            sqlite3_step(statement);
            sqlite3_reset(statement);
        }
        if (!insert)
            sqlite3_step(statement);
        sqlite3_finalize(statement);
        const bool done = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return done;
    };
    const auto listGames = [&](int expected) {
        catalogue::QueryChannel channel(QStringLiteral("bench_another_program"));
        channel.pointAt(catalogue);
        channel.setStatement(engine::category(4).browseStatement());
        channel.open();
        return channel.recordCount() == expected && !channel.fieldText(expected - 1, QStringLiteral("NEV")).isEmpty();
    };
    double program = 0, baseline = 0;
    int iterations = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        check(state, write("INSERT INTO games VALUES (?, 'másik program', NULL, 'BENCH')", true), "insert failed");
        baseline += millisecondsSince(start);
        start = Clock::now();
        const bool listed = listGames(rows + added);
        const double took = millisecondsSince(start);
        state.SetIterationTime(took / 1000);
        program += took;
        check(state, listed, "the rows of the other program are not listed");
        // The catalogue goes back to its rows for the next measurement.
        write("DELETE FROM games WHERE KOD = 'BENCH'", false);
        listGames(rows);
        ++iterations;
    }
    report(state, "another program's 10,000 rows at open", program, baseline, iterations);
}

// --- memory, measured in fresh processes so that nothing else of the run counts

// The program's work in a probe: start, every tab, the end of a long list, both searches, an album's tracks.
void programWorkload(const QString& catalogue)
{
    bench::ProgramWindow program(catalogue);
    for (int tab : {1, 2, 3, 4, 5, 0}) {
        program.switchToTab(tab);
        program.grid(tab)->scrollToBottom();
        program.paint(program.grid(tab));
    }
    QTest::mouseClick(program.grid(0)->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    program.switchToTab(2);
    setSearch(program, films, QStringLiteral("CIM"), prefixTyped + QLatin1Char('e'), false);
    program.paint(program.grid(2));
    for (const Containment& search : containments()) {
        if (!setSearch(program, films, search.column, search.before + search.key, true))
            throw std::runtime_error("no such search column");
        program.paint(program.grid(2));
    }
    if (!program.errors().isEmpty())
        throw std::runtime_error(program.errors().join(QLatin1Char('\n')).toStdString());
}

// The same statements, each run to its end through the bare engine.
void plainWorkload(const QString& catalogue)
{
    bench::PlainConnection plain(catalogue);
    for (int tab = 0; tab < engine::dataCategoryCount; ++tab)
        plain.list(engine::category(tab).browseText(), true);
    plain.list(QStringLiteral("SELECT * FROM DVD_Filmek WHERE CIM LIKE ? ORDER BY CIM"), {prefixTyped + "e%"});
    for (const Containment& search : containments())
        plain.list(QStringLiteral("SELECT * FROM DVD_Filmek WHERE %1 LIKE ? ORDER BY CIM").arg(search.column),
                   {QLatin1Char('%') + search.before + search.key + QLatin1Char('%')});
}

// The peak resident memory of a probe process, in MiB.
double probePeak(const char* mode, const QString& catalogue)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode), catalogue});
    if (!probe.waitForFinished(-1) || probe.exitCode() != 0)
        throw std::runtime_error("the memory probe failed");
    return probe.readAllStandardOutput().trimmed().toDouble() / (1024.0 * 1024.0);
}

void BM_PeakMemory(benchmark::State& state)
{
    const QString empty = bench::catalogueWithRows(0);
    const QString full = bench::catalogueWithRows(static_cast<int>(state.range(0)));
    current = Subject(); // only the probes hold the file
    double program = 0, baseline = 0, emptyProgram = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        program = probePeak("--probe-program", full);
        emptyProgram = probePeak("--probe-program", empty);
        baseline = probePeak("--probe-plain", full);
        state.SetIterationTime(millisecondsSince(start) / 1000);
    }
    state.counters["program_MiB"] = program;
    state.counters["empty_catalogue_MiB"] = emptyProgram;
    state.counters["bare_sqlite_MiB"] = baseline;
    keep(state, "peak memory", program);
    keep(state, "peak memory empty", emptyProgram);
    keep(state, "peak memory sqlite", baseline);
}

#define AT_BOTH_SIZES(function, a, b)                                                                                  \
    BENCHMARK(function)->Arg(hundredThousand)->Iterations(a)->UseManualTime()->Unit(benchmark::kMillisecond);          \
    BENCHMARK(function)->Arg(million)->Iterations(b)->UseManualTime()->Unit(benchmark::kMillisecond)

AT_BOTH_SIZES(BM_OpenTab, 5, 3);
AT_BOTH_SIZES(BM_PrefixKeystroke, 5, 3);
AT_BOTH_SIZES(BM_TypingWords, 1, 1);
AT_BOTH_SIZES(BM_Scrolling, 3, 2);
AT_BOTH_SIZES(BM_AlbumTracks, 5, 3);
AT_BOTH_SIZES(BM_PeakMemory, 1, 1);
AT_BOTH_SIZES(BM_AnotherProgramsRowsAtOpen, 3, 3);

// Registered in main, one benchmark for each search column and length of text.
void registerContainments()
{
    for (const Containment& search : containments()) {
        for (int rows : {hundredThousand, million}) {
            benchmark::RegisterBenchmark(("BM_ContainmentKeystroke/" + std::string(search.name)).c_str(),
                                         BM_ContainmentKeystroke, search)
                ->Arg(rows)
                ->Iterations(3)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

// --- the summary against the targets

int probe(int argc, char** argv)
{
    bench::TimingApplication application(argc, argv);
    const QString mode = QString::fromLatin1(argv[1]);
    const QString catalogue = QString::fromLocal8Bit(argv[2]);
    try {
        if (mode == QLatin1String("--probe-program"))
            programWorkload(catalogue);
        else
            plainWorkload(catalogue);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(bench::peakResidentBytes()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && QByteArray(argv[1]).startsWith("--probe-"))
        return probe(argc, argv);
    bench::TimingApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    registerContainments();
    loadAverage("start");
    benchmark::RunSpecifiedBenchmarks();
    current = Subject(); // the window goes before the application
    std::vector<std::string> names;
    for (const Containment& search : containments())
        names.emplace_back(search.name);
    printSummary(names);
    loadAverage("end");
    benchmark::Shutdown();
    return 0;
}
