// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/location.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <cstring>

namespace engine {

bool Location::namesServer(const QString& name)
{
    return name.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

// By hand rather than through QUrl: a libpq URI may name several hosts ("h1:5432,h2:5433"), which QUrl refuses.
QString Location::withoutPassword(const QString& name)
{
    if (!namesServer(name))
        return name;
    const qsizetype start = name.indexOf(QLatin1String("://")) + 3;
    qsizetype end = name.size();
    for (const QChar stop : {QLatin1Char('/'), QLatin1Char('?')}) {
        const qsizetype at = name.indexOf(stop, start);
        if (at >= 0 && at < end)
            end = at;
    }
    QString authority = name.mid(start, end - start);
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const qsizetype colon = authority.left(at).indexOf(QLatin1Char(':'));
        if (colon >= 0)
            authority.remove(colon, at - colon);
    }
    QString rest = name.mid(end);
    // password=... among the parameters, wherever it stands.
    static const QRegularExpression password(QStringLiteral("([?&])password=[^&]*&?"),
                                             QRegularExpression::CaseInsensitiveOption);
    rest.replace(password, QStringLiteral("\\1"));
    if (rest.endsWith(QLatin1Char('&')) || rest.endsWith(QLatin1Char('?')))
        rest.chop(1);
    return name.left(start) + authority + rest;
}

void Location::hidePasswordsFromProcessList(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QString given = QString::fromLocal8Bit(argv[i]);
        if (!namesServer(given))
            continue;
        const QByteArray hidden = withoutPassword(given).toLocal8Bit();
        const std::size_t length = std::strlen(argv[i]);
        if (hidden == QByteArray(argv[i]))
            continue;
        // What /proc shows as the command line is this memory: the shorter text goes over it, and the bytes
        // after it are cleared. A text that would not fit (never, as it only loses characters) clears it all.
        const std::size_t fits = static_cast<std::size_t>(hidden.size());
        const std::size_t kept = fits <= length ? fits : 0;
        std::memcpy(argv[i], hidden.constData(), kept);
        std::memset(argv[i] + kept, 0, length - kept);
    }
}

QString Location::shownName() const
{
    return withoutPassword(m_name);
}

QString Location::readableName() const
{
    const QString shown = shownName();
    if (!namesServer(shown))
        return shown;
    // A URI says an accented or spaced database name in percent-encoded UTF-8; the user reads it decoded. Bytes
    // that are no UTF-8 leave the URI as it was given.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArray::fromPercentEncoding(shown.toUtf8()));
    return utf8.hasError() ? shown : decoded;
}

QString Location::headingName() const
{
    return namesServer(m_name) ? shownName() : QFileInfo(m_name).fileName();
}

QString Location::localFile() const
{
    return namesServer(m_name) ? QString() : m_name;
}

bool Location::mayBeThere() const
{
    return namesServer(m_name) || (!m_name.isEmpty() && QFileInfo(m_name).isFile());
}

} // namespace engine
