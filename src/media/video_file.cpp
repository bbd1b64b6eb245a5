// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/video_file.h"

#include "media/file_names.h"

#include <QSet>
#include <algorithm>
#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <mutex>
#include <string>

// MediaInfo is opened at run time, at the first film read, by the loader its makers ship for this: a user who
// never reads a film maps neither it nor the network and TLS libraries it brings. Its wide-character calls are
// the ones the library exports under the plain names.
#ifndef UNICODE
#define UNICODE
#endif
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-variable"
#include <MediaInfoDLL/MediaInfoDLL.h>
#pragma GCC diagnostic pop

namespace media {

namespace {

using MediaInfoDLL::MediaInfo;

// Loads the library once, before any MediaInfo object is made: the loader keeps its state in plain variables,
// which two reading threads must not fill at once. Empty when loaded; else why not.
QString mediaInfoFailure()
{
    static std::once_flag once;
    static QString failure;
    std::call_once(once, [] {
        // Only where the system's loader finds it by name: the shipped loader would go on to try the current
        // folder, where anyone may have left a file of that name.
        if (!::dlopen(MEDIAINFODLL_NAME, RTLD_NOW | RTLD_LOCAL)) {
            const char* why = ::dlerror();
            failure = why ? QString::fromLocal8Bit(why) : QStringLiteral(MEDIAINFODLL_NAME);
        } else if (MediaInfoDLL_Load() != 1) {
            failure = QStringLiteral("%1: a call is missing").arg(QLatin1String(MEDIAINFODLL_NAME));
        }
    });
    return failure;
}

// The file descriptor of a file opened for reading, closed with it.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(const std::filesystem::path& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        m_error = m_fd < 0 ? errno : 0;
    }
    ~ReadOnlyFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    int fd() const { return m_fd; }
    int error() const { return m_error; }

private:
    int m_fd;
    int m_error;
};

QString text(MediaInfo& info, MediaInfoDLL::stream_t kind, size_t number, const wchar_t* parameter)
{
    return QString::fromStdWString(info.Get(kind, number, parameter)).trimmed();
}

qint64 milliseconds(const QString& value)
{
    // MediaInfo gives durations in milliseconds, sometimes with a fraction ("2000.000000").
    return static_cast<qint64>(value.toDouble() + 0.5);
}

// MediaInfo reads the file through the descriptor this program opened for reading: the name it is given is
// plain ASCII, so names that are not UTF-8 or not in the locale's code reach it just as well, and it never opens
// the file for writing. (Handing it the bytes instead reads some files wrongly when one buffer holds them whole.)
bool openThrough(MediaInfo& info, const ReadOnlyFile& file)
{
    return info.Open(L"/proc/self/fd/" + std::to_wstring(file.fd())) != 0;
}

VideoFileReading readFacts(const std::filesystem::path& path, const std::atomic_bool* cancel)
{
    VideoFileReading reading;
    const ReadOnlyFile file(path);
    if (file.fd() < 0) {
        reading.problem = systemProblem(file.error());
        return reading;
    }
    struct stat status = {};
    if (::fstat(file.fd(), &status) != 0) {
        reading.problem = systemProblem(errno);
        return reading;
    }
    if (status.st_size == 0) {
        reading.problem = QStringLiteral("A fájl üres.");
        return reading;
    }
    if (cancel && cancel->load())
        return reading;
    if (const QString failure = mediaInfoFailure(); !failure.isEmpty()) {
        reading.problem = QStringLiteral("A filmek olvasásához szükséges %1 könyvtár nem tölthető be, ezért a "
                                         "filmfájlok nem olvashatók; a libmediainfo0v5 csomag telepíti. (%2)")
                              .arg(QLatin1String(MEDIAINFODLL_NAME), failure);
        return reading;
    }
    MediaInfo info;
    if (!openThrough(info, file)) {
        reading.problem = QStringLiteral("Nem filmfájl, vagy sérült: a formátuma nem ismerhető fel.");
        return reading;
    }
    if (info.Count_Get(MediaInfoDLL::Stream_Video) == 0 && info.Count_Get(MediaInfoDLL::Stream_Audio) == 0) {
        reading.problem = QStringLiteral("Nem filmfájl, vagy sérült: nem található benne kép és hang.");
        return reading;
    }

    VideoFacts facts;
    facts.fileName = displayName(path);
    facts.source = displayPath(path);
    facts.sizeBytes = status.st_size;
    facts.title = text(info, MediaInfoDLL::Stream_General, 0, L"Title");
    if (facts.title.isEmpty())
        facts.title = text(info, MediaInfoDLL::Stream_General, 0, L"Movie");
    facts.lengthMs = milliseconds(text(info, MediaInfoDLL::Stream_General, 0, L"Duration"));
    if (info.Count_Get(MediaInfoDLL::Stream_Video) > 0) {
        facts.width = text(info, MediaInfoDLL::Stream_Video, 0, L"Width").toInt();
        facts.height = text(info, MediaInfoDLL::Stream_Video, 0, L"Height").toInt();
        facts.videoFormat = text(info, MediaInfoDLL::Stream_Video, 0, L"Format");
        facts.videoVersion = text(info, MediaInfoDLL::Stream_Video, 0, L"Format_Version");
        facts.videoCodecId = text(info, MediaInfoDLL::Stream_Video, 0, L"CodecID");
        if (facts.lengthMs <= 0)
            facts.lengthMs = milliseconds(text(info, MediaInfoDLL::Stream_Video, 0, L"Duration"));
    }
    const size_t audioCount = info.Count_Get(MediaInfoDLL::Stream_Audio);
    for (size_t i = 0; i < audioCount; ++i) {
        AudioStream stream;
        stream.format = text(info, MediaInfoDLL::Stream_Audio, i, L"Format");
        stream.profile = text(info, MediaInfoDLL::Stream_Audio, i, L"Format_Profile");
        // "6", or "8 / 6" for a stream with a core: the first is the whole.
        stream.channels =
            text(info, MediaInfoDLL::Stream_Audio, i, L"Channel(s)").section(QLatin1Char(' '), 0, 0).toInt();
        stream.language = text(info, MediaInfoDLL::Stream_Audio, i, L"Language");
        facts.audio << stream;
    }
    const size_t textCount = info.Count_Get(MediaInfoDLL::Stream_Text);
    for (size_t i = 0; i < textCount; ++i)
        facts.subtitleLanguages << text(info, MediaInfoDLL::Stream_Text, i, L"Language");
    reading.facts = facts;
    return reading;
}

} // namespace

bool isVideoFile(const std::filesystem::path& path)
{
    static const QSet<QString> extensions = {QStringLiteral("mkv"),  QStringLiteral("mp4"), QStringLiteral("m4v"),
                                             QStringLiteral("avi"),  QStringLiteral("mpg"), QStringLiteral("mpeg"),
                                             QStringLiteral("wmv"),  QStringLiteral("asf"), QStringLiteral("mov"),
                                             QStringLiteral("webm"), QStringLiteral("ts"),  QStringLiteral("m2ts"),
                                             QStringLiteral("mts"),  QStringLiteral("flv"), QStringLiteral("ogv"),
                                             QStringLiteral("3gp"),  QStringLiteral("divx")};
    return extensions.contains(extensionOf(path));
}

VideoFileReading readVideoFile(const std::filesystem::path& path, const std::atomic_bool* cancel)
{
    return readFacts(path, cancel);
}

VideoFileReading readDvdFolder(const std::filesystem::path& folder, const std::atomic_bool* cancel)
{
    // Each title set is described by its VTS_nn_0.IFO; the film is the longest of them (the others are
    // trailers and extras).
    std::error_code error;
    std::vector<std::filesystem::path> titleSets;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const QString name = displayName(it->path()).toUpper();
        if (name.startsWith(QLatin1String("VTS_")) && name.endsWith(QLatin1String("_0.IFO")))
            titleSets.push_back(it->path());
    }
    VideoFileReading best;
    if (error) {
        best.problem = systemProblem(error.value());
        return best;
    }
    std::sort(titleSets.begin(), titleSets.end());
    QString lastProblem;
    for (const std::filesystem::path& titleSet : titleSets) {
        VideoFileReading reading = readFacts(titleSet, cancel);
        if (cancel && cancel->load())
            return {};
        if (!reading.facts) {
            lastProblem = reading.problem;
            continue;
        }
        if (!best.facts || reading.facts->lengthMs > best.facts->lengthMs)
            best.facts = reading.facts;
    }
    if (!best.facts)
        best.problem = titleSets.empty() ? QStringLiteral("Nem DVD: nincs benne VTS_01_0.IFO.") : lastProblem;
    else
        best.facts->source = displayPath(folder);
    return best;
}

} // namespace media
