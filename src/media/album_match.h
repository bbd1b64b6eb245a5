// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Whether what the media propose is already in the catalogue, compared as the search compares text: without
// regard to case, letter by letter, nothing trimmed.

namespace media {

// The text as the comparison sees it; equal keys are equal texts.
QString matchKey(const QString& text);

// The same album: the same artist and the same title.
bool sameAlbum(const QString& artist, const QString& album, const QString& otherArtist, const QString& otherAlbum);

// The same track of one album: the same title and the same length.
bool sameTrack(const QString& title, const QString& length, const QString& otherTitle, const QString& otherLength);

} // namespace media
