// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/catalogue_builder.h"

#include "localisation/codepage.h"
#include "catalogue/engines.h"
#include "server/connection.h"
#include "server/server_rows.h"
#include "server/server_session.h"
#include "support/postgres_server.h"
#include "store/connection_setup.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <sqlite3.h>
#include <stdexcept>

namespace {
int connectionCounter = 0;
int serverCatalogueCounter = 0;

const QString readerRole = QStringLiteral("csak_olvaso");

std::vector<server::Value> serverValues(const QVariantList& values)
{
    std::vector<server::Value> converted;
    for (const QVariant& value : values)
        converted.push_back(value.isNull() ? server::Value() : server::Value(value.toString()));
    return converted;
}

void check(bool ok, const QSqlQuery& query)
{
    if (!ok)
        throw std::runtime_error(query.lastError().text().toStdString() + " in " + query.lastQuery().toStdString());
}
} // namespace

TestCatalogue::TestCatalogue(const QString& dir, const QString& file)
    : m_path(dir + QLatin1Char('/') + file), m_connection(QStringLiteral("test_catalogue_%1").arg(++connectionCounter))
{
    store::createCatalogueFile(m_path);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    db.setDatabaseName(m_path);
    if (!db.open())
        throw std::runtime_error(db.lastError().text().toStdString());
    // The catalogue's indexes hold Hungarian sort keys: a writer needs the program's connection set-up.
    store::prepareConnection(*static_cast<sqlite3* const*>(db.driver()->handle().data()));
}

TestCatalogue::~TestCatalogue()
{
    if (m_server) {
        // The windows are gone by now; a database per test would otherwise fill the server's folder.
        const QString database = m_uri.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
        m_server.reset();
        try {
            server::Connection admin(test_server::PostgresServer::instance().uri(QStringLiteral("postgres")));
            admin.run(QStringLiteral("DROP DATABASE \"%1\" WITH (FORCE)").arg(database));
        } catch (...) {
        }
    }
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QString TestCatalogue::place() const
{
    return m_server ? m_uri : m_path;
}

void TestCatalogue::moveToServer()
{
    if (m_server)
        return;
    test_server::PostgresServer& testServer = test_server::PostgresServer::instance();
    if (!testServer.running())
        throw std::runtime_error("the test server is not running: " + testServer.failure().toStdString());
    const QString database =
        QStringLiteral("katalogus_%1_%2").arg(QCoreApplication::applicationPid()).arg(++serverCatalogueCounter);
    m_uri = testServer.newDatabase(database);
    engine::WriteOptions copied;
    copied.makeCatalogue = true;
    copied.settle = true;
    engine::copyCatalogue(*catalogue::upkeepFor(engine::Location(m_path)),
                          *catalogue::upkeepFor(engine::Location(m_uri)), copied);
    m_server = std::make_unique<server::Connection>(m_uri);
}

QString TestCatalogue::readerUri() const
{
    if (!m_server)
        throw std::runtime_error("the catalogue is a file");
    m_server->run(QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '%1') THEN "
                                 "CREATE ROLE %1 LOGIN; END IF; END $$")
                      .arg(readerRole));
    m_server->run(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(readerRole));
    QString uri = m_uri;
    uri.replace(QStringLiteral("user=postgres"), QStringLiteral("user=") + readerRole);
    return uri;
}

QString TestCatalogue::serverSql(const QString& sql) const
{
    // The albums' rowid is their key on the server, which names it so; other tables' rowid is the server's
    // row identity, as the program's own statements have it.
    static const QRegularExpression albums(QStringLiteral("\\beloado\\b"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression others(QStringLiteral("\\b(szamok|valogatasok|dvd_filmek|filmek_videoklippek|games|"
                                                          "progs_other)\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rowid(QStringLiteral("\\browid\\b"), QRegularExpression::CaseInsensitiveOption);
    QString text = sql;
    if (text.contains(albums) && !text.contains(others))
        text.replace(rowid, QStringLiteral("kod"));
    return server::serverSql(text);
}

void TestCatalogue::insert(const QString& table, const QVariantList& values)
{
    if (m_server) {
        // The designed columns by name: the server's own row identity is left to the server, and a NULL album
        // key takes the next key, as it does in a file.
        QStringList designed;
        for (const ::engine::TableDefinition& definition : ::engine::catalogueTables())
            if (definition.name.compare(table, Qt::CaseInsensitive) == 0)
                designed = definition.columns;
        if (designed.size() != values.size())
            throw std::runtime_error("a row of another shape than the table: " + table.toStdString());
        QStringList columns;
        QStringList marks;
        QVariantList given;
        for (int i = 0; i < values.size(); ++i) {
            if (designed.at(i).compare(QLatin1String("kod"), Qt::CaseInsensitive) == 0 && values.at(i).isNull() &&
                table.compare(QLatin1String("eloado"), Qt::CaseInsensitive) == 0)
                continue;
            columns << designed.at(i);
            given << values.at(i);
            marks << QStringLiteral("$%1").arg(given.size());
        }
        m_server->run(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, columns.join(','), marks.join(',')),
                      serverValues(given));
        if (table.compare(QLatin1String("eloado"), Qt::CaseInsensitive) == 0)
            server::keepAlbumKeysFree(*m_server);
        return;
    }
    QStringList marks;
    for (int i = 0; i < values.size(); ++i)
        marks << QStringLiteral("?");
    QSqlQuery query(QSqlDatabase::database(m_connection));
    check(query.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, marks.join(','))), query);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    check(query.exec(), query);
}

qint64 TestCatalogue::addAlbum(const QString& artist, const QString& album)
{
    if (m_server)
        return m_server
            ->single(QStringLiteral("INSERT INTO eloado (ELOADO, ALBUM) VALUES ($1, $2) RETURNING kod"),
                     serverValues({artist, album}))
            .toLongLong();
    QSqlQuery query(QSqlDatabase::database(m_connection));
    check(query.prepare(QStringLiteral("INSERT INTO eloado (ELOADO, ALBUM) VALUES (?, ?)")), query);
    query.bindValue(0, artist);
    query.bindValue(1, album);
    check(query.exec(), query);
    return query.lastInsertId().toLongLong();
}

void TestCatalogue::addTrack(qint64 album, const QString& title, const QString& length, const QString& size,
                             const QString& bitrate, const QString& code)
{
    insert(QStringLiteral("szamok"), {title, length, size, bitrate, code, album});
}

void TestCatalogue::exec(const QString& sql)
{
    if (m_server) {
        m_server->run(serverSql(sql));
        return;
    }
    QSqlQuery query(QSqlDatabase::database(m_connection));
    check(query.exec(sql), query);
}

QList<QVariantList> TestCatalogue::rows(const QString& sql) const
{
    if (m_server) {
        static const QRegularExpression everyColumn(QStringLiteral("\\bSELECT\\s+\\*"),
                                                    QRegularExpression::CaseInsensitiveOption);
        const bool star = sql.contains(everyColumn);
        const server::Table table = m_server->table(serverSql(sql));
        QList<QVariantList> result;
        for (const server::Row& row : table.rows) {
            QVariantList converted;
            for (size_t i = 0; i < row.size(); ++i) {
                if (star && table.columns.at(int(i)) == QLatin1String("mediatar_id"))
                    continue;
                const bool whole = table.wholeNumbers.at(i);
                if (!row[i])
                    converted << (whole ? QVariant(QMetaType::fromType<qlonglong>())
                                        : QVariant(QMetaType::fromType<QString>()));
                else
                    converted << (whole ? QVariant(row[i]->toLongLong()) : QVariant(*row[i]));
            }
            result << converted;
        }
        return result;
    }
    QSqlQuery query(QSqlDatabase::database(m_connection));
    check(query.exec(sql), query);
    QList<QVariantList> result;
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << query.value(i);
        result << row;
    }
    return result;
}

int TestCatalogue::count(const QString& table) const
{
    return rows(QStringLiteral("SELECT COUNT(*) FROM ") + table).value(0).value(0).toInt();
}

ProgramFolder::ProgramFolder()
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary directory");
}

QString ProgramFolder::path() const
{
    return m_dir.path() + QLatin1Char('/');
}

void ProgramFolder::writeSettings(const QString& catalogue, const QString& language)
{
    writeBytes(
        QStringLiteral("list.ini"),
        localisation::encode1250(catalogue + QStringLiteral("\r\n") + language + QStringLiteral("\r\n")).value());
}

void ProgramFolder::writeBytes(const QString& name, const QByteArray& bytes)
{
    QFile target(file(name));
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate) || target.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + name.toStdString());
}

QByteArray ProgramFolder::readBytes(const QString& name) const
{
    QFile file(path() + name);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void ProgramFolder::installShippedLanguage()
{
    QFile source(QStringLiteral(MEDIATAR_SOURCE_DIR "/data/HU_magyar.lng"));
    if (!source.open(QIODevice::ReadOnly))
        throw std::runtime_error("the shipped language file is missing");
    writeBytes(QStringLiteral("HU_magyar.lng"), source.readAll());
}
