#include "store/query_channel.h"

#include "platform/failure.h"
#include "store/connection_setup.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <sqlite3.h>

namespace store {

namespace {

QString engineText(const QSqlError& error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

const QString closedListText = QStringLiteral("Operation is not allowed when the object is closed.");

} // namespace

QueryChannel::QueryChannel(const QString& connectionName, QObject* parent)
    : QObject(parent), m_connectionName(connectionName)
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
}

QueryChannel::~QueryChannel()
{
    m_rows.reset();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase QueryChannel::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

sqlite3* QueryChannel::handle() const
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        return nullptr;
    return *static_cast<sqlite3* const*>(db.driver()->handle().data());
}

void QueryChannel::pointAt(const QString& cataloguePath)
{
    disconnect();
    m_path = cataloguePath;
}

void QueryChannel::disconnect()
{
    dropRows();
    QSqlDatabase db = database();
    db.close();
}

bool QueryChannel::isConnected() const
{
    return database().isOpen();
}

void QueryChannel::connect()
{
    QSqlDatabase db = database();
    if (db.isOpen())
        return;
    // Read-write without create: a path that names no file must fail, never leave an empty file behind.
    if (m_path.isEmpty())
        throw platform::Failure(QString::fromUtf8(sqlite3_errstr(SQLITE_CANTOPEN)));
    QUrl uri = QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    if (!db.open())
        throw platform::Failure(engineText(db.lastError()));
    prepareConnection(handle());
}

void QueryChannel::setStatement(const Statement& statement)
{
    dropRows();
    m_statement = statement;
}

QSqlQuery QueryChannel::prepared() const
{
    // Another program may have changed a table since this connection last read the schema. The engine would
    // then prepare against the old tables and re-prepare while the rows are read, with another column count
    // than the driver set up for. A look at the schema first brings it up to date.
    sqlite3_exec(handle(), "SELECT 1 FROM sqlite_schema LIMIT 0", nullptr, nullptr, nullptr);
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.prepare(m_statement.sql()))
        throw platform::Failure(engineText(query.lastError()));
    const QVariantList values = m_statement.values();
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return query;
}

void QueryChannel::open()
{
    if (isOpen())
        return;
    connect();
    emit statementRun(m_statement.text());
    QSqlQuery query = prepared();
    if (!query.exec())
        throw platform::Failure(engineText(query.lastError()));
    auto rows = std::make_unique<LoadedRowSet>(query);
    if (query.lastError().isValid())
        throw platform::Failure(engineText(query.lastError()));
    emit rowsAboutToChange();
    m_rows = std::move(rows);
    m_currentRow = m_rows->count() > 0 ? 0 : -1;
    emit rowsChanged();
}

void QueryChannel::execute()
{
    dropRows();
    connect();
    emit statementRun(m_statement.text());
    QSqlQuery query = prepared();
    if (!query.exec())
        throw platform::Failure(engineText(query.lastError()));
}

void QueryChannel::close()
{
    dropRows();
}

void QueryChannel::dropRows()
{
    if (!m_rows)
        return;
    emit rowsAboutToChange();
    m_rows.reset();
    m_currentRow = -1;
    emit rowsChanged();
}

int QueryChannel::recordCount() const
{
    if (!m_rows)
        throw platform::Failure(closedListText);
    return m_rows->count();
}

QString QueryChannel::fieldText(int row, const QString& column) const
{
    if (!m_rows)
        throw platform::Failure(closedListText);
    const int index = m_rows->columnIndex(column);
    if (index < 0)
        throw platform::Failure(QStringLiteral("%1: Field '%2' not found").arg(m_connectionName, column));
    return m_rows->value(row, index).toString();
}

} // namespace store
