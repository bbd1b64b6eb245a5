// SPDX-License-Identifier: GPL-3.0-or-later

// The program's main window on huge generated catalogues, each measurement beside the same statement run
// through the bare sqlite3 C API (a complete row set, no model, no widget) in the same run.
//
//   bench_catalogue                                   all sizes (10,000, 100,000 and 1,000,000 rows per table)
//   bench_catalogue --benchmark_filter='/10000/'      one size
//
// Catalogues are generated into the system's temporary folder on first use and kept for later runs.

#include "main_window/category_grid.h"
#include "engine/categories.h"
#include "catalogue/query_channel.h"
#include "support/program_under_test.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <sqlite3.h>
#include <stdexcept>

namespace {

using bench::Clock;
using bench::millisecondsSince;

const engine::Category& films = engine::category(2);
const QString prefixTyped = QStringLiteral("Sz");    // then "e" is the measured keystroke
const QString containedTyped = QStringLiteral("ős"); // then "z"

// One program window at a time, on the catalogue of the size being measured.
struct Subject
{
    int rows = -1;
    QString catalogue;
    std::unique_ptr<bench::ProgramWindow> program;
    std::unique_ptr<bench::PlainConnection> plain;
};

Subject current;

Subject& subject(int rows)
{
    if (current.rows != rows) {
        current.program.reset();
        current.plain.reset();
        current.catalogue = bench::catalogueWithRows(rows);
        current.program = std::make_unique<bench::ProgramWindow>(current.catalogue);
        current.plain = std::make_unique<bench::PlainConnection>(current.catalogue);
        current.rows = rows;
    }
    return current;
}

// Figures kept for the summary against the targets: name -> rows -> milliseconds (or megabytes).
std::map<std::string, std::map<int, double>>& figures()
{
    static std::map<std::string, std::map<int, double>> all;
    return all;
}

void check(benchmark::State& state, bool condition, const char* what)
{
    if (!condition)
        state.SkipWithError(what);
}

QString countShown(bench::ProgramWindow& program)
{
    return program.window().findChild<QLabel*>(QStringLiteral("Label2"))->text();
}

void setSearch(bench::ProgramWindow& program, const QString& text, bool containment)
{
    QCheckBox* box = program.window().findChild<QCheckBox*>(QStringLiteral("tartalmazza"));
    if (box->isChecked() != containment)
        box->click();
    program.searchBox()->setText(text);
    program.waitUntilComplete();
}

// Counters of a measurement with its baseline: the program's mean, the baseline's mean and their ratio.
void report(benchmark::State& state, const std::string& name, double program, double baseline, int iterations)
{
    state.counters["program_ms"] = program / iterations;
    state.counters["baseline_ms"] = baseline / iterations;
    state.counters["ratio"] = baseline > 0 ? program / baseline : 0;
    figures()[name][static_cast<int>(state.range(0))] = program / iterations;
    figures()[name + " baseline"][static_cast<int>(state.range(0))] = baseline / iterations;
}

// Opening a tab: the browse operation (count, grid, widths) and the first screen painted.
void BM_OpenTab(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    double program = 0, baseline = 0;
    int iterations = 0;
    for (auto _ : state) {
        s.program->switchToTab(4);
        Clock::time_point start = Clock::now();
        s.program->switchToTab(2);
        s.program->paint(s.program->grid(2));
        const double took = millisecondsSince(start);
        state.SetIterationTime(took / 1000);
        program += took;
        start = Clock::now();
        const auto plain = s.plain->list(films.browseText());
        baseline += millisecondsSince(start);
        check(state, countShown(*s.program) == QString::number(plain.count), "the count differs from the baseline");
        ++iterations;
    }
    report(state, "open tab", program, baseline, iterations);
}

// One keystroke of a search: what holds up the window (the handler and the first screen painted), and the
// time until the exact count is shown.
void keystroke(benchmark::State& state, const std::string& name, const QString& typed, Qt::Key key, const QString& full,
               bool containment)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    s.program->switchToTab(2);
    setSearch(*s.program, typed, containment);
    const QString statement = films.searchStatement(QStringLiteral("CIM"), full, containment).text();
    double blocked = 0, complete = 0, baseline = 0, scan = 0, longest = 0;
    int iterations = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        QTest::keyClick(s.program->searchBox(), key);
        s.program->paint(s.program->grid(2));
        const double held = millisecondsSince(start);
        s.program->waitUntilComplete();
        const double done = millisecondsSince(start);
        state.SetIterationTime(done / 1000);
        blocked += held;
        longest = std::max(longest, held);
        complete += done;
        start = Clock::now();
        const auto plain = s.plain->list(statement);
        baseline += millisecondsSince(start);
        // The bare engine's LIKE ignores the case of ASCII letters only, so it can find fewer rows ("ŐSZ").
        const int shown = countShown(*s.program).toInt();
        check(state, containment ? shown >= plain.count : shown == plain.count, "the count differs from the baseline");
        if (containment) {
            start = Clock::now();
            s.plain->list(QStringLiteral("SELECT * FROM DVD_Filmek"));
            scan += millisecondsSince(start);
        }
        state.PauseTiming();
        QTest::keyClick(s.program->searchBox(), Qt::Key_Backspace);
        s.program->waitUntilComplete();
        state.ResumeTiming();
        ++iterations;
    }
    report(state, name, complete, baseline, iterations);
    state.counters["held_ms"] = blocked / iterations;
    state.counters["held_max_ms"] = longest;
    figures()[name + " held"][static_cast<int>(state.range(0))] = longest;
    if (containment) {
        state.counters["scan_ms"] = scan / iterations;
        state.counters["ratio_to_scan"] = complete / scan;
        figures()[name + " scan"][static_cast<int>(state.range(0))] = scan / iterations;
    }
    setSearch(*s.program, QString(), false);
}

void BM_PrefixKeystroke(benchmark::State& state)
{
    keystroke(state, "prefix keystroke", prefixTyped, Qt::Key_E, prefixTyped + QLatin1Char('e'), false);
}

void BM_ContainmentKeystroke(benchmark::State& state)
{
    keystroke(state, "containment keystroke", containedTyped, Qt::Key_Z, containedTyped + QLatin1Char('z'), true);
}

// Typing a whole word at a user's pace: the longest time any keystroke holds up the window.
void BM_TypingWords(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    s.program->switchToTab(2);
    double longest = 0;
    for (auto _ : state) {
        for (bool containment : {false, true}) {
            setSearch(*s.program, QString(), containment);
            for (const QChar letter : QStringLiteral("szerelem")) {
                const Clock::time_point start = Clock::now();
                QTest::keyClick(s.program->searchBox(), letter.toLatin1());
                s.program->paint(s.program->grid(2));
                longest = std::max(longest, millisecondsSince(start));
                // A quick typist: the next key comes 120 ms later, finished or not.
                const Clock::time_point pause = Clock::now();
                while (millisecondsSince(pause) < 120)
                    QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            s.program->waitUntilComplete();
        }
        state.SetIterationTime(longest / 1000);
    }
    state.counters["held_max_ms"] = longest;
    figures()["typing held"][static_cast<int>(state.range(0))] = longest;
    setSearch(*s.program, QString(), false);
}

// The films' tab opened anew at its first screen, with nothing read beyond it; not measured.
CategoryGrid* freshFilmsTab(benchmark::State& state, Subject& s)
{
    state.PauseTiming();
    s.program->switchToTab(4);
    s.program->switchToTab(2);
    CategoryGrid* grid = s.program->grid(2);
    s.program->paint(grid);
    state.ResumeTiming();
    return grid;
}

// Jumping from the top of a freshly opened tab to its last row.
void BM_JumpToLastRow(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    double program = 0, baseline = 0;
    int iterations = 0;
    for (auto _ : state) {
        CategoryGrid* grid = freshFilmsTab(state, s);
        Clock::time_point start = Clock::now();
        grid->scrollToBottom();
        s.program->paint(grid);
        const double took = millisecondsSince(start);
        state.SetIterationTime(took / 1000);
        program += took;
        start = Clock::now();
        const auto plain = s.plain->list(films.browseText(), true);
        baseline += millisecondsSince(start);
        const QModelIndex last = grid->model()->index(grid->model()->rowCount() - 1, 0);
        check(state, grid->viewport()->rect().intersects(grid->visualRect(last)), "the last row is not on screen");
        check(state, last.row() == plain.count - 1, "the row count differs from the baseline");
        ++iterations;
    }
    report(state, "jump to last row", program, baseline, iterations);
}

// Jumping into the middle of a freshly opened tab, then scrolling on a screen at a time.
void BM_ScrollFromTheMiddle(benchmark::State& state)
{
    Subject& s = subject(static_cast<int>(state.range(0)));
    double jumps = 0, baseline = 0, longest = 0;
    int iterations = 0;
    for (auto _ : state) {
        CategoryGrid* grid = freshFilmsTab(state, s);
        Clock::time_point start = Clock::now();
        grid->scrollTo(grid->model()->index(grid->model()->rowCount() / 2, 0), QAbstractItemView::PositionAtTop);
        s.program->paint(grid);
        const double jump = millisecondsSince(start);
        double scrolling = 0;
        for (int screen = 0; screen < 30; ++screen) {
            start = Clock::now();
            grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() +
                                                grid->verticalScrollBar()->pageStep());
            s.program->paint(grid);
            const double took = millisecondsSince(start);
            scrolling += took;
            longest = std::max(longest, took);
        }
        state.SetIterationTime((jump + scrolling) / 1000);
        jumps += jump;
        start = Clock::now();
        s.plain->list(films.browseText());
        baseline += millisecondsSince(start);
        ++iterations;
    }
    report(state, "jump to the middle", jumps, baseline, iterations);
    state.counters["screen_max_ms"] = longest;
    figures()["scroll screen"][static_cast<int>(state.range(0))] = longest;
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
    setSearch(program, prefixTyped + QLatin1Char('e'), false);
    program.paint(program.grid(2));
    setSearch(program, containedTyped + QLatin1Char('z'), true);
    program.paint(program.grid(2));
    if (!program.errors().isEmpty())
        throw std::runtime_error(program.errors().join(QLatin1Char('\n')).toStdString());
}

// The same statements, each run to its end through the bare engine.
void plainWorkload(const QString& catalogue)
{
    bench::PlainConnection plain(catalogue);
    for (int tab = 0; tab < engine::dataCategoryCount; ++tab)
        plain.list(engine::category(tab).browseText(), true);
    plain.list(films.searchStatement(QStringLiteral("CIM"), prefixTyped + QLatin1Char('e'), false).text());
    plain.list(films.searchStatement(QStringLiteral("CIM"), containedTyped + QLatin1Char('z'), true).text());
}

double probePeakMegabytes(const char* mode, const QString& catalogue)
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
    double program = 0, baseline = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        program = probePeakMegabytes("--probe-program", full) - probePeakMegabytes("--probe-program", empty);
        baseline = probePeakMegabytes("--probe-plain", full) - probePeakMegabytes("--probe-plain", empty);
        state.SetIterationTime(millisecondsSince(start) / 1000);
    }
    state.counters["program_growth_MB"] = program;
    state.counters["baseline_growth_MB"] = baseline;
    state.counters["ratio"] = baseline > 0 ? program / baseline : 0;
    figures()["memory growth"][static_cast<int>(state.range(0))] = program;
    figures()["memory growth baseline"][static_cast<int>(state.range(0))] = baseline;
}

#define AT_EVERY_SIZE(function, a, b, c)                                                                               \
    BENCHMARK(function)->Arg(10000)->Iterations(a)->UseManualTime()->Unit(benchmark::kMillisecond);                    \
    BENCHMARK(function)->Arg(100000)->Iterations(b)->UseManualTime()->Unit(benchmark::kMillisecond);                   \
    BENCHMARK(function)->Arg(1000000)->Iterations(c)->UseManualTime()->Unit(benchmark::kMillisecond)

AT_EVERY_SIZE(BM_OpenTab, 10, 5, 3);
AT_EVERY_SIZE(BM_PrefixKeystroke, 10, 5, 3);
AT_EVERY_SIZE(BM_ContainmentKeystroke, 5, 3, 2);
AT_EVERY_SIZE(BM_TypingWords, 2, 1, 1);
AT_EVERY_SIZE(BM_JumpToLastRow, 10, 5, 3);
AT_EVERY_SIZE(BM_ScrollFromTheMiddle, 5, 3, 2);
AT_EVERY_SIZE(BM_AlbumTracks, 10, 5, 3);
AT_EVERY_SIZE(BM_PeakMemory, 1, 1, 1);
AT_EVERY_SIZE(BM_AnotherProgramsRowsAtOpen, 3, 3, 3);

// --- the summary against the targets

double figure(const std::string& name, int rows)
{
    const auto found = figures().find(name);
    if (found == figures().end() || !found->second.count(rows))
        return -1;
    return found->second.at(rows);
}

void line(const char* what, double value, const char* target, bool met)
{
    if (value < 0)
        std::printf("  %-58s %10s   %s\n", what, "not run", target);
    else
        std::printf("  %-58s %10.2f   %-10s %s\n", what, value, target, met ? "met" : "MISSED");
}

void summary()
{
    const int million = 1000000;
    const int small = 10000;
    const auto ratio = [](double a, double b) { return a < 0 || b <= 0 ? -1.0 : a / b; };
    std::printf("\nTargets at 1,000,000 rows per table:\n");
    double r = ratio(figure("open tab", million), figure("open tab baseline", million));
    line("opening a tab / plain SQLite (count + first screen)", r, "<= 1.5", r <= 1.5);
    r = ratio(figure("prefix keystroke", million), figure("prefix keystroke baseline", million));
    line("prefix keystroke, exact count / plain SQLite", r, "<= 2", r <= 2);
    r = ratio(figure("containment keystroke", million), figure("containment keystroke scan", million));
    line("containment keystroke, exact count / one scan of the table", r, "<= 1", r <= 1);
    r = figure("memory growth", million);
    line("memory growth over an empty catalogue, MB", r, "< 50", r < 50);
    r = ratio(figure("open tab", million), figure("open tab", small));
    line("opening a tab, 1,000,000 rows / 10,000 rows", r, "<= 3", r <= 3);
    r = ratio(figure("prefix keystroke held", million), figure("prefix keystroke held", small));
    line("prefix keystroke held, 1,000,000 rows / 10,000 rows", r, "<= 3", r <= 3);
    r = ratio(figure("prefix keystroke", million), figure("prefix keystroke", small));
    line("prefix keystroke to exact count, 1,000,000 / 10,000 rows", r, "<= 3", r <= 3);
    for (const char* name : {"prefix keystroke held", "containment keystroke held", "typing held", "scroll screen"}) {
        r = figure(name, million);
        line((std::string(name) + ", longest, ms").c_str(), r, "<= 16", r <= 16);
    }
    std::printf("\nAnother program's 10,000 rows brought into the lists at open, ms (no target):\n");
    for (int rows : {small, 100000, million}) {
        r = figure("another program's 10,000 rows at open", rows);
        const double other = figure("another program's 10,000 rows at open baseline", rows);
        if (r >= 0)
            std::printf("  %9d rows per table: %8.1f   (the other program's insert: %.1f)\n", rows, r, other);
    }
}

int probe(int argc, char** argv)
{
    QApplication app(argc, argv);
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
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    current = Subject(); // the window goes before the application
    summary();
    benchmark::Shutdown();
    return 0;
}
