// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/upkeep.h"

#include "platform/failure.h"

namespace engine {

qint64 copyCatalogue(Upkeep& source, Upkeep& target, const WriteOptions& options)
{
    // The source at one moment, so that a program writing it meanwhile cannot make the counts differ.
    const std::unique_ptr<Snapshot> snapshot = source.read();
    for (const engine::TableDefinition& table : engine::catalogueTables())
        if (!snapshot->hasTable(table.name))
            throw platform::Failure(
                QStringLiteral("%1: the table %2 is missing; nothing was copied").arg(source.shownName(), table.name));
    const std::unique_ptr<BulkWrite> writer = target.write(options);
    qint64 copied = 0;
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        writer->startTable(table);
        const std::unique_ptr<RowReader> rows = snapshot->rows(table);
        while (rows->next()) {
            const QString refused = writer->add(rows->fields());
            if (!refused.isEmpty())
                throw platform::Failure(QStringLiteral("the row %1 of the table %2 cannot be written: %3; nothing "
                                                       "was copied")
                                            .arg(rows->key())
                                            .arg(table.name, refused));
        }
        const qint64 written = writer->finishTable();
        const qint64 read = snapshot->rowCount(table.name);
        const qint64 stored = writer->storedRows(table.name);
        if (written != read || stored != read)
            throw platform::Failure(QStringLiteral("the table %1 has %2 rows in %3 but %4 in %5; nothing was copied")
                                        .arg(table.name)
                                        .arg(read)
                                        .arg(source.shownName())
                                        .arg(stored)
                                        .arg(target.shownName()));
        copied += written;
    }
    if (!writer->commit())
        return 0;
    return copied;
}

} // namespace engine
