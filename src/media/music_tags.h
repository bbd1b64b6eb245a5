// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/tag_text.h"

// What the music module (TagLib, loaded on first use) tells of one file: the one function it exports, and the
// plain facts it gives. The module is built from tag_module/ with this header and Qt only, so that the program
// links no TagLib; it is installed beside the program's libraries and loaded by music_file.cpp.

namespace media {

struct MusicTagFacts
{
    enum class Outcome {
        Read,       // tags holds what the file says (its names are left to the caller)
        CannotOpen, // the file could not be opened for reading: error is the errno
        Empty,      // the file holds no byte
        NotMusic,   // no audio format TagLib knows
        NoSound,    // a known format, but no sound can be read (damaged or cut short)
        Failed,     // TagLib failed in a way of its own: failure says how
    };
    Outcome outcome = Outcome::Failed;
    int error = 0;
    TrackTags tags;
    QString failure;
};

// Reads the file at path (a local file name in the system's encoding) into facts. Never throws.
using ReadMusicTags = void (*)(const char* path, MusicTagFacts* facts);

// The module's file name, and the name its function is exported under. The number changes with MusicTagFacts,
// so that a module of another layout is refused rather than misread.
inline constexpr char musicModuleFile[] = "mediatar-taglib.so";
inline constexpr char readMusicTagsSymbol[] = "mediatar_read_music_tags_1";

} // namespace media
