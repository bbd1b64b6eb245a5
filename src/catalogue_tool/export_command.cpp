// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "catalogue_tool/catalogue_file.h"
#include "catalogue_tool/csv_reader.h"
#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "store/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <memory>
#include <sqlite3.h>
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

void appendField(QByteArray& line, sqlite3_stmt* statement, int column)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL)
        return;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    appendField(line, text ? text : "", sqlite3_column_bytes(statement, column));
}

// One table's CSV file, written in pieces so that a table of any size needs little memory. It takes its name
// only when commit() is called: a failure leaves any earlier file as it was, and a file not committed is removed.
class CsvFile
{
public:
    CsvFile(const QString& path, const store::TableDefinition& table) : m_file(path)
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
void refuseUnfitValue(sqlite3_stmt* statement, const store::TableDefinition& table, int column, const QString& source)
{
    const int type = sqlite3_column_type(statement, column + 1);
    if (type == SQLITE_NULL || type == SQLITE_INTEGER || type == SQLITE_FLOAT)
        return;
    const auto refuse = [&](const QString& what, const QString& why) {
        throw platform::Failure(QStringLiteral("%1: the row %2 of the table %3 holds %4 in the column %5, %6; nothing "
                                               "was written")
                                    .arg(source)
                                    .arg(sqlite3_column_int64(statement, 0))
                                    .arg(table.name, what, table.columns.at(column), why));
    };
    if (type == SQLITE_BLOB)
        refuse(QStringLiteral("binary data"), QStringLiteral("which a CSV file cannot carry"));
    const QByteArrayView text(reinterpret_cast<const char*>(sqlite3_column_text(statement, column + 1)),
                              sqlite3_column_bytes(statement, column + 1));
    if (!validUtf8(text))
        refuse(QStringLiteral("text that is not UTF-8 (\"%1\")").arg(QString::fromUtf8(text).left(40)),
               QStringLiteral("which 'import-csv' could not read back"));
}

// Writes the table into csv, which the caller commits once every table is written.
void exportTable(const CatalogueFile& catalogue, const store::TableDefinition& table, CsvFile& csv,
                 const QString& source)
{
    Query query(catalogue, QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                               .arg(table.columns.join(QStringLiteral(", ")), table.name));
    while (query.next()) {
        for (int column = 0; column < table.columns.size(); ++column) {
            refuseUnfitValue(query.get(), table, column, source);
            if (column > 0)
                csv.line() += ',';
            appendField(csv.line(), query.get(), column + 1);
        }
        csv.endRow();
    }
}

// The same from a server, inside the caller's transaction. The rows come in the order of their identities, which
// a copy from a file gives in the file's order (rowid), so that both write the same bytes; through a cursor, so that
// a table of any size needs little memory.
void exportServerTable(server::Connection& connection, const store::TableDefinition& table, CsvFile& csv)
{
    connection.run(
        QStringLiteral("DECLARE exported NO SCROLL CURSOR FOR SELECT %1 FROM %2 ORDER BY %3")
            .arg(table.columns.join(QStringLiteral(", ")), table.name.toLower(), server::identityColumn(table.name)));
    for (;;) {
        const std::vector<server::Row> rows = connection.run(QStringLiteral("FETCH 5000 FROM exported"));
        if (rows.empty())
            break;
        for (const server::Row& row : rows) {
            for (size_t column = 0; column < row.size(); ++column) {
                if (column > 0)
                    csv.line() += ',';
                const server::Value& value = row[column];
                const QByteArray text = value ? value->toUtf8() : QByteArray();
                appendField(csv.line(), value ? text.constData() : nullptr, text.size());
            }
            csv.endRow();
        }
    }
    connection.run(QStringLiteral("CLOSE exported"));
}

} // namespace

int exportCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const QString source = parsed->positional.at(0);
    const bool onServer = server::isServerUri(source);
    const QString shown = onServer ? server::withoutPassword(source) : source;
    const QString dir = parsed->positional.at(1);
    try {
        std::optional<CatalogueFile> catalogue;
        std::optional<server::Connection> connection;
        if (onServer)
            connection.emplace(source);
        else
            catalogue.emplace(source);
        const auto hasTable = [&](const QString& name) {
            return onServer ? !connection->single(QStringLiteral("SELECT to_regclass($1)"), {name.toLower()}).isEmpty()
                            : catalogue->hasTable(name);
        };
        // The tables and DIR are checked before any file is written, so a refusal leaves DIR as it was.
        for (const store::TableDefinition& table : store::catalogueTables()) {
            if (!hasTable(table.name))
                throw platform::Failure(QStringLiteral("%1: the catalogue has no table %2 ('mediatar-catalogue check' "
                                                       "lists what is wrong)")
                                            .arg(shown, table.name));
            const QString path = QDir(dir).filePath(table.name + QStringLiteral(".csv"));
            if (QFileInfo::exists(path) && !parsed->has(QStringLiteral("--force")))
                throw platform::Failure(QStringLiteral("%1: the file already exists (--force replaces it)").arg(path));
        }
        // One read transaction: the files show the catalogue at one moment even while the program writes to it.
        if (onServer)
            connection->run(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        else
            sqlite3_exec(catalogue->handle(), "BEGIN", nullptr, nullptr, nullptr);
        const bool made = !QFileInfo::exists(dir);
        if (!QDir().mkpath(dir))
            throw platform::Failure(QStringLiteral("%1: the folder cannot be created").arg(dir));
        // The files take their names only when every table is written: a value refused in the last table leaves
        // DIR as it was, with no mix of new and old files.
        std::vector<std::unique_ptr<CsvFile>> files;
        try {
            for (const store::TableDefinition& table : store::catalogueTables()) {
                files.push_back(
                    std::make_unique<CsvFile>(QDir(dir).filePath(table.name + QStringLiteral(".csv")), table));
                if (onServer)
                    exportServerTable(*connection, table, *files.back());
                else
                    exportTable(*catalogue, table, *files.back(), source);
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
            streams.out << qSetFieldWidth(20) << Qt::left << store::catalogueTables().at(i).name << qSetFieldWidth(9)
                        << Qt::right << files.at(i)->rows() << qSetFieldWidth(0) << Qt::left << " rows  "
                        << files.at(i)->path() << "\n";
        if (onServer)
            connection->run(QStringLiteral("COMMIT"));
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue export: " << failure.text() << "\n";
        return 1;
    }
    return 0;
}

} // namespace catalogue_tool
