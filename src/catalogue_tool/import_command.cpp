// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "catalogue_tool/progress_line.h"
#include "catalogue/engines.h"
#include "catalogue_tool/staged_target.h"
#include "platform/failure.h"
#include "legacy/legacy_import.h"

#include <QFileInfo>
#include <optional>

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue import LEGACY OUT|URI [--force] [--salvage]"),
    QStringLiteral("Reads a catalogue of the older Jet (Access) format and writes every row of its seven tables\n"
                   "into a new catalogue OUT, album keys included. The source is only read. OUT appears only\n"
                   "when every row is in; an existing OUT is kept unless --force is given, and never replaced\n"
                   "while a program has it open.\n"
                   "A damaged LEGACY (a page that cannot be read, a table or column that cannot be found, fewer\n"
                   "rows than its tables declare, tracks whose album is missing) is refused with a list of what\n"
                   "is wrong. --salvage imports what can be read instead and lists what was lost.\n"
                   "OUT may be a PostgreSQL connection URI: the rows then go, all or none, into the catalogue\n"
                   "there, which 'create' made and which must hold no rows (--force replaces its rows).\n"
                   "Exits with 0 when every row is in, 3 when a salvaged OUT was written with losses, 1 on\n"
                   "failure and 2 for wrong arguments.\n"),
    2,
    {QStringLiteral("--force"), QStringLiteral("--salvage")}};

// The exit code of an import that was salvaged: OUT is written, but not every row is in it.
constexpr int salvagedExitCode = 3;

} // namespace

int importCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const QString source = parsed->positional.at(0);
    const QString target = parsed->positional.at(1);
    legacy::ImportOptions options;
    options.replaceExisting = parsed->has(QStringLiteral("--force"));
    options.salvage = parsed->has(QStringLiteral("--salvage"));
    const std::unique_ptr<engine::Upkeep> catalogue = catalogue::upkeepFor(engine::Location(target));
    const QString shown = catalogue->shownName();
    if (!catalogue->location().localFile().isEmpty() && !options.replaceExisting && QFileInfo(target).exists()) {
        streams.err << "mediatar-catalogue import: " << target << ": the file already exists (--force replaces it)\n";
        return 1;
    }
    ProgressLine progress(streams.err, QStringLiteral("importing"));
    options.progress = [&progress](quint64 done, quint64 total) { progress.show(done, total); };
    legacy::ImportReport report;
    try {
        engine::WriteOptions written;
        written.replace = options.replaceExisting;
        written.source = source;
        StagedTarget staged(*catalogue, written);
        options.replaceExisting = staged.fileOptions().replace;
        report = legacy::importLegacyCatalogue(source, staged.path(), options);
        if (report.kept)
            staged.commit();
    } catch (const legacy::DamagedSource& damaged) {
        progress.finish();
        streams.err << "mediatar-catalogue import: " << damaged.text()
                    << "\n(--salvage imports what can be read and lists what is lost)\n";
        return 1;
    } catch (const platform::Failure& failure) {
        progress.finish();
        streams.err << "mediatar-catalogue import: " << failure.text() << "\n";
        return 1;
    }
    progress.finish();
    for (const QString& warning : report.warnings)
        streams.err << "mediatar-catalogue import: warning: " << warning << "\n";
    for (const legacy::ImportedTable& table : report.tables) {
        streams.out << qSetFieldWidth(20) << Qt::left << table.name << qSetFieldWidth(9) << Qt::right << table.rows
                    << qSetFieldWidth(0) << Qt::left << " rows";
        if (table.missing)
            streams.out << "  (not in the source: created empty)";
        else if (table.rows < table.declared)
            streams.out << "  (of " << table.declared << " declared: " << table.declared - table.rows << " lost)";
        streams.out << "\n";
    }
    if (!report.losses.empty()) {
        streams.err << "mediatar-catalogue import: " << source
                    << ": the file is damaged; what could be read was imported, and this was lost:\n  "
                    << legacy::describeLosses(report.losses, QStringLiteral("\n  ")) << "\n";
        streams.out << "salvaged " << report.totalRows() << " rows from " << QFileInfo(source).fileName() << " into "
                    << shown << "; the catalogue is not complete\n";
        return salvagedExitCode;
    }
    streams.out << "imported " << report.totalRows() << " rows from " << QFileInfo(source).fileName() << " into "
                << shown << "\n";
    return 0;
}

} // namespace catalogue_tool
