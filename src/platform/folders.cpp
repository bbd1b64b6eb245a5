// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/folders.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>
#include <unistd.h>

namespace platform {

bool isWritableFolder(const QString& folder)
{
    // access() answers for the medium too (EROFS), which the permission bits alone do not tell.
    return !folder.isEmpty() && QFileInfo(folder).isDir() && ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

QString userSettingsFolder()
{
    // This is AppConfigLocation for the application name "mediatar" and no organisation. The application's
    // own name is the accented one the boxes show, so the folder is named here rather than taken from it.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir::cleanPath(base + QStringLiteral("/mediatar")) + QLatin1Char('/');
}

QString installedDataFolder(const QString& programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/../share/mediatar")) + QLatin1Char('/');
}

} // namespace platform
