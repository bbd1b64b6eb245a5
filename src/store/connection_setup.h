#pragma once

struct sqlite3;

namespace store {

// Runs once on every new connection to a catalogue, right after it opens: journal mode and whatever the
// engine needs (collations, functions) before the first statement.
void prepareConnection(sqlite3* db);

} // namespace store
