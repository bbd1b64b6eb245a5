// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>

// A category list as the engine reads it a screenful at a time: its table, its order and its filter. The row
// set turns it into statements over the catalogue's kept order when that is up to date, or over the data
// itself otherwise (the file engine keeps such an order beside the data).

namespace engine {

struct ListPlan
{
    QString table;              // the one table the list reads
    QString columns;            // the select list, the row identity first
    QString identity;           // the row identity: rowid, or the album key
    QStringList orderColumns;   // the columns of the ORDER BY, in order
    QString filterColumn;       // the searched column; empty for the whole table
    QString pattern;            // its LIKE pattern, bound
    int filterOrderColumn = -1; // the filter column's place among the order columns, -1 when it is none of them
    // A pattern that starts with literal text on the first order column: the sort keys of what it can match lie
    // in [lower, upper), one stretch of the order.
    bool ranged = false;
    QByteArray lower;
    QByteArray upper;
    // A prefix search of a few plain characters on the first order column: their folded start, under which the
    // catalogue keeps the count of the rows it finds. Empty otherwise.
    QString countedPrefix;

    bool wholeTable() const { return filterColumn.isEmpty(); }
    // The filter's column is not in the order: reading the table once and sorting what matches beats walking
    // the order and fetching every row of the table for the filter.
    bool scanTable() const { return !wholeTable() && filterOrderColumn < 0; }
};

} // namespace engine
