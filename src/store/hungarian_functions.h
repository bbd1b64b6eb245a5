// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

struct sqlite3;

// The Hungarian order and case-blind matching (hungarian/hungarian.h) as the file engine's SQL sees them.

namespace store {

// Gives a connection hungarian_key, hungarian_prefix and the case-blind LIKE; false when the engine refuses.
bool installHungarian(sqlite3* db);

} // namespace store
