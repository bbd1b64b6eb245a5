// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"

#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "hungarian/hungarian.h"
#include "store/kept_order.h"
#include "store/schema.h"
#include "store/hungarian_functions.h"

#include <QFile>
#include <sqlite3.h>

namespace catalogue_tool {

namespace {

void runSeed(const QString& catalogue, const QString& seedPath)
{
    QFile seed(seedPath);
    if (!seed.open(QIODevice::ReadOnly))
        throw platform::Failure(QStringLiteral("%1: %2").arg(seedPath, seed.errorString()));
    const QByteArray sql = seed.readAll();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(catalogue.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        throw platform::Failure(text);
    }
    // Plain SQL writes the rows; the kept order takes them in afterwards, and the file stays in the rollback
    // journal, plain at rest.
    store::installHungarian(db);
    char* message = nullptr;
    const QByteArray wrapped = "BEGIN;\n" + sql + "\nCOMMIT;";
    const int rc = sqlite3_exec(db, wrapped.constData(), nullptr, nullptr, &message);
    const QString text = QString::fromUtf8(message ? message : "");
    sqlite3_free(message);
    if (rc == SQLITE_OK)
        store::bringKeptOrderUpToDate(db);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw platform::Failure(QStringLiteral("%1: %2").arg(seedPath, text));
}

const Syntax syntax{
    QStringLiteral("mediatar-catalogue create FILE|URI [--seed SQL]"),
    QStringLiteral("Writes a new catalogue with the seven empty tables. With --seed, runs the SQL file's\n"
                   "statements (UTF-8) on it in one transaction. An existing FILE is never overwritten.\n"
                   "FILE may be a PostgreSQL connection URI (postgresql://user@host:port/dbname) instead: the\n"
                   "tables, their Hungarian order, search indexes and kept counts are then written into that\n"
                   "database, which must hold no catalogue yet (--seed works on a file only).\n"),
    1,
    {},
    {{QStringLiteral("--seed"), QStringLiteral("SQL")}}};

} // namespace

int createCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const QString file = parsed->positional.at(0);
    const QString seed = parsed->value(QStringLiteral("--seed"));
    if (server::isServerUri(file)) {
        if (!seed.isEmpty()) {
            streams.err << "mediatar-catalogue create: --seed works on a file only\n";
            return 2;
        }
        try {
            server::Connection connection(file);
            server::createServerCatalogue(connection);
        } catch (const platform::Failure& failure) {
            streams.err << "mediatar-catalogue create: " << failure.text() << "\n";
            return 1;
        }
        streams.out << "created " << server::withoutPassword(file) << "\n";
        return 0;
    }
    try {
        store::createCatalogueFile(file);
        if (!seed.isEmpty()) {
            try {
                runSeed(file, seed);
            } catch (...) {
                QFile::remove(file);
                QFile::remove(file + QStringLiteral("-wal"));
                QFile::remove(file + QStringLiteral("-shm"));
                throw;
            }
        }
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue create: " << failure.text() << "\n";
        return 1;
    }
    streams.out << "created " << file << "\n";
    return 0;
}

} // namespace catalogue_tool
