// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

struct sqlite3;

namespace store {

// How long a connection of the program waits for a lock another connection holds before it reports the file
// busy (milliseconds).
constexpr int lockWait = 5000;

// Runs once on every new connection to a catalogue, right after it opens: journal mode and whatever the
// engine needs (collations, functions) before the first statement.
void prepareConnection(sqlite3* db);

// Whether readers of the file go on beside a writer (the WAL journal). Only then may a list keep one read open
// while it is shown: in the rollback journal an open read keeps every writer from committing.
bool readsBesideWriters(sqlite3* db);

// Puts the file in the WAL journal when nobody holds a lock on it now; otherwise leaves it as it is, at once.
void shareJournalIfFree(sqlite3* db);

// Within its scope the connection waits at most briefly for a lock another connection holds (work that may
// as well be done later), then lockWait again.
class BriefWait
{
public:
    explicit BriefWait(sqlite3* db, int milliseconds = 0);
    ~BriefWait();
    BriefWait(const BriefWait&) = delete;
    BriefWait& operator=(const BriefWait&) = delete;

private:
    sqlite3* m_db;
};

} // namespace store
