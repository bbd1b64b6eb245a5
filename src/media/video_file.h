// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "media/video_facts.h"

#include <atomic>
#include <filesystem>
#include <optional>

// Reading a video file or a DVD's title set with MediaInfo, from a file opened read-only.

namespace media {

// Whether a file's extension is one of the film formats read (not the parts of a DVD).
bool isVideoFile(const std::filesystem::path& path);

struct VideoFileReading
{
    std::optional<VideoFacts> facts;
    QString problem;
};
// Gives no facts and no problem when cancel is set.
VideoFileReading readVideoFile(const std::filesystem::path& path, const std::atomic_bool* cancel = nullptr);

// A VIDEO_TS folder: the facts of its main title (the longest title set), or why there are none.
VideoFileReading readDvdFolder(const std::filesystem::path& folder, const std::atomic_bool* cancel = nullptr);

} // namespace media
