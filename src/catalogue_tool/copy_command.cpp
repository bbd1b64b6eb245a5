// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"

#include "catalogue/engines.h"
#include "platform/failure.h"

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue copy SOURCE TARGET"),
    QStringLiteral("Copies a whole catalogue between a file and a PostgreSQL server, either way: one of SOURCE\n"
                   "and TARGET is a file, the other a connection URI (postgresql://user@host:port/dbname).\n"
                   "To a server, the database must hold no catalogue yet, or an empty one that 'create' made;\n"
                   "to a file, the file must not exist.\n"
                   "All or nothing: the rows of each table are counted on both sides, and when anything fails\n"
                   "or the counts differ, the target is left as it was. Passwords come from ~/.pgpass,\n"
                   "PGPASSWORD or a service file; the URI is printed without one.\n"),
    2,
    {}};

} // namespace

int copyCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const engine::Location sourceLocation(parsed->positional.at(0));
    const engine::Location targetLocation(parsed->positional.at(1));
    // Between two files 'backup' is the way, page by page.
    if (sourceLocation.localFile().isEmpty() == targetLocation.localFile().isEmpty()) {
        streams.err << "mediatar-catalogue copy: one of SOURCE and TARGET must be a file and the other a server "
                       "URI ('mediatar-catalogue backup' copies a file)\n";
        return 2;
    }
    const std::unique_ptr<engine::Upkeep> source = catalogue::upkeepFor(sourceLocation);
    const std::unique_ptr<engine::Upkeep> target = catalogue::upkeepFor(targetLocation);
    try {
        engine::WriteOptions options;
        options.makeCatalogue = true;
        options.settle = true;
        options.source = sourceLocation.localFile();
        const qint64 rows = engine::copyCatalogue(*source, *target, options);
        streams.out << "copied " << rows << " rows from " << source->shownName() << " to " << target->shownName()
                    << "\n";
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue copy: " << failure.text() << "\n";
        return 1;
    }
    return 0;
}

} // namespace catalogue_tool
