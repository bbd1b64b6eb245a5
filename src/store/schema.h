// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tables.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

struct sqlite3;

// The seven tables of a catalogue file. The column order of the tables that take inserts without a column
// list is part of the file format.

namespace store {

using engine::catalogueTables;
using engine::countedPrefixLength;
using engine::TableDefinition;

// The schema version a catalogue written by this program carries in PRAGMA user_version.
// 1: the seven tables. 2 and 3: indexes on the Hungarian sort key and counts kept by triggers that called the
// program's own functions. 4: the same kept beside the data in tables of the program's own (store/kept_order.h),
// so that any SQLite tool can write every table.
constexpr int schemaVersion = 4;

// The table that keeps the row count of each listed table, so that a whole list is counted without reading it.
extern const QString rowCountsTable;
// The table that keeps, for each listed table, how many rows have each start of their first order value
// (folded as the case-blind LIKE folds, hungarian_prefix) of up to countedPrefixLength characters, so that a
// short prefix search is counted without reading its rows.
extern const QString prefixCountsTable;

// The CREATE TABLE statements of a new catalogue, in order.
QStringList schemaStatements();

// The statements that make the program's own tables beside the seven (and drop what older versions kept
// inside the data tables' schema).
QStringList keptTablesStatements();

// Writes the seven tables without their indexes (version 1); a bulk load runs faster before the indexes exist.
void createTables(sqlite3* db);

// Whether the file is of an older schema version than this program's.
bool needsUpgrade(sqlite3* db);
// Brings a catalogue written by an older program up to schemaVersion in one transaction: a table that is
// missing, or lacks a column, keeps its rows and only goes without its kept order. Does nothing for a current
// (or newer) file. progress names each table as its order is built, then gets an empty name when all are. The
// connection must know the Hungarian order (prepareConnection). Throws platform::Failure when the file cannot be
// changed at all (read-only, locked, no database); the file is then as it was.
void upgradeSchema(sqlite3* db, const std::function<void(const QString&)>& progress = {});
// Writes the seven tables into an empty database and stamps the schema version.
// Throws platform::Failure with the engine's text when a statement fails.
void createSchema(sqlite3* db);

// Creates a new, empty catalogue file at path. Refuses an existing file.
void createCatalogueFile(const QString& path);

} // namespace store
