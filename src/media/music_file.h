// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/tag_text.h"

#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>

// Reading one music file's tags and stream with TagLib, opened read-only. TagLib is reached through a module
// loaded at the first file read (media/music_tags.h).

namespace media {

// Whether a file's extension is one of the audio formats read.
bool isMusicFile(const std::filesystem::path& path);

// What the file says, or why it could not be read (in the user's words).
struct MusicFileReading
{
    std::optional<TrackTags> tags;
    QString problem;
};
MusicFileReading readMusicFile(const std::filesystem::path& path);

// Where the music module is looked for from the next file on; empty: beside the executable, then in the
// installed library folder. A machine where it is missing is tried so.
void setMusicModuleFolders(const QStringList& folders);

} // namespace media
