// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/engine.h"
#include "store/search_connections.h"

#include <QSqlDatabase>
#include <QSqlQuery>

struct sqlite3;

// A catalogue file on this computer, through SQLite. The windows' statements run on one connection, where the
// write transactions are; each category list holds a snapshot on a connection of its own, and a long search is
// collected on a third, so that neither ever waits for the other.

namespace store {

class PagedRowSet;

class FileEngine : public engine::Engine
{
public:
    explicit FileEngine(engine::Location location);
    ~FileEngine() override;

    void connect() override;
    void disconnect() override;
    bool isConnected() const override;
    bool readOnly() const override { return m_readOnly; }

    std::unique_ptr<engine::RowSet> openList(const engine::ListPlan& plan) override;
    std::unique_ptr<engine::ListOpening> startList(const engine::ListPlan& plan, std::function<void()> done) override;
    bool keepsRowsWhileReadingAgain() const override { return false; }
    void repairCounts(const QString& table) override;

    std::unique_ptr<engine::RowSet> load(const engine::Statement& statement) override;
    int execute(const engine::Statement& statement) override;
    qint64 lastInsertedKey() override;
    void begin() override;
    void commit() override;
    void rollback() override;

private:
    class Opening;

    QSqlDatabase database() const;
    sqlite3* handle() const;
    QSqlQuery prepared(const engine::Statement& statement) const;
    void runOnFile(const QString& sql);
    void catchUpBeforeWriting();
    sqlite3* reader();
    sqlite3* openAnother(const QByteArray& uri) const;
    void setUp(sqlite3* db) const;
    void openFile(bool readOnly);
    std::unique_ptr<PagedRowSet> listRows(const engine::ListPlan& plan);

    QString m_connectionName;
    QString m_path;
    sqlite3* m_reader = nullptr;   // the category lists' own connection: their snapshots and screens
    qint64 m_orderUpToDateAt = -1; // the reader's count of others' commits when the order was last up to date
    SearchConnections m_search;    // the background collecting of a long search
    bool m_readOnly = false;
    QString m_distrustedCounts; // a table whose kept counts proved wrong and cannot be repaired (read-only)
};

} // namespace store
