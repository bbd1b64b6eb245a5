// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/file_upkeep.h"

#include "hungarian/hungarian.h"
#include "platform/failure.h"
#include "store/catalogue_reader.h"
#include "store/hungarian_functions.h"
#include "store/kept_order.h"
#include "store/schema.h"

#include <sqlite3.h>

namespace store {

namespace {

struct Column
{
    QString name;
    QString type;
    bool key = false;
};

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text ? text : "");
}

std::vector<Column> columnsOf(const CatalogueReader& catalogue, const QString& table)
{
    ReadQuery query(catalogue, QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?)"));
    const QByteArray name = table.toUtf8();
    sqlite3_bind_text(query.get(), 1, name.constData(), name.size(), SQLITE_TRANSIENT);
    std::vector<Column> columns;
    while (query.next())
        columns.push_back(
            {columnText(query.get(), 0), columnText(query.get(), 1), sqlite3_column_int(query.get(), 2) > 0});
    return columns;
}

QStringList names(const std::vector<Column>& columns)
{
    QStringList list;
    for (const Column& column : columns)
        list << column.name;
    return list;
}

bool sameNames(const QStringList& a, const QStringList& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (a.at(i).compare(b.at(i), Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

const Column* find(const std::vector<Column>& columns, const QString& name)
{
    for (const Column& column : columns)
        if (column.name.compare(name, Qt::CaseInsensitive) == 0)
            return &column;
    return nullptr;
}

// What is wrong with the tables: each one the program reaches, with the columns it expects. Rows are inserted
// without a column list everywhere but in eloado, so there the order of the columns matters as well.
QStringList schemaProblems(const CatalogueReader& catalogue)
{
    QStringList problems;
    for (const TableDefinition& table : catalogueTables()) {
        if (!catalogue.hasTable(table.name)) {
            problems << QStringLiteral("the table %1 is missing").arg(table.name);
            continue;
        }
        const std::vector<Column> columns = columnsOf(catalogue, table.name);
        const bool albums = table.name == QLatin1String("eloado");
        QStringList actual = names(columns);
        QStringList expected = table.columns;
        if (albums) {
            actual.sort(Qt::CaseInsensitive);
            expected.sort(Qt::CaseInsensitive);
        }
        if (!sameNames(actual, expected))
            problems << QStringLiteral("the table %1 has the columns (%2) where (%3) are expected")
                            .arg(table.name, names(columns).join(QStringLiteral(", ")),
                                 table.columns.join(QStringLiteral(", ")));
        if (albums) {
            const Column* key = find(columns, QStringLiteral("kod"));
            if (key && !(key->key && key->type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0))
                problems << QStringLiteral("eloado.kod is not the table's INTEGER PRIMARY KEY: new albums get no key");
        }
        for (const QString& number : {QStringLiteral("kod"), QStringLiteral("eloado_azonosito")}) {
            const Column* column = find(columns, number);
            if (column && (albums || number != QLatin1String("kod")) &&
                column->type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) != 0)
                problems << QStringLiteral("%1.%2 has the type '%3' where INTEGER is expected")
                                .arg(table.name, column->name, column->type);
        }
    }
    return problems;
}

QStringList integrityProblems(const CatalogueReader& catalogue)
{
    QStringList problems;
    ReadQuery query(catalogue, QStringLiteral("PRAGMA integrity_check"));
    while (query.next()) {
        const QString line = columnText(query.get(), 0);
        if (line != QLatin1String("ok"))
            problems << line;
    }
    return problems;
}

QStringList versionProblems(const CatalogueReader& catalogue)
{
    ReadQuery version(catalogue, QStringLiteral("PRAGMA user_version"));
    if (!version.next() || sqlite3_column_int(version.get(), 0) == schemaVersion)
        return {};
    return {QStringLiteral("the schema version is %1 where %2 is expected")
                .arg(sqlite3_column_int(version.get(), 0))
                .arg(schemaVersion)};
}

// Tracks whose album is gone are never listed: lost to the user, and so a problem.
QStringList orphanProblems(const CatalogueReader& catalogue)
{
    ReadQuery orphans(
        catalogue,
        QStringLiteral("SELECT COUNT(*) FROM szamok WHERE eloado_azonosito NOT IN (SELECT kod FROM eloado)"));
    if (!orphans.next() || sqlite3_column_int64(orphans.get(), 0) == 0)
        return {};
    return {QStringLiteral("%1 tracks belong to no album (szamok.eloado_azonosito matches no eloado.kod); the "
                           "program never lists them")
                .arg(sqlite3_column_int64(orphans.get(), 0))};
}

// Rebuilds the kept counts (and the kept order where it differs from the rows) of a catalogue of the current
// version; an older one gets them as the program would give them on opening it.
void repairKeptCounts(const QString& path)
{
    const CatalogueReader probe(path); // refuses what is no SQLite file, with the reason
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_db_readonly(db, "main") == 1) {
        const QString text = db && sqlite3_db_readonly(db, "main") == 1 ? QStringLiteral("the file is read-only")
                                                                        : QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        throw platform::Failure(QStringLiteral("%1: cannot repair: %2").arg(path, text));
    }
    sqlite3_busy_timeout(db, 5000);
    try {
        if (!probe.hasTable(QStringLiteral("eloado")) && !probe.hasTable(rowCountsTable))
            throw platform::Failure(QStringLiteral("%1: not a catalogue: nothing repaired").arg(path));
        store::installHungarian(db);
        if (needsUpgrade(db))
            upgradeSchema(db);
        else
            recountKept(db);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

} // namespace

QStringList checkCatalogueFile(const QString& path, bool repair)
{
    if (repair)
        repairKeptCounts(path);
    const CatalogueReader catalogue(path);
    QStringList problems;
    try {
        problems << integrityProblems(catalogue);
        problems << schemaProblems(catalogue);
        if (problems.isEmpty()) {
            problems << versionProblems(catalogue);
            problems << orphanProblems(catalogue);
            problems << keptCountProblems(catalogue.handle());
        }
    } catch (const platform::Failure& failure) {
        // The engine refusing to read the file is itself the finding.
        problems << failure.text();
    }
    return problems;
}

QStringList fileDamage(const QString& path, int waitMilliseconds)
{
    try {
        const CatalogueReader catalogue(path);
        sqlite3_busy_timeout(catalogue.handle(), waitMilliseconds);
        return integrityProblems(catalogue);
    } catch (const platform::Failure& failure) {
        return {failure.text()};
    }
}

} // namespace store
