// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The tables of a catalogue as every engine holds them. The column order of the tables that take inserts without a
// column list is part of the stored format.

namespace engine {

struct TableDefinition
{
    QString name;
    QStringList columns; // in stored order
};

// The seven tables, in the order a new catalogue makes them.
const std::vector<TableDefinition>& catalogueTables();

// The tables the main window lists, with the columns their lists are ordered by.
struct ListedTable
{
    QString table;
    QStringList columns; // the columns of the list's ORDER BY, in order
};
const std::vector<ListedTable>& listedTables();
// The listed table of this name (matched without regard to case), or null.
const ListedTable* listedTable(const QString& table);

// A short prefix search (up to this many plain characters on a list's first order column) is counted from counts
// the catalogue keeps, without reading its rows.
constexpr int countedPrefixLength = 3;

} // namespace engine
