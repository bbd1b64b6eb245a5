// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/bare_server.h"

#include <libpq-fe.h>
#include <memory>
#include <stdexcept>

namespace bench {

namespace {

struct ResultDeleter
{
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

[[noreturn]] void fail(pg_conn* connection, const QString& sql)
{
    throw std::runtime_error(
        (QString::fromUtf8(PQerrorMessage(connection)).trimmed() + QStringLiteral(" in ") + sql).toStdString());
}

Result run(pg_conn* connection, const QString& sql, const QStringList& values)
{
    std::vector<QByteArray> bytes;
    std::vector<const char*> pointers;
    bytes.reserve(static_cast<std::size_t>(values.size()));
    for (const QString& value : values) {
        bytes.push_back(value.toUtf8());
        pointers.push_back(bytes.back().constData());
    }
    Result result{PQexecParams(connection, sql.toUtf8().constData(), static_cast<int>(pointers.size()), nullptr,
                               pointers.data(), nullptr, nullptr, 0)};
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        fail(connection, sql);
    return result;
}

} // namespace

BareServer::BareServer(const QString& uri)
{
    m_connection = PQconnectdb(uri.toUtf8().constData());
    if (!m_connection || PQstatus(m_connection) != CONNECTION_OK) {
        const std::string text = m_connection ? PQerrorMessage(m_connection) : "out of memory";
        PQfinish(m_connection);
        throw std::runtime_error(text);
    }
    PQsetClientEncoding(m_connection, "UTF8");
}

BareServer::~BareServer()
{
    PQfinish(m_connection);
}

BareServer::Screen BareServer::screen(const QString& sql, const QStringList& values) const
{
    const Result result = run(m_connection, sql, values);
    Screen screen;
    screen.rows = PQntuples(result.get());
    const int columns = PQnfields(result.get());
    for (int row = 0; row < screen.rows; ++row) {
        for (int column = 0; column < columns; ++column)
            screen.values << QString::fromUtf8(PQgetvalue(result.get(), row, column),
                                               PQgetlength(result.get(), row, column));
    }
    return screen;
}

qint64 BareServer::number(const QString& sql, const QStringList& values) const
{
    const Result result = run(m_connection, sql, values);
    if (PQntuples(result.get()) < 1 || PQgetisnull(result.get(), 0, 0))
        return -1;
    return QByteArray(PQgetvalue(result.get(), 0, 0)).toLongLong();
}

QStringList BareServer::lines(const QString& sql, const QStringList& values) const
{
    const Result result = run(m_connection, sql, values);
    QStringList lines;
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        QStringList fields;
        for (int column = 0; column < PQnfields(result.get()); ++column)
            fields << QString::fromUtf8(PQgetvalue(result.get(), row, column));
        lines << fields.join(QLatin1Char('|'));
    }
    return lines;
}

void BareServer::command(const QString& sql) const
{
    const Result result{PQexec(m_connection, sql.toUtf8().constData())};
    if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        fail(m_connection, sql);
}

void BareServer::copyIn(const QString& sql, const std::function<QByteArray()>& next) const
{
    {
        const Result started{PQexec(m_connection, sql.toUtf8().constData())};
        if (!started || PQresultStatus(started.get()) != PGRES_COPY_IN)
            fail(m_connection, sql);
    }
    for (QByteArray chunk = next(); !chunk.isEmpty(); chunk = next()) {
        if (PQputCopyData(m_connection, chunk.constData(), static_cast<int>(chunk.size())) != 1)
            fail(m_connection, sql);
    }
    if (PQputCopyEnd(m_connection, nullptr) != 1)
        fail(m_connection, sql);
    bool failed = false;
    while (PGresult* raw = PQgetResult(m_connection)) {
        const Result result{raw};
        failed = failed || PQresultStatus(raw) != PGRES_COMMAND_OK;
    }
    if (failed)
        fail(m_connection, sql);
}

} // namespace bench
