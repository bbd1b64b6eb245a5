// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/screen_values.h"

#include "engine/row_set.h"

#include <algorithm>

namespace bench {

QStringList readScreen(const engine::RowSet& rows, int limit)
{
    QStringList values;
    const int count = std::min(rows.count(), limit);
    const int columns = static_cast<int>(rows.columnNames().size());
    for (int row = 0; row < count; ++row)
        for (int column = 0; column < columns; ++column)
            values << rows.value(row, column).toString();
    return values;
}

QStringList columnOf(const QStringList& values, int columns, int column)
{
    QStringList picked;
    for (int i = column; columns > 0 && i < values.size(); i += columns)
        picked << values.at(i);
    return picked;
}

QStringList orderColumnOf(const engine::RowSet& rows, const QStringList& values, const QString& column)
{
    return columnOf(values, static_cast<int>(rows.columnNames().size()), rows.columnIndex(column));
}

QStringList orderColumnOf(const BareServer::Screen& first)
{
    return columnOf(first.values, first.rows ? static_cast<int>(first.values.size()) / first.rows : 0, 1);
}

} // namespace bench
