#include "store/query_channel.h"

#include "platform/failure.h"
#include "store/connection_setup.h"
#include "store/schema.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <sqlite3.h>
#include <thread>

namespace store {

namespace {

QString engineText(const QSqlError& error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

const QString closedListText = QStringLiteral("Operation is not allowed when the object is closed.");

// How long a search may hold up the window before it goes on in the background: well inside one frame, so
// that a keystroke leaves time to paint. A list of up to firstPart rows that is found within it opens at once;
// a longer one shows its first part at once and is counted to its end in the background.
constexpr auto frameBudget = std::chrono::milliseconds(8);
constexpr std::size_t firstPart = 1000;
constexpr int leastStops = 50; // a short list never goes to the background, however busy the machine

} // namespace

// The rest of a filtered list, collected on a worker thread on the list's own snapshot. The window reads the
// first part meanwhile through other statements of the same connection.
struct QueryChannel::Pending
{
    quint64 generation = 0;
    PagedRowSet* rows = nullptr; // shown already, owned by the channel
    std::vector<qint64> identities;
    std::function<void()> whenOpen;
    std::function<void(const QString&)> whenFailed;
    std::atomic<bool> cancelled{false};
    bool succeeded = false;
    QString failure;
    std::thread worker;
};

QueryChannel::QueryChannel(const QString& connectionName, QObject* parent)
    : QObject(parent), m_connectionName(connectionName)
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
}

QueryChannel::~QueryChannel()
{
    abandonPending();
    m_rows.reset();
    sqlite3_close(m_reader);
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
    sqlite3_close(m_reader);
    m_reader = nullptr;
    QSqlDatabase db = database();
    db.close();
}

sqlite3* QueryChannel::reader()
{
    // A list holds its snapshot on a connection of its own, so the channel's connection stays free for the
    // changes, and the transactions, of whoever runs them while the list is shown.
    if (m_reader)
        return m_reader;
    const QByteArray uri = database().databaseName().toUtf8();
    const int rc = sqlite3_open_v2(uri.constData(), &m_reader, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(m_reader ? sqlite3_errmsg(m_reader) : sqlite3_errstr(rc));
        sqlite3_close(m_reader);
        m_reader = nullptr;
        throw platform::Failure(text);
    }
    sqlite3_busy_timeout(m_reader, 5000);
    prepareConnection(m_reader);
    return m_reader;
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
    // A catalogue from an older program gets its indexes now, once. A file that cannot take them (read-only,
    // locked, no database) is still listed, only slower; its own faults surface with the first statement.
    try {
        upgradeSchema(handle());
    } catch (const platform::Failure&) {
    }
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
    if (m_pending)
        finishPending(m_pending->generation); // the list is open already; its count becomes exact now
    if (isOpen())
        return;
    connect();
    emit statementRun(m_statement.text());
    if (const ListPlan* plan = m_statement.listPlan()) {
        auto rows = std::make_unique<PagedRowSet>(reader(), *plan);
        if (!rows->complete()) {
            std::vector<qint64> identities;
            rows->collect(identities, [] { return false; });
            rows->show(std::move(identities), true);
        }
        install(std::move(rows));
        return;
    }
    QSqlQuery query = prepared();
    if (!query.exec())
        throw platform::Failure(engineText(query.lastError()));
    auto rows = std::make_unique<LoadedRowSet>(query);
    if (query.lastError().isValid())
        throw platform::Failure(engineText(query.lastError()));
    install(std::move(rows));
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
    emit statementRun(m_statement.text());
    auto rows = std::make_unique<PagedRowSet>(reader(), *plan);
    PagedRowSet* paged = rows.get();
    if (!paged->complete()) {
        std::vector<qint64> identities;
        const auto started = std::chrono::steady_clock::now();
        int stops = 0;
        const bool done = paged->collect(identities, [&] {
            return identities.size() >= firstPart ||
                   (++stops >= leastStops && std::chrono::steady_clock::now() - started > frameBudget);
        });
        paged->show(std::move(identities), done);
    }
    install(std::move(rows));
    if (paged->complete()) {
        whenOpen();
        return;
    }
    // The first part is on the screen; the rest is counted on a worker, and the window stays live.
    m_pending = std::make_unique<Pending>();
    Pending* pending = m_pending.get();
    pending->generation = ++m_generation;
    pending->rows = paged;
    pending->whenOpen = std::move(whenOpen);
    pending->whenFailed = std::move(whenFailed);
    pending->worker = std::thread([this, pending] {
        try {
            pending->succeeded =
                pending->rows->collect(pending->identities, [pending] { return pending->cancelled.load(); });
        } catch (const platform::Failure& failure) {
            pending->failure = failure.text();
        }
        const quint64 generation = pending->generation;
        QMetaObject::invokeMethod(
            this, [this, generation] { finishPending(generation); }, Qt::QueuedConnection);
    });
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
    const int all = static_cast<int>(finished->identities.size());
    if (all > shown)
        emit rowsAboutToBeAppended(shown, all - 1);
    finished->rows->show(std::move(finished->identities), true);
    if (all > shown)
        emit rowsAppended();
    if (finished->whenOpen)
        finished->whenOpen();
}

void QueryChannel::abandonPending()
{
    if (!m_pending)
        return;
    m_pending->cancelled = true;
    m_pending->worker.join();
    m_pending.reset();
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
