// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/upkeep.h"

#include <QTemporaryDir>
#include <optional>

// The target of an import, whose rows are read and checked one by one (a CSV file, a legacy catalogue). They go
// into a new file through the same writer and with the same checks whatever the target: the target itself when it
// is a file, else a file in a private temporary folder, whose rows go into the target, all or none, only when it
// is complete: a fault found on line 90,000 of a CSV file leaves a server catalogue as it was, and so does a
// server lost halfway.

namespace catalogue_tool {

class StagedTarget
{
public:
    // Refuses, before any work, a target that its engine would refuse (see checkOutputTarget). Throws
    // platform::Failure.
    StagedTarget(engine::Upkeep& target, const engine::WriteOptions& options);
    StagedTarget(const StagedTarget&) = delete;
    StagedTarget& operator=(const StagedTarget&) = delete;

    // The file the import writes, and how.
    const QString& path() const { return m_path; }
    engine::WriteOptions fileOptions() const;
    // Puts the rows of the finished file into the target when it was staged. Throws platform::Failure; the
    // target is then as it was.
    void commit();

private:
    engine::Upkeep& m_target;
    engine::WriteOptions m_options;
    std::optional<QTemporaryDir> m_folder; // only while the rows are staged
    QString m_path;
};

} // namespace catalogue_tool
