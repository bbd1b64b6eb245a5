// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/file_names.h"

#include "localisation/codepage.h"

#include <QStringDecoder>
#include <cerrno>
#include <cstring>

namespace media {

namespace {

QString decodeName(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError())
        return text;
    return localisation::decode1250(QByteArray::fromStdString(bytes));
}

} // namespace

QString displayName(const std::filesystem::path& path)
{
    return decodeName(path.filename().native());
}

QString displayPath(const std::filesystem::path& path)
{
    return decodeName(path.native());
}

QString extensionOf(const std::filesystem::path& path)
{
    const std::string extension = path.extension().native();
    return extension.empty() ? QString() : QString::fromLatin1(extension.data() + 1).toLower();
}

QString systemProblem(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Nincs jogosultság az olvasásához.");
    case ENOENT:
        return QStringLiteral("Nem található (törölték, vagy egy hivatkozás célja hiányzik).");
    case ELOOP:
        return QStringLiteral("Önmagára mutató hivatkozás.");
    case EIO:
        return QStringLiteral("Olvasási hiba (sérült adathordozó?).");
    default:
        return QStringLiteral("Nem olvasható (%1).").arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

} // namespace media
