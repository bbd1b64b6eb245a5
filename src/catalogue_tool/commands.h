// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>
#include <QTextStream>

// The subcommands of mediatar-catalogue. Each takes its arguments (after the subcommand's name), writes
// its report to out and its errors to err, and returns the process exit code.

namespace catalogue_tool {

struct Streams
{
    QTextStream& out;
    QTextStream& err;
};

int createCommand(const QStringList& args, Streams streams);
int importCommand(const QStringList& args, Streams streams);
int exportCommand(const QStringList& args, Streams streams);
int checkCommand(const QStringList& args, Streams streams);
int generateCommand(const QStringList& args, Streams streams);
int importCsvCommand(const QStringList& args, Streams streams);
int backupCommand(const QStringList& args, Streams streams);
int copyCommand(const QStringList& args, Streams streams);
int scanCommand(const QStringList& args, Streams streams);

// Runs the tool on the whole command line (args[0] is the subcommand).
int run(const QStringList& args, Streams streams);

} // namespace catalogue_tool
