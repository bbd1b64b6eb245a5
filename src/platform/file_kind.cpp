// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/file_kind.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char jetSignature[] = "Standard Jet DB"; // at offset 4, after 00 01 00 00
constexpr char sqliteSignature[] = "SQLite format 3";

} // namespace

FileKind fileKind(const QString& path)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return FileKind::Unreadable;
    const QByteArray head = file.read(32);
    if (head.size() >= 20 && head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) &&
        head.mid(4, sizeof jetSignature) == QByteArray(jetSignature, sizeof jetSignature))
        return FileKind::Jet;
    if (head.startsWith(QByteArray(sqliteSignature, sizeof sqliteSignature)))
        return FileKind::SQLite;
    return FileKind::Other;
}

QString unreadable(const QString& path)
{
    int error = 0;
    if (QFileInfo(path).isDir()) {
        error = EISDIR;
    } else {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        error = fd < 0 ? errno : EIO;
        if (fd >= 0)
            ::close(fd);
    }
    return QStringLiteral("%1: the file cannot be read (%2)").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace platform
