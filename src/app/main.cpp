// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/application.h"
#include "app/command_line.h"
#include "engine/location.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    // The arguments are read before any window system is asked for, so --help and --version work anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const app::CommandLine line = app::readCommandLine(arguments);
    // The catalogue's URI keeps its password in line; the process list shows it without.
    engine::Location::hidePasswordsFromProcessList(argc, argv);
    if (line.exitCode) {
        std::fputs(line.output.toLocal8Bit().constData(), line.toError ? stderr : stdout);
        return *line.exitCode;
    }
    return runMediatar(argc, argv, line.catalogue);
}
