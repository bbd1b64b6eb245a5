#include "store/connection_setup.h"

#include "hungarian/hungarian.h"

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
    hungarian::installInto(db);
}

} // namespace store
