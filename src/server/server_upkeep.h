// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/upkeep.h"

// The server engine's side of engine::Upkeep: a catalogue in a database on a PostgreSQL server.

namespace server {

class ServerUpkeep : public engine::Upkeep
{
public:
    explicit ServerUpkeep(engine::Location location) : m_location(std::move(location)) {}

    const engine::Location& location() const override { return m_location; }
    bool takesSeed() const override { return false; }
    void create(const QString& seedPath) override;
    // The tables, their Hungarian order, indexes, triggers and kept counts, read in one snapshot; repair counts
    // the rows of each table into its kept count first.
    QStringList check(bool repair) override;
    // One REPEATABLE READ snapshot; rows come through a cursor, so that a table of any size needs little memory.
    std::unique_ptr<engine::Snapshot> read() override;
    void checkWritable(const engine::WriteOptions& options) override;
    // One server transaction, many rows to a statement, with the list indexes set aside and built again once the
    // rows are in; other writers wait until it ends.
    std::unique_ptr<engine::BulkWrite> write(const engine::WriteOptions& options) override;
    // The rows, read from one snapshot, into the new file copy.
    engine::BackupReport backupInto(engine::Upkeep& copy, bool replaceExisting) override;

private:
    const QString& uri() const { return m_location.name(); }

    engine::Location m_location;
};

} // namespace server
