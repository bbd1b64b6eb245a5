// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/row_set.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace engine {

int RowSet::columnIndex(const QString& name) const
{
    const QStringList& columns = columnNames();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

LoadedRowSet::LoadedRowSet(QSqlQuery& query)
{
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        m_columns << record.fieldName(i);
    while (query.next()) {
        QVariantList row;
        row.reserve(m_columns.size());
        for (int i = 0; i < m_columns.size(); ++i)
            row << query.value(i);
        m_rows.push_back(std::move(row));
    }
}

QVariant LoadedRowSet::value(int row, int column) const
{
    if (row < 0 || row >= count() || column < 0 || column >= m_columns.size())
        return {};
    return m_rows[static_cast<std::size_t>(row)].at(column);
}

void GrowingRowSet::complete(std::unique_ptr<RowSet> whole)
{
    m_whole = std::move(whole);
    if (m_whenRead)
        m_whole->setWhenRead(m_whenRead);
    m_part.reset();
}

void GrowingRowSet::setWhenRead(std::function<void(int first, int last)> whenRead)
{
    m_whenRead = std::move(whenRead);
    RowSet& rows = m_whole ? *m_whole : *m_part;
    rows.setWhenRead(m_whenRead);
}

} // namespace engine
