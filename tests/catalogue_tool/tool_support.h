// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "catalogue_tool/commands.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>
#include <sqlite3.h>

// Helpers shared by the catalogue tool's tests: running the tool, the legacy fixtures, and reading CSV.

namespace tool_test {

struct ToolRun
{
    int code = -1;
    QString out;
    QString err;
};

// Runs the tool's command table in this process, as the executable's main does.
inline ToolRun runTool(const QStringList& args)
{
    ToolRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.code = catalogue_tool::run(args, {out, err});
    out.flush();
    err.flush();
    return run;
}

inline QString fixture(const QString& name)
{
    return QStringLiteral(MEDIATAR_LEGACY_FIXTURES "/") + name;
}

#define SKIP_WITHOUT_FIXTURES()                                                                                        \
    do {                                                                                                               \
        if (!QFileInfo::exists(tool_test::fixture(QStringLiteral("sample.tnx"))))                                      \
            GTEST_SKIP() << "the legacy fixtures are not there";                                                       \
    } while (false)

inline QByteArray fileHash(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

// The names in a folder, hidden ones included: a failed import must leave nothing behind.
inline QStringList folderEntries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Every row of a statement on a catalogue file: a null as an invalid QVariant, a whole number as
// qlonglong, anything else as text.
inline QList<QVariantList> queryRows(const QString& path, const QString& sql)
{
    QList<QVariantList> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path.toStdString() << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
        ADD_FAILURE() << sql.toStdString() << ": " << sqlite3_errmsg(db);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        QVariantList row;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            switch (sqlite3_column_type(statement, i)) {
            case SQLITE_NULL:
                row << QVariant();
                break;
            case SQLITE_INTEGER:
                row << QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement, i)));
                break;
            default:
                row << QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)),
                                                  sqlite3_column_bytes(statement, i)));
            }
        }
        rows << row;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

// One CSV field: its text, and whether it was quoted (an empty quoted field is an empty text, an empty
// unquoted one a null).
struct CsvField
{
    QString text;
    bool quoted = false;
};
using CsvRow = QList<CsvField>;

// Reads RFC 4180 text with CR LF or LF line ends.
inline QList<CsvRow> readCsv(const QByteArray& bytes)
{
    QList<CsvRow> rows;
    CsvRow row;
    QByteArray field;
    bool quoted = false;
    bool inQuotes = false;
    bool any = false;
    auto endField = [&] {
        row << CsvField{QString::fromUtf8(field), quoted};
        field.clear();
        quoted = false;
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        any = true;
        if (inQuotes) {
            if (c == '"' && i + 1 < bytes.size() && bytes.at(i + 1) == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            inQuotes = true;
            quoted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n')
                ++i;
            endField();
            rows << row;
            row.clear();
            any = false;
        } else {
            field += c;
        }
    }
    if (any) {
        endField();
        rows << row;
    }
    return rows;
}

// mdb-export's view of a table: the header and the rows, each value as text (it prints null and empty alike).
struct ExportedTable
{
    QStringList header;
    QList<QStringList> rows;
};

inline QString mdbExportProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("mdb-export"));
}

inline ExportedTable mdbExport(const QString& file, const QString& table)
{
    QProcess process;
    process.start(mdbExportProgram(), {file, table});
    process.waitForFinished(120000);
    ExportedTable result;
    const QList<CsvRow> rows = readCsv(process.readAllStandardOutput());
    for (qsizetype r = 0; r < rows.size(); ++r) {
        QStringList values;
        for (const CsvField& field : rows.at(r))
            values << field.text;
        if (r == 0)
            result.header = values;
        else
            result.rows << values;
    }
    return result;
}

} // namespace tool_test
