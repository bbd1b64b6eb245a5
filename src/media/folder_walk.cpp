// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/folder_walk.h"

#include "media/file_names.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace media {

FolderWalk::FolderWalk(FolderVisitor onFolder, FileVisitor onFile, ProblemVisitor onProblem,
                       const std::atomic_bool* cancel)
    : m_onFolder(std::move(onFolder)), m_onFile(std::move(onFile)), m_onProblem(std::move(onProblem)), m_cancel(cancel)
{
}

bool FolderWalk::cancelled() const
{
    return m_cancel && m_cancel->load(std::memory_order_relaxed);
}

bool FolderWalk::walk(const std::filesystem::path& start)
{
    visit(start, true);
    return !cancelled();
}

void FolderWalk::visit(const std::filesystem::path& path, bool given)
{
    if (cancelled())
        return;
    struct stat status = {};
    // Links are followed: a disc's or a collection's folders are often links to elsewhere.
    if (::stat(path.c_str(), &status) != 0) {
        m_onProblem(path, systemProblem(errno));
        return;
    }
    if (S_ISREG(status.st_mode)) {
        m_onFile(path);
        return;
    }
    if (!S_ISDIR(status.st_mode)) {
        // Devices, pipes and sockets are no media; one named by the user is told about.
        if (given)
            m_onProblem(path, QStringLiteral("Nem fájl és nem mappa."));
        return;
    }
    const std::pair<dev_t, ino_t> identity{status.st_dev, status.st_ino};
    const auto place = std::lower_bound(m_entered.begin(), m_entered.end(), identity);
    if (place != m_entered.end() && *place == identity)
        return; // reached again through a link
    m_entered.insert(place, identity);
    if (m_onFolder(path) == Step::Enter)
        enter(path);
}

void FolderWalk::enter(const std::filesystem::path& folder)
{
    std::error_code error;
    std::vector<std::filesystem::directory_entry> entries;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(*it);
        if (cancelled())
            return;
    }
    if (error) {
        m_onProblem(folder, error.value() == EACCES ? QStringLiteral("A mappa nem nyitható meg: nincs jogosultság.")
                                                    : systemProblem(error.value()));
        if (entries.empty())
            return;
    }
    std::sort(entries.begin(), entries.end());
    for (const std::filesystem::directory_entry& entry : entries) {
        if (cancelled())
            return;
        // A plain file is known as one from the folder's listing: no further system call is spent on it.
        std::error_code typeError;
        if (!entry.is_symlink(typeError) && entry.is_regular_file(typeError))
            m_onFile(entry.path());
        else
            visit(entry.path(), false);
    }
}

} // namespace media
