// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>

// The rows that reading the media proposes, one type a catalogue table, each field named after the column it
// fills. Nothing here touches a catalogue: the rows are shown, corrected and recorded elsewhere. `source` is
// the file or folder a row was read from, for the user's eyes only. `KOD` (the medium's code) is left empty;
// the user sets it for all rows at once.

namespace media {

// A track of an album: one row of `szamok`, without the album's key, which is known only once the album is
// recorded.
struct Track
{
    QString CIM;
    QString IDO;
    QString MERET;
    QString BITRATA;
    QString KOD;
    QString source;
};

// An album: its `eloado` row and its tracks in the order of their numbers, then of their file names.
struct Album
{
    QString ELOADO;
    QString ALBUM;
    QList<Track> tracks;
};

// A track of a compilation: one row of `Valogatasok`; `ELOADO` is "artist - title".
struct CompilationTrack
{
    QString ELOADO;
    QString ALBUM;
    QString IDO;
    QString BITRATA;
    QString MERET;
    QString KOD;
    QString source;
};

// A row of `DVD_Filmek`.
struct DvdFilm
{
    QString CIM;
    QString EREDETI_CIM;
    QString Nyelv;
    QString Felirat;
    QString db_DVD;
    QString Hossz;
    QString Stilus;
    QString source;
};

// A row of `Filmek_videoklippek`.
struct Film
{
    QString CIM;
    QString MEGJEGYZES;
    QString Nyelv;
    QString Felbontas;
    QString MERET;
    QString Hossz;
    QString Stilus;
    QString Video;
    QString Hang;
    QString source;
};

// A row of `games`.
struct Game
{
    QString NEV;
    QString Megjegyzes;
    QString MERET;
    QString KOD;
    QString source;
};

// A row of `progs_other`.
struct Program
{
    QString Programok;
    QString Megjegyzes;
    QString MERET;
    QString KOD;
    QString source;
};

// A file or folder that gave no row, and why, in words for the user.
struct UnreadFile
{
    QString path;
    QString reason;
};

} // namespace media
