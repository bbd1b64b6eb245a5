// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/connection.h"

#include "engine/location.h"
#include "platform/failure.h"
#include "server/client_library.h"

#include "platform/platform.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <libpq-fe.h>
#include <thread>
#include <utility>

namespace server {

bool isServerUri(const QString& name)
{
    return engine::Location::namesServer(name);
}

QString withoutPassword(const QString& uri)
{
    return engine::Location::withoutPassword(uri);
}

namespace {

QString serverText(const char* text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

struct ResultGuard
{
    PGresult* result;
    ~ResultGuard() { pq().PQclear(result); }
};

std::vector<Row> rowsOf(PGresult* result)
{
    std::vector<Row> rows;
    const int columns = pq().PQnfields(result);
    const int count = pq().PQntuples(result);
    rows.reserve(static_cast<size_t>(count));
    for (int r = 0; r < count; ++r) {
        Row row;
        row.reserve(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            if (pq().PQgetisnull(result, r, c))
                row.emplace_back(std::nullopt);
            else
                row.emplace_back(QString::fromUtf8(pq().PQgetvalue(result, r, c), pq().PQgetlength(result, r, c)));
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

// How long a connection attempt may take when neither the URI nor PGCONNECT_TIMEOUT says: a server that accepts
// and never answers (a sleeping NAS, a firewall that drops packets) would otherwise hold the start for minutes.
const char defaultConnectTimeout[] = "10";

// The connect timeout in force for a connection being made, in milliseconds; 0 for none. libpq keeps it only
// while it waits itself.
int connectTimeout(pg_conn* connection)
{
    int seconds = 0;
    if (PQconninfoOption* options = pq().PQconninfo(connection)) {
        for (PQconninfoOption* option = options; option->keyword; ++option) {
            if (std::strcmp(option->keyword, "connect_timeout") == 0 && option->val)
                seconds = QByteArray(option->val).trimmed().toInt();
        }
        pq().PQconninfoFree(options);
    }
    // As libpq takes it: a value under 2 s but 0 is 2 s.
    return seconds <= 0 ? 0 : std::max(seconds, 2) * 1000;
}

// Makes the connection through the waiting service: PQconnectPoll after every readiness of the socket, which
// may change as further addresses of the host are tried.
pg_conn* connectWaiting(const char* const* keywords, const char* const* values, platform::Waiting& waiting,
                        const QString& shownUri)
{
    pg_conn* connection = pq().PQconnectStartParams(keywords, values, 1);
    if (!connection || pq().PQstatus(connection) == CONNECTION_BAD)
        return connection;
    const int timeout = connectTimeout(connection);
    QElapsedTimer since;
    since.start();
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;
    bool timedOut = false;
    const auto step = [&]() -> platform::WaitStep {
        const int socket = pq().PQsocket(connection);
        pollfd ready{socket, short(status == PGRES_POLLING_WRITING ? POLLOUT : POLLIN), 0};
        // Polled only when the socket is ready: before that libpq would take a connection still being made
        // for a made one.
        if (socket >= 0 && ::poll(&ready, 1, 0) == 1)
            status = pq().PQconnectPoll(connection);
        if (status == PGRES_POLLING_OK || status == PGRES_POLLING_FAILED)
            return platform::WaitStep{true};
        if (timeout > 0 && since.elapsed() >= timeout) {
            timedOut = true;
            return platform::WaitStep{true};
        }
        const int left = timeout > 0 ? int(timeout - since.elapsed()) : -1;
        return platform::WaitStep{false, pq().PQsocket(connection), status == PGRES_POLLING_WRITING, left};
    };
    const bool waited = waiting.waitUntilDone(QStringLiteral("Kapcsolódás a szerverhez:\r%1").arg(shownUri), step);
    if (!waited || timedOut) {
        pq().PQfinish(connection);
        throw platform::Failure(QStringLiteral("%1: %2").arg(
            shownUri, waited ? QStringLiteral("timeout expired") : QStringLiteral("connection attempt cancelled")));
    }
    return connection;
}

// Connects with the URI as given, or with a password beside it: the password goes as its own keyword, so it is
// never pasted into the URI, nor does it leave this connection. The program's defaults go before the URI, whose
// own values come later and so win.
pg_conn* connectTo(const QByteArray& uri, const std::optional<QByteArray>& password, platform::Waiting* waiting,
                   const QString& shownUri)
{
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    if (!qEnvironmentVariableIsSet("PGCONNECT_TIMEOUT")) {
        keywords.push_back("connect_timeout");
        values.push_back(defaultConnectTimeout);
    }
    keywords.push_back("dbname");
    values.push_back(uri.constData());
    if (password) {
        keywords.push_back("password");
        values.push_back(password->constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    if (waiting)
        return connectWaiting(keywords.data(), values.data(), *waiting, shownUri);
    return pq().PQconnectdbParams(keywords.data(), values.data(), 1);
}

} // namespace

Connection::Connection(const QString& uri, const PasswordSource& passwords) : Connection(uri, passwords, nullptr) {}

Connection::Connection(const QString& uri, const PasswordSource& passwords, platform::Waiting* waiting)
    : m_uri(withoutPassword(uri))
{
    const QByteArray given = uri.toUtf8();
    m_connection = connectTo(given, std::nullopt, waiting, m_uri);
    if (m_connection && pq().PQstatus(m_connection) != CONNECTION_OK && pq().PQconnectionNeedsPassword(m_connection) &&
        passwords) {
        // The server asked for a password and none of libpq's own sources gave one.
        if (const std::optional<QString> password = passwords(m_uri)) {
            pq().PQfinish(m_connection);
            m_connection = connectTo(given, password->toUtf8(), waiting, m_uri);
        }
    }
    if (!m_connection)
        throw platform::Failure(QStringLiteral("%1: out of memory").arg(m_uri));
    if (pq().PQstatus(m_connection) != CONNECTION_OK) {
        const QString text = serverText(pq().PQerrorMessage(m_connection));
        pq().PQfinish(m_connection);
        m_connection = nullptr;
        throw platform::Failure(QStringLiteral("%1: %2").arg(m_uri, text));
    }
    // Catalogue text is UTF-8 whatever the server's or the client's locale.
    pq().PQsetClientEncoding(m_connection, "UTF8");
    pq().PQsetNoticeReceiver(m_connection, &Connection::receiveNotice, this);
    run(QStringLiteral("SET client_min_messages = warning"));
}

// A message that comes while no statement runs is handed over as a notice: a session the server ends while it is
// idle says why so. That is kept for the message of the next action; the server's warnings go to the error
// output as libpq would write them.
void Connection::receiveNotice(void* self, const pg_result* notice)
{
    const QString severity = QString::fromUtf8(pq().PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED));
    const QString text = serverText(pq().PQresultErrorMessage(notice));
    if (severity == QLatin1String("FATAL") || severity == QLatin1String("PANIC"))
        static_cast<Connection*>(self)->m_endedBecause = text;
    else
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

Connection::~Connection()
{
    stopWith(nullptr);
    if (m_connection)
        pq().PQfinish(m_connection);
}

std::vector<Row> Connection::run(const QString& sql, const std::vector<Value>& values)
{
    return table(sql, values).rows;
}

namespace {

Table tableOf(PGresult* result)
{
    Table table;
    for (int c = 0; c < pq().PQnfields(result); ++c) {
        table.columns << QString::fromUtf8(pq().PQfname(result, c));
        const unsigned type = pq().PQftype(result, c);
        table.wholeNumbers.push_back(type == 20 || type == 21 || type == 23); // int8, int2, int4
    }
    table.rows = rowsOf(result);
    return table;
}

} // namespace

std::vector<Table> Connection::readToSync(QString& failure)
{
    // Each statement's results end with a null; the sync's own result ends the batch.
    std::vector<Table> tables;
    for (;;) {
        awaitResult(false);
        PGresult* result = pq().PQgetResult(m_connection);
        if (!result) {
            if (pq().PQstatus(m_connection) != CONNECTION_OK) {
                if (failure.isEmpty())
                    failure = serverText(pq().PQerrorMessage(m_connection));
                break;
            }
            continue;
        }
        const ResultGuard guard{result};
        const ExecStatusType status = pq().PQresultStatus(result);
        if (status == PGRES_PIPELINE_SYNC)
            break;
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            tables.push_back(tableOf(result));
        } else if (status != PGRES_PIPELINE_ABORTED && failure.isEmpty()) {
            noteCancelled(result);
            const char* text = pq().PQresultErrorMessage(result);
            failure = serverText(text && *text ? text : pq().PQerrorMessage(m_connection));
        }
    }
    return tables;
}

std::vector<Table> Connection::pipeline(const std::vector<std::pair<QString, std::vector<Value>>>& statements)
{
    if (!m_connection)
        throw platform::Failure(QStringLiteral("%1: no connection to the server").arg(m_uri));
    // A rollback sent without waiting is still in the pipeline: its answer is read before these statements',
    // in the same round trip.
    const bool rollbackAhead = m_sent;
    m_sent = false;
    if (!rollbackAhead && pq().PQenterPipelineMode(m_connection) != 1)
        throw platform::Failure(serverText(pq().PQerrorMessage(m_connection)));
    std::vector<BoundValues> bound;
    bound.reserve(statements.size());
    QString failure;
    std::unique_lock<std::mutex> admitted;
    try {
        admitted = admitStatement();
    } catch (const platform::Failure&) {
        if (rollbackAhead)
            m_sent = true;
        else
            pq().PQexitPipelineMode(m_connection);
        throw;
    }
    const Ending ended{this};
    for (const auto& [sql, values] : statements) {
        bound.emplace_back(values);
        if (pq().PQsendQueryParams(m_connection, sql.toUtf8().constData(), static_cast<int>(values.size()), nullptr,
                                   bound.back().pointers.data(), nullptr, nullptr, 0) != 1) {
            failure = serverText(pq().PQerrorMessage(m_connection));
            break;
        }
    }
    std::vector<Table> tables;
    if (failure.isEmpty() && pq().PQpipelineSync(m_connection) != 1)
        failure = serverText(pq().PQerrorMessage(m_connection));
    if (failure.isEmpty())
        pq().PQflush(m_connection);
    if (admitted.owns_lock())
        admitted.unlock();
    if (failure.isEmpty()) {
        if (rollbackAhead) {
            // Ending a snapshot fails only with the connection, which the statements' own answers show.
            QString ended;
            readToSync(ended);
        }
        tables = readToSync(failure);
        if (std::exchange(m_cancelled, false) && failure.isEmpty())
            failure = QStringLiteral("canceling statement due to user request");
    } else if (rollbackAhead || pq().PQpipelineStatus(m_connection) != PQ_PIPELINE_OFF) {
        // What was sent can no longer be told apart from what was not: the connection is given up.
        pq().PQfinish(m_connection);
        m_connection = nullptr;
        throw platform::Failure(failure);
    }
    pq().PQexitPipelineMode(m_connection);
    if (!failure.isEmpty())
        throw platform::Failure(failure);
    return tables;
}

void Connection::awaitResult(bool ending)
{
    if (!m_waiting || !m_connection || m_cancelled)
        return;
    const auto step = [this] {
        if (pq().PQconsumeInput(m_connection) != 1 || !pq().PQisBusy(m_connection))
            return platform::WaitStep{true};
        return platform::WaitStep{false, pq().PQsocket(m_connection), false};
    };
    if (!m_waiting->waitUntilDone(
            QStringLiteral("A szerver még nem válaszolt.\rMégse: a művelet elmarad, a katalógus nem változik."), step))
        giveUpWaiting(ending);
}

void Connection::giveUpWaiting(bool ending)
{
    m_cancelled = true;
    // The cancel goes from a thread of its own: a stopped server would hold it for ever.
    if (PGcancel* cancel = pq().PQgetCancel(m_connection)) {
        std::thread([cancel] {
            char error[256];
            pq().PQcancel(cancel, error, sizeof error);
            pq().PQfreeCancel(cancel);
        }).detach();
    }
    // A server that takes the cancel ends the statement at once; the results are then read as ever.
    QElapsedTimer since;
    since.start();
    while (since.elapsed() < 2000) {
        if (pq().PQconsumeInput(m_connection) != 1)
            break;
        if (!pq().PQisBusy(m_connection))
            return;
        pollfd ready{pq().PQsocket(m_connection), POLLIN, 0};
        ::poll(&ready, 1, int(std::max<qint64>(1, 2000 - since.elapsed())));
    }
    // One that does not is given up with its connection: the server rolls an open transaction back when it sees
    // the connection gone. A COMMIT already sent may have been done.
    pq().PQfinish(m_connection);
    m_connection = nullptr;
    m_sent = false;
    m_cancelled = false;
    throw platform::Failure(ending ? QStringLiteral("the server did not answer a COMMIT; connection given up")
                                   : QStringLiteral("the server did not answer; connection given up"));
}

void Connection::rollbackWithoutWaiting()
{
    finishSent();
    if (!m_connection)
        return;
    // Sent as a batch of its own in pipeline mode, which the connection stays in until the answer is read:
    // the next batch goes out behind it without waiting for it.
    if (pq().PQenterPipelineMode(m_connection) != 1)
        return;
    if (pq().PQsendQueryParams(m_connection, "ROLLBACK", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
        pq().PQpipelineSync(m_connection) == 1 && pq().PQflush(m_connection) == 0) {
        m_sent = true;
        return;
    }
    // Half sent: the connection is given up.
    pq().PQfinish(m_connection);
    m_connection = nullptr;
}

void Connection::finishSent()
{
    if (!m_sent)
        return;
    m_sent = false;
    QString failure;
    readToSync(failure);
    pq().PQexitPipelineMode(m_connection);
}

bool Connection::answerOnItsWay()
{
    if (!m_sent)
        return false;
    if (pq().PQconsumeInput(m_connection) != 1 || pq().PQstatus(m_connection) != CONNECTION_OK) {
        finishSent();
        return false;
    }
    // The whole answer is there when the sync's result can be had without waiting.
    if (pq().PQisBusy(m_connection))
        return true;
    finishSent();
    return false;
}

Table Connection::table(const QString& sql, const std::vector<Value>& values)
{
    if (!m_connection)
        throw platform::Failure(QStringLiteral("%1: no connection to the server").arg(m_uri));
    finishSent();
    const BoundValues bound(values);
    const QByteArray text = sql.toUtf8();
    const bool ending = text.startsWith("COMMIT");
    ResultGuard result{nullptr};
    if (!m_waiting && !m_stopper) {
        result.result = pq().PQexecParams(m_connection, text.constData(), static_cast<int>(values.size()), nullptr,
                                          bound.pointers.data(), nullptr, nullptr, 0);
    } else {
        std::unique_lock<std::mutex> admitted = admitStatement();
        const Ending ended{this};
        if (pq().PQsendQueryParams(m_connection, text.constData(), static_cast<int>(values.size()), nullptr,
                                   bound.pointers.data(), nullptr, nullptr, 0) != 1)
            throw platform::Failure(serverText(pq().PQerrorMessage(m_connection)));
        if (admitted.owns_lock())
            admitted.unlock();
        // The last result is the statement's, as PQexecParams gives it.
        for (;;) {
            awaitResult(ending);
            PGresult* next = pq().PQgetResult(m_connection);
            if (!next)
                break;
            pq().PQclear(result.result);
            result.result = next;
        }
    }
    const bool cancelled = std::exchange(m_cancelled, false);
    const ExecStatusType status = pq().PQresultStatus(result.result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        noteCancelled(result.result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw platform::Failure(serverText(pq().PQerrorMessage(m_connection)));
    // Done before the cancel came: given up all the same, unless it was the COMMIT, which stands.
    if (cancelled && !ending)
        throw platform::Failure(QStringLiteral("canceling statement due to user request"));
    m_changed = QByteArray(pq().PQcmdTuples(result.result)).toInt();
    Table table = tableOf(result.result);
    return table;
}

bool Connection::broken() const
{
    return !m_connection || pq().PQstatus(m_connection) != CONNECTION_OK;
}

bool Connection::lost()
{
    // What the socket holds is read without waiting: a server that ended the session while it was idle (a
    // restart, an administrator) has said why there, then closed it. The end shows only on a read after the one
    // that took the message, so the socket is read for as long as it has something.
    for (int reads = 0; reads < 8 && m_connection && !m_sent && !broken(); ++reads) {
        pollfd ready{pq().PQsocket(m_connection), POLLIN, 0};
        if (ready.fd < 0 || ::poll(&ready, 1, 0) != 1)
            break;
        if (pq().PQconsumeInput(m_connection) != 1)
            break;
    }
    // What was read is looked at: the server's last word reaches the notice receiver. A session the server has
    // ended is over even before its socket says so.
    if (m_connection && !m_sent)
        pq().PQisBusy(m_connection);
    return broken() || !m_endedBecause.isEmpty();
}

QString Connection::lossText() const
{
    QString text = m_connection ? serverText(pq().PQerrorMessage(m_connection)) : QString();
    if (text.isEmpty())
        text = QStringLiteral("server closed the connection unexpectedly");
    // The server's own word on why it ended the session (a restart, an administrator) comes first.
    return m_endedBecause.isEmpty() ? text : m_endedBecause + QLatin1Char('\n') + text;
}

bool Connection::inTransaction() const
{
    if (m_sent)
        return true;
    return m_connection && pq().PQtransactionStatus(m_connection) != PQTRANS_IDLE;
}

int Connection::serverProcess() const
{
    return m_connection ? pq().PQbackendPID(m_connection) : 0;
}

int Connection::socket() const
{
    return broken() ? -1 : pq().PQsocket(m_connection);
}

QStringList Connection::takeNotifications(std::vector<int>* senders)
{
    QStringList payloads;
    if (m_sent)
        return payloads; // the answer to what was sent comes first
    if (broken() || !pq().PQconsumeInput(m_connection))
        return payloads;
    while (PGnotify* notification = pq().PQnotifies(m_connection)) {
        payloads << QString::fromUtf8(notification->extra);
        if (senders)
            senders->push_back(notification->be_pid);
        pq().PQfreemem(notification);
    }
    return payloads;
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
    finishSent();
    const ResultGuard result{
        pq().PQprepare(m_connection, name.toUtf8().constData(), sql.toUtf8().constData(), parameterCount, nullptr)};
    if (pq().PQresultStatus(result.result) != PGRES_COMMAND_OK)
        throw platform::Failure(serverText(pq().PQerrorMessage(m_connection)));
}

void Connection::runPrepared(const QString& name, const std::vector<Value>& values)
{
    finishSent();
    const BoundValues bound(values);
    const ResultGuard result{pq().PQexecPrepared(m_connection, name.toUtf8().constData(),
                                                 static_cast<int>(values.size()), bound.pointers.data(), nullptr,
                                                 nullptr, 0)};
    const ExecStatusType status = pq().PQresultStatus(result.result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw platform::Failure(serverText(pq().PQerrorMessage(m_connection)));
}

} // namespace server
