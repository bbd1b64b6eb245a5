// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/row_set_model.h"

#include "platform/failure.h"

QString shownText(const QVariant& value)
{
    // A NULL of a binary column (a server's bytea) comes typed but null: it is no value.
    if (value.typeId() == QMetaType::QByteArray && !value.isNull())
        return QStringLiteral("‹bináris adat›");
    return value.toString();
}

RowSetModel::RowSetModel(catalogue::QueryChannel& channel, const std::vector<engine::GridColumn>& columns,
                         const QStringList& designedTitles, QObject* parent)
    : QAbstractTableModel(parent), m_channel(channel), m_columns(columns), m_titles(designedTitles)
{
    connect(&m_channel, &catalogue::QueryChannel::rowsAboutToChange, this, [this] { beginResetModel(); });
    connect(&m_channel, &catalogue::QueryChannel::rowsChanged, this, [this] {
        m_failureTold = false;
        mapColumns();
        endResetModel();
    });
    connect(&m_channel, &catalogue::QueryChannel::rowsAboutToBeAppended, this, [this](int first, int last) {
        m_appending = holdsRows();
        if (m_appending)
            beginInsertRows({}, first, last);
    });
    connect(&m_channel, &catalogue::QueryChannel::rowsRead, this, [this](int first, int last) {
        // Rows that could not be read are told of now, whether or not they are on the screen.
        try {
            m_channel.rows()->shownValue(first, 0);
        } catch (const platform::Failure& failure) {
            if (!m_failureTold) {
                m_failureTold = true;
                emit screenFailed(failure.original());
            }
        }
        const int rows = rowCount();
        if (rows > 0 && first < rows && !m_columns.empty())
            emit dataChanged(index(std::max(first, 0), 0),
                             index(std::min(last, rows - 1), static_cast<int>(m_columns.size()) - 1));
    });
    connect(&m_channel, &catalogue::QueryChannel::rowsAppended, this, [this] {
        if (m_appending)
            endInsertRows();
        m_appending = false;
    });
    mapColumns();
}

void RowSetModel::mapColumns()
{
    m_sourceColumn.assign(m_columns.size(), -1);
    const engine::RowSet* rows = m_channel.rows();
    if (!rows)
        return;
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        m_sourceColumn[i] = rows->columnIndex(m_columns[i].field);
}

void RowSetModel::setShown(bool shown)
{
    if (shown == m_shown)
        return;
    beginResetModel();
    m_shown = shown;
    endResetModel();
}

bool RowSetModel::holdsRows() const
{
    if (!m_shown || !m_channel.rows())
        return false;
    // A grid coming on the screen at a tab change would otherwise take the rows of the tab it replaces, for a
    // moment, under its own titles: a view lays out every row it is given, which for a huge list takes time the
    // window waits for, only to drop them when its own list opens.
    const engine::ListPlan* plan = m_channel.statement().listPlan();
    return m_table.isEmpty() || !plan || plan->table.compare(m_table, Qt::CaseInsensitive) == 0;
}

int RowSetModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !holdsRows())
        return 0;
    return m_channel.rows()->count();
}

int RowSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant RowSetModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !m_channel.rows())
        return {};
    const int source = m_sourceColumn.at(static_cast<std::size_t>(index.column()));
    if (source < 0)
        return {};
    // A screen that cannot be read now (the file or the server went away under the list) is shown empty and
    // painting goes on; the user is told once. A row still to be read is painted empty until it comes.
    try {
        const std::optional<QVariant> value = m_channel.rows()->shownValue(index.row(), source);
        return value ? shownText(*value) : QVariant();
    } catch (const platform::Failure& failure) {
        if (!m_failureTold) {
            m_failureTold = true;
            emit screenFailed(failure.original());
        }
        return {};
    }
}

QVariant RowSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_titles.value(section);
    return QVariant();
}

void RowSetModel::setTitle(int column, const QString& title)
{
    while (m_titles.size() <= column)
        m_titles << QString();
    m_titles[column] = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
}
