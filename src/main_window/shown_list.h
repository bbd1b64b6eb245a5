// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <utility>
#include <vector>

class CategoryGrid;

namespace engine {
class RowSet;
}

// A list as its grid shows it: the rows of the grid's channel in the grid's order, and the columns the user sees
// (not dragged to nothing), with their captions and widths. What is printed and what is copied come from here,
// so both are exactly what is on the screen. The rows are read from the row set a screenful at a time, as the
// grid reads them.
struct ShownList
{
    struct Column
    {
        QString caption;
        int width = 0;   // on the screen, in pixels
        int source = -1; // the column of the row set; -1 when the rows have none
    };

    const engine::RowSet* rows = nullptr;
    int count = 0;
    std::vector<Column> columns;

    // A value as the grid shows it (a NULL as empty text, a binary value as its mark). Throws platform::Failure when
    // the row set cannot be read, so that a list that went away is not printed or copied as empty rows.
    QString text(int row, std::size_t column) const;
};

// The list a grid shows now.
ShownList shownList(const CategoryGrid& grid);

// Rows first..last, both included, in the list's order.
using RowRanges = std::vector<std::pair<int, int>>;
// The grid's selected rows as ranges, in order and merged.
RowRanges selectedRows(const CategoryGrid& grid);

// Text a spreadsheet pastes into columns: a line of captions, then one line per row, the fields separated by
// tabs. A field that holds a tab, a line end or a quote is put between quotes with its quotes doubled, as
// spreadsheets read it, so that no value spills into the next cell or row.
QString tabSeparatedText(const ShownList& list, const RowRanges& ranges);
// The same rows as an HTML table, which a spreadsheet pastes cell by cell with every letter intact.
QString htmlTable(const ShownList& list, const RowRanges& ranges);
