// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/csv_reader.h"

#include "platform/failure.h"

#include <QStringDecoder>

namespace catalogue_tool {

namespace {

constexpr qint64 chunkSize = 1 << 16;

} // namespace

bool validUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

CsvReader::CsvReader(const QString& path) : m_file(path)
{
    if (!m_file.open(QIODevice::ReadOnly))
        throw platform::Failure(QStringLiteral("%1: %2").arg(path, m_file.errorString()));
}

int CsvReader::peek()
{
    if (m_position >= m_buffer.size()) {
        m_buffer = m_device->read(chunkSize);
        m_position = 0;
        if (m_buffer.isEmpty())
            return -1;
    }
    return static_cast<unsigned char>(m_buffer.at(m_position));
}

int CsvReader::get()
{
    const int byte = peek();
    if (byte >= 0)
        ++m_position;
    return byte;
}

void CsvReader::endLine(int byte)
{
    // CR LF is one line end; so is a CR or an LF alone.
    if (byte == '\r' && peek() == '\n')
        get();
    ++m_line;
}

void CsvReader::chooseSeparator()
{
    // A spreadsheet set to Hungarian separates the fields with semicolons, since the comma is its decimal
    // mark. The first line names the columns, and a column's name holds neither: a first line with semicolons
    // and no comma is such a file.
    const qsizetype end = m_buffer.indexOf('\n', m_position);
    const QByteArray first = m_buffer.mid(m_position, end < 0 ? -1 : end - m_position);
    if (first.contains(';') && !first.contains(','))
        m_separator = ';';
}

bool CsvReader::next(std::vector<CsvField>& fields)
{
    if (!m_started) {
        m_started = true;
        // A spreadsheet often starts UTF-8 with a byte-order mark; it is no part of the first column's name.
        if (peek() == 0xEF) {
            if (m_buffer.mid(m_position, 3) == QByteArray("\xEF\xBB\xBF"))
                m_position += 3;
        } else if (peek() == 0xFF || peek() == 0xFE) {
            const QByteArray mark = m_buffer.mid(m_position, 2);
            if (mark == QByteArray("\xFF\xFE") || mark == QByteArray("\xFE\xFF"))
                throw CsvError{1, 0, QStringLiteral("the file is UTF-16 text; save it as UTF-8")};
        }
        if (!m_separatorGiven)
            chooseSeparator();
    }
    for (;;) {
        fields.clear();
        if (peek() < 0)
            return false;
        m_recordLine = m_line;
        int column = 1;
        for (;;) {
            CsvField field;
            field.line = m_line;
            field.column = column;
            if (peek() == '"') {
                get();
                field.quoted = true;
                for (;;) {
                    const int byte = get();
                    if (byte < 0)
                        throw CsvError{field.line, column,
                                       QStringLiteral("the quoted field is never closed (its closing \" is missing)")};
                    if (byte == '"') {
                        if (peek() != '"')
                            break;
                        get();
                    } else if (byte == '\r' || byte == '\n') {
                        // A line end inside quotes is part of the value, kept as it is written.
                        field.bytes += static_cast<char>(byte);
                        if (byte == '\r' && peek() == '\n')
                            field.bytes += static_cast<char>(get());
                        ++m_line;
                        continue;
                    }
                    field.bytes += static_cast<char>(byte);
                }
                const int after = peek();
                if (after >= 0 && after != m_separator && after != '\r' && after != '\n')
                    throw CsvError{m_line, column, QStringLiteral("text follows the closing quote of a quoted field")};
            } else {
                for (int byte = peek(); byte >= 0 && byte != m_separator && byte != '\r' && byte != '\n';
                     byte = peek()) {
                    if (byte == '"')
                        throw CsvError{m_line, column,
                                       QStringLiteral("a quote inside a field that does not start with one (such a "
                                                      "field must be enclosed in quotes, its own quotes doubled)")};
                    field.bytes += static_cast<char>(get());
                }
            }
            fields.push_back(std::move(field));
            const int separator = get();
            if (separator == m_separator) {
                ++column;
                continue;
            }
            if (separator == '\r' || separator == '\n')
                endLine(separator);
            break;
        }
        // A line with nothing on it (a blank line a text editor left) is no record.
        if (fields.size() == 1 && !fields.front().quoted && fields.front().bytes.isEmpty())
            continue;
        return true;
    }
}

} // namespace catalogue_tool
