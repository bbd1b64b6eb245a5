// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/album_match.h"

#include "hungarian/hungarian.h"

namespace media {

namespace {

int characters(const QString& text)
{
    int count = 0;
    for (const QChar ch : text)
        count += ch.isLowSurrogate() ? 0 : 1;
    return count;
}

} // namespace

QString matchKey(const QString& text)
{
    // The search's case-blind LIKE folds each character alone; a text folded to all its characters is what
    // a pattern of the whole text, without wildcards, would match.
    return hungarian::foldedPrefix(text, characters(text)).value_or(text);
}

bool sameAlbum(const QString& artist, const QString& album, const QString& otherArtist, const QString& otherAlbum)
{
    return matchKey(artist) == matchKey(otherArtist) && matchKey(album) == matchKey(otherAlbum);
}

bool sameTrack(const QString& title, const QString& length, const QString& otherTitle, const QString& otherLength)
{
    return length == otherLength && matchKey(title) == matchKey(otherTitle);
}

} // namespace media
