// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

struct sqlite3;

namespace store {

// A connection to a catalogue file that an importer is filling: opened read-write (never created), with the
// Hungarian functions the catalogue's upkeep uses, every failure a platform::Failure naming what failed.
class CatalogueWriter
{
public:
    explicit CatalogueWriter(const QString& path);
    ~CatalogueWriter();
    CatalogueWriter(const CatalogueWriter&) = delete;
    CatalogueWriter& operator=(const CatalogueWriter&) = delete;

    sqlite3* handle() const { return m_db; }
    void exec(const char* sql);
    [[noreturn]] void fail(const QString& what) const;
    void close();

private:
    sqlite3* m_db = nullptr;
};

// New albums must never take a key that a track still points at (an orphan's too): such a track would join the
// new album. The key counter therefore starts above every album key and every key a track holds.
void keepAlbumKeysUnique(CatalogueWriter& db);

} // namespace store
