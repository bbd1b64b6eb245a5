// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

struct sqlite3;

namespace store {

// "PATH: the catalogue is open in another program; …": why a catalogue was not replaced.
QString catalogueInUse(const QString& path);

// Holds a catalogue that is about to be replaced, so that no program opens it between the check and the rename:
// a program that had it open would go on writing into the replaced file, and each of its recordings would be
// reported as done while landing in neither file. Throws platform::Failure (catalogueInUse) while another
// connection has it open; otherwise keeps it, locked, until destroyed.
class CatalogueHold
{
public:
    enum class Look {
        ProcessesAndLocks, // the system's process table, then the engine's locks
        LocksOnly,         // what the engine's locks alone can tell
    };
    explicit CatalogueHold(const QString& path, Look look = Look::ProcessesAndLocks);
    ~CatalogueHold();
    CatalogueHold(const CatalogueHold&) = delete;
    CatalogueHold& operator=(const CatalogueHold&) = delete;

    // Looked at once more just before the rename: a program that opened the file meanwhile.
    void checkNobodyElse() const;

private:
    QString journalMode() const;
    [[noreturn]] void refuse();

    QString m_path;
    sqlite3* m_db = nullptr;
};

} // namespace store
