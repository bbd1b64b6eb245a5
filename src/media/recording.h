// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/media_reader.h"

#include <QList>
#include <QString>

namespace catalogue {
class QueryChannel;
}

// Recording what the media propose: every row in one write transaction, or none.

namespace media {

// What the catalogue already holds of the albums read, one entry per album in the reading's order.
struct HeldAlbum
{
    qint64 key = -1;        // the album row's key, or -1 when the catalogue does not hold the album
    QList<bool> heldTracks; // per track: the album already holds a track of this title and length
    bool held() const { return key >= 0; }
};

// Looks the albums up as the search compares text (see sameAlbum, sameTrack). Of several album rows that match,
// the oldest is the one its new tracks join.
QList<HeldAlbum> heldAlbums(catalogue::QueryChannel& channel, const QList<Album>& albums);

// For films, DVD films, games and programs: which of the titles (names) the kind's table already holds, compared
// as the search compares text. Such rows are still recorded when the user keeps them: nothing tells two films of
// one title apart.
QList<bool> heldTitles(catalogue::QueryChannel& channel, Kind kind, const QStringList& titles);

// Gives every row the medium's code; the films' tables keep none.
void setMediumCode(Reading& reading, const QString& code);

struct Recorded
{
    int albums = 0;     // album rows written
    int tracks = 0;     // track rows written, also to albums the catalogue held
    int heldTracks = 0; // tracks left out because their album already holds them
    int otherRows = 0;  // compilation tracks, films, DVD films, games and programs
};

// Records the reading's rows in one write transaction: an album the catalogue holds gets only the tracks it does
// not hold yet. Throws platform::Failure, with nothing written, when any statement fails.
Recorded recordReading(catalogue::QueryChannel& channel, const Reading& reading);

} // namespace media
