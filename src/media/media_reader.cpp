// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/media_reader.h"

#include "media/file_names.h"
#include "media/folder_walk.h"
#include "media/music_file.h"
#include "media/tag_text.h"
#include "media/video_file.h"

#include <QFile>
#include <cerrno>
#include <sys/stat.h>

namespace media {

namespace {

namespace fs = std::filesystem;

bool isDvdFolder(const fs::path& folder)
{
    return displayName(folder).compare(QLatin1String("VIDEO_TS"), Qt::CaseInsensitive) == 0;
}

// The film's name for a VIDEO_TS folder: the folder it lies in (a disc's mount point, or the copy's folder).
QString dvdTitle(const fs::path& folder)
{
    const fs::path parent = folder.parent_path();
    return parent.has_filename() ? displayName(parent) : displayName(folder);
}

QString withoutExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

class Reader
{
public:
    Reader(Kind kind, const Control& control) : m_kind(kind), m_control(control) {}

    Reading read(const QStringList& paths)
    {
        for (const QString& path : paths) {
            if (cancelled())
                break;
            fs::path start(QFile::encodeName(path).toStdString());
            // "Album/" names the folder "Album".
            while (!start.has_filename() && start.has_parent_path() && start.parent_path() != start)
                start = start.parent_path();
            if (m_kind == Kind::Games || m_kind == Kind::Programs)
                readWhole(start);
            else
                walk(start);
        }
        if (m_kind == Kind::Music) {
            MusicRows rows = groupTracks(m_tracks);
            m_reading.albums = std::move(rows.albums);
            m_reading.compilationTracks = std::move(rows.compilationTracks);
        }
        m_reading.cancelled = cancelled();
        return std::move(m_reading);
    }

private:
    bool cancelled() const { return m_control.cancel && m_control.cancel->load(); }

    void tell(const fs::path& path)
    {
        if (m_control.progress)
            m_control.progress(Progress{m_filesRead, displayPath(path)});
        ++m_filesRead;
    }

    void unread(const fs::path& path, const QString& reason)
    {
        m_reading.unread.append(UnreadFile{displayPath(path), reason});
    }

    void walk(const fs::path& start)
    {
        FolderWalk walk(
            [this](const fs::path& folder) {
                if (m_kind != Kind::DvdFilms || !isDvdFolder(folder))
                    return FolderWalk::Step::Enter;
                tell(folder);
                readDvd(folder);
                return FolderWalk::Step::Skip;
            },
            [this, &start](const fs::path& file) { readFile(file, file == start); },
            [this](const fs::path& path, const QString& reason) { unread(path, reason); }, m_control.cancel);
        walk.walk(start);
    }

    void readFile(const fs::path& file, bool given)
    {
        const bool wanted = m_kind == Kind::Music ? isMusicFile(file) : isVideoFile(file);
        if (!wanted) {
            // Covers, playlists and notes lie beside the media; only a file the user named is worth a word.
            if (given)
                unread(file, m_kind == Kind::Music ? QStringLiteral("Nem zenefájl.") : QStringLiteral("Nem filmfájl."));
            return;
        }
        tell(file);
        if (m_kind == Kind::Music) {
            MusicFileReading reading = readMusicFile(file);
            if (reading.tags)
                m_tracks.append(std::move(*reading.tags));
            else
                unread(file, reading.problem);
            return;
        }
        const VideoFileReading reading = readVideoFile(file, m_control.cancel);
        if (!reading.facts) {
            if (!reading.problem.isEmpty())
                unread(file, reading.problem);
            return;
        }
        if (m_kind == Kind::Films)
            m_reading.films.append(filmRow(*reading.facts));
        else
            m_reading.dvdFilms.append(dvdFilmRow(*reading.facts, withoutExtension(reading.facts->fileName)));
    }

    void readDvd(const fs::path& folder)
    {
        const VideoFileReading reading = readDvdFolder(folder, m_control.cancel);
        if (reading.facts)
            m_reading.dvdFilms.append(dvdFilmRow(*reading.facts, dvdTitle(folder)));
        else if (!reading.problem.isEmpty())
            unread(folder, reading.problem);
    }

    // A game or a program: the folder (or file) named, with the size of all it holds.
    void readWhole(const fs::path& start)
    {
        tell(start);
        struct stat status = {};
        if (::stat(start.c_str(), &status) != 0) {
            unread(start, systemProblem(errno));
            return;
        }
        qint64 total = 0;
        QString name = displayName(start);
        if (S_ISDIR(status.st_mode)) {
            FolderWalk walk([](const fs::path&) { return FolderWalk::Step::Enter; },
                            [&total](const fs::path& file) {
                                struct stat fileStatus = {};
                                if (::stat(file.c_str(), &fileStatus) == 0)
                                    total += fileStatus.st_size;
                            },
                            [this](const fs::path& path, const QString& reason) { unread(path, reason); },
                            m_control.cancel);
            if (!walk.walk(start))
                return;
        } else {
            total = status.st_size;
            name = withoutExtension(name);
        }
        if (m_kind == Kind::Games)
            m_reading.games.append(Game{name, QString(), sizeText(total), QString(), displayPath(start)});
        else
            m_reading.programs.append(Program{name, QString(), sizeText(total), QString(), displayPath(start)});
    }

    Kind m_kind;
    const Control& m_control;
    Reading m_reading;
    QList<TrackTags> m_tracks;
    int m_filesRead = 0;
};

} // namespace

Reading readMedia(const QStringList& paths, Kind kind, const Control& control)
{
    return Reader(kind, control).read(paths);
}

} // namespace media
