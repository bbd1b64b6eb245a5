// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSqlQuery;

// The rows a list statement returned: read-only, exactly counted, values by column.

namespace engine {

class RowSet
{
public:
    virtual ~RowSet() = default;
    virtual int count() const = 0;
    virtual const QStringList& columnNames() const = 0;
    // A value of a row; a null reads as a null QVariant. May reach the database, and throws platform::Failure
    // with the engine's text when that fails.
    virtual QVariant value(int row, int column) const = 0;
    // A value to paint now, never waiting for the database: nothing when its row is still to be read, in which
    // case the row is asked for and its coming is told through setWhenRead. Throws like value().
    virtual std::optional<QVariant> shownValue(int row, int column) const { return value(row, column); }
    // Told, on any thread, which rows first..last have been read since they were asked for (or could not be:
    // reading them again throws); it must only post news to the window's thread. Null: nobody is told.
    virtual void setWhenRead(std::function<void(int first, int last)>) {}

    // The column's index, matched without regard to case; -1 when the rows have no such column.
    int columnIndex(const QString& name) const;
};

// A row set that holds every row in memory: for the short lists (look-ups, an album's tracks).
class LoadedRowSet : public RowSet
{
public:
    // Reads the executed query to its end.
    explicit LoadedRowSet(QSqlQuery& query);
    LoadedRowSet(QStringList columns, std::vector<QVariantList> rows)
        : m_columns(std::move(columns)), m_rows(std::move(rows))
    {
    }

    int count() const override { return static_cast<int>(m_rows.size()); }
    const QStringList& columnNames() const override { return m_columns; }
    QVariant value(int row, int column) const override;

private:
    QStringList m_columns;
    std::vector<QVariantList> m_rows;
};

// The first rows of a list, shown while the rest is still being read, that become the whole list in place once
// it is there: the rows shown first keep their places and the rest follow them. For an engine whose first rows
// come in a row set of their own.
class GrowingRowSet : public RowSet
{
public:
    explicit GrowingRowSet(std::unique_ptr<RowSet> part) : m_part(std::move(part)) {}
    // From now on the rows are the whole list's (which begins with the part's rows).
    void complete(std::unique_ptr<RowSet> whole);

    int count() const override { return shown().count(); }
    const QStringList& columnNames() const override { return shown().columnNames(); }
    QVariant value(int row, int column) const override { return shown().value(row, column); }
    std::optional<QVariant> shownValue(int row, int column) const override { return shown().shownValue(row, column); }
    void setWhenRead(std::function<void(int first, int last)> whenRead) override;

private:
    const RowSet& shown() const { return m_whole ? *m_whole : *m_part; }

    std::unique_ptr<RowSet> m_part;
    std::unique_ptr<RowSet> m_whole;
    std::function<void(int first, int last)> m_whenRead;
};

} // namespace engine
