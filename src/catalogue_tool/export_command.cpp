#include "catalogue_tool/arguments.h"
#include "catalogue_tool/catalogue_file.h"
#include "platform/failure.h"
#include "store/schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <sqlite3.h>

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue export FILE DIR [--force]"),
    QStringLiteral("Writes each of the seven tables of the catalogue FILE into DIR as TABLE.csv: UTF-8, a header\n"
                   "line, fields quoted as RFC 4180 says, lines ending in CR LF. A null is an empty field and an\n"
                   "empty text is \"\". DIR is created when missing; existing files are kept unless --force.\n"),
    2,
    {QStringLiteral("--force")}};

// One field in RFC 4180 form. An empty text is written as "" so that it stays apart from a null, which is
// written as nothing at all.
void appendField(QByteArray& line, sqlite3_stmt* statement, int column)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL)
        return;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    const QByteArray value(text ? text : "", sqlite3_column_bytes(statement, column));
    const bool quote =
        value.isEmpty() || value.contains(',') || value.contains('"') || value.contains('\r') || value.contains('\n');
    if (!quote) {
        line += value;
        return;
    }
    line += '"';
    line += QByteArray(value).replace("\"", "\"\"");
    line += '"';
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

quint64 exportTable(const CatalogueFile& catalogue, const store::TableDefinition& table, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw platform::Failure(QStringLiteral("%1: %2").arg(path, file.errorString()));
    QByteArray line = table.columns.join(QLatin1Char(',')).toUtf8() + "\r\n";
    Query query(
        catalogue,
        QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(table.columns.join(QStringLiteral(", ")), table.name));
    quint64 rows = 0;
    while (query.next()) {
        for (int column = 0; column < table.columns.size(); ++column) {
            if (column > 0)
                line += ',';
            appendField(line, query.get(), column);
        }
        line += "\r\n";
        ++rows;
        // Written in pieces, so that a table of any size needs little memory.
        if (line.size() >= 1 << 16) {
            file.write(line);
            line.clear();
        }
    }
    file.write(line);
    if (!file.commit())
        throw platform::Failure(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return rows;
}

} // namespace

int exportCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const QString dir = parsed->positional.at(1);
    try {
        const CatalogueFile catalogue(parsed->positional.at(0));
        // Everything is checked before the first file is written, so a refusal leaves DIR as it was.
        for (const store::TableDefinition& table : store::catalogueTables()) {
            if (!catalogue.hasTable(table.name))
                throw platform::Failure(QStringLiteral("%1: the catalogue has no table %2 ('mediatar-catalogue check' "
                                                       "lists what is wrong)")
                                            .arg(parsed->positional.at(0), table.name));
            const QString path = QDir(dir).filePath(table.name + QStringLiteral(".csv"));
            if (QFileInfo::exists(path) && !parsed->has(QStringLiteral("--force")))
                throw platform::Failure(QStringLiteral("%1: the file already exists (--force replaces it)").arg(path));
        }
        // One read transaction: the files show the catalogue at one moment even while the program writes to it.
        sqlite3_exec(catalogue.handle(), "BEGIN", nullptr, nullptr, nullptr);
        for (const store::TableDefinition& table : store::catalogueTables())
            refuseBinaryData(catalogue, table, parsed->positional.at(0));
        if (!QDir().mkpath(dir))
            throw platform::Failure(QStringLiteral("%1: the folder cannot be created").arg(dir));
        for (const store::TableDefinition& table : store::catalogueTables()) {
            const QString path = QDir(dir).filePath(table.name + QStringLiteral(".csv"));
            const quint64 rows = exportTable(catalogue, table, path);
            streams.out << qSetFieldWidth(20) << Qt::left << table.name << qSetFieldWidth(9) << Qt::right << rows
                        << qSetFieldWidth(0) << Qt::left << " rows  " << path << "\n";
        }
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue export: " << failure.text() << "\n";
        return 1;
    }
    return 0;
}

} // namespace catalogue_tool
