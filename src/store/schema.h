#pragma once

#include <QString>
#include <QStringList>
#include <vector>

struct sqlite3;

// The seven tables of a catalogue file. The column order of the tables that take inserts without a column
// list is part of the file format.

namespace store {

struct TableDefinition
{
    QString name;
    QStringList columns; // in stored order
};

// The schema version a catalogue written by this program carries in PRAGMA user_version.
constexpr int schemaVersion = 1;

const std::vector<TableDefinition>& catalogueTables();

// The CREATE TABLE statements of a new catalogue, in order.
QStringList schemaStatements();

// Writes the seven tables into an empty database and stamps the schema version.
// Throws platform::Failure with the engine's text when a statement fails.
void createSchema(sqlite3* db);

// Creates a new, empty catalogue file at path. Refuses an existing file.
void createCatalogueFile(const QString& path);

} // namespace store
