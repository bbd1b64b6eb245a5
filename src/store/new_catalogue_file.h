// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// A new catalogue that appears under its name only once it is complete. It is written beside its target under a
// hidden temporary name that says what it is and what is writing it (".lista.tnx.mediatar-import-k3x9q1",
// "…mediatar-csv-…", "…mediatar-backup-…"); any failure removes it with the engine's side files, and the
// target stays as it was.

namespace store {

// Refuses a target that must not be written: in a folder that is missing or cannot take a new file, a folder
// itself, an existing file unless replaceExisting, the source it is made from, or a catalogue that a process has
// open (catalogueInUse). Throws platform::Failure.
void checkNewTarget(const QString& target, bool replaceExisting, const QString& source = QString());

class NewCatalogueFile
{
public:
    // purpose names the temporary file ("import", "csv", "backup"). The file is created here and only here (a name
    // that is taken is never reused), and locked until this object goes, so that a later run can tell it from the
    // ones that killed runs left behind: those, of whatever purpose, are removed from the folder first.
    NewCatalogueFile(const QString& target, const QString& purpose);
    ~NewCatalogueFile();
    NewCatalogueFile(const NewCatalogueFile&) = delete;
    NewCatalogueFile& operator=(const NewCatalogueFile&) = delete;

    const QString& path() const { return m_path; }

    // Syncs the finished file and gives it the target's name, then syncs the folder. A target that exists is held
    // from the last look until the rename (see CatalogueHold), so that none is replaced that another program or
    // connection has open, and its side files are removed. Throws platform::Failure, and then the target is as it
    // was. Every connection to path() must be closed first.
    void commit();

private:
    QString m_target;
    QString m_path;
    int m_fd = -1;
    bool m_committed = false;
};

} // namespace store
