// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "server/connection.h"
#include "engine/list_plan.h"
#include "engine/row_set.h"
#include "engine/statement.h"

#include <QStringList>
#include <QVariantList>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A catalogue on a PostgreSQL server as the windows use it, behind the same query channel as a file.
//
// - The statements the windows build keep their designed text; what the server runs is their engine form with
//   the file engine's spellings turned into the server's (serverSql): ? becomes $1, $2..., a row's rowid the
//   server's row identity, ifnull coalesce, and the file's Hungarian sort key the column itself, whose ICU
//   collation orders it in Hungarian.
// - Category lists are read from snapshots on connections of their own (ServerList); everything else runs on
//   the session's command connection, where the write transactions are.
// - A connection that the server or the network dropped is made again by the next action that needs it; an
//   action that was under way fails with the server's text, and a transaction with it is gone on the server as
//   a whole.

namespace server {

class ServerList;

// The statement's engine form as the server takes it.
QString serverSql(const QString& sql);

class Session
{
public:
    // Connects and checks that the database holds a catalogue. Throws platform::Failure with the server's text.
    // waiting: how the window waits for the command connection (connecting, and every change), or null.
    Session(const QString& uri, PasswordSource passwords, platform::Waiting* waiting = nullptr);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const QString& shownUri() const { return m_shown; }
    // The role may only read (or the server takes no writes): every change is refused before it starts.
    bool readOnly() const { return m_readOnly; }

    // A category list, opened at once.
    std::unique_ptr<engine::RowSet> openList(const engine::ListPlan& plan);

    // A category list opened on a worker thread. news runs on that thread once it has finished, failed or been
    // cancelled, and before that once its first screen has come while its count goes on; a cancelled search's
    // list is dropped.
    struct Search
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool finished = false;
        std::unique_ptr<engine::RowSet> first; // the first screen, come before the count; null once taken
        std::unique_ptr<engine::RowSet> list;
        QString failure;
        std::atomic<bool> cancelled{false};
        std::atomic<bool> exited{false}; // the worker has done everything, so joining it does not wait
        // Stops its statements, the count's included, on every connection it uses.
        std::shared_ptr<Stopper> stopper = std::make_shared<Stopper>();
        std::thread worker;
        // Stops it at the server without waiting for the answer.
        static void cancel(const std::shared_ptr<Search>& self) { self->cancelAsync(self); }
        void cancelAsync(const std::shared_ptr<Search>& self);
    };
    std::shared_ptr<Search> startList(const engine::ListPlan& plan, std::function<void()> news);

    // A short list (a look-up, an album's tracks), read whole on the command connection.
    std::unique_ptr<engine::RowSet> load(const engine::Statement& statement);
    // A changing statement; gives the number of rows it changed.
    int execute(const engine::Statement& statement);

    // A write transaction, taken at once: the catalogue's albums are locked against other writers until it
    // ends, as a file is, so no other user comes between what it reads and what it writes.
    void begin();
    void commit();
    void rollback();
    qint64 lastInsertedKey();

    // The socket on which other users' changes are announced; -1 when it cannot be had now.
    int changeSocket();
    // The tables other programs changed since the last call (each once).
    QStringList takeChanges();

private:
    struct Pool;
    Connection& command();
    std::unique_ptr<Connection> connectAgain(platform::Waiting* waiting) const;

    QString m_uri; // as given, with any password: only ever given to libpq
    QString m_shown;
    std::shared_ptr<Pool> m_pool;
    platform::Waiting* m_waiting = nullptr;
    std::unique_ptr<Connection> m_command;
    std::unique_ptr<Connection> m_listener;
    bool m_inTransaction = false;
    bool m_readOnly = false;
    QStringList m_gramTables; // the listed tables with their gram index, as the catalogue was opened
    std::vector<std::shared_ptr<Search>> m_searches;
    std::thread m_preparingStop; // makes the connection that stops searches, beside the first one
};

} // namespace server
