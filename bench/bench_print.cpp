// SPDX-License-Identifier: GPL-3.0-or-later

// A long list printed to PDF as the main window prints it, next to writing the same rows, read the same way, as
// plain text. Both read the list a screenful at a time from the tab the window shows.
//
//   bench_print       the DVD films tab of a catalogue of 100,000 rows per table
//
// Reported per run: milliseconds per 1,000 rows, and how far the resident memory grew above what the open window
// already took.

#include "main_window/category_grid.h"
#include "main_window/list_printing.h"
#include "main_window/shown_list.h"
#include "support/program_under_test.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

using bench::Clock;
using bench::millisecondsSince;

constexpr int listRows = 100000;

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// Starts the peak over from the memory in use now, so that each measurement sees only its own peak.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Subject
{
    std::unique_ptr<bench::ProgramWindow> program;
    QTemporaryDir output;
};

std::unique_ptr<Subject> current;

Subject& subject()
{
    if (!current) {
        current = std::make_unique<Subject>();
        current->program = std::make_unique<bench::ProgramWindow>(bench::catalogueWithRows(listRows));
        current->program->switchToTab(2);
    }
    return *current;
}

void report(benchmark::State& state, double milliseconds, qint64 before, int rows)
{
    state.SetIterationTime(milliseconds / 1000.0);
    state.counters["ms_per_1000_rows"] = milliseconds * 1000.0 / rows;
    state.counters["memory_growth_MB"] = (bench::peakResidentBytes() - before) / 1048576.0;
    state.counters["rows"] = rows;
}

void BM_PlainText(benchmark::State& state)
{
    Subject& s = subject();
    for (auto _ : state) {
        const ShownList list = shownList(*s.program->grid(2));
        resetPeak();
        const qint64 before = residentBytes();
        const Clock::time_point start = Clock::now();
        QFile file(s.output.filePath(QStringLiteral("lista.txt")));
        if (!file.open(QIODevice::WriteOnly))
            state.SkipWithError("cannot write the text file");
        QByteArray text;
        for (int row = 0; row < list.count; ++row) {
            QStringList fields;
            for (std::size_t column = 0; column < list.columns.size(); ++column)
                fields << list.text(row, column);
            text += fields.join(QLatin1Char('\t')).toUtf8();
            text += '\n';
            if (text.size() > (1 << 16)) {
                file.write(text);
                text.clear();
            }
        }
        file.write(text);
        file.close();
        report(state, millisecondsSince(start), before, list.count);
    }
}

void BM_Pdf(benchmark::State& state)
{
    Subject& s = subject();
    for (auto _ : state) {
        const ShownList list = shownList(*s.program->grid(2));
        const ListHeading heading = listHeading(QStringLiteral("DVD Filmek"), QStringLiteral("katalogus.tnx"),
                                                QDate::currentDate(), list.count, {});
        resetPeak();
        const qint64 before = residentBytes();
        const Clock::time_point start = Clock::now();
        QFile file(s.output.filePath(QStringLiteral("lista.pdf")));
        if (!file.open(QIODevice::WriteOnly))
            state.SkipWithError("cannot write the PDF");
        int pages = 0;
        {
            QPdfWriter writer(&file);
            setUpPage(writer, list);
            printList(list, heading, writer, [&](int) {
                ++pages;
                return true;
            });
        }
        file.close();
        report(state, millisecondsSince(start), before, list.count);
        state.counters["pages"] = pages;
        state.counters["file_MB"] = file.size() / 1048576.0;
        if (!s.program->errors().isEmpty())
            state.SkipWithError("the window reported an error");
    }
}

BENCHMARK(BM_PlainText)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdf)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    current.reset(); // the window goes before the application
    benchmark::Shutdown();
    return 0;
}
