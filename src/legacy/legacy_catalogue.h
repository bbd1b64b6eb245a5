#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Reading catalogues of the older format: Jet 3 and Jet 4 (Access) database files. Rows are streamed one at a
// time, so reading a table of any size keeps memory flat.

namespace legacy {

// What a file is, judged by its first bytes.
enum class FileKind {
    Unreadable, // missing, a folder, or no permission to read it
    Jet,        // a Jet 3 or Jet 4 database: a catalogue of the older format
    SQLite,     // a catalogue of this program (or another SQLite database)
    Other,
};

FileKind fileKind(const QString& path);

class LegacyTable;

// An open Jet database, read-only: the file is never written. Every failure throws platform::Failure
// with a message that names the file and says what is wrong with it.
class LegacyCatalogue
{
public:
    explicit LegacyCatalogue(const QString& path);
    ~LegacyCatalogue();
    LegacyCatalogue(const LegacyCatalogue&) = delete;
    LegacyCatalogue& operator=(const LegacyCatalogue&) = delete;

    const QString& path() const { return m_path; }
    // The names of the user tables, in the order the file lists them.
    QStringList tableNames() const;
    // The user table of that name, matched without regard to case; null when the file has no such table.
    std::unique_ptr<LegacyTable> table(const QString& name);
    // The number of rows the table definition declares; 0 for a table the file lacks.
    quint64 declaredRows(const QString& name);

    struct Handle;

private:
    QString m_path;
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
    // The number of rows the table definition declares.
    quint64 declaredRows() const;

    // Moves to the next row; false after the last. Throws when the table ends before the rows it declares,
    // which only a damaged file does.
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
