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

Canceller::Canceller(pg_conn* connection) : m_cancel(PQgetCancel(connection)) {}

Canceller::~Canceller()
{
    if (m_cancel)
        PQfreeCancel(m_cancel);
}

void Canceller::cancel()
{
    char error[256];
    if (m_cancel)
        PQcancel(m_cancel, error, sizeof error);
}

namespace {

// Connects with the URI as given, or with a password beside it: the password goes as its own keyword, so it is
// never pasted into the URI, nor does it leave this connection.
pg_conn* connectTo(const QByteArray& uri, const std::optional<QByteArray>& password)
{
    if (!password)
        return PQconnectdb(uri.constData());
    const char* keywords[] = {"dbname", "password", nullptr};
    const char* values[] = {uri.constData(), password->constData(), nullptr};
    return PQconnectdbParams(keywords, values, 1);
}

} // namespace

Connection::Connection(const QString& uri, const PasswordSource& passwords) : m_uri(withoutPassword(uri))
{
    const QByteArray given = uri.toUtf8();
    m_connection = connectTo(given, std::nullopt);
    if (m_connection && PQstatus(m_connection) != CONNECTION_OK && PQconnectionNeedsPassword(m_connection) &&
        passwords) {
        // The server asked for a password and none of libpq's own sources gave one.
        if (const std::optional<QString> password = passwords(m_uri)) {
            PQfinish(m_connection);
            m_connection = connectTo(given, password->toUtf8());
        }
    }
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
    return table(sql, values).rows;
}

Table Connection::table(const QString& sql, const std::vector<Value>& values)
{
    if (!m_connection)
        throw platform::Failure(QStringLiteral("%1: no connection to the server").arg(m_uri));
    const BoundValues bound(values);
    const ResultGuard result{PQexecParams(m_connection, sql.toUtf8().constData(), static_cast<int>(values.size()),
                                          nullptr, bound.pointers.data(), nullptr, nullptr, 0)};
    const ExecStatusType status = PQresultStatus(result.result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw platform::Failure(serverText(PQerrorMessage(m_connection)));
    m_changed = QByteArray(PQcmdTuples(result.result)).toInt();
    Table table;
    for (int c = 0; c < PQnfields(result.result); ++c) {
        table.columns << QString::fromUtf8(PQfname(result.result, c));
        const unsigned type = PQftype(result.result, c);
        table.wholeNumbers.push_back(type == 20 || type == 21 || type == 23); // int8, int2, int4
    }
    table.rows = rowsOf(result.result);
    return table;
}

bool Connection::broken() const
{
    return !m_connection || PQstatus(m_connection) != CONNECTION_OK;
}

bool Connection::inTransaction() const
{
    return m_connection && PQtransactionStatus(m_connection) != PQTRANS_IDLE;
}

int Connection::serverProcess() const
{
    return m_connection ? PQbackendPID(m_connection) : 0;
}

int Connection::socket() const
{
    return broken() ? -1 : PQsocket(m_connection);
}

QStringList Connection::takeNotifications(std::vector<int>* senders)
{
    QStringList payloads;
    if (broken() || !PQconsumeInput(m_connection))
        return payloads;
    while (PGnotify* notification = PQnotifies(m_connection)) {
        payloads << QString::fromUtf8(notification->extra);
        if (senders)
            senders->push_back(notification->be_pid);
        PQfreemem(notification);
    }
    return payloads;
}

std::unique_ptr<Canceller> Connection::canceller() const
{
    return std::make_unique<Canceller>(m_connection);
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
