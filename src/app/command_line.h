// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace app {

// What the command line asks for.
struct CommandLine
{
    // The catalogue to open instead of the one in list.ini, as an absolute path or a server catalogue's URI;
    // empty when none is named.
    QString catalogue;
    // Set when the program only prints (--help, --version, a wrong argument) and ends with this code.
    std::optional<int> exitCode;
    QString output;       // what to print then
    bool toError = false; // on the error stream rather than the standard output
};

// Reads the program's arguments (the first is the program itself). Needs no window system, so --help and
// --version answer on any terminal.
CommandLine readCommandLine(const QStringList& arguments);

} // namespace app
