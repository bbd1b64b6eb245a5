#include "support/catalogue_builder.h"

#include "localisation/codepage.h"
#include "store/connection_setup.h"
#include "store/schema.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <sqlite3.h>
#include <stdexcept>

namespace {
int connectionCounter = 0;

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
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

void TestCatalogue::insert(const QString& table, const QVariantList& values)
{
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
    QSqlQuery query(QSqlDatabase::database(m_connection));
    check(query.exec(sql), query);
}

QList<QVariantList> TestCatalogue::rows(const QString& sql) const
{
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
