// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/music_file.h"

#include "media/file_names.h"
#include "media/music_tags.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QSet>
#include <mutex>

namespace media {

namespace {

// The music module, loaded at the first music file: a user who never reads one maps no TagLib.
struct MusicModule
{
    std::mutex mutex;
    bool tried = false;
    QStringList folders; // where to look; empty: the program's own places
    ReadMusicTags read = nullptr;
    QString failure; // why it could not be loaded
};

MusicModule& module()
{
    static MusicModule loaded;
    return loaded;
}

// Beside the executable (the build tree, a copy run from its own folder), then the installed library folder.
QStringList programFolders()
{
    const QString executable = QCoreApplication::instance()
                                   ? QCoreApplication::applicationDirPath()
                                   : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return {executable, QDir::cleanPath(executable + QLatin1Char('/') + QStringLiteral(MEDIATAR_MODULE_FOLDER))};
}

// The reader, or why there is none; loaded once, from any thread.
ReadMusicTags reader(QString& failure)
{
    MusicModule& music = module();
    const std::lock_guard<std::mutex> lock(music.mutex);
    if (!music.tried) {
        music.tried = true;
        const QStringList folders = music.folders.isEmpty() ? programFolders() : music.folders;
        QString found;
        for (const QString& folder : folders) {
            const QString path = folder + QLatin1Char('/') + QLatin1String(musicModuleFile);
            if (QFileInfo::exists(path)) {
                found = path;
                break;
            }
        }
        if (found.isEmpty()) {
            music.failure = QStringLiteral("nem található itt: %1").arg(folders.join(QStringLiteral(", ")));
        } else {
            // Never unloaded: the reader is used for the life of the process.
            auto* library = new QLibrary(found);
            music.read = reinterpret_cast<ReadMusicTags>(library->resolve(readMusicTagsSymbol));
            if (!music.read) {
                music.failure = library->errorString();
                delete library;
            }
        }
    }
    failure = music.failure;
    return music.read;
}

} // namespace

void setMusicModuleFolders(const QStringList& folders)
{
    MusicModule& music = module();
    const std::lock_guard<std::mutex> lock(music.mutex);
    music.folders = folders;
    music.tried = false;
    music.read = nullptr;
    music.failure.clear();
}

bool isMusicFile(const std::filesystem::path& path)
{
    static const QSet<QString> extensions = {
        QStringLiteral("mp3"), QStringLiteral("mp2"),  QStringLiteral("flac"), QStringLiteral("ogg"),
        QStringLiteral("oga"), QStringLiteral("opus"), QStringLiteral("m4a"),  QStringLiteral("m4b"),
        QStringLiteral("aac"), QStringLiteral("wma"),  QStringLiteral("wav"),  QStringLiteral("ape"),
        QStringLiteral("mpc"), QStringLiteral("wv"),   QStringLiteral("aif"),  QStringLiteral("aiff")};
    return extensions.contains(extensionOf(path));
}

MusicFileReading readMusicFile(const std::filesystem::path& path)
{
    MusicFileReading reading;
    QString failure;
    const ReadMusicTags read = reader(failure);
    if (!read) {
        reading.problem = QStringLiteral("A program zenefájl-olvasója (%1) nem tölthető be, ezért a zenefájlok "
                                         "nem olvashatók; telepítsd újra a programot. (%2)")
                              .arg(QLatin1String(musicModuleFile), failure);
        return reading;
    }
    MusicTagFacts facts;
    read(path.c_str(), &facts);
    using Outcome = MusicTagFacts::Outcome;
    switch (facts.outcome) {
    case Outcome::Read:
        break;
    case Outcome::CannotOpen:
        reading.problem = systemProblem(facts.error);
        return reading;
    case Outcome::Empty:
        reading.problem = QStringLiteral("A fájl üres.");
        return reading;
    case Outcome::NotMusic:
        reading.problem = QStringLiteral("Nem zenefájl, vagy sérült: a formátuma nem ismerhető fel.");
        return reading;
    case Outcome::NoSound:
        reading.problem = QStringLiteral("Nem található benne olvasható hang (sérült vagy csonka fájl).");
        return reading;
    case Outcome::Failed:
        reading.problem = QStringLiteral("A fájl nem olvasható: %1").arg(facts.failure);
        return reading;
    }
    TrackTags& tags = facts.tags;
    tags.fileName = displayName(path);
    tags.folderName = displayName(path.parent_path());
    tags.folderPath = displayPath(path.parent_path());
    tags.source = displayPath(path);
    reading.tags = tags;
    return reading;
}

} // namespace media
