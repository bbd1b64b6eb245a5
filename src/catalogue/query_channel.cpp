// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue/query_channel.h"

#include "catalogue/engines.h"
#include "platform/failure.h"

#include <QSocketNotifier>

namespace catalogue {

namespace {

const QString closedListText = QStringLiteral("Operation is not allowed when the object is closed.");

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

QueryChannel::QueryChannel(const QString& connectionName, QObject* parent)
    : QObject(parent), m_connectionName(connectionName)
{
}

QueryChannel::~QueryChannel()
{
    abandonPending();
    disconnect();
}

QString QueryChannel::shownName() const
{
    return engine::Location(m_path).shownName();
}

void QueryChannel::pointAt(const QString& cataloguePath)
{
    disconnect();
    m_path = cataloguePath;
    m_engine.reset();
}

void QueryChannel::setPasswordSource(PasswordSource source)
{
    m_passwords = std::move(source);
    if (m_engine)
        m_engine->setPasswordSource(m_passwords);
}

void QueryChannel::setWaiting(platform::Waiting* waiting)
{
    m_waiting = waiting;
    if (m_engine)
        m_engine->setWaiting(m_waiting);
}

void QueryChannel::setUpgradeProgress(std::function<void(const QString&)> progress)
{
    m_progress = std::move(progress);
    if (m_engine)
        m_engine->setProgress(m_progress);
}

void QueryChannel::disconnect()
{
    dropRows();
    delete m_changeNotifier;
    m_changeNotifier = nullptr;
    if (m_engine)
        m_engine->disconnect();
}

bool QueryChannel::isConnected() const
{
    return m_engine && m_engine->isConnected();
}

bool QueryChannel::readOnly() const
{
    return isConnected() && m_engine->readOnly();
}

engine::Engine& QueryChannel::connected()
{
    connect();
    return *m_engine;
}

void QueryChannel::connect()
{
    if (!m_engine) {
        m_engine = engineFor(engine::Location(m_path));
        m_engine->setPasswordSource(m_passwords);
        m_engine->setWaiting(m_waiting);
        m_engine->setProgress(m_progress);
        m_engine->setWhenCountWrong([this](const QString& table) { countFoundWrong(table); });
    }
    if (m_engine->isConnected())
        return;
    m_engine->connect();
    followChanges();
}

void QueryChannel::setFollowsChanges(bool follows)
{
    m_followsChanges = follows;
    if (!follows) {
        delete m_changeNotifier;
        m_changeNotifier = nullptr;
    } else if (isConnected()) {
        followChanges();
    }
}

void QueryChannel::followChanges()
{
    if (!m_followsChanges || !isConnected() || m_changeNotifier)
        return;
    const int socket = m_engine->changeSocket();
    if (socket < 0)
        return;
    m_changeNotifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    QObject::connect(m_changeNotifier, &QSocketNotifier::activated, this, [this] {
        const QStringList tables = isConnected() ? m_engine->takeChanges() : QStringList();
        // A listener the engine dropped (a server restart) is made again with the next list.
        if (isConnected() && m_engine->changeSocket() != m_changeNotifier->socket()) {
            m_changeNotifier->deleteLater();
            m_changeNotifier = nullptr;
        }
        if (!tables.isEmpty())
            emit catalogueChanged(tables);
    });
}

void QueryChannel::setStatement(const Statement& statement)
{
    dropRows();
    m_statement = statement;
}

void QueryChannel::open()
{
    if (m_opening) {
        // The list asked for is the one on its way: it is waited for, and its count becomes exact now.
        m_opening->waitForEnd();
        const bool failed = m_opening->failed();
        const QString failure = m_opening->failure();
        finishPending(m_generation);
        if (failed && !isOpen())
            throw platform::Failure(failure);
    }
    if (isOpen())
        return;
    engine::Engine& engine = connected();
    emit statementRun(m_statement.text());
    followChanges();
    const ListPlan* plan = m_statement.listPlan();
    install(plan ? engine.openList(*plan) : engine.load(m_statement));
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
    openInBackground(*plan, std::move(whenOpen), std::move(whenFailed), false);
}

void QueryChannel::refreshThen(std::function<void()> whenOpen, std::function<void(const QString&)> whenFailed)
{
    const ListPlan* plan = m_statement.listPlan();
    if (plan && isOpen() && m_engine->keepsRowsWhileReadingAgain()) {
        abandonPending();
        openInBackground(*plan, std::move(whenOpen), std::move(whenFailed), true);
        return;
    }
    dropRows();
    openThen(std::move(whenOpen), std::move(whenFailed));
}

void QueryChannel::openInBackground(const ListPlan& plan, std::function<void()> whenOpen,
                                    std::function<void(const QString&)> whenFailed, bool keepShown)
{
    emit statementRun(m_statement.text());
    followChanges();
    const quint64 generation = ++m_generation;
    auto opening = m_engine->startList(plan, [this, generation] {
        // On the engine's worker: the news goes to the event loop, where a newer list may have replaced this one.
        QMetaObject::invokeMethod(
            this, [this, generation] { pendingNews(generation); }, Qt::QueuedConnection);
    });
    // The window waits as long as a frame allows; a longer list answers into the event loop while the user
    // types on.
    if (opening->waitForFrame()) {
        if (opening->failed()) // the engine's failure; the list and its snapshot go with this
            throw platform::Failure(opening->failure());
        install(opening->takeShown());
        whenOpen();
        return;
    }
    // Meanwhile the part read so far is shown; a list read again keeps its old rows on the screen instead, and
    // leaves the part to the opening, which then gives the whole list at the end.
    if (!keepShown || !m_rows)
        install(opening->takeShown());
    m_opening = std::move(opening);
    m_whenOpen = std::move(whenOpen);
    m_whenFailed = std::move(whenFailed);
    m_keepShown = keepShown;
}

void QueryChannel::pendingNews(quint64 generation)
{
    if (!m_opening || generation != m_generation)
        return;
    if (m_opening->ended()) {
        finishPending(generation);
        return;
    }
    // The list's first rows have come before the rest: they take the place of an empty list, never of the rows
    // a list read again keeps on the screen until it is whole.
    if (m_keepShown && m_rows)
        return;
    if (std::unique_ptr<RowSet> part = m_opening->takePart())
        install(std::move(part));
}

void QueryChannel::finishPending(quint64 generation)
{
    // A list abandoned or replaced meanwhile is gone already; its late news is ignored.
    if (!m_opening || generation != m_generation)
        return;
    m_opening->waitForEnd();
    const std::unique_ptr<engine::ListOpening> finished = std::move(m_opening);
    const auto whenOpen = std::move(m_whenOpen);
    const auto whenFailed = std::move(m_whenFailed);
    if (finished->failed()) {
        if (!m_keepShown)
            dropRows();
        if (whenFailed)
            whenFailed(finished->failure());
        return;
    }
    if (std::unique_ptr<RowSet> whole = finished->takeWhole()) {
        install(std::move(whole));
    } else if (m_rows) {
        // The rows shown first keep their places; the rest follow them.
        const int shown = m_rows->count();
        const int all = finished->wholeCount();
        if (all > shown)
            emit rowsAboutToBeAppended(shown, all - 1);
        finished->completeShown();
        if (all > shown)
            emit rowsAppended();
    }
    reportOpened(whenOpen, whenFailed);
}

void QueryChannel::countFoundWrong(const QString& table)
{
    // Found while a screen is read: repaired from the event loop, where the list may be opened again.
    if (m_repairQueued)
        return;
    m_repairQueued = true;
    QMetaObject::invokeMethod(
        this, [this, table] { repairCounts(table); }, Qt::QueuedConnection);
}

void QueryChannel::repairCounts(const QString& table)
{
    m_repairQueued = false;
    const ListPlan* plan = m_statement.listPlan();
    if (!isOpen() || !plan || plan->table.compare(table, Qt::CaseInsensitive) != 0 || !isConnected())
        return;
    m_engine->repairCounts(table);
    try {
        dropRows();
        open();
    } catch (const platform::Failure&) {
        return;
    }
    emit recounted();
}

void QueryChannel::abandonPending()
{
    m_opening.reset();
    m_whenOpen = nullptr;
    m_whenFailed = nullptr;
}

void QueryChannel::install(std::unique_ptr<RowSet> rows)
{
    emit rowsAboutToChange();
    m_rows = std::move(rows);
    const quint64 installed = ++m_installed;
    m_rows->setWhenRead([this, installed](int first, int last) {
        // On the engine's reader: the news goes to the event loop, where another list may have replaced this one.
        QMetaObject::invokeMethod(
            this,
            [this, installed, first, last] {
                if (installed == m_installed && m_rows)
                    emit rowsRead(first, last);
            },
            Qt::QueuedConnection);
    });
    m_currentRow = m_rows->count() > 0 ? 0 : -1;
    emit rowsChanged();
}

void QueryChannel::execute()
{
    dropRows();
    engine::Engine& engine = connected();
    // The one place where the program's changes reach the catalogue: none reaches a read-only one.
    if (engine.readOnly())
        throw platform::Failure(readOnlyMessage());
    emit statementRun(m_statement.text());
    m_changed = engine.execute(m_statement);
}

qint64 QueryChannel::lastInsertedKey()
{
    return connected().lastInsertedKey();
}

std::vector<QVariantList> QueryChannel::fetch(const Statement& statement)
{
    const std::unique_ptr<RowSet> found = connected().load(statement);
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
    connected().begin();
}

void QueryChannel::commit()
{
    connected().commit();
}

void QueryChannel::rollback()
{
    if (m_engine)
        m_engine->rollback();
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

} // namespace catalogue
