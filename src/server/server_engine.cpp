// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_engine.h"

#include "platform/failure.h"
#include "server/server_session.h"

#include <chrono>

namespace server {

namespace {

// A server's answer is waited for a little less than a file's: the server's own processes share the machine's
// cores with the window when it runs on the same computer, and the window must still paint within the frame.
constexpr auto frameBudget = std::chrono::milliseconds(3);

// A list being read by a worker of the session. Until its first screen is there the window shows an empty list
// (or keeps the rows it showed); a first screen that comes before the count is shown while the count goes on,
// and becomes the whole list in place.
class Opening : public engine::ListOpening
{
public:
    explicit Opening(std::shared_ptr<Session::Search> search) : m_search(std::move(search)) {}
    // Abandoned: its statements are stopped at the server; the session waits for the worker at the end.
    ~Opening() override { Session::Search::cancel(m_search); }

    bool waitForFrame() override
    {
        std::unique_lock<std::mutex> lock(m_search->mutex);
        // A first screen come within the frame is shown at once, without waiting out the frame for the count.
        m_search->changed.wait_for(lock, frameBudget, [&] { return m_search->finished || m_search->first; });
        return m_search->finished;
    }
    void waitForEnd() override
    {
        std::unique_lock<std::mutex> lock(m_search->mutex);
        m_search->changed.wait(lock, [&] { return m_search->finished; });
    }
    bool ended() const override
    {
        const std::lock_guard<std::mutex> lock(m_search->mutex);
        return m_search->finished;
    }
    bool failed() const override
    {
        const std::lock_guard<std::mutex> lock(m_search->mutex);
        return m_search->finished && !m_search->list;
    }
    QString failure() const override
    {
        const std::lock_guard<std::mutex> lock(m_search->mutex);
        return m_search->failure;
    }
    std::unique_ptr<engine::RowSet> takeShown() override
    {
        const std::lock_guard<std::mutex> lock(m_search->mutex);
        if (m_search->finished)
            return std::move(m_search->list);
        if (std::unique_ptr<engine::RowSet> part = partLocked())
            return part;
        return std::make_unique<engine::LoadedRowSet>(QStringList(), std::vector<QVariantList>());
    }
    std::unique_ptr<engine::RowSet> takePart() override
    {
        const std::lock_guard<std::mutex> lock(m_search->mutex);
        return m_search->finished ? nullptr : partLocked();
    }
    std::unique_ptr<engine::RowSet> takeWhole() override
    {
        const std::lock_guard<std::mutex> lock(m_search->mutex);
        return m_part ? nullptr : std::move(m_search->list);
    }
    int wholeCount() const override
    {
        const std::lock_guard<std::mutex> lock(m_search->mutex);
        return m_search->list ? m_search->list->count() : 0;
    }
    void completeShown() override
    {
        const std::lock_guard<std::mutex> lock(m_search->mutex);
        if (m_part && m_search->list)
            m_part->complete(std::move(m_search->list));
    }

private:
    // The first screen as a list that grows into the whole one; the window's once given.
    std::unique_ptr<engine::RowSet> partLocked()
    {
        if (!m_search->first)
            return nullptr;
        auto part = std::make_unique<engine::GrowingRowSet>(std::move(m_search->first));
        m_part = part.get();
        return part;
    }

    std::shared_ptr<Session::Search> m_search;
    engine::GrowingRowSet* m_part = nullptr;
};

} // namespace

ServerEngine::ServerEngine(engine::Location location) : Engine(std::move(location)) {}

ServerEngine::~ServerEngine() = default;

Session& ServerEngine::session()
{
    if (!m_session)
        throw platform::Failure(QStringLiteral("Operation is not allowed when the object is closed."));
    return *m_session;
}

void ServerEngine::connect()
{
    if (m_session)
        return;
    m_session = std::make_unique<Session>(location().name(), passwords(), waiting());
    m_readOnly = m_session->readOnly();
}

void ServerEngine::disconnect()
{
    m_session.reset();
    m_readOnly = false;
}

std::unique_ptr<engine::RowSet> ServerEngine::openList(const engine::ListPlan& plan)
{
    return session().openList(plan);
}

std::unique_ptr<engine::ListOpening> ServerEngine::startList(const engine::ListPlan& plan, std::function<void()> news)
{
    return std::make_unique<Opening>(session().startList(plan, std::move(news)));
}

std::unique_ptr<engine::RowSet> ServerEngine::load(const engine::Statement& statement)
{
    return session().load(statement);
}

int ServerEngine::execute(const engine::Statement& statement)
{
    return session().execute(statement);
}

qint64 ServerEngine::lastInsertedKey()
{
    return session().lastInsertedKey();
}

void ServerEngine::begin()
{
    // Nothing is started on a server catalogue the role may only read.
    if (m_readOnly)
        throw platform::Failure(engine::readOnlyMessage());
    session().begin();
}

void ServerEngine::commit()
{
    session().commit();
}

void ServerEngine::rollback()
{
    if (m_session)
        m_session->rollback();
}

int ServerEngine::changeSocket()
{
    return m_session ? m_session->changeSocket() : -1;
}

QStringList ServerEngine::takeChanges()
{
    return m_session ? m_session->takeChanges() : QStringList();
}

} // namespace server
