// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/shown_list.h"

#include "main_window/category_grid.h"
#include "main_window/row_set_model.h"
#include "engine/row_set.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <algorithm>

QString ShownList::text(int row, std::size_t column) const
{
    const int source = columns.at(column).source;
    if (!rows || source < 0)
        return QString();
    return shownText(rows->value(row, source));
}

ShownList shownList(const CategoryGrid& grid)
{
    ShownList list;
    const RowSetModel* model = grid.rowSetModel();
    list.rows = model->channel().rows();
    list.count = model->rowCount();
    const QHeaderView* header = grid.horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (header->isSectionHidden(logical) || header->sectionSize(logical) <= 0)
            continue;
        const QString& field = model->columns().at(static_cast<std::size_t>(logical)).field;
        list.columns.push_back(
            {model->title(logical), header->sectionSize(logical), list.rows ? list.rows->columnIndex(field) : -1});
    }
    // Columns that all have no width (a list shown before any width was set) are all shown, side by side.
    if (list.columns.empty()) {
        for (int logical = 0; logical < model->columnCount(); ++logical) {
            const QString& field = model->columns().at(static_cast<std::size_t>(logical)).field;
            list.columns.push_back({model->title(logical), 1, list.rows ? list.rows->columnIndex(field) : -1});
        }
    }
    return list;
}

RowRanges selectedRows(const CategoryGrid& grid)
{
    RowRanges ranges;
    if (!grid.selectionModel())
        return ranges;
    for (const QItemSelectionRange& range : grid.selectionModel()->selection())
        ranges.emplace_back(range.top(), range.bottom());
    std::sort(ranges.begin(), ranges.end());
    RowRanges merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    return merged;
}

namespace {

QString spreadsheetField(const QString& value)
{
    if (!value.contains(QLatin1Char('\t')) && !value.contains(QLatin1Char('\n')) &&
        !value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('"')))
        return value;
    return QLatin1Char('"') + QString(value).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString htmlField(const QString& value)
{
    QString html = value.toHtmlEscaped();
    html.replace(QLatin1String("\r\n"), QLatin1String("<br>"));
    html.replace(QLatin1Char('\r'), QLatin1String("<br>"));
    html.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    return html;
}

} // namespace

QString tabSeparatedText(const ShownList& list, const RowRanges& ranges)
{
    QStringList fields;
    for (const ShownList::Column& column : list.columns)
        fields << spreadsheetField(column.caption);
    QString text = fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const auto& [first, last] : ranges) {
        for (int row = first; row <= last; ++row) {
            fields.clear();
            for (std::size_t column = 0; column < list.columns.size(); ++column)
                fields << spreadsheetField(list.text(row, column));
            text += fields.join(QLatin1Char('\t'));
            text += QLatin1Char('\n');
        }
    }
    return text;
}

QString htmlTable(const ShownList& list, const RowRanges& ranges)
{
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><table>\n<tr>");
    for (const ShownList::Column& column : list.columns)
        html += QStringLiteral("<th>") + htmlField(column.caption) + QStringLiteral("</th>");
    html += QStringLiteral("</tr>\n");
    for (const auto& [first, last] : ranges) {
        for (int row = first; row <= last; ++row) {
            html += QStringLiteral("<tr>");
            for (std::size_t column = 0; column < list.columns.size(); ++column)
                html += QStringLiteral("<td>") + htmlField(list.text(row, column)) + QStringLiteral("</td>");
            html += QStringLiteral("</tr>\n");
        }
    }
    html += QStringLiteral("</table></body></html>\n");
    return html;
}
