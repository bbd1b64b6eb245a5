// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// Creates the three windows in their order and runs the event loop; returns the exit code.
// catalogue: the one named on the command line (empty when none), opened instead of list.ini's.
int runMediatar(int argc, char* argv[], const QString& catalogue = QString());
