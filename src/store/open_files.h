// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Which files a process has open, as the system's own process table tells (the way fuser and lsof find
// out). SQLite's locks cannot tell: a connection in rollback mode that is not reading holds no lock at all.

namespace store {

enum class Whose {
    AnyProcess, // this process counts as well
    OtherProcessesOnly,
};

// Whether a process that this user may look at has the file at path open. False for a file that does not exist.
bool isOpenElsewhere(const QString& path, Whose whose);

} // namespace store
