// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <map>
#include <string>

namespace bench {

class ProgramWindow;

// How long the real window is held by each way a user moves through a long search list, and by a change of tab:
// the longest single dispatch of its event loop from the gesture until the rows on the screen are filled in, and
// the time from the gesture's end until they are. Runs on any catalogue the window opens (a file, a server's URI).
struct Hold
{
    double heldMs = -1;   // the longest single dispatch
    double filledMs = -1; // from the gesture's end until every row on the screen shows its values
    QString heldBy;       // what that dispatch was
};

// Every gesture measured once on the films tab of program, on a containment search for searched; by gesture name.
std::map<std::string, Hold> measureWindowHolds(ProgramWindow& program, const QString& searched);

} // namespace bench
