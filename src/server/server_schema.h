// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

// The catalogue on a PostgreSQL server: the seven tables with their designed columns, in their designed order,
// and beside them what the server needs to serve them well.
//
// - Row identity: eloado keeps its key kod; each other table gets mediatar_id, an identity column placed last so
//   that an insert without a column list still fills the designed columns in order.
// - Order: every text column carries the Hungarian ICU collation, so the designed "ORDER BY CIM" lists in
//   Hungarian order; an index on each list's order columns serves it.
// - Search: lower() under that collation folds every Hungarian letter. A prefix search reads the index on
//   lower(column) COLLATE "C" through a range (prefixCondition); a containment search the pg_trgm index on
//   lower(column) (containsCondition); a containment of one or two letters, which no trigram can serve, the
//   index of the grams of one and two letters of lower(column) (gramCondition). pg_trgm splits words by the database's
//   character classes, so a database whose LC_CTYPE is C would split at ő and ű and miss rows: create refuses one.
// - Changes: every statement that changes a table announces the table's name on changeChannel when it commits,
//   so that other users' open lists can follow.
// - Counts: mediatar_row_counts keeps the row count of each table, written by statement-level triggers (a
//   row-level trigger is far too slow for a bulk insert or delete).

namespace server {

class Connection;

// The collation of every text column.
extern const char hungarianCollation[];
// The table of kept counts, and the table of the schema's own settings (its version).
extern const char rowCountsTable[];
extern const char stateTable[];
// The notification channel on which every change to a catalogue table is announced, with the table's name.
extern const char changeChannel[];
// The server function giving the one- and two-letter grams of a text.
extern const char gramsFunctionName[];
constexpr int serverSchemaVersion = 4;

// The column that identifies a row of a table (kod of eloado, mediatar_id elsewhere).
QString identityColumn(const QString& table);

// Everything create writes, in order.
QStringList serverSchemaStatements();

// Writes the schema into the connection's database in one transaction. Refuses a database that has a catalogue
// table already, or whose character classes would break the containment search.
void createServerCatalogue(Connection& connection);
// The same inside the caller's transaction.
void writeServerSchema(Connection& connection);
// Brings a catalogue written by an earlier version of the program up to this one, in one transaction; does
// nothing to a current one, nor when the role does not own the tables.
void upgradeServerSchema(Connection& connection);
// Makes the grams function and every listed table's gram index that is missing, inside the caller's
// transaction.
void buildMissingGramIndexes(Connection& connection);
// The listed tables (lower case) whose first order column has its gram index: a search may use gramCondition
// on them.
QStringList gramIndexedTables(Connection& connection);

// What is wrong with the catalogue on the server: missing tables, columns, collations, indexes, triggers, and
// kept counts that differ from a recount. Empty when it is sound.
QStringList serverCatalogueProblems(Connection& connection);

// Conditions for a search on a list's first order column, with the search text bound to $1 (escape the text
// with likeEscaped first for containsCondition): matches rows whose column starts with, or contains, the text,
// case-blind for every letter, through the indexes.
QString prefixCondition(const QString& column);
// The prefix condition on a list's first order column: the same rows, and the order index entered where they
// can start (every text that starts with the typed text, in any case, sorts at or after its folded form in the
// Hungarian order: a capital and every longer text after it, a contracted letter such as cs after c).
QString orderedPrefixCondition(const QString& column);
QString containsCondition(const QString& column);
// A containment search of one or two letters (as typed; no wildcards) on a list's first order column, with the
// text as typed bound to $1: the rows whose column holds it, case-blind, as containsCondition finds them, through
// the gram index. gramTest is the same test for one row in hand (walking the order index), without the index.
bool shortContainment(const QString& text);
QString gramCondition(const QString& column);
QString gramTest(const QString& column);
// The text with \, % and _ made literal for LIKE.
QString likeEscaped(const QString& text);

// Row counts as kept on the server, by table name as catalogueTables() spells it.
qint64 keptRowCount(Connection& connection, const QString& table);
qint64 countedRows(Connection& connection, const QString& table);

} // namespace server
