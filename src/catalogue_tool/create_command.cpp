// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"

#include "catalogue/engines.h"
#include "platform/failure.h"

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue create FILE|URI [--seed SQL]"),
    QStringLiteral("Writes a new catalogue with the seven empty tables. With --seed, runs the SQL file's\n"
                   "statements (UTF-8) on it in one transaction. An existing FILE is never overwritten.\n"
                   "FILE may be a PostgreSQL connection URI (postgresql://user@host:port/dbname) instead: the\n"
                   "tables, their Hungarian order, search indexes and kept counts are then written into that\n"
                   "database, which must hold no catalogue yet (--seed works on a file only).\n"),
    1,
    {},
    {{QStringLiteral("--seed"), QStringLiteral("SQL")}}};

} // namespace

int createCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const std::unique_ptr<engine::Upkeep> catalogue = catalogue::upkeepFor(engine::Location(parsed->positional.at(0)));
    const QString seed = parsed->value(QStringLiteral("--seed"));
    if (!seed.isEmpty() && !catalogue->takesSeed()) {
        streams.err << "mediatar-catalogue create: --seed works on a file only\n";
        return 2;
    }
    try {
        catalogue->create(seed);
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue create: " << failure.text() << "\n";
        return 1;
    }
    streams.out << "created " << catalogue->shownName() << "\n";
    return 0;
}

} // namespace catalogue_tool
