// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "catalogue_tool/commands.h"
#include "engine/upkeep.h"

#include <QMap>
#include <limits>
#include <QSet>
#include <optional>
#include <vector>

namespace catalogue_tool {

// An option that takes a value: "--rows N", "--rows=N".
struct ValueOption
{
    QString name;      // "--rows"
    QString valueName; // "N", as the usage line writes it
    bool wholeNumber = false;
    qint64 least = 0; // for a whole number: the smallest and the largest accepted
    qint64 most = std::numeric_limits<qint64>::max();
};

// What a subcommand accepts, and what its --help says.
struct Syntax
{
    QString usage; // "mediatar-catalogue NAME ARGS"
    QString description;
    int positionalCount = 0;
    QStringList flags;
    std::vector<ValueOption> values = {};
    QStringList required = {}; // value options that must be given
    bool firstRepeats = false; // the first positional argument may be given several times ("PATH...")
};

// A subcommand's arguments: the positional ones in order, the flags that were given and the values.
struct Arguments
{
    QStringList positional;
    QSet<QString> flags;
    QMap<QString, QString> values;
    bool has(const QString& flag) const { return flags.contains(flag) || values.contains(flag); }
    QString value(const QString& option, const QString& otherwise = QString()) const
    {
        return values.value(option, otherwise);
    }
};

// Splits args by the syntax; every subcommand goes through this one parser. Gives nothing, and sets exitCode,
// when the command is to end here: after printing the help for --help (0), or an error that names what is
// wrong, with the usage line, to err (2).
std::optional<Arguments> parseArguments(const QStringList& args, const Syntax& syntax, Streams streams, int& exitCode);

// The command's name as its usage line gives it: "import" for "mediatar-catalogue import LEGACY OUT".
QString commandName(const Syntax& syntax);

// Refuses OUT before any work as its engine would (throws platform::Failure); of an existing file the user is told
// that --force replaces it.
void checkOutputTarget(engine::Upkeep& target, const engine::WriteOptions& options);

} // namespace catalogue_tool
