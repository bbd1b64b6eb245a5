// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <filesystem>

// File names for the user's eyes. A name on disk is bytes; one that is not UTF-8 most likely came from a
// Windows disc in code page 1250, and is read so rather than shown with replacement marks.

namespace media {

QString displayName(const std::filesystem::path& path); // the last part
QString displayPath(const std::filesystem::path& path); // the whole path
// The extension in lower case, without its dot.
QString extensionOf(const std::filesystem::path& path);
// The reason of a failed system call, for the user.
QString systemProblem(int error);

} // namespace media
