#pragma once

#include "catalogue_tool/commands.h"

#include <QSet>
#include <optional>

namespace catalogue_tool {

// What a subcommand accepts, and what its --help says.
struct Syntax
{
    QString usage; // "mediatar-catalogue NAME ARGS"
    QString description;
    int positionalCount = 0;
    QStringList flags;
};

// A subcommand's arguments: the positional ones in order and the flags that were given.
struct Arguments
{
    QStringList positional;
    QSet<QString> flags;
    bool has(const QString& flag) const { return flags.contains(flag); }
};

// Splits args by the syntax. Gives nothing, and sets exitCode, when the command is to end here: after
// printing the help for --help (0), or the usage line to err for unknown flags or a wrong count of
// positional arguments (2).
std::optional<Arguments> parseArguments(const QStringList& args, const Syntax& syntax, Streams streams, int& exitCode);

} // namespace catalogue_tool
