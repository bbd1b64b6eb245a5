// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/tag_text.h"

#include "localisation/codepage.h"
#include "media/album_match.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>

namespace media {

namespace {

bool isC1Control(char16_t c)
{
    return c >= 0x80 && c <= 0x9F;
}

// The letters of Hungarian that Latin-1 and code page 1250 give alike.
bool isSharedHungarianLetter(char16_t c)
{
    switch (c) {
    case u'á':
    case u'é':
    case u'í':
    case u'ó':
    case u'ö':
    case u'ú':
    case u'ü':
    case u'Á':
    case u'É':
    case u'Í':
    case u'Ó':
    case u'Ö':
    case u'Ú':
    case u'Ü':
        return true;
    default:
        return false;
    }
}

// õ û Õ Û: ő ű Ő Ű of code page 1250 read as Latin-1.
bool isDoubleAcuteInDisguise(char16_t c)
{
    return c == u'õ' || c == u'û' || c == u'Õ' || c == u'Û';
}

bool isWordEnd(const QString& text, qsizetype i)
{
    return i >= text.size() || !text.at(i).isLetter();
}

// "-ões" and "-õe" at a word's end: a Portuguese plural, not a Hungarian word.
bool hasPortuguesePlural(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i).toLower() != u'õ' || text.at(i + 1).toLower() != u'e')
            continue;
        if (isWordEnd(text, i + 2) || (text.at(i + 2).toLower() == u's' && isWordEnd(text, i + 3)))
            return true;
    }
    return false;
}

bool looksLikeCentralEuropean(const QString& text)
{
    bool evidence = false;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80)
            continue;
        if (c > 0xFF)
            return false; // not text read as Latin-1 at all
        if (isDoubleAcuteInDisguise(c) || isC1Control(c))
            evidence = true;
        else if (!isSharedHungarianLetter(c))
            return false;
    }
    return evidence && !hasPortuguesePlural(text);
}

} // namespace

QString readAsWritten(const TagValue& value)
{
    if (!value.latin1 || !looksLikeCentralEuropean(value.text))
        return value.text;
    return localisation::decode1250(value.text.toLatin1());
}

QString cellText(const TagValue& value)
{
    QString text = readAsWritten(value);
    // ID3v1 pads with NULs, and a damaged tag may hold any control character; a cell holds one line.
    for (QChar& ch : text) {
        if (ch.category() == QChar::Other_Control)
            ch = QLatin1Char(' ');
    }
    return text.simplified();
}

QString durationText(qint64 milliseconds)
{
    const qint64 seconds = std::max<qint64>(0, (milliseconds + 500) / 1000);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString sizeText(qint64 bytes)
{
    constexpr qint64 megabyte = 1024 * 1024;
    constexpr qint64 gigabyte = 1024 * megabyte;
    bytes = std::max<qint64>(0, bytes);
    if (bytes * 10 < megabyte)
        return QStringLiteral("%1 kB").arg((bytes + 512) / 1024);
    const qint64 unit = bytes < gigabyte ? megabyte : gigabyte;
    // Tenths, rounded half up, in whole numbers so that 7,95 never shows as "7,10".
    const qint64 tenths = (bytes * 10 + unit / 2) / unit;
    return QStringLiteral("%1,%2 %3")
        .arg(tenths / 10)
        .arg(tenths % 10)
        .arg(unit == megabyte ? QStringLiteral("MB") : QStringLiteral("GB"));
}

QString titleFromFileName(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString name = (dot > 0 ? fileName.left(dot) : fileName).simplified();
    // A number with a separator after it ("1. ", "03 - ", "2-05 ", "07_"), or one of two or three digits
    // followed by a blank; a lone digit and a blank may begin a title ("2 Unlimited").
    static const QRegularExpression trackNumber(
        QStringLiteral("^(?:\\d{1,3}-\\d{1,3}\\s|\\d{1,3}\\s*[-._)]|\\d{2,3}\\s)\\s*"));
    const QString title = name.mid(trackNumber.match(name).capturedLength()).trimmed();
    return title.isEmpty() ? name : title;
}

Track trackRow(const TrackTags& tags)
{
    Track track;
    track.CIM = cellText(tags.title);
    if (track.CIM.isEmpty())
        track.CIM = titleFromFileName(tags.fileName);
    track.IDO = durationText(tags.lengthMs);
    track.MERET = sizeText(tags.sizeBytes);
    track.BITRATA = tags.bitrateKbps > 0 ? QString::number(tags.bitrateKbps) : QString();
    track.source = tags.source;
    return track;
}

namespace {

struct Group
{
    QString albumArtist;
    QString album;
    QList<const TrackTags*> tracks;
};

} // namespace

MusicRows groupTracks(const QList<TrackTags>& tracks)
{
    QList<Group> groups;
    QHash<QString, qsizetype> groupOf;
    for (const TrackTags& tags : tracks) {
        const QString albumArtist = cellText(tags.albumArtist);
        QString album = cellText(tags.album);
        if (album.isEmpty())
            album = tags.folderName;
        // The album artist leads when there is one; otherwise the album's tracks in one folder are one group
        // until their artists are known, and it turns out either an album or a compilation.
        const QString key = albumArtist.isEmpty() ? QChar(1) + matchKey(album) + QChar(0) + tags.folderPath
                                                  : matchKey(albumArtist) + QChar(0) + matchKey(album);
        auto found = groupOf.constFind(key);
        if (found == groupOf.constEnd()) {
            found = groupOf.insert(key, groups.size());
            groups.append(Group{albumArtist, album, {}});
        }
        groups[*found].tracks.append(&tags);
    }

    MusicRows rows;
    // One album read from two folders (CD1, CD2) without an album artist is still one album.
    QHash<QString, qsizetype> albumOf;
    for (Group& group : groups) {
        std::stable_sort(group.tracks.begin(), group.tracks.end(), [](const TrackTags* a, const TrackTags* b) {
            // A track without a number goes after the numbered ones.
            const int aNumber = a->trackNumber > 0 ? a->trackNumber : INT_MAX;
            const int bNumber = b->trackNumber > 0 ? b->trackNumber : INT_MAX;
            if (aNumber != bNumber)
                return aNumber < bNumber;
            return a->fileName < b->fileName;
        });
        QString artist = group.albumArtist;
        bool severalArtists = false;
        if (artist.isEmpty()) {
            artist = cellText(group.tracks.first()->artist);
            const QString first = matchKey(artist);
            for (const TrackTags* tags : std::as_const(group.tracks))
                severalArtists = severalArtists || matchKey(cellText(tags->artist)) != first;
        }
        if (severalArtists) {
            for (const TrackTags* tags : std::as_const(group.tracks)) {
                const Track track = trackRow(*tags);
                const QString trackArtist = cellText(tags->artist);
                CompilationTrack row;
                row.ELOADO = trackArtist.isEmpty() ? track.CIM : trackArtist + QStringLiteral(" - ") + track.CIM;
                row.ALBUM = group.album;
                row.IDO = track.IDO;
                row.BITRATA = track.BITRATA;
                row.MERET = track.MERET;
                row.source = track.source;
                rows.compilationTracks.append(row);
            }
            continue;
        }
        const QString albumKey = matchKey(artist) + QChar(0) + matchKey(group.album);
        auto found = albumOf.constFind(albumKey);
        if (found == albumOf.constEnd()) {
            found = albumOf.insert(albumKey, rows.albums.size());
            rows.albums.append(Album{artist, group.album, {}});
        }
        Album& album = rows.albums[*found];
        for (const TrackTags* tags : std::as_const(group.tracks))
            album.tracks.append(trackRow(*tags));
    }
    return rows;
}

} // namespace media
