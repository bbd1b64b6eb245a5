#include "store/schema.h"

#include "platform/failure.h"

#include <QFileInfo>
#include <sqlite3.h>

namespace store {

const std::vector<TableDefinition>& catalogueTables()
{
    static const std::vector<TableDefinition> tables = {
        {"eloado", {"kod", "ELOADO", "ALBUM"}},
        {"szamok", {"CIM", "IDO", "MERET", "BITRATA", "KOD", "eloado_azonosito"}},
        {"Valogatasok", {"ELOADO", "ALBUM", "IDO", "BITRATA", "MERET", "KOD"}},
        {"DVD_Filmek", {"CIM", "EREDETI_CIM", "Nyelv", "Felirat", "db_DVD", "Hossz", "Stilus"}},
        {"Filmek_videoklippek",
         {"CIM", "MEGJEGYZES", "Nyelv", "Felbontas", "MERET", "Hossz", "Stilus", "Video", "Hang"}},
        {"games", {"NEV", "Megjegyzes", "MERET", "KOD"}},
        {"progs_other", {"Programok", "Megjegyzes", "MERET", "KOD"}},
    };
    return tables;
}

QStringList schemaStatements()
{
    QStringList statements;
    for (const TableDefinition& table : catalogueTables()) {
        QStringList columns;
        for (const QString& column : table.columns) {
            if (table.name == QLatin1String("eloado") && column == QLatin1String("kod"))
                columns << QStringLiteral("kod INTEGER PRIMARY KEY AUTOINCREMENT");
            else if (column == QLatin1String("eloado_azonosito"))
                columns << QStringLiteral("eloado_azonosito INTEGER");
            else
                columns << column + QStringLiteral(" TEXT");
        }
        statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
    }
    return statements;
}

namespace {
void execute(sqlite3* db, const QString& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw platform::Failure(text);
    }
}
} // namespace

void createSchema(sqlite3* db)
{
    execute(db, QStringLiteral("BEGIN"));
    try {
        for (const QString& statement : schemaStatements())
            execute(db, statement);
        execute(db, QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion));
        execute(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void createCatalogueFile(const QString& path)
{
    if (QFileInfo::exists(path))
        throw platform::Failure(QStringLiteral("%1: the file already exists").arg(path));
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        throw platform::Failure(QStringLiteral("%1: %2").arg(path, text));
    }
    try {
        // WAL lets the program's two connections, and a second running copy, read and write at once.
        execute(db, QStringLiteral("PRAGMA journal_mode = WAL"));
        createSchema(db);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

} // namespace store
