// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/failure.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Bringing a catalogue of the older Jet format over into a new catalogue of this program.

namespace legacy {

struct ImportedTable
{
    QString name;
    quint64 rows = 0;     // rows written into the new catalogue
    quint64 declared = 0; // rows the source's table definition declares
    bool missing = false; // the source had no such table; it was created empty
};

// One thing that a damaged source lost: the table it concerns (empty for the file as a whole) and what.
struct Loss
{
    QString table;
    QString what;
};

// The losses as lines, "table: what", joined by separator.
QString describeLosses(const std::vector<Loss>& losses, const QString& separator);

struct ImportReport
{
    std::vector<ImportedTable> tables; // in the order of the catalogue's tables
    QStringList warnings;              // what was left out on purpose: columns that no catalogue has
    std::vector<Loss> losses;          // what a damaged source lost; empty for a complete import
    bool kept = true;                  // false when a salvaged catalogue was declined and not written
    quint64 totalRows() const;
};

// The import was refused because the source is damaged: nothing was written. The text names the file and
// lists what is wrong, one line each.
class DamagedSource : public platform::Failure
{
public:
    DamagedSource(const QString& source, std::vector<Loss> losses);
    const std::vector<Loss>& losses() const { return m_losses; }

private:
    std::vector<Loss> m_losses;
};

struct ImportOptions
{
    bool replaceExisting = false;
    // A damaged source is refused (DamagedSource) unless salvage is set; then what can be read is imported
    // and the report's losses say what was not. A source of which no row can be read is refused either way.
    bool salvage = false;
    // With salvage: asked, when set, before a catalogue with losses takes its name; false leaves no file.
    std::function<bool(const ImportReport&)> keepSalvaged;
    // Called now and then while rows are copied, with the rows copied so far and the rows in all.
    std::function<void(quint64 done, quint64 total)> progress;
};

// Copies every row of the seven tables of the Jet file at source into a new catalogue at target, album keys
// included, each column into its place in this program's column order. All or nothing: the rows go into a
// temporary file beside target, created for this import alone, which takes target's name only once every
// row is in (see store::NewCatalogueFile); on any failure no file is left behind, and temporary files that
// killed runs of any of the catalogue writers left and that no process holds are removed. The source is only read,
// in a process of its own (see SourceReader). An existing target is refused unless replaceExisting is set, and is
// never the source itself nor a file that a process has open. Throws platform::Failure with a message that says
// what went wrong.
ImportReport importLegacyCatalogue(const QString& source, const QString& target, const ImportOptions& options = {});

} // namespace legacy
