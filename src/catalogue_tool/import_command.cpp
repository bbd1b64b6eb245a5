#include "catalogue_tool/arguments.h"
#include "platform/failure.h"
#include "legacy/legacy_import.h"

#include <QFileInfo>
#include <unistd.h>

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue import LEGACY OUT [--force]"),
    QStringLiteral("Reads a catalogue of the older Jet (Access) format and writes every row of its seven tables\n"
                   "into a new catalogue OUT, album keys included. The source is only read. OUT appears only\n"
                   "when every row is in; an existing OUT is kept unless --force is given.\n"),
    2,
    {QStringLiteral("--force")}};

// Below this many rows an import is over before a progress line would help.
constexpr quint64 progressThreshold = 10000;

// A line that rewrites itself on the terminal; nothing when the errors go to a file or a pipe.
class ProgressLine
{
public:
    explicit ProgressLine(QTextStream& err) : m_err(err), m_enabled(isatty(STDERR_FILENO) != 0) {}
    void show(quint64 done, quint64 total)
    {
        if (!m_enabled || total < progressThreshold)
            return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == m_percent)
            return;
        m_percent = percent;
        m_err << "\rimporting: " << done << " of " << total << " rows (" << percent << "%)" << Qt::flush;
        m_shown = true;
    }
    void finish()
    {
        if (m_shown)
            m_err << "\r\033[K" << Qt::flush;
    }

private:
    QTextStream& m_err;
    bool m_enabled;
    bool m_shown = false;
    int m_percent = -1;
};

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
    if (!options.replaceExisting && QFileInfo(target).exists()) {
        streams.err << "mediatar-catalogue import: " << target << ": the file already exists (--force replaces it)\n";
        return 1;
    }
    ProgressLine progress(streams.err);
    options.progress = [&progress](quint64 done, quint64 total) { progress.show(done, total); };
    legacy::ImportReport report;
    try {
        report = legacy::importLegacyCatalogue(source, target, options);
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
        streams.out << "\n";
    }
    streams.out << "imported " << report.totalRows() << " rows from " << QFileInfo(source).fileName() << " into "
                << target << "\n";
    return 0;
}

} // namespace catalogue_tool
