#include "server/connection.h"

#include "platform/failure.h"

#include <QByteArray>
#include <QRegularExpression>
#include <libpq-fe.h>

namespace server {

bool isServerUri(const QString& name)
{
    return name.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

// By hand rather than through QUrl: a libpq URI may name several hosts ("h1:5432,h2:5433"), which QUrl refuses.
QString withoutPassword(const QString& uri)
{
    const qsizetype schemeEnd = uri.indexOf(QLatin1String("://"));
    if (schemeEnd < 0)
        return uri;
    const qsizetype start = schemeEnd + 3;
    qsizetype end = uri.size();
    for (const QChar stop : {QLatin1Char('/'), QLatin1Char('?')}) {
        const qsizetype at = uri.indexOf(stop, start);
        if (at >= 0 && at < end)
            end = at;
    }
    QString authority = uri.mid(start, end - start);
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const qsizetype colon = authority.left(at).indexOf(QLatin1Char(':'));
        if (colon >= 0)
            authority.remove(colon, at - colon);
    }
    QString rest = uri.mid(end);
    // password=... among the parameters, wherever it stands.
    static const QRegularExpression password(QStringLiteral("([?&])password=[^&]*&?"),
                                             QRegularExpression::CaseInsensitiveOption);
    rest.replace(password, QStringLiteral("\\1"));
    if (rest.endsWith(QLatin1Char('&')) || rest.endsWith(QLatin1Char('?')))
        rest.chop(1);
    return uri.left(start) + authority + rest;
}

namespace {

QString serverText(const char* text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

struct ResultGuard
{
    PGresult* result;
    ~ResultGuard() { PQclear(result); }
};

std::vector<Row> rowsOf(PGresult* result)
{
    std::vector<Row> rows;
    const int columns = PQnfields(result);
    const int count = PQntuples(result);
    rows.reserve(static_cast<size_t>(count));
    for (int r = 0; r < count; ++r) {
        Row row;
        row.reserve(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            if (PQgetisnull(result, r, c))
                row.emplace_back(std::nullopt);
            else
                row.emplace_back(QString::fromUtf8(PQgetvalue(result, r, c), PQgetlength(result, r, c)));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// The values as libpq takes them: UTF-8 texts that live as long as the call, null pointers for NULL.
struct BoundValues
{
    std::vector<QByteArray> texts;
    std::vector<const char*> pointers;
    explicit BoundValues(const std::vector<Value>& values)
    {
        texts.reserve(values.size());
        for (const Value& value : values) {
            texts.push_back(value ? value->toUtf8() : QByteArray());
            pointers.push_back(value ? texts.back().constData() : nullptr);
        }
    }
};

} // namespace

Connection::Connection(const QString& uri) : m_uri(withoutPassword(uri))
{
    m_connection = PQconnectdb(uri.toUtf8().constData());
    if (!m_connection)
        throw platform::Failure(QStringLiteral("%1: out of memory").arg(m_uri));
    if (PQstatus(m_connection) != CONNECTION_OK) {
        const QString text = serverText(PQerrorMessage(m_connection));
        PQfinish(m_connection);
        m_connection = nullptr;
        throw platform::Failure(QStringLiteral("%1: %2").arg(m_uri, text));
    }
    // Catalogue text is UTF-8 whatever the server's or the client's locale.
    PQsetClientEncoding(m_connection, "UTF8");
    run(QStringLiteral("SET client_min_messages = warning"));
}

Connection::~Connection()
{
    if (m_connection)
        PQfinish(m_connection);
}

std::vector<Row> Connection::run(const QString& sql, const std::vector<Value>& values)
{
    const BoundValues bound(values);
    const ResultGuard result{PQexecParams(m_connection, sql.toUtf8().constData(), static_cast<int>(values.size()),
                                          nullptr, bound.pointers.data(), nullptr, nullptr, 0)};
    const ExecStatusType status = PQresultStatus(result.result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw platform::Failure(serverText(PQerrorMessage(m_connection)));
    return rowsOf(result.result);
}

QString Connection::single(const QString& sql, const std::vector<Value>& values)
{
    const std::vector<Row> rows = run(sql, values);
    if (rows.empty() || rows.front().empty() || !rows.front().front())
        return QString();
    return *rows.front().front();
}

void Connection::prepare(const QString& name, const QString& sql, int parameterCount)
{
    const ResultGuard result{
        PQprepare(m_connection, name.toUtf8().constData(), sql.toUtf8().constData(), parameterCount, nullptr)};
    if (PQresultStatus(result.result) != PGRES_COMMAND_OK)
        throw platform::Failure(serverText(PQerrorMessage(m_connection)));
}

void Connection::runPrepared(const QString& name, const std::vector<Value>& values)
{
    const BoundValues bound(values);
    const ResultGuard result{PQexecPrepared(m_connection, name.toUtf8().constData(), static_cast<int>(values.size()),
                                            bound.pointers.data(), nullptr, nullptr, 0)};
    const ExecStatusType status = PQresultStatus(result.result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw platform::Failure(serverText(PQerrorMessage(m_connection)));
}

} // namespace server
