// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <map>

namespace test_server {
class PostgresServer;
}

// The server benchmark's catalogue: the rows of the generated catalogue file copied into a catalogue on a
// throwaway PostgreSQL server, and the bare statements the program runs on it, for the side measured through the
// bare libpq C API.

namespace bench {

class BareServer;

constexpr int serverTableRows = 1000000;
constexpr int serverScreen = 64; // the rows of a first screen, as the program reads them at a time

// A listed table the catalogue fills, with the tab that lists it and the column searched.
struct Listed
{
    int tab;
    QString column;
    QString table() const;
};
// The films (tab 2) and the games (tab 4).
const std::map<int, Listed>& listedTables();

// Makes the catalogue on server, with serverTableRows rows in each listed table, and gives its URI. Writes the
// time it took and the plans of the measured statements to the error output.
QString makeServerCatalogue(test_server::PostgresServer& server);

QStringList designedColumns(const QString& table);
// The list's order as the schema's order index holds it.
QString orderOf(const QString& table);
QString keptCountSql();
// The first screen of a list; a picked one chooses the screen's rows by their identity and order alone, then
// reads them, as the program does for a containment search.
QString firstScreenSql(const QString& table, const QString& condition = QString(), bool picked = false);
QString countSql(const QString& table, const QString& condition);
// The same count with every index path closed: the server reads the whole table.
qint64 scannedCount(const BareServer& bare, const QString& table, const QString& condition, const QString& value);

} // namespace bench
