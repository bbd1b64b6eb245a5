// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/statement.h"

#include <QString>
#include <QVariant>
#include <vector>

// The category table: what belongs to each tab of the main window's page control (and to the entry
// dialog's page of the same index).

namespace engine {

constexpr int categoryCount = 8;     // tabs 0 to 7
constexpr int dataCategoryCount = 6; // tabs 0 to 5 have a table; 6 (VHS) and 7 (books) carry no data

// The hidden column that every list carries besides the columns it shows: the row's identity in its table
// (the album key on the albums tab), so that a change reaches the clicked row and no other.
extern const QString rowIdentityColumn;

struct GridColumn
{
    QString field;  // the column of the row set it shows
    int titleSlot;  // text slot of its title
    int startWidth; // remembered width at start-up (0 where the grid has no width memory)
};

struct SearchCaption
{
    QString caption; // the fixed Hungarian caption the chosen search item is compared with
    QString column;  // the column name written into the statement
};

struct Category
{
    int tab;
    QString pageName;        // object name of the page
    QString designedCaption; // tab caption before the language file
    int captionId;           // language ID of the tab caption
    QString table;           // empty for tabs 6 and 7
    QString gridName;
    QString emptyLabelName;
    std::vector<GridColumn> columns;
    // The select part of the list statements (the search base) and the order of the full list.
    QString selectText;
    QString browseOrder; // " ORDER BY ..." of the browse statement
    QString searchOrder; // " ORDER BY ..." after a search pattern
    std::vector<SearchCaption> searchCaptions;

    bool hasData() const { return !table.isEmpty(); }
    // "SELECT ... ORDER BY ...": the full list of the tab.
    QString browseText() const { return selectText + browseOrder; }
    // The select part as the engine runs it: the same columns plus the row's identity.
    Statement select() const;
    Statement browseStatement() const;
    // The filtered list: search base, " where ", column, " like '", [%], text, "%' ORDER BY ...".
    Statement searchStatement(const QString& column, const QString& text, bool containment) const;
    // The column a search caption maps to; empty when it maps to none.
    QString searchColumnFor(const QString& caption) const;
};

const std::vector<Category>& categories();
const Category& category(int tab);

// The track grid of the albums tab and its statement.
extern const QString trackGridName;
const std::vector<GridColumn>& trackColumns();
// The tracks of an album, narrowed to the album's own key when it is known.
Statement trackListStatement(const QString& artist, const QString& album, const QVariant& albumKey = QVariant());

} // namespace engine
