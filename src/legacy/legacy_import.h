#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Bringing a catalogue of the older Jet format over into a new catalogue of this program.

namespace legacy {

struct ImportedTable
{
    QString name;
    quint64 rows = 0;
    bool missing = false; // the source had no such table; it was created empty
};

struct ImportReport
{
    std::vector<ImportedTable> tables; // in the order of the catalogue's tables
    QStringList warnings;
    quint64 totalRows() const;
};

struct ImportOptions
{
    bool replaceExisting = false;
    // Called now and then while rows are copied, with the rows copied so far and the rows in all.
    std::function<void(quint64 done, quint64 total)> progress;
};

// Copies every row of the seven tables of the Jet file at source into a new catalogue at target, album keys
// included, each column into its place in this program's column order. All or nothing: the rows go into a
// temporary file beside target, which takes target's name only once every row is in; on any failure no file
// is left behind. The source is only read. An existing target is refused unless replaceExisting is set, and
// is never the source itself. Throws platform::Failure with a message that says what went wrong.
ImportReport importLegacyCatalogue(const QString& source, const QString& target, const ImportOptions& options = {});

} // namespace legacy
