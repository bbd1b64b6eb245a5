// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// What a file given as a catalogue is, judged by its first bytes, before any engine or reader opens it.

namespace platform {

enum class FileKind {
    Unreadable, // missing, a folder, or no permission to read it
    Jet,        // a Jet 3 or Jet 4 database: a catalogue of the older format
    SQLite,     // a catalogue of this program (or another SQLite database)
    Other,
};

FileKind fileKind(const QString& path);

// "PATH: the file cannot be read (REASON)", with the system's own reason ("No such file or directory",
// "Permission denied", "Is a directory").
QString unreadable(const QString& path);

} // namespace platform
