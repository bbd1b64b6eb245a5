// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/new_catalogue_file.h"

#include "platform/failure.h"
#include "store/catalogue_hold.h"
#include "store/open_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace store {

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

// The temporary files of every purpose, with the engine's side files after them. Names of an earlier version
// (".lista.tnx.import-k3x9q1") are known too.
const QRegularExpression& temporaryName()
{
    static const QRegularExpression name(
        QStringLiteral("^\\..+\\.(mediatar-[a-z]+|import)-[0-9a-z]+(-journal|-wal|-shm)?$"));
    return name;
}

// Whether nothing is writing the file: no process has it open, and nobody holds the lock that every run keeps on
// its temporary file until it ends.
bool isAbandoned(const QString& path)
{
    if (isOpenElsewhere(path, Whose::AnyProcess))
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

void removeAbandonedTemporaries(const QString& folder)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries)
        if (!entry.isSymLink() && temporaryName().match(entry.fileName()).hasMatch() && isAbandoned(entry.filePath()))
            QFile::remove(entry.filePath());
}

} // namespace

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
        throw platform::Failure(QStringLiteral("%1: the file already exists").arg(target));
    // Told before the long work, and made sure of (with the file held) before the rename.
    if (isOpenElsewhere(target, Whose::AnyProcess))
        throw platform::Failure(catalogueInUse(target));
}

NewCatalogueFile::NewCatalogueFile(const QString& target, const QString& purpose) : m_target(target)
{
    const QFileInfo info(target);
    removeAbandonedTemporaries(info.absolutePath());
    for (;;) {
        m_path = QStringLiteral("%1/.%2.mediatar-%3-%4")
                     .arg(info.absolutePath(), info.fileName(), purpose,
                          QString::number(QRandomGenerator::global()->generate(), 36));
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd >= 0)
            break;
        if (errno != EEXIST)
            throw platform::Failure(systemError(m_path));
    }
    ::flock(m_fd, LOCK_EX | LOCK_NB);
}

NewCatalogueFile::~NewCatalogueFile()
{
    if (!m_committed) {
        QFile::remove(m_path);
        for (const char* suffix : sideFileSuffixes)
            QFile::remove(m_path + QLatin1String(suffix));
    }
    // Closed last: closing a descriptor of a file drops every lock this process holds on it, the engine's own
    // included, so it stays open until the engine is done with the file.
    ::close(m_fd);
}

void NewCatalogueFile::commit()
{
    syncPath(m_path, O_RDONLY);
    std::unique_ptr<CatalogueHold> replaced;
    if (QFileInfo::exists(m_target)) {
        replaced = std::make_unique<CatalogueHold>(m_target);
        replaced->checkNobodyElse();
    }
    // A journal the replaced file left would be replayed into the new one.
    for (const char* suffix : sideFileSuffixes)
        QFile::remove(m_target + QLatin1String(suffix));
    if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw platform::Failure(systemError(m_target));
    m_committed = true;
    replaced.reset();
    syncPath(QFileInfo(m_target).absolutePath(), O_RDONLY | O_DIRECTORY);
}

} // namespace store
