#include "server/server_copy.h"

#include "catalogue_tool/catalogue_file.h"
#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "store/connection_setup.h"
#include "store/new_catalogue_file.h"
#include "store/schema.h"

#include <QFile>
#include <sqlite3.h>

namespace server {

namespace {

QString sqliteError(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

qint64 fileCount(sqlite3* db, const QString& table)
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = QStringLiteral("SELECT count(*) FROM %1").arg(table).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        throw platform::Failure(sqliteError(db));
    const qint64 count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return count;
}

// Rows per insert statement of a copy to a server: the widest table (nine columns) stays far below the
// protocol's 65,535 bound values.
constexpr int rowsPerInsert = 500;

QString placeholders(int count, int first = 0)
{
    QStringList marks;
    for (int i = first + 1; i <= first + count; ++i)
        marks << QStringLiteral("$%1").arg(i);
    return marks.join(QStringLiteral(", "));
}

void execute(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw platform::Failure(sqliteError(db));
}

} // namespace

CopyCounts copyFileToServer(const QString& path, const QString& uri)
{
    const catalogue_tool::CatalogueFile file(path);
    for (const store::TableDefinition& table : store::catalogueTables())
        if (!file.hasTable(table.name))
            throw platform::Failure(
                QStringLiteral("%1: the table %2 is missing; nothing was copied").arg(path, table.name));
    Connection connection(uri);
    CopyCounts counts;
    // One read of the file, so that a program writing it meanwhile cannot make the counts differ.
    execute(file.handle(), "BEGIN");
    try {
        inTransaction(connection, QStringLiteral("BEGIN"), [&] {
            writeServerSchema(connection);
            for (const store::TableDefinition& table : store::catalogueTables()) {
                const QString columns = table.columns.join(QStringLiteral(", "));
                const int width = static_cast<int>(table.columns.size());
                // Many rows to a statement: each statement fires the counting triggers once, and a counter row
                // updated once per row inside one transaction grows a chain of versions that makes every
                // further update slower (20,000 single-row inserts took over 20 s).
                const auto insertOf = [&](int rowCount) {
                    QStringList tuples;
                    for (int r = 0; r < rowCount; ++r)
                        tuples << QStringLiteral("(") + placeholders(width, r * width) + QStringLiteral(")");
                    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                        .arg(table.name.toLower(), columns, tuples.join(QStringLiteral(", ")));
                };
                const QString statementName = QStringLiteral("copy_") + table.name.toLower();
                connection.prepare(statementName, insertOf(rowsPerInsert), width * rowsPerInsert);
                // In rowid order, so that the rows keep their order of entry in their new identities.
                catalogue_tool::Query rows(file,
                                           QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(columns, table.name));
                std::vector<Value> values;
                values.reserve(static_cast<size_t>(width * rowsPerInsert));
                qint64 copied = 0;
                while (rows.next()) {
                    for (int c = 0; c < width; ++c) {
                        if (sqlite3_column_type(rows.get(), c) == SQLITE_NULL)
                            values.emplace_back(std::nullopt);
                        else
                            values.emplace_back(
                                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(rows.get(), c)),
                                                  sqlite3_column_bytes(rows.get(), c)));
                    }
                    ++copied;
                    if (values.size() == static_cast<size_t>(width * rowsPerInsert)) {
                        connection.runPrepared(statementName, values);
                        values.clear();
                    }
                }
                if (!values.empty())
                    connection.run(insertOf(static_cast<int>(values.size()) / width), values);
                const qint64 source = fileCount(file.handle(), table.name);
                const qint64 target = countedRows(connection, table.name);
                const qint64 kept = keptRowCount(connection, table.name);
                if (copied != source || target != source || kept != source)
                    throw platform::Failure(
                        QStringLiteral("the table %1 has %2 rows in the file but %3 on the server (kept count %4); "
                                       "nothing was copied")
                            .arg(table.name)
                            .arg(source)
                            .arg(target)
                            .arg(kept));
                counts.rows += copied;
            }
            // New albums get keys after the copied ones.
            connection.run(QStringLiteral("SELECT setval(pg_get_serial_sequence('eloado', 'kod'), "
                                          "coalesce(max(kod), 0) + 1, false) FROM eloado"));
        });
    } catch (...) {
        sqlite3_exec(file.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    sqlite3_exec(file.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    return counts;
}

namespace {

void copyRowsInto(Connection& connection, sqlite3* db, CopyCounts& counts)
{
    for (const store::TableDefinition& table : store::catalogueTables()) {
        const QString columns = table.columns.join(QStringLiteral(", "));
        const int width = static_cast<int>(table.columns.size());
        QStringList marks;
        for (int i = 0; i < width; ++i)
            marks << QStringLiteral("?");
        sqlite3_stmt* insert = nullptr;
        const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(table.name, columns, marks.join(QStringLiteral(", ")))
                                   .toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr) != SQLITE_OK)
            throw platform::Failure(sqliteError(db));
        // Rows are read in their identity order, so that the file keeps their order of entry.
        const std::vector<Row> rows =
            connection.run(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                               .arg(columns, table.name.toLower(), identityColumn(table.name)));
        try {
            for (const Row& row : rows) {
                for (int c = 0; c < width; ++c) {
                    const Value& value = row.at(static_cast<size_t>(c));
                    if (!value) {
                        sqlite3_bind_null(insert, c + 1);
                    } else if (table.columns.at(c) == QLatin1String("kod") && table.name == QLatin1String("eloado")) {
                        sqlite3_bind_int64(insert, c + 1, value->toLongLong());
                    } else if (table.columns.at(c) == QLatin1String("eloado_azonosito")) {
                        sqlite3_bind_int64(insert, c + 1, value->toLongLong());
                    } else {
                        const QByteArray text = value->toUtf8();
                        sqlite3_bind_text(insert, c + 1, text.constData(), text.size(), SQLITE_TRANSIENT);
                    }
                }
                if (sqlite3_step(insert) != SQLITE_DONE)
                    throw platform::Failure(sqliteError(db));
                sqlite3_reset(insert);
            }
        } catch (...) {
            sqlite3_finalize(insert);
            throw;
        }
        sqlite3_finalize(insert);
        const qint64 source = static_cast<qint64>(rows.size());
        const qint64 target = fileCount(db, table.name);
        if (target != source)
            throw platform::Failure(
                QStringLiteral("the table %1 has %2 rows on the server but %3 in the file; nothing was copied")
                    .arg(table.name)
                    .arg(source)
                    .arg(target));
        counts.rows += source;
    }
}

} // namespace

CopyCounts copyServerToFile(const QString& uri, const QString& path)
{
    // A file that is there is never written; the new one takes its name only once it is complete.
    store::checkNewTarget(path, false);
    Connection connection(uri);
    store::NewCatalogueFile file(path, QStringLiteral("copy"));
    CopyCounts counts;
    sqlite3* db = nullptr;
    try {
        if (sqlite3_open_v2(file.path().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw platform::Failure(QStringLiteral("%1: %2").arg(path, sqliteError(db)));
        store::prepareConnection(db);
        // The seven tables alone first: a bulk load runs faster before the kept order exists.
        store::createTables(db);
        execute(db, "BEGIN");
        // One snapshot of the server for every table, so that rows written meanwhile cannot split the copy.
        inTransaction(connection, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"),
                      [&] { copyRowsInto(connection, db, counts); });
        execute(db, "COMMIT");
        store::upgradeSchema(db);
        sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    file.commit();
    return counts;
}

} // namespace server
