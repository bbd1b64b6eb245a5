// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "catalogue/engines.h"
#include "platform/failure.h"

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue check FILE|URI [--repair]"),
    QStringLiteral("Runs the database engine's integrity check on the catalogue FILE and verifies its tables\n"
                   "and columns, and compares every count the program keeps (rows of each list, rows of each\n"
                   "start of its first column) with a recount; prints each problem found. Counts that wait for\n"
                   "rows another program wrote are compared once the program has brought those rows in. The\n"
                   "file is only read, unless --repair is given: then the kept counts and order are rebuilt\n"
                   "from the rows first. Exits with 1 when anything is wrong. FILE may be a PostgreSQL\n"
                   "connection URI: then the tables, their Hungarian order, indexes and kept counts on the\n"
                   "server are checked; --repair then brings a catalogue of an older version up to date and\n"
                   "counts the rows of each table into its kept count first.\n"),
    1,
    {QStringLiteral("--repair")}};

} // namespace

int checkCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const std::unique_ptr<engine::Upkeep> catalogue = catalogue::upkeepFor(engine::Location(parsed->positional.at(0)));
    const QString shown = catalogue->shownName();
    QStringList problems;
    try {
        problems = catalogue->check(parsed->has(QStringLiteral("--repair")));
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue check: " << failure.text() << "\n";
        return 1;
    }
    for (const QString& problem : problems)
        streams.out << shown << ": " << problem << "\n";
    if (!problems.isEmpty()) {
        streams.err << "mediatar-catalogue check: " << problems.size() << " problem(s) found\n";
        return 1;
    }
    streams.out << shown << ": ok\n";
    return 0;
}

} // namespace catalogue_tool
