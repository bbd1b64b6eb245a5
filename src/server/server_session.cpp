// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_session.h"

#include "platform/failure.h"
#include "server/server_list.h"
#include "server/server_schema.h"
#include "server/server_screens.h"
#include "engine/engine.h"
#include "engine/tables.h"

#include <QRegularExpression>
#include <set>

namespace server {

namespace {

// The server processes of this program's own connections: their announcements are not news to it.
std::mutex ownProcessesMutex;
std::set<int> ownProcesses;

void registerOwn(const Connection& connection)
{
    const std::lock_guard<std::mutex> lock(ownProcessesMutex);
    ownProcesses.insert(connection.serverProcess());
}

void forgetOwn(const Connection& connection)
{
    const std::lock_guard<std::mutex> lock(ownProcessesMutex);
    ownProcesses.erase(connection.serverProcess());
}

bool isOwn(int process)
{
    const std::lock_guard<std::mutex> lock(ownProcessesMutex);
    return ownProcesses.count(process) > 0;
}

std::vector<Value> valuesOf(const QVariantList& values)
{
    std::vector<Value> bound;
    bound.reserve(static_cast<std::size_t>(values.size()));
    for (const QVariant& value : values) {
        if (value.isNull())
            bound.emplace_back(std::nullopt);
        else
            bound.emplace_back(value.toString());
    }
    return bound;
}

QString tableList()
{
    QStringList names;
    for (const engine::TableDefinition& table : engine::catalogueTables())
        names << QLatin1Char('\'') + table.name.toLower() + QLatin1Char('\'');
    return names.join(QStringLiteral(", "));
}

// A write waits this long for another user's lock, and a statement of the window's runs this long at most, before
// the action gives up with a message: a stuck writer elsewhere or a stalled server never holds the window for good.
void limitWaits(Connection& connection)
{
    connection.run(QStringLiteral("SET lock_timeout = '15s'"));
    connection.run(QStringLiteral("SET statement_timeout = '60s'"));
}

} // namespace

QString serverSql(const QString& sql)
{
    // Placeholders in order, outside quoted literals.
    QString numbered;
    numbered.reserve(sql.size() + 16);
    int placeholder = 0;
    bool quoted = false;
    for (const QChar c : sql) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char('?') && !quoted)
            numbered += QLatin1Char('$') + QString::number(++placeholder);
        else
            numbered += c;
    }
    static const QRegularExpression rowid(QStringLiteral("\\browid\\b"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression ifnull(QStringLiteral("\\bifnull\\("), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression sortKey(QStringLiteral("\\bhungarian_key\\(([^()]*)\\)"));
    numbered.replace(rowid, QStringLiteral("mediatar_id"));
    numbered.replace(ifnull, QStringLiteral("coalesce("));
    numbered.replace(sortKey, QStringLiteral("\\1"));
    return numbered;
}

// Connections for lists, shared with the lists and searches that hold them, which may outlive the session's
// own use of them.
struct Session::Pool
{
    QString uri;
    std::optional<QString> password; // what the user gave when the server asked, for the next connections
    std::mutex mutex;
    std::vector<std::unique_ptr<Connection>> idle;

    std::unique_ptr<Connection> acquire()
    {
        for (;;) {
            std::unique_ptr<Connection> connection;
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (idle.empty())
                    break;
                // The one given back longest ago: the answer to the rollback that ended its last list has most
                // likely come.
                connection = std::move(idle.front());
                idle.erase(idle.begin());
            }
            // What the last list left open ends here; a connection that the server dropped meanwhile (a restart)
            // shows it now and is left for a new one. A rollback whose answer is still on its way is left in
            // the connection's pipeline, to be answered with the next list's first statements.
            try {
                if (!connection->answerOnItsWay()) {
                    connection->takeNotifications();
                    if (connection->inTransaction())
                        connection->run(QStringLiteral("ROLLBACK"));
                }
            } catch (const platform::Failure&) {
            }
            if (!connection->broken())
                return connection;
            forgetOwn(*connection);
        }
        const std::optional<QString> known = password;
        auto connection = std::make_unique<Connection>(uri, [known](const QString&) { return known; });
        registerOwn(*connection);
        // A list's statements run in one process each. Parallel workers would make the server's count of an
        // unindexed search up to a few times quicker on an idle many-core server, but every keystroke would then
        // take several processes of a server others share, and a replaced search, whose workers must end before
        // it does, would go on for tens of milliseconds on a busy one.
        connection->run(QStringLiteral("SET max_parallel_workers_per_gather = 0"));
        return connection;
    }

    void release(std::unique_ptr<Connection> connection, bool reusable)
    {
        if (!connection)
            return;
        if (!reusable) {
            forgetOwn(*connection);
            return;
        }
        const std::lock_guard<std::mutex> lock(mutex);
        // A few are kept for the next lists; the rest are closed.
        if (idle.size() < 4)
            idle.push_back(std::move(connection));
        else
            forgetOwn(*connection);
    }

    // A connection kept for stopping searches: a cancel sent through it is a statement on an open connection,
    // where a cancel request of its own waits for the server to start a process for it (milliseconds on a busy
    // machine, a keystroke's whole budget).
    std::mutex stoppingMutex;
    std::unique_ptr<Connection> stopping;

    ~Pool()
    {
        if (stopping)
            forgetOwn(*stopping);
    }

    void prepareStopping()
    {
        {
            const std::lock_guard<std::mutex> lock(stoppingMutex);
            if (stopping && !stopping->broken())
                return;
        }
        std::unique_ptr<Connection> made;
        try {
            const std::optional<QString> known = password;
            made = std::make_unique<Connection>(uri, [known](const QString&) { return known; });
            registerOwn(*made);
        } catch (const platform::Failure&) {
            return;
        }
        const std::lock_guard<std::mutex> lock(stoppingMutex);
        if (stopping && !stopping->broken()) {
            forgetOwn(*made);
            return;
        }
        if (stopping)
            forgetOwn(*stopping);
        stopping = std::move(made);
    }

    bool cancelProcesses(const std::vector<int>& processes)
    {
        QStringList list;
        for (const int process : processes)
            list << QString::number(process);
        const std::lock_guard<std::mutex> lock(stoppingMutex);
        if (!stopping || stopping->broken())
            return false;
        try {
            stopping->run(QStringLiteral("SELECT pg_cancel_backend(p) FROM unnest($1::int[]) AS p"),
                          {QLatin1Char('{') + list.join(QLatin1Char(',')) + QLatin1Char('}')});
            return true;
        } catch (const platform::Failure&) {
            return false;
        }
    }

    // Stops work through the connection kept for stopping, while the session lasts.
    static Stopper::Signal stopSignal(const std::shared_ptr<Pool>& self)
    {
        return [weak = std::weak_ptr<Pool>(self)](const std::vector<int>& processes) {
            const std::shared_ptr<Pool> kept = weak.lock();
            return kept && kept->cancelProcesses(processes);
        };
    }

    ServerList::Release releaser(const std::shared_ptr<Pool>& self)
    {
        return [self](std::unique_ptr<Connection> connection, bool reusable) {
            self->release(std::move(connection), reusable);
        };
    }
};

void Session::Search::cancelAsync(const std::shared_ptr<Search>& self)
{
    cancelled = true;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (finished)
            return;
    }
    // The request to stop goes over the network: sent from a thread of its own, so that the keystroke that
    // replaced the search is not held up by it.
    std::thread([self] { self->stopper->stop(); }).detach();
}

Session::Session(const QString& uri, PasswordSource passwords, platform::Waiting* waiting)
    : m_uri(uri), m_shown(withoutPassword(uri)), m_pool(std::make_shared<Pool>()), m_waiting(waiting)
{
    m_pool->uri = uri;
    std::optional<QString> given;
    m_command = std::make_unique<Connection>(
        uri,
        [&](const QString& shown) {
            given = passwords ? passwords(shown) : std::nullopt;
            return given;
        },
        m_waiting);
    m_pool->password = given;
    registerOwn(*m_command);

    const QString tables = tableList();
    const int present =
        m_command
            ->single(QStringLiteral("SELECT count(*) FROM unnest(ARRAY[%1]) AS t WHERE to_regclass(t) IS NOT NULL")
                         .arg(tables))
            .toInt();
    if (present == 0)
        throw platform::Failure(
            QStringLiteral("%1: ez az adatbázis nem Médiatár-katalógus (nincsenek benne a katalógus táblái), ezért "
                           "a program nem nyitja meg, és nem is változtat rajta.")
                .arg(m_shown));
    // A role that may not write every table, or a server that takes no writes (a standby), reads only. Every
    // write also updates the kept counts (the triggers run with the writer's rights), so a role that may not
    // update them could write nothing either.
    m_readOnly =
        m_command->single(QStringLiteral("SELECT pg_is_in_recovery() OR current_setting('transaction_read_only') "
                                         "= 'on' OR NOT coalesce(bool_and(has_table_privilege(t, 'INSERT') AND "
                                         "has_table_privilege(t, 'UPDATE') AND has_table_privilege(t, "
                                         "'DELETE')), false) OR (to_regclass('%2') IS NOT NULL AND NOT "
                                         "has_table_privilege('%2', 'UPDATE')) FROM unnest(ARRAY[%1]) AS t WHERE "
                                         "to_regclass(t) IS NOT NULL")
                              .arg(tables, QLatin1String(rowCountsTable))) == QLatin1String("t");
    if (!m_readOnly)
        upgradeServerSchema(*m_command);
    m_gramTables = gramIndexedTables(*m_command);
    limitWaits(*m_command);
    m_command->waitThrough(m_waiting);
}

Session::~Session()
{
    for (const std::shared_ptr<Search>& search : m_searches)
        Search::cancel(search);
    for (const std::shared_ptr<Search>& search : m_searches)
        if (search->worker.joinable())
            search->worker.join();
    if (m_preparingStop.joinable())
        m_preparingStop.join();
    // The screens of lists dropped a moment ago may still be ending their reads.
    waitForScreenReaders();
    if (m_command)
        forgetOwn(*m_command);
    if (m_listener)
        forgetOwn(*m_listener);
}

std::unique_ptr<Connection> Session::connectAgain(platform::Waiting* waiting) const
{
    const std::optional<QString> known = m_pool->password;
    auto connection = std::make_unique<Connection>(
        m_uri, [known](const QString&) { return known; }, waiting);
    registerOwn(*connection);
    return connection;
}

Connection& Session::command()
{
    // A connection the server ended while the program was idle (a restart at night) is noticed here, before the
    // action sends anything, and made again: the action then runs whole on the new one.
    if (m_command && !m_command->lost())
        return *m_command;
    // Within a transaction a lost connection is the end of it: the server has rolled it back, and the
    // statements after it must not run on their own.
    if (m_inTransaction)
        throw platform::Failure(m_command ? m_command->lossText()
                                          : QStringLiteral("server closed the connection unexpectedly"));
    if (m_command)
        forgetOwn(*m_command);
    m_command.reset();
    std::unique_ptr<Connection> connection = connectAgain(m_waiting);
    limitWaits(*connection);
    connection->waitThrough(m_waiting);
    m_command = std::move(connection);
    return *m_command;
}

std::unique_ptr<engine::RowSet> Session::openList(const engine::ListPlan& plan)
{
    std::unique_ptr<Connection> connection = m_pool->acquire();
    auto list = std::make_unique<ServerList>(
        std::move(connection), plan, m_pool->releaser(m_pool), [pool = m_pool] { return pool->acquire(); },
        m_gramTables.contains(plan.table.toLower()));
    list->stopThrough(m_pool->stopSignal(m_pool));
    return list;
}

std::shared_ptr<Session::Search> Session::startList(const engine::ListPlan& plan, std::function<void()> news)
{
    // Searches whose workers have ended are forgotten; a cancelled one still running is left to end on its own
    // (the session waits for it only at its own end), so that a keystroke never waits for an older search.
    for (auto it = m_searches.begin(); it != m_searches.end();) {
        if ((*it)->exited) {
            (*it)->worker.join();
            it = m_searches.erase(it);
        } else {
            ++it;
        }
    }
    if (!m_preparingStop.joinable())
        m_preparingStop = std::thread([pool = m_pool] { pool->prepareStopping(); });
    auto search = std::make_shared<Search>();
    const bool grams = m_gramTables.contains(plan.table.toLower());
    search->worker = std::thread([search, plan, grams, pool = m_pool, news = std::move(news)] {
        // Every connection the search takes runs its statements under the search's stopper, and is given back
        // through it: one to which a cancel went that may not have been spent is closed, not reused.
        const std::shared_ptr<Stopper> stopper = search->stopper;
        stopper->signalThrough(pool->stopSignal(pool));
        const auto take = [pool, stopper] {
            std::unique_ptr<Connection> connection = pool->acquire();
            connection->stopWith(stopper);
            return connection;
        };
        const auto giveBack = [pool](std::unique_ptr<Connection> connection, bool reusable) {
            const bool clean = connection->stopWith(nullptr);
            pool->release(std::move(connection), reusable && clean);
        };
        // A first screen read while the count goes on is shown meanwhile.
        const auto whenFirst = [&search, &news](const Table& first) {
            {
                const std::lock_guard<std::mutex> lock(search->mutex);
                if (search->cancelled)
                    return;
                search->first = std::make_unique<engine::LoadedRowSet>(first.columns, rowsOf(first));
                search->changed.notify_all();
            }
            news();
        };
        std::unique_ptr<engine::RowSet> list;
        QString failure;
        try {
            std::unique_ptr<Connection> connection = take();
            if (!search->cancelled) {
                auto made = std::make_unique<ServerList>(std::move(connection), plan, giveBack, take, grams, whenFirst);
                made->stopThrough(pool->stopSignal(pool));
                list = std::move(made);
            } else
                giveBack(std::move(connection), true);
        } catch (const platform::Failure& error) {
            failure = error.text();
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
        // From here on a cancel would reach the list's own statements: the search is done.
        stopper->retire();
        {
            const std::lock_guard<std::mutex> lock(search->mutex);
            if (!search->cancelled)
                search->list = std::move(list);
            search->failure = failure;
            search->finished = true;
            search->changed.notify_all();
        }
        list.reset(); // a cancelled search's list ends here, on its own thread
        news();
        // Made again when the server dropped it.
        pool->prepareStopping();
        search->exited = true;
    });
    m_searches.push_back(search);
    return search;
}

std::unique_ptr<engine::RowSet> Session::load(const engine::Statement& statement)
{
    const Table table = command().table(serverSql(statement.sql()), valuesOf(statement.values()));
    return std::make_unique<engine::LoadedRowSet>(table.columns, rowsOf(table));
}

int Session::execute(const engine::Statement& statement)
{
    Connection& connection = command();
    connection.run(serverSql(statement.sql()), valuesOf(statement.values()));
    return connection.changedRows();
}

void Session::begin()
{
    Connection& connection = command();
    connection.run(QStringLiteral("BEGIN"));
    m_inTransaction = true;
    // A transaction that could not take its lock never started for its caller, who rolls nothing back: the
    // next action must find the session outside it and connect again if the connection went.
    try {
        connection.run(QStringLiteral("LOCK TABLE eloado IN SHARE ROW EXCLUSIVE MODE"));
    } catch (const platform::Failure&) {
        rollback();
        throw;
    }
}

void Session::commit()
{
    Connection& connection = command();
    connection.run(QStringLiteral("COMMIT"));
    m_inTransaction = false;
}

void Session::rollback()
{
    m_inTransaction = false;
    if (!m_command || m_command->broken())
        return;
    try {
        m_command->run(QStringLiteral("ROLLBACK"));
    } catch (const platform::Failure&) {
    }
}

qint64 Session::lastInsertedKey()
{
    return command().single(QStringLiteral("SELECT lastval()")).toLongLong();
}

int Session::changeSocket()
{
    if (m_listener && !m_listener->broken())
        return m_listener->socket();
    try {
        if (m_listener)
            forgetOwn(*m_listener);
        m_listener = connectAgain(nullptr);
        m_listener->run(QStringLiteral("LISTEN %1").arg(QLatin1String(changeChannel)));
        return m_listener->socket();
    } catch (const platform::Failure&) {
        m_listener.reset();
        return -1;
    }
}

QStringList Session::takeChanges()
{
    QStringList tables;
    if (!m_listener)
        return tables;
    std::vector<int> senders;
    const QStringList payloads = m_listener->takeNotifications(&senders);
    for (int i = 0; i < payloads.size(); ++i) {
        if (isOwn(senders[static_cast<std::size_t>(i)]) || tables.contains(payloads.at(i), Qt::CaseInsensitive))
            continue;
        tables << payloads.at(i);
    }
    return tables;
}

} // namespace server
