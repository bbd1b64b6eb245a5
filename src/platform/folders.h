// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Where the program keeps its settings and finds its data, besides its own folder.

namespace platform {

// Whether new files can be made in folder: its permissions and a read-only medium count alike.
bool isWritableFolder(const QString& folder);

// The user's configuration folder of the program, $XDG_CONFIG_HOME/mediatar/ on a Unix desktop, ending in a
// separator. It may not exist yet.
QString userSettingsFolder();

// The data folder of an installed program, <program folder>/../share/mediatar/, ending in a separator.
QString installedDataFolder(const QString& programDir);

} // namespace platform
