// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/connection_setup.h"

#include "hungarian/hungarian.h"
#include "store/hungarian_functions.h"

#include <sqlite3.h>

namespace store {

void prepareConnection(sqlite3* db)
{
    // WAL lets the two channels of this program, and a second running copy, read and write the file at once.
    // A read-only file or a file that is no database refuses it; the first statement then reports why.
    sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    // Every list is ordered, and every search matched, as a Hungarian reader expects. Nothing in the file needs
    // these functions (another program writes without them); the program's connections use them to compute the
    // keys and counts it keeps beside the data.
    store::installHungarian(db);
}

bool readsBesideWriters(sqlite3* db)
{
    sqlite3_stmt* statement = nullptr;
    bool wal = false;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        wal = sqlite3_stricmp(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "wal") == 0;
    sqlite3_finalize(statement);
    return wal;
}

void shareJournalIfFree(sqlite3* db)
{
    const BriefWait brief(db);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
}

BriefWait::BriefWait(sqlite3* db, int milliseconds) : m_db(db)
{
    sqlite3_busy_timeout(m_db, milliseconds);
}

BriefWait::~BriefWait()
{
    sqlite3_busy_timeout(m_db, lockWait);
}

} // namespace store
