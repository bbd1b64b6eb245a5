// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "catalogue/engines.h"
#include "platform/failure.h"

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue backup FILE|URI OUT [--force]"),
    QStringLiteral("Copies the catalogue FILE into OUT as it stands at one moment, also while the program or another\n"
                   "tool is writing to it. The copy is written beside OUT under a temporary name, checked as 'check'\n"
                   "checks a catalogue, and only then takes the name OUT. An existing OUT is kept unless --force, and\n"
                   "never replaced while a program has it open. FILE may be a PostgreSQL connection URI: the copy of\n"
                   "the server catalogue is then a new file, read from one moment of the server as 'copy' reads it.\n"),
    2,
    {QStringLiteral("--force")}};

} // namespace

int backupCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const std::unique_ptr<engine::Upkeep> source = catalogue::upkeepFor(engine::Location(parsed->positional.at(0)));
    const std::unique_ptr<engine::Upkeep> copy = catalogue::upkeepFor(engine::Location(parsed->positional.at(1)));
    engine::BackupReport report;
    try {
        engine::WriteOptions target;
        target.replace = parsed->has(QStringLiteral("--force"));
        target.source = source->location().localFile();
        checkOutputTarget(*copy, target);
        report = source->backupInto(*copy, target.replace);
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue backup: " << failure.text() << "\n";
        return 1;
    }
    if (!report.findings.isEmpty()) {
        streams.err << "mediatar-catalogue backup: warning: " << source->shownName()
                    << " has problems of its own, and the copy has them too:\n";
        for (const QString& line : report.findings)
            streams.err << "mediatar-catalogue backup: warning:   " << line << "\n";
    }
    streams.out << "backed up " << source->shownName() << " into " << copy->shownName() << " (" << report.amount << " "
                << report.unit << ", checked)\n";
    return 0;
}

} // namespace catalogue_tool
