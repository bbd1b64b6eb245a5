// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/failure.h"
#include "platform/file_kind.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Reading catalogues of the older format: Jet 3 and Jet 4 (Access) database files. Rows are streamed one at a
// time, so reading a table of any size keeps memory flat.

namespace legacy {

using platform::FileKind;
using platform::fileKind;
using platform::unreadable;

class LegacyTable;

// A sign of damage in one table (or, with an empty table name, in the file as a whole): what it says is
// what a reader loses. The text names the file as well, for a caller that only reports it.
class Damage : public platform::Failure
{
public:
    Damage(const QString& path, const QString& table, const QString& what);
    const QString& table() const { return m_table; }
    const QString& problem() const { return m_problem; }

private:
    QString m_table;
    QString m_problem;
};

// An open Jet database, read-only: the file is never written. A file that cannot be read at all throws
// platform::Failure with a message that names the file and says what is wrong with it; damage that leaves
// the rest readable (a table list or a file cut short) is kept in fileDamage() for the caller to weigh.
class LegacyCatalogue
{
public:
    explicit LegacyCatalogue(const QString& path);
    ~LegacyCatalogue();
    LegacyCatalogue(const LegacyCatalogue&) = delete;
    LegacyCatalogue& operator=(const LegacyCatalogue&) = delete;

    const QString& path() const { return m_path; }
    // What is wrong with the file as a whole; empty for a sound file.
    const QStringList& fileDamage() const { return m_fileDamage; }
    // The names of the user tables, in the order the file lists them.
    QStringList tableNames() const;
    // The user table of that name, matched without regard to case; null when the file has no such table.
    // Throws Damage when the table list names it but its definition cannot be read or is not its own (the
    // page of a system table or of another table).
    std::unique_ptr<LegacyTable> table(const QString& name);
    // The number of rows the table definition declares; 0 for a table the file lacks or cannot read.
    quint64 declaredRows(const QString& name);

    struct Handle;

private:
    QString m_path;
    QStringList m_fileDamage;
    std::unique_ptr<Handle> m_handle;
};

// One table, read front to back. The values of the current row stay valid until the next call of next().
class LegacyTable
{
public:
    ~LegacyTable();
    LegacyTable(const LegacyTable&) = delete;
    LegacyTable& operator=(const LegacyTable&) = delete;

    const QString& name() const { return m_name; }
    const QStringList& columns() const { return m_columns; }
    // The index of a column matched without regard to case, or -1.
    int columnIndex(const QString& column) const;
    // How a column stores its values: its type as the file gives it (10 text, 12 memo, 4 long integer, …) and
    // whether it has a fixed place and size in each row.
    struct Kind
    {
        int type = 0;
        bool fixed = false;
    };
    Kind columnKind(int column) const;
    // The number of rows the table definition declares.
    quint64 declaredRows() const;

    // Moves to the next row; false after the last. A row that cannot be read whole throws Damage and is
    // passed over: the next call goes on with the row after it. A table that ends before the rows it declares
    // (which only a damaged file does) just ends: rowsRead() tells the difference.
    bool next();
    bool isNull(int column) const { return m_null[static_cast<std::size_t>(column)]; }
    // The value as UTF-8 text (numbers in their plain decimal form); empty for a null.
    const char* text(int column) const;
    int textLength(int column) const { return m_lengths[static_cast<std::size_t>(column)]; }
    quint64 rowsRead() const { return m_rowsRead; }

private:
    friend class LegacyCatalogue;
    struct Table;
    LegacyTable(const QString& path, std::unique_ptr<Table> table);

    QString m_path;
    QString m_name;
    QStringList m_columns;
    std::unique_ptr<Table> m_table;
    std::vector<char*> m_buffers;
    std::vector<int> m_lengths;
    std::vector<bool> m_null;
    quint64 m_rowsRead = 0;
};

} // namespace legacy
