// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/media_rows.h"

#include <QList>
#include <QString>

// What a video file or a DVD's title set says about itself, and the catalogue rows made of it.

namespace media {

struct AudioStream
{
    QString format;  // as MediaInfo names it: "AC-3", "DTS", "MPEG Audio", "AAC"
    QString profile; // "Layer 3" for MP3
    int channels = 0;
    QString language; // ISO 639 code as the container gives it: "hu", "hun", "en-US"; empty when none
};

struct VideoFacts
{
    QString title;    // the container's title, when it has one
    QString fileName; // the file's name, with its extension
    QString source;
    qint64 sizeBytes = 0;
    qint64 lengthMs = 0;
    int width = 0;
    int height = 0;
    QString videoFormat;  // "AVC", "HEVC", "MPEG Video", "MPEG-4 Visual"
    QString videoVersion; // "Version 2" for MPEG-2
    QString videoCodecId; // "XVID", "DX50"
    QList<AudioStream> audio;
    QStringList subtitleLanguages;
};

// A language in the catalogue's words ("magyar", "angol"); "egyéb" for one not in the list, empty for none.
QString languageName(const QString& code);
// The video codec as collectors name it: "H.264", "H.265", "MPEG-2", "Xvid".
QString videoCodecName(const VideoFacts& facts);
// The audio codec as collectors name it: "AC3", "DTS", "MP3", "AAC".
QString audioCodecName(const AudioStream& stream);
// A sound track in the form of the entry dialog's sound-track list: "AC3/6 HU", "MPEG/2".
QString soundTrackItem(const AudioStream& stream);

Film filmRow(const VideoFacts& facts);
// A DVD film of its main title; title gives the film's name (the disc's folder, or the file's name).
DvdFilm dvdFilmRow(const VideoFacts& mainTitle, const QString& title);

} // namespace media
