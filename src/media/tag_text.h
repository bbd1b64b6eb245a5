// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/media_rows.h"

#include <QList>
#include <QString>

// Turning what a music file's tags and stream say into catalogue rows. Pure text work: the libraries that read
// the files are elsewhere, so that this part can be tried on any input.

namespace media {

// A tag value as the tag library gave it. `latin1` says that the tag stored it as 8-bit text read as Latin-1
// (ID3v1, and the ID3v2 frames written in ISO-8859-1), where text of code page 1250 may hide.
struct TagValue
{
    QString text;
    bool latin1 = false;
};

// What one music file says about itself.
struct TrackTags
{
    TagValue title;
    TagValue artist;
    TagValue albumArtist;
    TagValue album;
    int trackNumber = 0;
    qint64 lengthMs = 0;
    int bitrateKbps = 0;
    qint64 sizeBytes = 0;
    QString fileName;   // the file's name, with its extension
    QString folderName; // the name of the folder it lies in
    QString folderPath; // the whole path of that folder
    QString source;
};

// Latin-1 text that is really code page 1250 read as Latin-1, turned into what its writer meant; other text as
// it stands. Hungarian shares á é í ó ö ú ü with Latin-1 at the same codes; only ő ű Ő Ű differ, and they read as
// õ û Õ Û. So the text is read again as code page 1250 only when
//  - it holds one of õ û Õ Û, or a C1 control character (0x80-0x9F, never meant as text in Latin-1, but
//    the quotes and dashes of code page 1250), and
//  - every other character above 0x7F is one that both code pages give alike as a Hungarian letter, or a
//    C1 control, so a French, German, Spanish, Scandinavian or Estonian text with its own letters (ç, ä, ñ, ø)
//    is left alone, and
//  - no õ stands before "e" or "es" at a word's end, the Portuguese plural ("emoções", "ilusões"), which
//    Hungarian writes only in rare compounds.
// A wrong guess can still be mended by hand before anything is recorded.
QString readAsWritten(const TagValue& value);

// A tag value ready for a catalogue cell: read as written, control characters and padding dropped.
QString cellText(const TagValue& value);

// hh:mm:ss of a length in milliseconds, rounded to the nearest second; "00:00:00" for none.
QString durationText(qint64 milliseconds);

// A size in the form the catalogue's rows use: "7,4 MB" (binary megabytes, one decimal, decimal comma),
// "4,3 GB" from a gigabyte up, and "12 kB" under a tenth of a megabyte.
QString sizeText(qint64 bytes);

// A track's title from its file name: the extension and a leading track number ("01 ", "03 - ", "1. ",
// "2-05 ") dropped; the whole name when nothing else would be left.
QString titleFromFileName(const QString& fileName);

// The track row of one file.
Track trackRow(const TrackTags& tags);

struct MusicRows
{
    QList<Album> albums;
    QList<CompilationTrack> compilationTracks;
};

// Groups tracks into albums by album artist (else artist) and album, both compared as the search compares
// text; a track without an album tag belongs to the album named after its folder. The tracks of one folder
// with one album title and no album artist but several artists are a compilation: one row a track. (Within a
// folder only, so that two artists' albums of one title, "Greatest Hits", stay two albums.) Albums keep the
// order in which their first track came; tracks go in the order of their numbers, then of their file names.
MusicRows groupTracks(const QList<TrackTags>& tracks);

} // namespace media
