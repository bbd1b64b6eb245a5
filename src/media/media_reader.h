// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/media_rows.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

// Reading files and folders into the rows they would add to a catalogue. Files are only ever opened for reading.
// Reading runs on any one thread; the caller may cancel it from another.

namespace media {

// What the files are read as: the kind of the tab they were dropped on.
enum class Kind {
    Music,    // albums and compilations, from audio files in any depth of folders
    Films,    // films and video clips, from video files
    DvdFilms, // DVD films, from VIDEO_TS folders and film files
    Games,    // one game a folder (or file), with its total size
    Programs, // one program a folder (or file), with its total size
};

struct Progress
{
    int filesRead = 0; // media files read so far, the ones that could not be read included
    QString current;   // the file or folder being read
};

struct Control
{
    // Called before each media file and each game or program; from the reading thread.
    std::function<void(const Progress&)> progress;
    // Checked between files, and between the reads of a large file; a cancelled reading returns what it had.
    const std::atomic_bool* cancel = nullptr;
};

struct Reading
{
    QList<Album> albums;
    QList<CompilationTrack> compilationTracks;
    QList<DvdFilm> dvdFilms;
    QList<Film> films;
    QList<Game> games;
    QList<Program> programs;
    QList<UnreadFile> unread;
    bool cancelled = false;
};

// Paths are local file names as Qt gives them (from a drop, a dialog or the command line).
Reading readMedia(const QStringList& paths, Kind kind, const Control& control = {});

} // namespace media
