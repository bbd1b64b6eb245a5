// SPDX-License-Identifier: GPL-3.0-or-later

#include "legacy/legacy_import.h"

#include "catalogue/engines.h"
#include "engine/tables.h"
#include "legacy/legacy_catalogue.h"
#include "legacy/source_reader.h"
#include "platform/failure.h"

#include <memory>

namespace legacy {

using engine::TableDefinition;

QString describeLosses(const std::vector<Loss>& losses, const QString& separator)
{
    QStringList lines;
    for (const Loss& loss : losses)
        lines << (loss.table.isEmpty() ? loss.what : QStringLiteral("%1: %2").arg(loss.table, loss.what));
    return lines.join(separator);
}

DamagedSource::DamagedSource(const QString& source, std::vector<Loss> losses)
    : platform::Failure(QStringLiteral("%1: the file is damaged; nothing was imported:\n  %2")
                            .arg(source, describeLosses(losses, QStringLiteral("\n  ")))),
      m_losses(std::move(losses))
{
}

quint64 ImportReport::totalRows() const
{
    quint64 rows = 0;
    for (const ImportedTable& table : tables)
        rows += table.rows;
    return rows;
}

namespace {

constexpr quint64 progressStep = 1024;

bool isNumberColumn(const QString& table, const QString& column)
{
    return (table == QLatin1String("eloado") && column == QLatin1String("kod")) ||
           column == QLatin1String("eloado_azonosito");
}

// Text as text (or memo) of variable size; a key as a whole number of fixed size, or as text.
bool fitsCatalogue(const LegacyTable::Kind& kind, bool number)
{
    constexpr int byteType = 2, integerType = 3, longType = 4, textType = 10, memoType = 12;
    if (kind.fixed)
        return number && (kind.type == byteType || kind.type == integerType || kind.type == longType);
    return kind.type == textType || kind.type == memoType;
}

QString joinedNames(const QStringList& names)
{
    return names.join(QStringLiteral(", "));
}

class Copier
{
public:
    Copier(SourceReader& source, engine::BulkWrite& target, const ImportOptions& options, ImportReport& report)
        : m_source(source), m_target(target), m_options(options), m_report(report)
    {
        for (std::size_t i = 0; i < engine::catalogueTables().size(); ++i)
            m_total += source.declaredRows(static_cast<int>(i));
    }

    void copy(int index, const TableDefinition& table)
    {
        m_report.tables.push_back({table.name, 0, 0, false});
        ImportedTable& result = m_report.tables.back();
        SourceReader* rows = &m_source;
        try {
            if (!rows->startTable(index))
                rows = nullptr;
        } catch (const Damage& damage) {
            lose(table.name, damage.problem() + QStringLiteral("; none of its rows could be read"));
            return;
        }
        if (!rows) {
            result.missing = true;
            lose(table.name, QStringLiteral("the file has no such table"));
            return;
        }
        result.declared = rows->tableDeclaredRows();
        // Columns are found by name, so the source's own column order does not matter.
        std::vector<int> from;
        std::vector<bool> number;
        QStringList missing;
        for (const QString& column : table.columns) {
            from.push_back(rows->columnIndex(column));
            number.push_back(isNumberColumn(table.name, column));
            if (from.back() < 0)
                missing << column;
        }
        // With most of its columns missing, the definition is another table's, or no table's: its rows are
        // not this table's rows.
        if (missing.size() * 2 > table.columns.size()) {
            lose(table.name, QStringLiteral("its definition is not its own: it lacks the column(s) %1 and holds %2; "
                                            "none of its %3 rows could be read")
                                 .arg(joinedNames(missing), joinedNames(rows->columns()))
                                 .arg(result.declared));
            result.declared = 0; // the other table's count
            return;
        }
        // The catalogue's columns are text, and its keys whole numbers. A column of another kind, or text with a
        // fixed size, is one whose definition is damaged: every value would be read as something it is not.
        for (std::size_t i = 0; i < from.size(); ++i) {
            if (from[i] < 0 || fitsCatalogue(rows->columnKind(from[i]), number[i]))
                continue;
            lose(table.name, QStringLiteral("its definition is damaged: the column %1 is of a kind that no "
                                            "catalogue has (type %2, %3); none of its %4 rows could be read")
                                 .arg(rows->columns().at(from[i]))
                                 .arg(rows->columnKind(from[i]).type)
                                 .arg(rows->columnKind(from[i]).fixed ? QStringLiteral("fixed size")
                                                                      : QStringLiteral("variable size"))
                                 .arg(result.declared));
            return;
        }
        if (!missing.isEmpty())
            lose(table.name, QStringLiteral("the column(s) %1 cannot be found; they are empty in every row")
                                 .arg(joinedNames(missing)));
        for (const QString& column : rows->columns())
            if (!table.columns.contains(column, Qt::CaseInsensitive))
                m_report.warnings << QStringLiteral("the column %1 of the source table %2 is not part of a catalogue; "
                                                    "it was left out")
                                         .arg(column, table.name);

        m_target.startTable(table);
        engine::Fields fields(from.size());
        // Rows that cannot be read or written whole are left out, and told as one loss per table.
        quint64 leftOut = 0;
        QString firstLeftOut;
        const auto leaveOut = [&](const QString& why) {
            if (leftOut++ == 0)
                firstLeftOut = why;
        };
        for (;;) {
            try {
                if (!rows->next())
                    break;
            } catch (const Damage& damage) {
                leaveOut(damage.problem());
                continue;
            }
            // A key that is a whole number goes in as a number, anything else as the text it is.
            for (std::size_t i = 0; i < from.size(); ++i) {
                const int column = from[i];
                if (column < 0 || rows->isNull(column))
                    fields[i] = {};
                else
                    fields[i] = {rows->text(column), rows->textLength(column), false};
            }
            const QString refused = m_target.add(fields);
            if (!refused.isEmpty()) {
                leaveOut(QStringLiteral("row %1 cannot be written: %2").arg(rows->rowsRead()).arg(refused));
                continue;
            }
            ++result.rows;
            if (++m_done % progressStep == 0 && m_options.progress)
                m_options.progress(m_done, m_total);
        }
        if (!rows->stopped().isEmpty())
            lose(table.name, rows->stopped());
        if (leftOut > 0)
            lose(table.name,
                 leftOut == 1 ? firstLeftOut + QStringLiteral("; the row was left out")
                              : QStringLiteral("%1 rows were left out (the first: %2)").arg(leftOut).arg(firstLeftOut));
        if (rows->rowsRead() < result.declared)
            lose(table.name, QStringLiteral("%1 rows are declared, %2 could be read (%3 lost)")
                                 .arg(result.declared)
                                 .arg(rows->rowsRead())
                                 .arg(result.declared - rows->rowsRead()));
        else if (rows->rowsRead() > result.declared)
            lose(table.name,
                 QStringLiteral("%1 rows are declared, %2 were found").arg(result.declared).arg(rows->rowsRead()));
        m_target.finishTable();
        if (m_options.progress)
            m_options.progress(m_done, m_total);
    }

private:
    void lose(const QString& table, const QString& what) { m_report.losses.push_back({table, what}); }

    SourceReader& m_source;
    engine::BulkWrite& m_target;
    const ImportOptions& m_options;
    ImportReport& m_report;
    quint64 m_total = 0;
    quint64 m_done = 0;
};

// Tracks whose album is not there are never listed: the album rows are lost, or the old program lost track
// of them. Either way the user is told.
void findTracksWithoutAlbum(engine::BulkWrite& db, ImportReport& report)
{
    const engine::OrphanTracks orphans = db.orphanTracks();
    if (orphans.tracks == 0)
        return;
    report.losses.push_back(
        {QStringLiteral("szamok"),
         QStringLiteral("%1 tracks belong to no album: no row of eloado has the key(s) %2%3")
             .arg(orphans.tracks)
             .arg(orphans.firstKeys.isEmpty() ? QStringLiteral("(none)") : orphans.firstKeys.join(QStringLiteral(", ")))
             .arg(orphans.albumKeys > 10 ? QStringLiteral(", …") : QString())});
}

} // namespace

ImportReport importLegacyCatalogue(const QString& source, const QString& target, const ImportOptions& options)
{
    engine::WriteOptions written;
    written.replace = options.replaceExisting;
    written.source = source;
    written.purpose = QStringLiteral("import");
    // The engine of the catalogue the target names (the program converts into a file).
    const std::unique_ptr<engine::Upkeep> converted = catalogue::upkeepFor(engine::Location(target));
    converted->checkWritable(written);
    QStringList tableNames;
    for (const TableDefinition& table : engine::catalogueTables())
        tableNames << table.name;
    // The file is read in a process of its own: see SourceReader.
    SourceReader legacy(source, tableNames);

    ImportReport report;
    for (const QString& damage : legacy.fileDamage())
        report.losses.push_back({QString(), damage});
    written.keep = [&](engine::Upkeep*) {
        return report.losses.empty() || !options.keepSalvaged || options.keepSalvaged(report);
    };
    const std::unique_ptr<engine::BulkWrite> db = converted->write(written);
    Copier copier(legacy, *db, options, report);
    for (std::size_t i = 0; i < engine::catalogueTables().size(); ++i)
        copier.copy(static_cast<int>(i), engine::catalogueTables()[i]);
    findTracksWithoutAlbum(*db, report);
    // A file of which nothing at all could be read has nothing to salvage.
    if (!report.losses.empty() && (!options.salvage || report.totalRows() == 0))
        throw DamagedSource(source, report.losses);
    report.kept = db->commit();
    return report;
}

} // namespace legacy
