// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "catalogue/engines.h"
#include "catalogue_tool/csv_reader.h"
#include "platform/failure.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <memory>
#include <vector>

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue export FILE|URI DIR [--force]"),
    QStringLiteral("Writes each of the seven tables of the catalogue FILE into DIR as TABLE.csv: UTF-8, a header\n"
                   "line, fields quoted as RFC 4180 says, lines ending in CR LF. A null is an empty field and an\n"
                   "empty text is \"\". DIR is created when missing; existing files are kept unless --force.\n"
                   "A value that CSV cannot carry (binary data, or text that is not UTF-8) is refused with its\n"
                   "table, row and column, and then nothing is written; 'backup' copies such a catalogue whole.\n"
                   "FILE may be a PostgreSQL connection URI: the files are then the same, byte for byte, as those of\n"
                   "a file with the same rows, read from one moment of the server.\n"),
    2,
    {QStringLiteral("--force")}};

// One field in RFC 4180 form: null for a null. An empty text is written as "" so that it stays apart from a null,
// which is written as nothing at all.
void appendField(QByteArray& line, const char* text, qsizetype size)
{
    if (!text)
        return;
    const QByteArrayView value(text, size);
    const bool quote =
        value.isEmpty() || value.contains(',') || value.contains('"') || value.contains('\r') || value.contains('\n');
    if (!quote) {
        line += value;
        return;
    }
    line += '"';
    line += value.toByteArray().replace("\"", "\"\"");
    line += '"';
}

// One table's CSV file, written in pieces so that a table of any size needs little memory. It takes its name
// only when commit() is called: a failure leaves any earlier file as it was, and a file not committed is removed.
class CsvFile
{
public:
    CsvFile(const QString& path, const engine::TableDefinition& table) : m_file(path)
    {
        if (!m_file.open(QIODevice::WriteOnly))
            throw platform::Failure(QStringLiteral("%1: %2").arg(path, m_file.errorString()));
        m_line = table.columns.join(QLatin1Char(',')).toUtf8() + "\r\n";
    }

    // The line of the row being written; each field after the first goes after a comma.
    QByteArray& line() { return m_line; }
    void endRow()
    {
        m_line += "\r\n";
        ++m_rows;
        if (m_line.size() >= 1 << 16) {
            m_file.write(m_line);
            m_line.clear();
        }
    }
    quint64 rows() const { return m_rows; }
    QString path() const { return m_file.fileName(); }
    void commit()
    {
        m_file.write(m_line);
        if (!m_file.commit())
            throw platform::Failure(QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString()));
    }

private:
    QSaveFile m_file;
    QByteArray m_line;
    quint64 m_rows = 0;
};

// A CSV field is UTF-8 text. Binary data, or text that is not UTF-8 (which another program may have stored, in
// the older Central European code page for one), would come back as something else or not at all: 'import-csv'
// refuses text that is not UTF-8, as it must to catch a file saved in another encoding. So the value is refused,
// with its row and column so that it can be found and mended, rather than written as bytes that no reader of a
// UTF-8 file could bring back; 'backup' copies such a catalogue as it is.
void refuseUnfitValue(const engine::RowReader& row, const engine::TableDefinition& table, int column,
                      const QString& source)
{
    const engine::Field& field = row.fields()[static_cast<size_t>(column)];
    if (field.isNull())
        return;
    const auto refuse = [&](const QString& what, const QString& why) {
        throw platform::Failure(QStringLiteral("%1: the row %2 of the table %3 holds %4 in the column %5, %6; nothing "
                                               "was written")
                                    .arg(source)
                                    .arg(row.key())
                                    .arg(table.name, what, table.columns.at(column), why));
    };
    if (field.binary)
        refuse(QStringLiteral("binary data"), QStringLiteral("which a CSV file cannot carry"));
    if (!validUtf8(field.bytes()))
        refuse(QStringLiteral("text that is not UTF-8 (\"%1\")").arg(QString::fromUtf8(field.bytes()).left(40)),
               QStringLiteral("which 'import-csv' could not read back"));
}

// Writes the table into csv, which the caller commits once every table is written. The rows come in the order of
// their keys, the order they were entered in, whichever engine holds them, so that the same rows give the same
// bytes; a table of any size needs little memory.
void exportTable(engine::Snapshot& catalogue, const engine::TableDefinition& table, CsvFile& csv, const QString& source)
{
    const std::unique_ptr<engine::RowReader> rows = catalogue.rows(table);
    while (rows->next()) {
        const engine::Fields& fields = rows->fields();
        for (int column = 0; column < table.columns.size(); ++column) {
            refuseUnfitValue(*rows, table, column, source);
            if (column > 0)
                csv.line() += ',';
            const engine::Field& field = fields[static_cast<size_t>(column)];
            appendField(csv.line(), field.data, field.size);
        }
        csv.endRow();
    }
}

} // namespace

int exportCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const std::unique_ptr<engine::Upkeep> catalogue = catalogue::upkeepFor(engine::Location(parsed->positional.at(0)));
    const QString shown = catalogue->shownName();
    const QString dir = parsed->positional.at(1);
    try {
        // One read: the files show the catalogue at one moment even while the program writes to it.
        const std::unique_ptr<engine::Snapshot> snapshot = catalogue->read();
        // The tables and DIR are checked before any file is written, so a refusal leaves DIR as it was.
        for (const engine::TableDefinition& table : engine::catalogueTables()) {
            if (!snapshot->hasTable(table.name))
                throw platform::Failure(QStringLiteral("%1: the catalogue has no table %2 ('mediatar-catalogue check' "
                                                       "lists what is wrong)")
                                            .arg(shown, table.name));
            const QString path = QDir(dir).filePath(table.name + QStringLiteral(".csv"));
            if (QFileInfo::exists(path) && !parsed->has(QStringLiteral("--force")))
                throw platform::Failure(QStringLiteral("%1: the file already exists (--force replaces it)").arg(path));
        }
        const bool made = !QFileInfo::exists(dir);
        if (!QDir().mkpath(dir))
            throw platform::Failure(QStringLiteral("%1: the folder cannot be created").arg(dir));
        // The files take their names only when every table is written: a value refused in the last table leaves
        // DIR as it was, with no mix of new and old files.
        std::vector<std::unique_ptr<CsvFile>> files;
        try {
            for (const engine::TableDefinition& table : engine::catalogueTables()) {
                files.push_back(
                    std::make_unique<CsvFile>(QDir(dir).filePath(table.name + QStringLiteral(".csv")), table));
                exportTable(*snapshot, table, *files.back(), shown);
            }
        } catch (const platform::Failure&) {
            files.clear();
            if (made)
                QDir().rmdir(dir);
            throw;
        }
        for (const std::unique_ptr<CsvFile>& csv : files)
            csv->commit();
        for (size_t i = 0; i < files.size(); ++i)
            streams.out << qSetFieldWidth(20) << Qt::left << engine::catalogueTables().at(i).name << qSetFieldWidth(9)
                        << Qt::right << files.at(i)->rows() << qSetFieldWidth(0) << Qt::left << " rows  "
                        << files.at(i)->path() << "\n";
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue export: " << failure.text() << "\n";
        return 1;
    }
    return 0;
}

} // namespace catalogue_tool
