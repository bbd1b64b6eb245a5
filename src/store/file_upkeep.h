// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/upkeep.h"

// The file engine's side of engine::Upkeep: a catalogue in one SQLite file.

namespace store {

class FileUpkeep : public engine::Upkeep
{
public:
    explicit FileUpkeep(engine::Location location) : m_location(std::move(location)) {}

    const engine::Location& location() const override { return m_location; }
    bool takesSeed() const override { return true; }
    void create(const QString& seedPath) override;
    QStringList check(bool repair) override;
    std::unique_ptr<engine::Snapshot> read() override;
    void checkWritable(const engine::WriteOptions& options) override;
    // The rows go into a new file beside the target under a temporary name (store::NewCatalogueFile), without a
    // journal and with the indexes and kept order built over all of them at the end; it takes the target's name
    // only once it is complete.
    std::unique_ptr<engine::BulkWrite> write(const engine::WriteOptions& options) override;
    // The engine's online backup: one read of one moment of the file, which a writer using the write-ahead log
    // never waits for.
    engine::BackupReport backupInto(engine::Upkeep& copy, bool replaceExisting) override;

private:
    const QString& path() const { return m_location.name(); }

    engine::Location m_location;
};

// What check() finds in the file at path.
QStringList checkCatalogueFile(const QString& path, bool repair);
// The engine's own findings on a file: its integrity check, or why it cannot be read at all; waits at most
// waitMilliseconds for a writer.
QStringList fileDamage(const QString& path, int waitMilliseconds);

} // namespace store
