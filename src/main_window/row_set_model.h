// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/categories.h"
#include "catalogue/query_channel.h"

#include <QAbstractTableModel>
#include <QStringList>

// A value as the lists show it, on the screen, on paper and copied: a NULL as empty text, and a binary value
// (written by another program) as a mark that there is one, never as its bytes read as text.
QString shownText(const QVariant& value);

// Shows the rows of a query channel as a grid model: exactly the grid's listed columns, in order, read-only,
// whatever else the row set holds.
class RowSetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    RowSetModel(catalogue::QueryChannel& channel, const std::vector<engine::GridColumn>& columns,
                const QStringList& designedTitles, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A grid that is not on the screen (another tab's) holds no rows: a view keeps some state for every row it
    // holds, which for a huge list is worth keeping only where the list is seen.
    void setShown(bool shown);
    bool isShown() const { return m_shown; }
    // The table whose lists this grid shows. A channel that lists another table (another tab's list, still
    // open while this grid comes on the screen) gives it no rows.
    void setTable(const QString& table) { m_table = table; }

    void setTitle(int column, const QString& title);
    QString title(int column) const { return m_titles.value(column); }
    const std::vector<engine::GridColumn>& columns() const { return m_columns; }
    catalogue::QueryChannel& channel() const { return m_channel; }

signals:
    // A screen of the list could not be read (the file or the server went away under it): once for a list,
    // however many cells are painted empty meanwhile.
    void screenFailed(const QString& original) const;

private:
    void mapColumns();
    bool holdsRows() const;

    catalogue::QueryChannel& m_channel;
    std::vector<engine::GridColumn> m_columns;
    QStringList m_titles;
    std::vector<int> m_sourceColumn; // index in the row set of each shown column, -1 when missing
    bool m_shown = false;
    QString m_table;
    bool m_appending = false; // rows are being appended to this grid's rows
    mutable bool m_failureTold = false;
};
