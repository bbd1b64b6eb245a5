// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <map>
#include <string>

// What the server benchmark keeps of a run: its figures by name, the summary against the targets, and the memory
// of the process measured.

namespace bench {

// Figures kept for the summary against the targets.
std::map<std::string, double>& serverFigures();
// Prints the figures against the targets; gives the number of targets missed. programMissing: why the program
// was not run, or empty.
int printServerSummary(const QString& programMissing);

// A field of /proc/self/status in bytes ("VmRSS:", "VmHWM:"); -1 when it cannot be read.
qint64 statusBytes(const char* field);
// Sets the peak resident size back to the current one, so that the peak read later is the workload's own.
bool resetPeak();

// The statements of the program's probe workload through the bare client library, on the catalogue at uri.
void bareServerWorkload(const QString& uri);

} // namespace bench
