// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/file_engine.h"

#include "hungarian/hungarian.h"
#include "platform/failure.h"
#include "store/connection_setup.h"
#include "store/kept_order.h"
#include "store/row_set.h"
#include "store/schema.h"
#include "store/search_pause.h"
#include "store/hungarian_functions.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
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
// A list found within it opens complete, in one step and one paint; a longer one opens with the rows found by
// then (at most firstPart, enough for any screen) and is counted to its end in the background. A search that
// has found its first part opens at once unless it can be seen to end within the frame.
constexpr auto frameBudget = std::chrono::milliseconds(5);
constexpr std::size_t firstPart = 1000;
// Only a list with real work behind it goes to the background, however busy the machine: a worker that has
// hardly begun when the frame is over is waited for, a little longer, but never so long that the window misses
// the next frame.
constexpr int leastProgress = 50;
// A search that tells how much it has to read is judged by its pace once it has read this many stretches, or
// after this long.
constexpr std::int64_t leastStretchesJudged = 16;
constexpr auto longestJudging = std::chrono::microseconds(1500);
constexpr auto longestWait = std::chrono::milliseconds(6);

// How often other connections have committed to the file, as this connection has seen (-1 when it cannot tell).
qint64 dataVersion(sqlite3* db)
{
    sqlite3_stmt* statement = nullptr;
    qint64 version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        version = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return version;
}

int nextConnectionNumber()
{
    static std::atomic<int> number{0};
    return ++number;
}

} // namespace

// A filtered list collected on a worker thread, through a connection of its own. The first rows are published
// as they are found, so that the window can show them while the worker goes on.
class FileEngine::Opening : public engine::ListOpening
{
public:
    // A list counted already (a whole table, a counted prefix) needs no worker.
    explicit Opening(std::unique_ptr<PagedRowSet> list) : m_list(std::move(list)), m_rows(m_list.get())
    {
        m_finished = true;
        m_succeeded = true;
        m_ready = true;
    }
    // sharing: the list's search of the kept text, shared with a helper connection; or null.
    Opening(std::unique_ptr<PagedRowSet> list, sqlite3* connection, std::shared_ptr<SharedTextReading> sharing,
            std::function<void()> done)
        : m_list(std::move(list)), m_rows(m_list.get()), m_db(connection), m_sharing(std::move(sharing)),
          m_head(firstPart)
    {
        // Room for every row the table holds: only what is written of it takes memory, and the rows found are
        // never copied to a larger vector while the worker goes on.
        m_tail.reserve(m_rows->mostRows());
        m_worker = std::thread([this, done = std::move(done)] {
            run();
            done();
        });
    }
    // Whatever ends a pending list ends its worker first: the connection is never left to a stray thread.
    ~Opening() override
    {
        m_cancelled = true;
        if (m_worker.joinable())
            m_worker.join();
    }

    bool waitForFrame() override
    {
        if (m_ready)
            return true;
        SearchPause::awaitHeldWorker();
        // The window waits as long as a frame allows, or until the first screens are found.
        const auto started = std::chrono::steady_clock::now();
        bool finished;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            const auto waited = [&] { return std::chrono::steady_clock::now() - started; };
            while (!m_finished && (m_found.load(std::memory_order_acquire) < firstPart || endsWithinFrame(waited())) &&
                   (waited() < frameBudget ||
                    (m_progress.load(std::memory_order_relaxed) < leastProgress && waited() < longestWait)))
                m_changed.wait_for(lock, std::chrono::microseconds(250));
            finished = m_finished;
        }
        if (!finished)
            return false;
        waitForEnd();
        if (m_succeeded) // the engine's failure takes the list and its snapshot with it
            m_rows->show(everyRow(), true);
        m_ready = true;
        return true;
    }
    void waitForEnd() override
    {
        if (m_worker.joinable())
            m_worker.join();
    }
    bool ended() const override
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_finished;
    }
    bool failed() const override { return !m_succeeded; }
    QString failure() const override { return m_failure; }
    std::unique_ptr<engine::RowSet> takeShown() override
    {
        if (!m_ready)
            m_rows->show(firstRows(m_found.load(std::memory_order_acquire)), false);
        return std::move(m_list);
    }
    std::unique_ptr<engine::RowSet> takeWhole() override { return nullptr; }
    int wholeCount() const override { return static_cast<int>(m_total); }
    // The rows found first keep their places; the rest follow them.
    void completeShown() override { m_rows->show(everyRow(), true); }

private:
    void run()
    {
        try {
            m_succeeded = m_rows->collectOn(
                m_db, m_sharing.get(),
                [this](const std::vector<qint64>& identities) {
                    std::size_t count = m_found.load(std::memory_order_relaxed);
                    auto next = identities.begin();
                    // The first rows go also where the window may read them at once.
                    for (; next != identities.end() && count < firstPart; ++next)
                        m_head[count++] = *next;
                    if (count != m_found.load(std::memory_order_relaxed)) {
                        m_found.store(count, std::memory_order_release);
                        if (count == firstPart) {
                            const std::lock_guard<std::mutex> lock(m_mutex);
                            m_changed.notify_all();
                        }
                    }
                    m_tail.append(identities);
                    SearchPause::hold(m_cancelled);
                },
                [this] {
                    m_progress.fetch_add(1, std::memory_order_relaxed);
                    return m_cancelled.load(std::memory_order_relaxed);
                },
                &m_textProgress);
        } catch (const platform::Failure& error) {
            m_failure = error.text();
        } catch (const std::exception& error) {
            m_failure = QString::fromLocal8Bit(error.what());
        }
        // However the worker ends (a list collected from the rows, the kept text not serving in its snapshot,
        // included), the helper is let go.
        if (m_sharing)
            m_sharing->end();
        m_total = m_tail.size();
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    }

    // Whether the search, going on at the pace it has had since it began reading, ends within the frame: only a
    // search that tells how much it has to read can be seen to.
    bool endsWithinFrame(std::chrono::steady_clock::duration waited) const
    {
        const auto stretches = static_cast<std::int64_t>(m_textProgress.stretches.load(std::memory_order_relaxed));
        const auto read = static_cast<std::int64_t>(m_textProgress.read.load(std::memory_order_relaxed));
        if (stretches == 0)
            return false;
        // The first stretches are read slower than the rest (statements made, the helper starting): the pace is
        // judged after a few more, as long as that costs the window little.
        if (read < std::min<std::int64_t>(stretches, leastStretchesJudged) && waited < longestJudging)
            return true;
        if (read == 0)
            return false;
        const std::chrono::steady_clock::duration reading =
            std::chrono::steady_clock::now().time_since_epoch() -
            std::chrono::steady_clock::duration(m_textProgress.startedAt.load(std::memory_order_relaxed));
        return waited + reading * (stretches - read) / read < frameBudget;
    }

    RowIdentities firstRows(std::size_t count) const
    {
        RowIdentities rows;
        rows.append(m_head.begin(), m_head.begin() + static_cast<std::ptrdiff_t>(count));
        return rows;
    }

    // Once, at the end: every row is handed over, not copied, so a list of a million rows is held once.
    RowIdentities everyRow() { return std::move(m_tail); }

    std::unique_ptr<PagedRowSet> m_list;          // until the window takes it
    PagedRowSet* m_rows;                          // the window's once shown
    sqlite3* m_db = nullptr;                      // the worker's own connection
    std::shared_ptr<SharedTextReading> m_sharing; // its work shared with the helper connection, or null
    bool m_ready = false;                         // m_rows shows the whole list
    std::vector<qint64> m_head;                   // the first rows found again, read while the worker writes on
    std::atomic<std::size_t> m_found{0};          // how many of m_head are written
    RowIdentities m_tail;                         // every row found, the worker's own until it is done
    std::size_t m_total = 0;                      // every row found, set by the worker as it ends
    std::atomic<int> m_progress{0};               // how many times the worker was asked whether to stop
    TextSearchProgress m_textProgress;
    std::atomic<bool> m_cancelled{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_finished = false; // under m_mutex
    bool m_succeeded = false;
    QString m_failure;
    std::thread m_worker;
};

FileEngine::FileEngine(engine::Location location)
    : Engine(std::move(location)), m_connectionName(QStringLiteral("mediatar-file-%1").arg(nextConnectionNumber())),
      m_path(this->location().name())
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
}

FileEngine::~FileEngine()
{
    disconnect();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase FileEngine::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

sqlite3* FileEngine::handle() const
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        return nullptr;
    return *static_cast<sqlite3* const*>(db.driver()->handle().data());
}

void FileEngine::disconnect()
{
    m_search.close();
    sqlite3_close(m_reader);
    m_reader = nullptr;
    m_orderUpToDateAt = -1;
    QSqlDatabase db = database();
    if (db.isOpen() && !m_readOnly)
        leaveSharedJournal(handle());
    db.close();
    m_readOnly = false;
    m_distrustedCounts.clear();
}

sqlite3* FileEngine::reader()
{
    // A list holds its snapshot on a connection of its own, so the channel's connection stays free for the
    // changes, and the transactions, of whoever runs them while the list is shown.
    if (!m_reader) {
        m_reader = openAnother(database().databaseName().toUtf8());
        // A screen is read once and then kept by the list itself, so a small cache of pages is enough: the
        // engine's default of 2 MB was mostly the screens already read.
        sqlite3_exec(m_reader, "PRAGMA cache_size = -512", nullptr, nullptr, nullptr);
    }
    return m_reader;
}

sqlite3* FileEngine::openAnother(const QByteArray& uri) const
{
    sqlite3* db = nullptr;
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

void FileEngine::setUp(sqlite3* db) const
{
    // A read-only catalogue keeps its journal mode as it is: nothing is written to it.
    if (m_readOnly) {
        store::installHungarian(db);
        return;
    }
    // A file that another program is writing keeps its journal for now: the program does not wait for it.
    const BriefWait brief(db);
    prepareConnection(db);
}

void FileEngine::openFile(bool readOnly)
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

bool FileEngine::isConnected() const
{
    return database().isOpen();
}

void FileEngine::connect()
{
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
    const QByteArray uri = database().databaseName().toUtf8();
    const auto openSearchConnections = [this, uri] { m_search.open([this, uri] { return openAnother(uri); }); };
    if (m_readOnly) {
        openSearchConnections();
        return;
    }
    // A catalogue from an older program gets its kept order now, once; then whatever other programs wrote
    // since the program last had it open is brought into the lists. A file that cannot take them (locked, no
    // database) is still listed, only slower; its own faults surface with the first statement. Another
    // program holding the file is not waited for: the lists read the data until it lets go.
    try {
        const BriefWait brief(handle());
        upgradeSchema(handle(), progress());
        bringKeptOrderUpToDate(handle(), progress());
    } catch (const platform::Failure&) {
    }
    openSearchConnections();
}

QSqlQuery FileEngine::prepared(const engine::Statement& statement) const
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

std::unique_ptr<engine::RowSet> FileEngine::load(const engine::Statement& statement)
{
    QSqlQuery query = prepared(statement);
    if (!query.exec())
        throw platform::Failure(engineText(query.lastError()));
    auto rows = std::make_unique<LoadedRowSet>(query);
    if (query.lastError().isValid())
        throw platform::Failure(engineText(query.lastError()));
    return rows;
}

void FileEngine::runOnFile(const QString& sql)
{
    QSqlQuery query(database());
    if (!query.exec(sql))
        throw platform::Failure(engineText(query.lastError()));
}

std::unique_ptr<engine::RowSet> FileEngine::openList(const engine::ListPlan& plan)
{
    auto rows = listRows(plan);
    if (!rows->complete()) {
        RowIdentities identities;
        rows->collect([&](const std::vector<qint64>& found) { identities.append(found); }, [] { return false; });
        rows->show(std::move(identities), true);
    }
    return rows;
}

std::unique_ptr<engine::ListOpening> FileEngine::startList(const engine::ListPlan& plan, std::function<void()> done)
{
    auto rows = listRows(plan);
    if (rows->complete())
        return std::make_unique<Opening>(std::move(rows));
    sqlite3* worker = m_search.searcher();
    std::shared_ptr<SharedTextReading> sharing = m_search.helps() ? rows->sharedReading() : nullptr;
    // The helper is woken first, while a core is free for it: woken after the worker has taken that core, it
    // often waits milliseconds for one (the window's thread still holds the other), longer than a search of a
    // hundred thousand rows takes.
    if (sharing)
        m_search.share(sharing);
    return std::make_unique<Opening>(std::move(rows), worker, std::move(sharing), std::move(done));
}

std::unique_ptr<PagedRowSet> FileEngine::listRows(const engine::ListPlan& plan)
{
    sqlite3* db = reader();
    // What other programs wrote meanwhile comes into the kept order first, so that the list can read through
    // it; a file that cannot take it now is listed from its data. A file left in the rollback journal because
    // another program held it when it was opened is put in the shared journal as soon as that program lets go.
    if (!m_readOnly) {
        if (!readsBesideWriters(db))
            shareJournalIfFree(db);
        // Looked at only when another connection has committed since the order was last found up to date: the
        // file's change counter is one statement, the look a dozen, and a keystroke is not kept waiting for them.
        // The counter is read first, so that a commit during the look shows next time.
        const qint64 version = dataVersion(db);
        if (version < 0 || version != m_orderUpToDateAt) {
            const bool upToDate = !keptOrderBehind(db) || bringKeptOrderUpToDate(db, progress());
            m_orderUpToDateAt = upToDate ? version : -1;
        }
    }
    const QString table = plan.table;
    return std::make_unique<PagedRowSet>(db, plan, m_distrustedCounts.compare(table, Qt::CaseInsensitive) != 0,
                                         [this, table] { countFoundWrong(table); });
}

void FileEngine::repairCounts(const QString& table)
{
    // The kept counts are recounted from the rows; a read-only file keeps its wrong counts, and its lists of
    // that table are counted by reading them until another catalogue is opened.
    if (!m_readOnly) {
        try {
            recountKept(handle(), table);
            return;
        } catch (const platform::Failure&) {
        }
    }
    m_distrustedCounts = table;
}

int FileEngine::execute(const engine::Statement& statement)
{
    if (sqlite3_get_autocommit(handle()))
        catchUpBeforeWriting();
    QSqlQuery query = prepared(statement);
    if (!query.exec())
        throw platform::Failure(engineText(query.lastError()));
    return sqlite3_changes(handle());
}

qint64 FileEngine::lastInsertedKey()
{
    return sqlite3_last_insert_rowid(handle());
}

void FileEngine::begin()
{
    if (!m_readOnly)
        catchUpBeforeWriting();
    runOnFile(QStringLiteral("BEGIN IMMEDIATE"));
}

void FileEngine::catchUpBeforeWriting()
{
    // A program table that another tool dropped while the file was open would make every write to a listed
    // table fail (the triggers that log its changes name it): it is made anew, with whatever else is behind.
    if (keptOrderBehind(handle()))
        bringKeptOrderUpToDate(handle(), progress());
}

void FileEngine::commit()
{
    runOnFile(QStringLiteral("COMMIT"));
}

void FileEngine::rollback()
{
    QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
}

} // namespace store
