// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/open_files.h"

#include <QFile>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

namespace {

bool isNumber(const char* name)
{
    if (!*name)
        return false;
    for (; *name; ++name)
        if (*name < '0' || *name > '9')
            return false;
    return true;
}

// Whether one of the process's open files is the file (device and inode) of target.
bool holds(const std::string& process, const struct stat& target)
{
    const std::string fdFolder = "/proc/" + process + "/fd";
    DIR* fds = ::opendir(fdFolder.c_str());
    if (!fds)
        return false; // gone meanwhile, or another user's
    bool found = false;
    while (const dirent* fd = ::readdir(fds)) {
        if (!isNumber(fd->d_name))
            continue;
        struct stat opened;
        if (::stat((fdFolder + '/' + fd->d_name).c_str(), &opened) == 0 && opened.st_dev == target.st_dev &&
            opened.st_ino == target.st_ino) {
            found = true;
            break;
        }
    }
    ::closedir(fds);
    return found;
}

} // namespace

bool isOpenElsewhere(const QString& path, Whose whose)
{
    struct stat target;
    if (::stat(QFile::encodeName(path).constData(), &target) != 0)
        return false;
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return false;
    const std::string self = std::to_string(::getpid());
    bool found = false;
    while (const dirent* process = ::readdir(processes)) {
        if (!isNumber(process->d_name) || (whose == Whose::OtherProcessesOnly && self == process->d_name))
            continue;
        if (holds(process->d_name, target)) {
            found = true;
            break;
        }
    }
    ::closedir(processes);
    return found;
}

} // namespace store
