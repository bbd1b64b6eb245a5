// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tables.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

struct sqlite3;

// What makes a huge list fast, kept beside the data in tables of the program's own: for each listed table an
// order table (each row's Hungarian sort keys and order values, under the row's identity, with an index in list
// order), the row counts, and the counts of the folded starts of each list's first order value.
//
// Nothing in the file needs the program's own functions when another program writes to it: the only triggers
// are plain SQL and note the identity of each inserted, changed or deleted row in a change log. The program
// brings its tables up to date from that log before it lists (keys and counts are computed by the program).
// A change of the file's schema (a vacuum, which may renumber rowids; a table rebuilt, an index or trigger
// dropped by another tool) shows in the schema cookie, which the program keeps beside the tables it has
// checked: when the two differ, every order table is checked against its data and rebuilt where they differ.
// While a table's kept order is behind (a read-only file written meanwhile by another program), its lists are
// ordered and counted by reading the data itself: correct, only slower.

namespace store {

using engine::ListedTable;
using engine::listedTable;
using engine::listedTables;

// The order table of a listed table: row (the data row's rowid), then k1, v1 (the first order column's sort key
// and value), k2, v2 for a second order column; indexed as (k1, k2, v1, v2, row).
QString orderTableOf(const QString& table);
extern const QString changesTable;
extern const QString stateTable;

// Builds a listed table's kept order and counts afresh from its rows, with the triggers that log its changes.
// Throws platform::Failure when the table cannot take them (missing, or without an order column).
void buildKeptOrder(sqlite3* db, const ListedTable& table);
// Drops what buildKeptOrder made for a table.
void dropKeptOrder(sqlite3* db, const ListedTable& table);
// Notes the file's schema as the one the kept order was checked against.
void recordCheckedSchema(sqlite3* db);

// Whether the kept order is behind the data: changes logged, or the schema changed since it was checked.
// False for a file that keeps no order (never upgraded).
bool keptOrderBehind(sqlite3* db);
// Within a read: whether the kept order of table serves its lists exactly as the data stands.
bool keptOrderServes(sqlite3* db, const QString& table);
// Brings the kept order up to date in one write transaction: applies the logged changes, or after a change of
// the schema checks every order table and rebuilds those that differ. progress names each table rebuilt, and
// is called with an empty name when they are done.
// Returns false, with nothing changed, when the file cannot be written now (read-only, locked).
bool bringKeptOrderUpToDate(sqlite3* db, const std::function<void(const QString&)>& progress = {});

// The kept counts that differ from a recount of the data (and order tables that differ from their data),
// each as a sentence; the connection needs the program's functions.
QStringList keptCountProblems(sqlite3* db);
// Recounts every kept count (one table, or all when table is empty) from the data, in one transaction.
void recountKept(sqlite3* db, const QString& table = QString());

} // namespace store
