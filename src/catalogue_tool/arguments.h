#pragma once

#include "catalogue_tool/commands.h"

#include <QSet>
#include <optional>

namespace catalogue_tool {

// A subcommand's arguments: the positional ones in order and the flags that were given.
struct Arguments
{
    QStringList positional;
    QSet<QString> flags;
    bool has(const QString& flag) const { return flags.contains(flag); }
};

// Splits args into positional arguments and flags. Anything else than the allowed flags, or a count of
// positional arguments other than expected, prints the usage line to err and gives nothing.
std::optional<Arguments> parseArguments(const QStringList& args, const QStringList& allowedFlags, int positionalCount,
                                        const QString& usage, QTextStream& err);

} // namespace catalogue_tool
