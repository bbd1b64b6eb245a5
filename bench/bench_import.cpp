// SPDX-License-Identifier: GPL-3.0-or-later

// Importing a catalogue of the older Jet format, against the plain pipeline that does the same with the
// command-line tools: mdb-export for each table into the sqlite3 shell's .import. Both write the rows into this
// program's tables; the importer also builds the catalogue's indexes and kept counts, which the stock tool
// cannot. After the timings it prints how many times longer the pipeline takes, and the
// peak memory of each, measured in child processes; the importer is also run on the small sample file, so
// that its peak on the fifty times larger medium file shows whether memory stays flat.

#include "legacy/legacy_import.h"
#include "store/schema.h"
#include "support/comparing_reporter.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString fixtures = QStringLiteral(MEDIATAR_LEGACY_FIXTURES);
const QString mediumFile = fixtures + QStringLiteral("/medium.tnx");
const QString sampleFile = fixtures + QStringLiteral("/sample.tnx");

QByteArray shellQuoted(const QString& text)
{
    return "'" + text.toUtf8().replace("'", "'\\''") + "'";
}

// The pipeline as one shell command: every table of the source through mdb-export into sqlite3.
QByteArray pipelineCommand(const QString& source, const QString& target)
{
    QByteArray command = "set -e; ";
    for (const engine::TableDefinition& table : engine::catalogueTables())
        command += "mdb-export " + shellQuoted(source) + " " + table.name.toUtf8() + " | sqlite3 " +
                   shellQuoted(target) + " '.import --csv --skip 1 /dev/stdin " + table.name.toUtf8() + "'; ";
    return command;
}

struct ChildResult
{
    int status = -1;
    long peakKiB = 0;
};

// Runs a program in a child process and returns its exit status and the peak resident memory of it and of
// the processes it waited for.
ChildResult runChild(const std::vector<QByteArray>& argv)
{
    std::vector<char*> args;
    for (const QByteArray& arg : argv)
        args.push_back(const_cast<char*>(arg.constData()));
    args.push_back(nullptr);
    // Output still buffered here would otherwise be written by the child as well.
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout))
            _exit(127);
        execvp(args[0], args.data());
        _exit(127);
    }
    ChildResult result;
    struct rusage usage = {};
    int status = 0;
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.peakKiB = usage.ru_maxrss;
    }
    return result;
}

bool toolsPresent()
{
    return !QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty();
}

void removeCatalogue(const QString& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

void BM_ImportMedium(benchmark::State& state)
{
    if (!QFileInfo::exists(mediumFile)) {
        state.SkipWithError("the legacy fixtures are not there");
        return;
    }
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("medium.mediatar.tnx"));
    quint64 rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        removeCatalogue(target);
        state.ResumeTiming();
        rows = legacy::importLegacyCatalogue(mediumFile, target).totalRows();
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["rows_per_s"] = benchmark::Counter(
        static_cast<double>(rows) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ImportMedium)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// A new file holding the seven tables alone, for the stock tool to fill: the catalogue's indexes and kept counts
// are built on the Hungarian functions, which the stock sqlite3 tool does not know.
void createTablesFile(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot create the pipeline's catalogue");
    }
    store::createTables(db);
    sqlite3_close(db);
}

void BM_PipelineMedium(benchmark::State& state)
{
    if (!QFileInfo::exists(mediumFile) || !toolsPresent()) {
        state.SkipWithError("the legacy fixtures, mdb-export or sqlite3 are not there");
        return;
    }
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("medium.pipeline.tnx"));
    const QByteArray command = pipelineCommand(mediumFile, target);
    for (auto _ : state) {
        state.PauseTiming();
        removeCatalogue(target);
        state.ResumeTiming();
        createTablesFile(target);
        if (runChild({"sh", "-c", command}).status != 0) {
            state.SkipWithError("the pipeline failed");
            return;
        }
    }
}
BENCHMARK(BM_PipelineMedium)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void printPeakMemory()
{
    QTemporaryDir dir;
    const QByteArray tool = MEDIATAR_CATALOGUE_TOOL;
    const ChildResult sample =
        runChild({tool, "import", sampleFile.toUtf8(), dir.filePath(QStringLiteral("sample.tnx")).toUtf8()});
    const ChildResult medium =
        runChild({tool, "import", mediumFile.toUtf8(), dir.filePath(QStringLiteral("medium.tnx")).toUtf8()});
    std::printf("peak memory, importer (mediatar-catalogue import): sample.tnx %ld KiB, medium.tnx %ld KiB%s\n",
                sample.peakKiB, medium.peakKiB, sample.status == 0 && medium.status == 0 ? "" : " (FAILED)");
    if (!toolsPresent())
        return;
    const QString target = dir.filePath(QStringLiteral("pipeline.tnx"));
    createTablesFile(target);
    const ChildResult pipeline = runChild({"sh", "-c", pipelineCommand(mediumFile, target)});
    std::printf("peak memory, pipeline (largest of mdb-export and sqlite3): medium.tnx %ld KiB%s\n", pipeline.peakKiB,
                pipeline.status == 0 ? "" : " (FAILED)");
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    ComparingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double import = 0;
    double pipeline = 0;
    for (const auto& [name, time] : reporter.times) {
        if (name.rfind("BM_ImportMedium", 0) == 0)
            import = time;
        else if (name.rfind("BM_PipelineMedium", 0) == 0)
            pipeline = time;
    }
    if (import > 0 && pipeline > 0)
        std::printf("\nimport of medium.tnx: %.0f ms; mdb-export | sqlite3 .import: %.0f ms; the pipeline takes "
                    "%.2f times as long\n",
                    import, pipeline, pipeline / import);
    if (QFileInfo::exists(mediumFile))
        printPeakMemory();
    benchmark::Shutdown();
    return 0;
}
