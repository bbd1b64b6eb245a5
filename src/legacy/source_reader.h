// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "legacy/legacy_catalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>
#include <vector>

// Reading a Jet file in a process of its own. The library that reads Jet files trusts what the file says (the
// places of pages, rows and maps), and a damaged file can make it read far beyond its buffers, or end the process.
// The reading process sends the rows over a pipe; when it dies, this one says what was lost, reads on from the
// next table in a new reading process, and is never taken down with it.

namespace legacy {

class SourceReader
{
public:
    // Reads the tables of tableNames, each in turn. Throws platform::Failure when the file cannot be opened at all.
    SourceReader(const QString& path, const QStringList& tableNames);
    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    const QStringList& fileDamage() const { return m_fileDamage; }
    // The rows the definition of the table at index declares; 0 when it has none that can be read.
    quint64 declaredRows(int index) const { return m_declared.at(static_cast<std::size_t>(index)); }

    // Starts the table at index; tables are started in their order, each once. False when the file has no such
    // table; throws Damage when its definition cannot be read.
    bool startTable(int index);
    const QStringList& columns() const { return m_columns; }
    int columnIndex(const QString& column) const;
    LegacyTable::Kind columnKind(int column) const { return m_kinds.at(static_cast<std::size_t>(column)); }
    quint64 tableDeclaredRows() const { return m_tableDeclared; }

    // As LegacyTable::next(). When the reading process dies in the middle of the table, the table ends there and
    // stopped() says so.
    bool next();
    const QString& stopped() const { return m_stopped; }
    bool isNull(int column) const { return m_null.at(static_cast<std::size_t>(column)); }
    // The value as UTF-8 text, followed by a zero byte.
    const char* text(int column) const { return m_row.constData() + m_starts.at(static_cast<std::size_t>(column)); }
    int textLength(int column) const { return m_lengths.at(static_cast<std::size_t>(column)); }
    quint64 rowsRead() const { return m_rowsRead; }

private:
    enum class Header { Read, TableFailed, Lost };
    Header spawn(int firstTable);
    void finish();
    // The next message from the reading process: its kind, or 0 when the process is gone (m_stopped then says why).
    char receive(QByteArray& payload);
    bool fill(qsizetype bytes);

    QString m_path;
    QStringList m_tableNames;
    QStringList m_fileDamage;
    std::vector<quint64> m_declared;
    std::vector<QString> m_lostDefinitions; // why a table's definition could not be read, by index
    unsigned m_skipped = 0;                 // tables the reading process must not touch, one bit each
    bool m_headerRead = false;

    pid_t m_child = -1;
    int m_pipe = -1;
    QByteArray m_in;
    qsizetype m_at = 0;

    int m_table = -1;
    QStringList m_columns;
    std::vector<LegacyTable::Kind> m_kinds;
    quint64 m_tableDeclared = 0;
    QString m_stopped;
    bool m_reading = false; // between the table's columns and its end
    QByteArray m_row;
    std::vector<int> m_starts;
    std::vector<int> m_lengths;
    std::vector<bool> m_null;
    quint64 m_rowsRead = 0;
};

} // namespace legacy
