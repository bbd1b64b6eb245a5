// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <atomic>
#include <filesystem>
#include <functional>
#include <sys/types.h>

// A walk through folders that ends: every folder is entered once however many links lead to it, so a link
// that points back up is harmless, and folders that cannot be opened are reported and passed over. The
// entries of a folder go in the order of their names, so that a disc reads the same every time.

namespace media {

class FolderWalk
{
public:
    enum class Step {
        Enter, // go into the folder
        Skip,  // the folder was dealt with as a whole
    };
    using FolderVisitor = std::function<Step(const std::filesystem::path&)>;
    using FileVisitor = std::function<void(const std::filesystem::path&)>;
    using ProblemVisitor = std::function<void(const std::filesystem::path&, const QString& reason)>;

    FolderWalk(FolderVisitor onFolder, FileVisitor onFile, ProblemVisitor onProblem, const std::atomic_bool* cancel);

    // Walks a file or a folder; false when it was cancelled.
    bool walk(const std::filesystem::path& start);

private:
    bool cancelled() const;
    void visit(const std::filesystem::path& path, bool given);
    void enter(const std::filesystem::path& folder);

    FolderVisitor m_onFolder;
    FileVisitor m_onFile;
    ProblemVisitor m_onProblem;
    const std::atomic_bool* m_cancel;
    std::vector<std::pair<dev_t, ino_t>> m_entered; // sorted, for the loop check
};

} // namespace media
