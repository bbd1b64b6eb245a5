// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/query_channel.h"

#include "platform/failure.h"
#include "hungarian/hungarian.h"
#include "store/connection_setup.h"
#include "store/kept_order.h"
#include "store/schema.h"
#include "server/server_session.h"

#include <QDir>
#include <QSocketNotifier>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

namespace store {

namespace {

QString engineText(const QSqlError& error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

const QString closedListText = QStringLiteral("Operation is not allowed when the object is closed.");

// Whether the program may write the file: the file and its folder (where the engine keeps its journal) are
// writable for this user, on a medium that takes writes.
bool mayWrite(const QString& path)
{
    const QFileInfo file(path);
    return ::access(QFile::encodeName(file.absoluteFilePath()).constData(), W_OK) == 0 &&
           ::access(QFile::encodeName(file.absolutePath()).constData(), W_OK) == 0;
}

// What a file holds, read before anything is written to it.
enum class Contents {
    Catalogue,  // one or more of the catalogue's tables, or the program's own
    Foreign,    // a database of something else, or an empty one
    Unreadable, // not readable as a database now: its fault is reported by the first list
};

Contents contentsOf(sqlite3* db)
{
    QStringList names;
    for (const TableDefinition& table : catalogueTables())
        names << QLatin1Char('\'') + table.name.toLower() + QLatin1Char('\'');
    const QByteArray sql = QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND (lower(name) IN "
                                          "(%1) OR substr(lower(name), 1, 9) = 'mediatar_')")
                               .arg(names.join(QLatin1Char(',')))
                               .toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return Contents::Unreadable;
    }
    const int rc = sqlite3_step(statement);
    const Contents contents = rc != SQLITE_ROW                       ? Contents::Unreadable
                              : sqlite3_column_int(statement, 0) > 0 ? Contents::Catalogue
                                                                     : Contents::Foreign;
    sqlite3_finalize(statement);
    return contents;
}

// Leaves WAL for the rollback journal, so that the file is whole in itself when the program lets go of it. The
// engine refuses while any other connection has the file open; the last one to close then does it.
void leaveSharedJournal(sqlite3* db)
{
    if (!db)
        return;
    sqlite3_busy_timeout(db, 0);
    // A connection that has not read since another connection put the file in WAL still takes it for the
    // rollback journal, and would find nothing to leave: a read first shows it the journal as it is.
    sqlite3_exec(db, "SELECT 1 FROM sqlite_schema LIMIT 1", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
}

// How long a search may hold up the window: well inside one frame, so that a keystroke leaves time to paint.
// A list found within it opens complete; a longer one opens with the rows found by then (at most firstPart,
// enough for any screen) and is counted to its end in the background.
constexpr auto frameBudget = std::chrono::milliseconds(5);
constexpr std::size_t firstPart = 1000;
// A server's answer is waited for a little less: the server's own processes share the machine's cores with the
// window when it runs on the same computer, and the window must still paint within the frame.
constexpr auto serverFrameBudget = std::chrono::milliseconds(3);
// Only a list with real work behind it goes to the background, however busy the machine: a worker that has
// hardly begun when the frame is over is waited for.
constexpr int leastProgress = 50;

// A list completed in the background is reported from the event loop, where nothing would catch a failure of
// what the caller does with it: such a failure goes to the caller's own failure report.
void reportOpened(const std::function<void()>& whenOpen, const std::function<void(const QString&)>& whenFailed)
{
    try {
        if (whenOpen)
            whenOpen();
    } catch (const std::exception& error) {
        if (whenFailed)
            whenFailed(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace

// A filtered list collected on a worker thread, through a connection of its own. The first rows are published
// as they are found, so that the window can show them while the worker goes on.
struct QueryChannel::Pending
{
    Pending(PagedRowSet* list, sqlite3* connection) : rows(list), db(connection), head(firstPart) {}
    // Whatever ends a pending list ends its worker first: the connection is never left to a stray thread.
    ~Pending()
    {
        cancelled = true;
        if (worker.joinable())
            worker.join();
    }

    quint64 generation = 0;
    PagedRowSet* rows;                 // owned by the channel once shown
    sqlite3* db;                       // the worker's own connection
    std::vector<qint64> head;          // room for the first rows found: read while the worker writes on
    std::atomic<std::size_t> found{0}; // how many of head are written
    std::vector<qint64> tail;          // the rest, the worker's own until it is done
    std::atomic<int> progress{0};
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false; // under mutex
    bool succeeded = false;
    QString failure;
    std::function<void()> whenOpen;
    std::function<void(const QString&)> whenFailed;
    std::thread worker;

    void run()
    {
        try {
            succeeded = rows->collectOn(
                db,
                [this](qint64 identity) {
                    const std::size_t count = found.load(std::memory_order_relaxed);
                    if (count < firstPart) {
                        head[count] = identity;
                        found.store(count + 1, std::memory_order_release);
                        if (count + 1 == firstPart) {
                            const std::lock_guard<std::mutex> lock(mutex);
                            changed.notify_all();
                        }
                    } else {
                        tail.push_back(identity);
                    }
                },
                [this] {
                    progress.fetch_add(1, std::memory_order_relaxed);
                    return cancelled.load(std::memory_order_relaxed);
                });
        } catch (const platform::Failure& error) {
            failure = error.text();
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
        const std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        changed.notify_all();
    }

    std::vector<qint64> firstRows(std::size_t count) const
    {
        return std::vector<qint64>(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(count));
    }

    std::vector<qint64> everyRow() const
    {
        std::vector<qint64> all = firstRows(found.load(std::memory_order_acquire));
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    }
};

// A list being opened on a server by a worker, and what to do when it is there.
struct QueryChannel::ServerSearch
{
    quint64 generation = 0;
    std::shared_ptr<server::Session::Search> search;
    std::function<void()> whenOpen;
    std::function<void(const QString&)> whenFailed;
    bool keepShown = false; // a list read again: its old rows stay when the new ones cannot be read
    ~ServerSearch()
    {
        // Abandoned: its statements are stopped at the server; the session waits for the worker at the end.
        if (search)
            server::Session::Search::cancel(search);
    }
};

QueryChannel::QueryChannel(const QString& connectionName, QObject* parent)
    : QObject(parent), m_connectionName(connectionName)
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
}

QString readOnlyMessage()
{
    return QStringLiteral("A katalógus csak olvasható (írásvédett adathordozón van, vagy nincs jogod írni), "
                          "ezért nem módosítható. Semmi sem változott.");
}

QueryChannel::~QueryChannel()
{
    abandonPending();
    disconnect();
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

bool QueryChannel::isServer() const
{
    return server::isServerUri(m_path);
}

QString QueryChannel::shownName() const
{
    return isServer() ? server::withoutPassword(m_path) : m_path;
}

void QueryChannel::pointAt(const QString& cataloguePath)
{
    disconnect();
    m_path = cataloguePath;
}

void QueryChannel::disconnect()
{
    dropRows();
    delete m_changeNotifier;
    m_changeNotifier = nullptr;
    m_server.reset();
    sqlite3_close(m_reader);
    m_reader = nullptr;
    sqlite3_close(m_searcher);
    m_searcher = nullptr;
    QSqlDatabase db = database();
    if (db.isOpen() && !m_readOnly)
        leaveSharedJournal(handle());
    db.close();
    m_readOnly = false;
    m_distrustedCounts.clear();
}

sqlite3* QueryChannel::reader()
{
    // A list holds its snapshot on a connection of its own, so the channel's connection stays free for the
    // changes, and the transactions, of whoever runs them while the list is shown.
    if (!m_reader)
        m_reader = openAnother();
    return m_reader;
}

sqlite3* QueryChannel::searcher()
{
    // A long search is collected on yet another connection, so that the window reading the first screens
    // never waits for it.
    if (!m_searcher)
        m_searcher = openAnother();
    return m_searcher;
}

sqlite3* QueryChannel::openAnother()
{
    sqlite3* db = nullptr;
    const QByteArray uri = database().databaseName().toUtf8();
    const int rc = sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        throw platform::Failure(text);
    }
    sqlite3_busy_timeout(db, lockWait);
    setUp(db);
    return db;
}

void QueryChannel::setUp(sqlite3* db) const
{
    // A read-only catalogue keeps its journal mode as it is: nothing is written to it.
    if (m_readOnly) {
        hungarian::installInto(db);
        return;
    }
    // A file that another program is writing keeps its journal for now: the program does not wait for it.
    const BriefWait brief(db);
    prepareConnection(db);
}

void QueryChannel::openFile(bool readOnly)
{
    QSqlDatabase db = database();
    db.close();
    QUrl uri = QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath());
    uri.setQuery(readOnly ? QStringLiteral("mode=ro") : QStringLiteral("mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(lockWait));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    if (!db.open())
        throw platform::Failure(engineText(db.lastError()));
    if (!readOnly)
        return;
    // A file left in WAL mode on a medium where the engine cannot make its side files is read as it stands.
    const int rc = sqlite3_exec(handle(), "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) & 0xff;
    if (rc == SQLITE_CANTOPEN || rc == SQLITE_READONLY) {
        db.close();
        uri.setQuery(QStringLiteral("mode=ro&immutable=1"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        if (!db.open())
            throw platform::Failure(engineText(db.lastError()));
    }
}

bool QueryChannel::isConnected() const
{
    return m_server || database().isOpen();
}

void QueryChannel::connectServer()
{
    m_server = std::make_unique<server::Session>(m_path, m_passwords);
    m_readOnly = m_server->readOnly();
    followServerChanges();
}

void QueryChannel::setFollowsChanges(bool follows)
{
    m_followsChanges = follows;
    if (!follows) {
        delete m_changeNotifier;
        m_changeNotifier = nullptr;
    } else if (m_server) {
        followServerChanges();
    }
}

void QueryChannel::followServerChanges()
{
    if (!m_followsChanges || !m_server || m_changeNotifier)
        return;
    const int socket = m_server->changeSocket();
    if (socket < 0)
        return;
    m_changeNotifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    QObject::connect(m_changeNotifier, &QSocketNotifier::activated, this, [this] {
        const QStringList tables = m_server ? m_server->takeChanges() : QStringList();
        // A listener the server dropped (a restart) is made again with the next list.
        if (m_server && m_server->changeSocket() != m_changeNotifier->socket()) {
            m_changeNotifier->deleteLater();
            m_changeNotifier = nullptr;
        }
        if (!tables.isEmpty())
            emit catalogueChanged(tables);
    });
}

void QueryChannel::connect()
{
    if (m_server)
        return;
    if (isServer()) {
        connectServer();
        return;
    }
    QSqlDatabase db = database();
    if (db.isOpen())
        return;
    // Read-write without create: a path that names no file must fail, never leave an empty file behind.
    if (m_path.isEmpty())
        throw platform::Failure(QString::fromUtf8(sqlite3_errstr(SQLITE_CANTOPEN)));
    m_readOnly = !mayWrite(m_path);
    openFile(m_readOnly);
    if (!m_readOnly && sqlite3_db_readonly(handle(), "main") == 1) {
        m_readOnly = true;
        openFile(true);
    }
    // Only a catalogue is ever changed: a database of another program, or an empty file, is refused before
    // anything is written to it.
    if (contentsOf(handle()) == Contents::Foreign) {
        db.close();
        m_readOnly = false;
        throw platform::Failure(
            QStringLiteral("%1: ez a file nem Médiatár-katalógus (nincsenek benne a katalógus táblái), ezért "
                           "a program nem nyitja meg, és nem is változtat rajta.")
                .arg(QDir::toNativeSeparators(m_path)));
    }
    setUp(handle());
    if (m_readOnly)
        return;
    // A catalogue from an older program gets its kept order now, once; then whatever other programs wrote
    // since the program last had it open is brought into the lists. A file that cannot take them (locked, no
    // database) is still listed, only slower; its own faults surface with the first statement. Another
    // program holding the file is not waited for: the lists read the data until it lets go.
    try {
        const BriefWait brief(handle());
        upgradeSchema(handle(), m_progress);
        bringKeptOrderUpToDate(handle(), m_progress);
    } catch (const platform::Failure&) {
    }
}

void QueryChannel::setStatement(const Statement& statement)
{
    dropRows();
    m_statement = statement;
}

QSqlQuery QueryChannel::prepared(const Statement& statement) const
{
    // Another program may have changed a table since this connection last read the schema. The engine would
    // then prepare against the old tables and re-prepare while the rows are read, with another column count
    // than the driver set up for. A look at the schema first brings it up to date.
    sqlite3_exec(handle(), "SELECT 1 FROM sqlite_schema LIMIT 0", nullptr, nullptr, nullptr);
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.prepare(statement.sql()))
        throw platform::Failure(engineText(query.lastError()));
    const QVariantList values = statement.values();
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return query;
}

std::unique_ptr<RowSet> QueryChannel::loaded(const Statement& statement)
{
    if (m_server)
        return m_server->load(statement);
    QSqlQuery query = prepared(statement);
    if (!query.exec())
        throw platform::Failure(engineText(query.lastError()));
    auto rows = std::make_unique<LoadedRowSet>(query);
    if (query.lastError().isValid())
        throw platform::Failure(engineText(query.lastError()));
    return rows;
}

void QueryChannel::runOnFile(const QString& sql)
{
    QSqlQuery query(database());
    if (!query.exec(sql))
        throw platform::Failure(engineText(query.lastError()));
}

void QueryChannel::open()
{
    if (m_pending)
        finishPending(m_pending->generation); // the list is open already; its count becomes exact now
    if (m_search) {
        // The list asked for is the one on its way from the server: it is waited for.
        {
            std::unique_lock<std::mutex> lock(m_search->search->mutex);
            m_search->search->changed.wait(lock, [&] { return m_search->search->finished; });
        }
        const QString failure = m_search->search->failure;
        finishServerSearch(m_search->generation);
        if (!isOpen())
            throw platform::Failure(failure);
    }
    if (isOpen())
        return;
    connect();
    emit statementRun(m_statement.text());
    if (m_server) {
        followServerChanges();
        const ListPlan* plan = m_statement.listPlan();
        install(plan ? m_server->openList(*plan) : m_server->load(m_statement));
        return;
    }
    if (const ListPlan* plan = m_statement.listPlan()) {
        auto rows = listRows(*plan);
        if (!rows->complete()) {
            std::vector<qint64> identities;
            rows->collect([&](qint64 identity) { identities.push_back(identity); }, [] { return false; });
            rows->show(std::move(identities), true);
        }
        install(std::move(rows));
        return;
    }
    install(loaded(m_statement));
}

void QueryChannel::openThen(std::function<void()> whenOpen, std::function<void(const QString&)> whenFailed)
{
    const ListPlan* plan = m_statement.listPlan();
    if (isOpen() || !plan) {
        open();
        whenOpen();
        return;
    }
    connect();
    if (m_server) {
        openServerThen(*plan, std::move(whenOpen), std::move(whenFailed));
        return;
    }
    emit statementRun(m_statement.text());
    auto rows = listRows(*plan);
    if (rows->complete()) {
        install(std::move(rows));
        whenOpen();
        return;
    }
    auto pending = std::make_unique<Pending>(rows.get(), searcher());
    pending->generation = ++m_generation;
    pending->worker = std::thread([this, work = pending.get(), generation = pending->generation] {
        work->run();
        // Late news for a list that was opened at once, or abandoned, is ignored there.
        QMetaObject::invokeMethod(
            this, [this, generation] { finishPending(generation); }, Qt::QueuedConnection);
    });
    // The window waits as long as a frame allows, or until the first screens are found.
    const auto started = std::chrono::steady_clock::now();
    bool finished;
    {
        std::unique_lock<std::mutex> lock(pending->mutex);
        while (!pending->finished && pending->found.load(std::memory_order_acquire) < firstPart &&
               (std::chrono::steady_clock::now() - started < frameBudget ||
                pending->progress.load(std::memory_order_relaxed) < leastProgress))
            pending->changed.wait_for(lock, std::chrono::milliseconds(1));
        finished = pending->finished;
    }
    // A list of more rows than the first part always opens in two steps, however soon it was counted.
    const std::size_t shown = pending->found.load(std::memory_order_acquire);
    if (finished && shown < firstPart) {
        pending->worker.join();
        if (!pending->succeeded) // the engine's failure; the list and its snapshot go with this
            throw platform::Failure(pending->failure);
        rows->show(pending->everyRow(), true);
        install(std::move(rows));
        whenOpen();
        return;
    }
    rows->show(pending->firstRows(shown), false);
    install(std::move(rows));
    // The first rows are on the screen; the rest are counted on the worker, and the window stays live.
    pending->whenOpen = std::move(whenOpen);
    pending->whenFailed = std::move(whenFailed);
    m_pending = std::move(pending);
}

void QueryChannel::refreshThen(std::function<void()> whenOpen, std::function<void(const QString&)> whenFailed)
{
    const ListPlan* plan = m_statement.listPlan();
    if (m_server && plan && isOpen()) {
        abandonPending();
        openServerThen(*plan, std::move(whenOpen), std::move(whenFailed), true);
        return;
    }
    dropRows();
    openThen(std::move(whenOpen), std::move(whenFailed));
}

void QueryChannel::openServerThen(const ListPlan& plan, std::function<void()> whenOpen,
                                  std::function<void(const QString&)> whenFailed, bool keepShown)
{
    emit statementRun(m_statement.text());
    followServerChanges();
    const quint64 generation = ++m_generation;
    auto search = m_server->startList(plan, [this, generation] {
        // On the worker: the news goes to the event loop, where a newer search may have replaced this one.
        QMetaObject::invokeMethod(
            this, [this, generation] { finishServerSearch(generation); }, Qt::QueuedConnection);
    });
    // The window waits as long as a frame allows; a slower server (a long count, a slow network) answers into
    // the event loop while the user types on.
    bool finished;
    {
        std::unique_lock<std::mutex> lock(search->mutex);
        finished = search->changed.wait_for(lock, serverFrameBudget, [&] { return search->finished; });
    }
    if (finished) {
        if (!search->list)
            throw platform::Failure(search->failure);
        install(std::move(search->list));
        whenOpen();
        return;
    }
    // Meanwhile the list is empty and pending; a list read again keeps its old rows on the screen.
    if (!keepShown || !m_rows)
        install(std::make_unique<LoadedRowSet>(QStringList(), std::vector<QVariantList>()));
    m_search = std::make_unique<ServerSearch>();
    m_search->generation = generation;
    m_search->search = std::move(search);
    m_search->whenOpen = std::move(whenOpen);
    m_search->whenFailed = std::move(whenFailed);
    m_search->keepShown = keepShown;
}

void QueryChannel::finishServerSearch(quint64 generation)
{
    if (!m_search || m_search->generation != generation)
        return;
    const std::unique_ptr<ServerSearch> finished = std::move(m_search);
    std::unique_ptr<RowSet> list;
    QString failure;
    {
        const std::lock_guard<std::mutex> lock(finished->search->mutex);
        list = std::move(finished->search->list);
        failure = finished->search->failure;
    }
    finished->search.reset();
    if (!list) {
        if (!finished->keepShown)
            dropRows();
        if (finished->whenFailed)
            finished->whenFailed(failure);
        return;
    }
    install(std::move(list));
    reportOpened(finished->whenOpen, finished->whenFailed);
}

std::unique_ptr<PagedRowSet> QueryChannel::listRows(const ListPlan& plan)
{
    sqlite3* db = reader();
    // What other programs wrote meanwhile comes into the kept order first, so that the list can read through
    // it; a file that cannot take it now is listed from its data. A file left in the rollback journal because
    // another program held it when it was opened is put in the shared journal as soon as that program lets go.
    if (!m_readOnly) {
        if (!readsBesideWriters(db))
            shareJournalIfFree(db);
        if (keptOrderBehind(db))
            bringKeptOrderUpToDate(db, m_progress);
    }
    const QString table = plan.table;
    return std::make_unique<PagedRowSet>(db, plan, m_distrustedCounts.compare(table, Qt::CaseInsensitive) != 0,
                                         [this, table] {
                                             // Found while a screen is read: repaired from the event loop, where the
                                             // list may be opened again.
                                             if (m_repairQueued)
                                                 return;
                                             m_repairQueued = true;
                                             QMetaObject::invokeMethod(
                                                 this, [this, table] { repairCounts(table); }, Qt::QueuedConnection);
                                         });
}

void QueryChannel::repairCounts(const QString& table)
{
    m_repairQueued = false;
    const ListPlan* plan = m_statement.listPlan();
    if (!isOpen() || !plan || plan->table.compare(table, Qt::CaseInsensitive) != 0)
        return;
    // The kept counts are recounted from the rows; a read-only file keeps its wrong counts, and this channel
    // counts that table's lists by reading them until another catalogue is opened.
    bool repaired = false;
    if (!m_readOnly) {
        try {
            recountKept(handle(), table);
            repaired = true;
        } catch (const platform::Failure&) {
        }
    }
    if (!repaired)
        m_distrustedCounts = table;
    try {
        dropRows();
        open();
    } catch (const platform::Failure&) {
        return;
    }
    emit recounted();
}

void QueryChannel::finishPending(quint64 generation)
{
    // A list abandoned meanwhile is gone already; its late news is ignored.
    if (!m_pending || m_pending->generation != generation)
        return;
    m_pending->worker.join();
    const std::unique_ptr<Pending> finished = std::move(m_pending);
    if (!finished->succeeded) {
        dropRows();
        if (finished->whenFailed)
            finished->whenFailed(finished->failure);
        return;
    }
    // The rows found first keep their places; the rest follow them.
    const int shown = finished->rows->count();
    std::vector<qint64> identities = finished->everyRow();
    const int all = static_cast<int>(identities.size());
    if (all > shown)
        emit rowsAboutToBeAppended(shown, all - 1);
    finished->rows->show(std::move(identities), true);
    if (all > shown)
        emit rowsAppended();
    reportOpened(finished->whenOpen, finished->whenFailed);
}

void QueryChannel::abandonPending()
{
    m_pending.reset();
    m_search.reset();
}

void QueryChannel::install(std::unique_ptr<RowSet> rows)
{
    emit rowsAboutToChange();
    m_rows = std::move(rows);
    m_currentRow = m_rows->count() > 0 ? 0 : -1;
    emit rowsChanged();
}

void QueryChannel::execute()
{
    dropRows();
    connect();
    // The one place where the program's changes reach the file: none reaches a read-only catalogue.
    if (m_readOnly)
        throw platform::Failure(readOnlyMessage());
    emit statementRun(m_statement.text());
    if (m_server) {
        m_changed = m_server->execute(m_statement);
        return;
    }
    if (sqlite3_get_autocommit(handle()))
        catchUpBeforeWriting();
    QSqlQuery query = prepared(m_statement);
    if (!query.exec())
        throw platform::Failure(engineText(query.lastError()));
    m_changed = sqlite3_changes(handle());
}

qint64 QueryChannel::lastInsertedKey()
{
    if (m_server)
        return m_server->lastInsertedKey();
    return sqlite3_last_insert_rowid(handle());
}

std::vector<QVariantList> QueryChannel::fetch(const Statement& statement)
{
    connect();
    const std::unique_ptr<RowSet> found = loaded(statement);
    std::vector<QVariantList> rows;
    for (int row = 0; row < found->count(); ++row) {
        QVariantList values;
        for (int column = 0; column < found->columnNames().size(); ++column)
            values << found->value(row, column);
        rows.push_back(std::move(values));
    }
    return rows;
}

void QueryChannel::begin()
{
    connect();
    if (m_server) {
        // Nothing is started on a server catalogue the role may only read.
        if (m_readOnly)
            throw platform::Failure(readOnlyMessage());
        m_server->begin();
        return;
    }
    if (!m_readOnly)
        catchUpBeforeWriting();
    runOnFile(QStringLiteral("BEGIN IMMEDIATE"));
}

void QueryChannel::catchUpBeforeWriting()
{
    // A program table that another tool dropped while the file was open would make every write to a listed
    // table fail (the triggers that log its changes name it): it is made anew, with whatever else is behind.
    if (keptOrderBehind(handle()))
        bringKeptOrderUpToDate(handle(), m_progress);
}

void QueryChannel::commit()
{
    if (m_server) {
        m_server->commit();
        return;
    }
    runOnFile(QStringLiteral("COMMIT"));
}

void QueryChannel::rollback()
{
    if (m_server) {
        m_server->rollback();
        return;
    }
    QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
}

void QueryChannel::close()
{
    dropRows();
}

void QueryChannel::dropRows()
{
    abandonPending();
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
