// SPDX-License-Identifier: GPL-3.0-or-later

// Reading a folder of music files into catalogue rows, beside a bare TagLib loop over the same files (a
// directory walk, each file's tag and stream properties and nothing else). The folders of 1,000 and 10,000
// files are made once, each file an MP3 with tags of its own; the cache is warm after the first round. At the
// end it prints how much longer the reader takes than the bare loop, and how far the resident memory of this
// process rose while the reader read the 10,000 files.

#include "media/media_reader.h"
#include "support/comparing_reporter.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fileref.h>
#include <map>
#include <tag.h>

namespace {

const QString bareSource = QStringLiteral(MEDIATAR_SOURCE_DIR "/tests/media/fixtures/music/codepage/id3v1.mp3");

QByteArray syncsafe(int n)
{
    QByteArray bytes;
    for (int shift : {21, 14, 7, 0})
        bytes += char((n >> shift) & 127);
    return bytes;
}

QByteArray textFrame(const char* id, const QString& text)
{
    const QByteArray body = QByteArray(1, '\x03') + text.toUtf8(); // UTF-8, as ID3v2.4 writes it
    return QByteArray(id) + syncsafe(int(body.size())) + QByteArray(2, '\0') + body;
}

// An MP3 of its own tags: ten tracks an album, a hundred albums an artist.
QByteArray musicFile(const QByteArray& stream, int number)
{
    const QByteArray frames = textFrame("TIT2", QStringLiteral("Szám %1").arg(number)) +
                              textFrame("TPE1", QStringLiteral("Előadó %1").arg(number / 1000)) +
                              textFrame("TALB", QStringLiteral("Album %1").arg(number / 10)) +
                              textFrame("TRCK", QString::number(number % 10 + 1));
    return QByteArray("ID3\x04\x00\x00", 6) + syncsafe(int(frames.size())) + frames + stream;
}

// The folders, made on first use and kept for the run.
const QString& folder(int files)
{
    static QTemporaryDir dir;
    static std::map<int, QString> made;
    auto found = made.find(files);
    if (found != made.end())
        return found->second;
    QFile source(bareSource);
    if (!source.open(QIODevice::ReadOnly))
        std::abort();
    QByteArray stream = source.readAll();
    stream.chop(128); // its ID3v1 tag
    const QString path = dir.filePath(QString::number(files));
    std::filesystem::create_directories(path.toStdString());
    for (int i = 0; i < files; ++i) {
        QFile file(QStringLiteral("%1/%2/%3.mp3").arg(path).arg(i / 100).arg(i));
        std::filesystem::create_directories(QStringLiteral("%1/%2").arg(path).arg(i / 100).toStdString());
        if (!file.open(QIODevice::WriteOnly) || file.write(musicFile(stream, i)) < 0)
            std::abort();
    }
    return made.emplace(files, path).first->second;
}

void BM_ReadMedia(benchmark::State& state)
{
    const QString& path = folder(int(state.range(0)));
    qsizetype tracks = 0;
    for (auto _ : state) {
        const media::Reading reading = media::readMedia({path}, media::Kind::Music);
        tracks = 0;
        for (const media::Album& album : reading.albums)
            tracks += album.tracks.size();
    }
    if (tracks != state.range(0))
        state.SkipWithError("not every file was read");
    state.counters["files_per_s"] =
        benchmark::Counter(double(tracks) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadMedia)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareTagLib(benchmark::State& state)
{
    const std::string path = folder(int(state.range(0))).toStdString();
    int read = 0;
    for (auto _ : state) {
        read = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
            if (!entry.is_regular_file())
                continue;
            const TagLib::FileRef file(entry.path().c_str(), true, TagLib::AudioProperties::Average);
            if (file.isNull() || !file.audioProperties())
                continue;
            const TagLib::Tag* tag = file.tag();
            benchmark::DoNotOptimize(tag->title().size() + tag->artist().size() + tag->album().size() + tag->track() +
                                     file.audioProperties()->lengthInMilliseconds() +
                                     file.audioProperties()->bitrate());
            ++read;
        }
    }
    if (read != state.range(0))
        state.SkipWithError("not every file was read");
}
BENCHMARK(BM_BareTagLib)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

long statusKiB(const char* field)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    char line[256];
    long value = -1;
    while (status && std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, std::strlen(field)) == 0)
            value = std::atol(line + std::strlen(field));
    }
    if (status)
        std::fclose(status);
    return value;
}

// The rise of the resident memory's peak over what it was before reading the 10,000 files once.
long memoryGrowthKiB()
{
    const QString& path = folder(10000);
    if (FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", clear); // the peak starts again from here
        std::fclose(clear);
    }
    const long before = statusKiB("VmRSS:");
    {
        const media::Reading reading = media::readMedia({path}, media::Kind::Music);
        benchmark::DoNotOptimize(reading.albums.size());
    }
    return statusKiB("VmHWM:") - before;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    folder(1000);
    const long growth = memoryGrowthKiB(); // also makes the larger folder and warms the cache
    ComparingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* files : {"1000", "10000"}) {
        const double reader = reporter.times[std::string("BM_ReadMedia/") + files + "/real_time"];
        const double bare = reporter.times[std::string("BM_BareTagLib/") + files + "/real_time"];
        if (reader > 0 && bare > 0)
            std::printf("%s files: reader %.0f ms, bare TagLib loop %.0f ms, %.2f times the loop\n", files, reader,
                        bare, reader / bare);
    }
    std::printf("resident memory growth while reading 10000 files: %ld KiB\n", growth);
    return 0;
}
