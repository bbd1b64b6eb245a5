// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/engine.h"

// A catalogue in a database on a PostgreSQL server (server::Session), as an engine.

namespace server {

class Session;

class ServerEngine : public engine::Engine
{
public:
    explicit ServerEngine(engine::Location location);
    ~ServerEngine() override;

    void connect() override;
    void disconnect() override;
    bool isConnected() const override { return m_session != nullptr; }
    bool readOnly() const override { return m_readOnly; }

    std::unique_ptr<engine::RowSet> openList(const engine::ListPlan& plan) override;
    std::unique_ptr<engine::ListOpening> startList(const engine::ListPlan& plan, std::function<void()> news) override;
    bool keepsRowsWhileReadingAgain() const override { return true; }
    // The server keeps its counts in its own transactions: they never go wrong.
    void repairCounts(const QString&) override {}

    std::unique_ptr<engine::RowSet> load(const engine::Statement& statement) override;
    int execute(const engine::Statement& statement) override;
    qint64 lastInsertedKey() override;
    void begin() override;
    void commit() override;
    void rollback() override;

    int changeSocket() override;
    QStringList takeChanges() override;

private:
    Session& session();

    std::unique_ptr<Session> m_session;
    bool m_readOnly = false;
};

} // namespace server
