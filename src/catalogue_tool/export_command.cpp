#include "catalogue_tool/arguments.h"
#include "catalogue_tool/catalogue_file.h"
#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "store/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <sqlite3.h>

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue export FILE|URI DIR [--force]"),
    QStringLiteral("Writes each of the seven tables of the catalogue FILE into DIR as TABLE.csv: UTF-8, a header\n"
                   "line, fields quoted as RFC 4180 says, lines ending in CR LF. A null is an empty field and an\n"
                   "empty text is \"\". DIR is created when missing; existing files are kept unless --force.\n"
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

// A CSV field is text: binary data that another program stored would come back as something else, so it is
// refused before anything is written. The row and column are named, so that it can be found and mended.
void refuseBinaryData(const CatalogueFile& catalogue, const store::TableDefinition& table, const QString& path)
{
    QStringList tests;
    QStringList kinds;
    for (const QString& column : table.columns) {
        tests << QStringLiteral("typeof(%1) = 'blob'").arg(column);
        kinds << QStringLiteral("typeof(%1)").arg(column);
    }
    Query query(catalogue, QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 LIMIT 1")
                               .arg(kinds.join(QStringLiteral(", ")), table.name, tests.join(QStringLiteral(" OR "))));
    if (!query.next())
        return;
    for (int column = 0; column < table.columns.size(); ++column) {
        if (qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(query.get(), column + 1)), "blob") == 0)
            throw platform::Failure(QStringLiteral("%1: the row %2 of the table %3 holds binary data in the column %4, "
                                                   "which a CSV file cannot carry; nothing was written")
                                        .arg(path)
                                        .arg(sqlite3_column_int64(query.get(), 0))
                                        .arg(table.name, table.columns.at(column)));
    }
}

// One table's CSV file, written in pieces so that a table of any size needs little memory. It takes its name
// only when commit() is called: a failure leaves any earlier file as it was.
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
    quint64 commit()
    {
        m_file.write(m_line);
        if (!m_file.commit())
            throw platform::Failure(QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString()));
        return m_rows;
    }

private:
    QSaveFile m_file;
    QByteArray m_line;
    quint64 m_rows = 0;
};

quint64 exportTable(const CatalogueFile& catalogue, const store::TableDefinition& table, const QString& path)
{
    CsvFile csv(path, table);
    Query query(
        catalogue,
        QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(table.columns.join(QStringLiteral(", ")), table.name));
    while (query.next()) {
        for (int column = 0; column < table.columns.size(); ++column) {
            if (column > 0)
                csv.line() += ',';
            appendField(csv.line(), query.get(), column);
        }
        csv.endRow();
    }
    return csv.commit();
}

// The same from a server, inside the caller's transaction. The rows come in the order of their identities, which
// a copy from a file gives in the file's order (rowid), so that both write the same bytes; through a cursor, so that
// a table of any size needs little memory.
quint64 exportServerTable(server::Connection& connection, const store::TableDefinition& table, const QString& path)
{
    CsvFile csv(path, table);
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
    return csv.commit();
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
        // Everything is checked before the first file is written, so a refusal leaves DIR as it was.
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
        if (onServer) {
            connection->run(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        } else {
            sqlite3_exec(catalogue->handle(), "BEGIN", nullptr, nullptr, nullptr);
            // A server's columns hold text and numbers only.
            for (const store::TableDefinition& table : store::catalogueTables())
                refuseBinaryData(*catalogue, table, source);
        }
        if (!QDir().mkpath(dir))
            throw platform::Failure(QStringLiteral("%1: the folder cannot be created").arg(dir));
        for (const store::TableDefinition& table : store::catalogueTables()) {
            const QString path = QDir(dir).filePath(table.name + QStringLiteral(".csv"));
            const quint64 rows =
                onServer ? exportServerTable(*connection, table, path) : exportTable(*catalogue, table, path);
            streams.out << qSetFieldWidth(20) << Qt::left << table.name << qSetFieldWidth(9) << Qt::right << rows
                        << qSetFieldWidth(0) << Qt::left << " rows  " << path << "\n";
        }
        if (onServer)
            connection->run(QStringLiteral("COMMIT"));
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue export: " << failure.text() << "\n";
        return 1;
    }
    return 0;
}

} // namespace catalogue_tool
