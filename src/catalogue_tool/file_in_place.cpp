#include "catalogue_tool/file_in_place.h"

#include "platform/failure.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace catalogue_tool {

namespace {

const char* const sideFileSuffixes[] = {"-journal", "-wal", "-shm"};

QString systemError(const QString& path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

void syncPath(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0 || ::fsync(fd) != 0) {
        const QString text = systemError(path);
        if (fd >= 0)
            ::close(fd);
        throw platform::Failure(text);
    }
    ::close(fd);
}

} // namespace

FileInPlace::FileInPlace(const QString& target, const QString& purpose) : m_target(target)
{
    const QFileInfo info(target);
    do {
        m_path = QStringLiteral("%1/.%2.%3-%4")
                     .arg(info.absolutePath(), info.fileName(), purpose,
                          QString::number(QRandomGenerator::global()->generate(), 36));
    } while (QFileInfo::exists(m_path));
}

FileInPlace::~FileInPlace()
{
    if (m_committed)
        return;
    QFile::remove(m_path);
    for (const char* suffix : sideFileSuffixes)
        QFile::remove(m_path + QLatin1String(suffix));
}

void FileInPlace::commit()
{
    syncPath(m_path, O_RDONLY);
    // A journal the replaced file left would be replayed into the new one.
    for (const char* suffix : sideFileSuffixes)
        QFile::remove(m_target + QLatin1String(suffix));
    if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw platform::Failure(systemError(m_target));
    m_committed = true;
    syncPath(QFileInfo(m_target).absolutePath(), O_RDONLY | O_DIRECTORY);
}

void checkNewTarget(const QString& target, bool replaceExisting, const QString& source)
{
    const QFileInfo info(target);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        throw platform::Failure(QStringLiteral("%1: the folder does not exist").arg(info.absolutePath()));
    // Said plainly here; the engine would only name the temporary file it cannot create.
    if (!folder.isWritable())
        throw platform::Failure(
            QStringLiteral("%1: no new file can be written in this folder").arg(info.absolutePath()));
    if (!info.exists() && !info.isSymLink())
        return;
    if (info.isDir())
        throw platform::Failure(QStringLiteral("%1: is a folder").arg(target));
    if (!source.isEmpty() && info.canonicalFilePath() == QFileInfo(source).canonicalFilePath())
        throw platform::Failure(QStringLiteral("%1: the new file cannot replace the file it is made from").arg(target));
    if (!replaceExisting)
        throw platform::Failure(QStringLiteral("%1: the file already exists (--force replaces it)").arg(target));
}

} // namespace catalogue_tool
