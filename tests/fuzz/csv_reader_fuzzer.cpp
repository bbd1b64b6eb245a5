// SPDX-License-Identifier: GPL-3.0-or-later

// Feeds arbitrary bytes to the CSV reader of import-csv. Besides crashes, hangs and memory faults it checks what
// must hold for every input: a refusal names a line of the text, the records' lines never go back, and records
// written out again as RFC 4180 read back the same.

#include "catalogue_tool/csv_reader.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>

using catalogue_tool::CsvError;
using catalogue_tool::CsvField;
using catalogue_tool::CsvReader;

namespace {

using Records = std::vector<std::vector<CsvField>>;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Reads every record; false when the text is refused.
bool readAll(const QByteArray& bytes, Records& records, char& separator, char given = 0)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const int lines = static_cast<int>(bytes.count('\n') + bytes.count('\r')) + 1;
    try {
        CsvReader reader(buffer, given);
        std::vector<CsvField> fields;
        int last = 0;
        while (reader.next(fields)) {
            require(!fields.empty());
            require(reader.recordLine() >= last && reader.recordLine() <= lines);
            last = reader.recordLine();
            for (std::size_t i = 0; i < fields.size(); ++i) {
                require(fields[i].column == static_cast<int>(i) + 1);
                require(fields[i].line >= reader.recordLine() && fields[i].line <= lines);
            }
            records.push_back(fields);
        }
        separator = reader.separator();
        return true;
    } catch (const CsvError& error) {
        require(error.line >= 1 && error.line <= lines && error.column >= 0);
        return false;
    }
}

QByteArray written(const Records& records, char separator)
{
    QByteArray text;
    for (const std::vector<CsvField>& record : records) {
        for (std::size_t i = 0; i < record.size(); ++i) {
            if (i > 0)
                text += separator;
            const QByteArray& value = record[i].bytes;
            if (record[i].quoted)
                text += '"' + QByteArray(value).replace("\"", "\"\"") + '"';
            else
                text += value;
        }
        text += "\r\n";
    }
    return text;
}

bool same(const Records& a, const Records& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t r = 0; r < a.size(); ++r) {
        if (a[r].size() != b[r].size())
            return false;
        for (std::size_t f = 0; f < a[r].size(); ++f) {
            if (a[r][f].bytes != b[r][f].bytes || a[r][f].quoted != b[r][f].quoted)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Records first;
    char separator = ',';
    if (!readAll(bytes, first, separator))
        return 0;
    // An unquoted field holds no separator, quote or line end, so the records written out with the same
    // separator read back the same (a written text that starts like a byte-order mark aside).
    Records second;
    char again = 0;
    const QByteArray text = written(first, separator);
    if (!text.startsWith("\xEF\xBB\xBF") && !text.startsWith("\xFF\xFE") && !text.startsWith("\xFE\xFF")) {
        require(readAll(text, second, again, separator));
        require(same(first, second));
    }
    return 0;
}
