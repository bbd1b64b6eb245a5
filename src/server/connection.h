// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/engine.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {
class Waiting;
}

struct pg_conn;
struct pg_cancel;
struct pg_result;

// A connection to a catalogue on a PostgreSQL server, through libpq. Every value travels as a bound parameter
// (PQexecParams); the statement texts hold names and fixed pieces only.

namespace server {

// A value as the server gives or takes it: no value is SQL NULL, which differs from an empty text.
using Value = std::optional<QString>;
using Row = std::vector<Value>;

// What a statement returned: its columns' names, which of them hold whole numbers, and its rows.
struct Table
{
    QStringList columns;
    std::vector<bool> wholeNumbers;
    std::vector<Row> rows;
};

// Whether a catalogue name given where a file path is accepted names a server catalogue instead.
bool isServerUri(const QString& name);
// The URI with any password left out (the user part and a password=... parameter), for messages and titles.
QString withoutPassword(const QString& uri);

// Where a password comes from when the server asks for one that libpq's own sources (~/.pgpass, PGPASSWORD, a
// service file) do not give: given the URI without its password, the password, or nothing when the user
// declines.
using PasswordSource = engine::PasswordSource;

class Connection;

// Stops one piece of work (a search) at the server on every connection it uses, from any thread. A cancel ends
// whatever statement runs on the connection's server process when it arrives, so a statement is sent, and a
// cancel asked for, under one lock: once stopped, no further statement of the work starts, and a connection to
// which a cancel went that was not seen to end a statement is given up rather than reused (stopWith), so that a
// late cancel never ends another list's statement.
class Stopper
{
public:
    // Cancels the statements running now; refuses the work's next ones. Waits for the server to take the cancel,
    // and sends it again while a statement goes on: one that came before the server process had read its
    // statement is not taken.
    void stop();
    // From now on stop does nothing: the work is done and what it made is someone else's.
    void retire();
    bool stopped() const;
    // A quicker way to the server than a cancel request of its own (for which the server starts a process):
    // given the server processes, asks an open connection's server to cancel their statements; false when it
    // could not.
    using Signal = std::function<bool(const std::vector<int>& processes)>;
    void signalThrough(Signal signal) { m_signal = std::move(signal); }

private:
    friend class Connection;
    Signal m_signal;
    mutable std::mutex m_mutex;
    bool m_stopped = false;
    bool m_retired = false;
    std::vector<Connection*> m_running; // connections with a statement of the work at the server
};

class Connection
{
public:
    // Connects to uri; throws platform::Failure with the server's text (and the URI without its password) when
    // the server cannot be reached or refuses. A password the server asks for and libpq's own sources do not
    // give is asked of passwords, when given, and kept only in this connection.
    explicit Connection(const QString& uri, const PasswordSource& passwords = {});
    // The same, waiting through waiting: the windows stay painted, a slow attempt shows its window, and its Mégse
    // ends the attempt (a failure saying so). The connect timeout holds here too.
    Connection(const QString& uri, const PasswordSource& passwords, platform::Waiting* waiting);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one statement with its values bound to $1, $2, ...; gives the rows it returns (none for a command).
    // Throws platform::Failure with the server's text when the statement fails.
    std::vector<Row> run(const QString& sql, const std::vector<Value>& values = {});
    // The same with the columns' names and kinds.
    Table table(const QString& sql, const std::vector<Value>& values = {});
    // Several statements sent together and answered in one round trip, each with its own bound values; their
    // results in order. A statement that fails ends the rest and throws its text.
    std::vector<Table> pipeline(const std::vector<std::pair<QString, std::vector<Value>>>& statements);
    // The first column of the first row as text, or empty when there is none or it is null.
    QString single(const QString& sql, const std::vector<Value>& values = {});

    // A statement prepared once under a name and run many times (a bulk copy).
    void prepare(const QString& name, const QString& sql, int parameterCount);
    void runPrepared(const QString& name, const std::vector<Value>& values);

    const QString& uri() const { return m_uri; }

    // From now on every statement waits for its answer through waiting (null: in the call, as libpq does). A
    // statement whose wait is given up with Mégse is cancelled at the server and fails with the server's word
    // for a cancel; a server that does not take the cancel at once (stopped, unreachable) loses the connection,
    // which an open transaction does not outlive.
    void waitThrough(platform::Waiting* waiting) { m_waiting = waiting; }

    // Rows the last command changed (an UPDATE or DELETE that found none gives 0).
    int changedRows() const { return m_changed; }
    // The connection to the server is gone (the server stopped or restarted, the network failed): every
    // statement fails until a new connection is made.
    bool broken() const;
    // The same, after reading what has come on the socket meanwhile (never waiting): a connection the server
    // ended while it was idle shows it only then.
    bool lost();
    // Why the connection was lost, as libpq and the server said it.
    QString lossText() const;
    // Inside a transaction (or a failed one not yet rolled back).
    bool inTransaction() const;
    // The server process serving this connection.
    int serverProcess() const;
    // The socket, for waiting on notifications; -1 when broken.
    int socket() const;
    // Notifications that have arrived: their channel's payloads. Reads what the socket holds, never waits.
    QStringList takeNotifications(std::vector<int>* senders = nullptr);
    // The statements from now on belong to the work stopper stops (null: to none). Gives whether the connection
    // may serve other work: not when a cancel went to its server process and was not seen to end a statement.
    bool stopWith(std::shared_ptr<Stopper> stopper);
    // Sends a ROLLBACK without waiting for the server's answer; the next statement (or finishSent) takes it, a
    // pipeline in the same round trip as its own answers.
    void rollbackWithoutWaiting();
    void finishSent();
    // Whether the answer to a ROLLBACK sent without waiting is still on its way; takes it when it has come,
    // never waiting.
    bool answerOnItsWay();

private:
    friend class Stopper;
    std::vector<Table> readToSync(QString& failure);
    // Waits through m_waiting until a result can be read without blocking; after a Mégse, until the cancelled
    // statement has ended (or the connection is given up). ending: the statement ends a transaction (COMMIT).
    void awaitResult(bool ending);
    void giveUpWaiting(bool ending);

    static void receiveNotice(void* self, const pg_result* notice);
    // Lets a statement be sent: holds the stopper's lock while it is, and throws when the work is stopped.
    std::unique_lock<std::mutex> admitStatement();
    void statementEnded();
    struct Ending
    {
        Connection* connection;
        ~Ending() { connection->statementEnded(); }
    };
    void noteCancelled(const pg_result* result);

    std::shared_ptr<Stopper> m_stopper;
    pg_cancel* m_stopCancel = nullptr;
    bool m_stopSent = false;   // a cancel went to the server process (guarded by the stopper's lock)
    bool m_stopLanded = false; // ... and a statement was seen to end by it

    pg_conn* m_connection = nullptr;
    QString m_uri;          // without password
    QString m_endedBecause; // what the server said when it ended the session while it was idle
    int m_changed = 0;
    bool m_sent = false;
    platform::Waiting* m_waiting = nullptr;
    bool m_cancelled = false; // the user gave up the statement being answered
};

// Runs a block in one transaction: COMMIT when it returns, ROLLBACK when it throws.
template <typename Body> void inTransaction(Connection& connection, const QString& begin, Body&& body)
{
    connection.run(begin);
    try {
        body();
    } catch (...) {
        try {
            connection.run(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
        throw;
    }
    connection.run(QStringLiteral("COMMIT"));
}

} // namespace server
