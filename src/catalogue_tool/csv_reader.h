// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <vector>

// Reads CSV text as RFC 4180 writes it, one record at a time, so that a file of any size needs little memory.
// Lines end in CR LF, LF or CR; a quoted field may hold separators, quotes (doubled) and line ends. The fields
// are separated by commas, or by semicolons when the first line has semicolons and no comma (as a spreadsheet
// set to Hungarian saves them). Nothing is decoded here: the fields are the file's bytes.

namespace catalogue_tool {

struct CsvField
{
    QByteArray bytes;
    bool quoted = false; // "" is an empty text, an empty unquoted field is no value at all
    int line = 0;        // where the field starts, counted from 1 as an editor counts
    int column = 0;      // the field's place in its record, counted from 1
};

// Where and why a file cannot be read.
struct CsvError
{
    int line = 0;
    int column = 0; // 0 when the fault is the whole line's
    QString what;
};

// Whether bytes are UTF-8 text: what a CSV file written or read by the tool must hold.
bool validUtf8(QByteArrayView bytes);

class CsvReader
{
public:
    // Opens the file; throws platform::Failure with the system's text when it cannot be read.
    explicit CsvReader(const QString& path);
    // Reads an open device, which must outlive the reader; with a separator given, the fields are separated by
    // that one.
    explicit CsvReader(QIODevice& device, char separator = 0)
        : m_device(&device), m_separator(separator ? separator : ','), m_separatorGiven(separator != 0)
    {
    }

    // Reads the next record into fields. Returns false at the end of the file. A line that holds nothing at all
    // is skipped. Throws CsvError when the text breaks the quoting rules or starts with a byte-order mark that
    // is not UTF-8's (which is skipped).
    bool next(std::vector<CsvField>& fields);
    // The line on which the record last read starts.
    int recordLine() const { return m_recordLine; }
    // The separator of the fields, known once the first record is read.
    char separator() const { return m_separator; }

private:
    int get();  // the next byte, or -1 at the end
    int peek(); // the same, left to read
    void endLine(int byte);
    void chooseSeparator();

    QFile m_file;
    QIODevice* m_device = &m_file;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    int m_line = 1;
    int m_recordLine = 1;
    bool m_started = false;
    char m_separator = ',';
    bool m_separatorGiven = false;
};

} // namespace catalogue_tool
