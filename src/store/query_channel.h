// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "server/connection.h"
#include "store/row_set.h"
#include "store/statement.h"

#include <QObject>
#include <QSqlDatabase>
#include <functional>
#include <memory>

struct sqlite3;
class QSocketNotifier;

namespace server {
class Session;
}

// A query channel: one connection to the open catalogue and the one statement it carries at a time.
// Every operation that fails throws platform::Failure with the engine's own text.
//
// The catalogue is a file or a database on a PostgreSQL server (a postgresql:// URI): the windows use both the
// same way, through this class only.

namespace store {

using PasswordSource = server::PasswordSource;

class QueryChannel : public QObject
{
    Q_OBJECT

public:
    explicit QueryChannel(const QString& connectionName, QObject* parent = nullptr);
    ~QueryChannel() override;

    // Disconnects and remembers the catalogue path; nothing is opened yet, so a missing file is not an error here.
    void pointAt(const QString& cataloguePath);
    // Asked when a server wants a password that libpq's own sources do not give.
    void setPasswordSource(PasswordSource source) { m_passwords = std::move(source); }
    // The catalogue named is on a server.
    bool isServer() const;
    // The path, or the URI without any password: what the user may be shown.
    QString shownName() const;
    // Opens the connection; opening an open connection does nothing.
    void connect();
    // Closes the connections. The last connection to the file leaves it plain: the rollback journal, no side
    // files (refused by the engine while another connection, of this program or another, has the file open).
    void disconnect();
    bool isConnected() const;
    // The catalogue opened read-only (read-only medium, no write permission): it lists and searches, and every
    // change is refused before it starts.
    bool readOnly() const { return m_readOnly; }
    // Called with each table's name while an older catalogue is brought up to date on connecting, or the
    // program's kept order rebuilt after another program changed the file's schema.
    void setUpgradeProgress(std::function<void(const QString&)> progress) { m_progress = std::move(progress); }
    const QString& cataloguePath() const { return m_path; }

    // Replaces the statement; the current row set is closed at once.
    void setStatement(const Statement& statement);
    const Statement& statement() const { return m_statement; }
    // Runs the list statement and keeps its rows; the current row becomes the first. Opening an open
    // channel does nothing. Connects first when needed. A category list is read a screenful at a time.
    void open();
    // Opens like open() without holding up the window. A list found within a frame's time is complete when
    // this returns, and whenOpen has run. A longer search list is opened with the first part of its rows, in
    // their places, and is counted to its end in the background: the channel is pending meanwhile, then the
    // rest of the rows are appended and whenOpen (or, after a failure, whenFailed with the engine's text, the
    // list closed) runs from the event loop. Replacing the statement or closing abandons a pending list and its
    // callbacks, so the newest statement wins; open() waits for it instead. A statement the engine refuses
    // throws at once, as open() does.
    void openThen(std::function<void()> whenOpen, std::function<void(const QString&)> whenFailed);
    // A list is open with its first part while the rest is being counted (on a server: while it is read).
    bool isPending() const { return m_pending != nullptr || m_search != nullptr; }
    // Reads the open list's statement again, as openThen does, for another program's changes: the rows shown
    // stay on the screen until the new ones are in, so the grid never flashes empty; then whenOpen runs.
    void refreshThen(std::function<void()> whenOpen, std::function<void(const QString&)> whenFailed);
    // Runs a changing statement (no rows). Refused on a read-only catalogue (readOnlyMessage).
    void execute();
    // The rows the last execute() changed.
    int changedRows() const { return m_changed; }
    // The key the last insert gave its row.
    qint64 lastInsertedKey();
    // Runs a look-up and gives its rows, leaving the channel's statement and rows alone.
    std::vector<QVariantList> fetch(const Statement& statement);
    // A write transaction, taken at once (store::WriteTransaction holds one).
    void begin();
    void commit();
    void rollback();
    // Announces other programs' changes to a server catalogue (catalogueChanged) while connected.
    void setFollowsChanges(bool follows);
    // Drops the row set.
    void close();
    bool isOpen() const { return m_rows != nullptr; }

    // The exact number of rows; fails when the channel holds no open list.
    int recordCount() const;
    // The rows of the open list, or null.
    const RowSet* rows() const { return m_rows.get(); }
    // A column of a row by name (case-insensitive), as text; a null reads as empty text.
    // Fails when the list is closed or has no such column.
    QString fieldText(int row, const QString& column) const;

    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int row) { m_currentRow = row; }

    QSqlDatabase database() const;
    // The engine's own handle, for collations and functions; null when not connected.
    sqlite3* handle() const;

signals:
    void rowsAboutToChange();
    void rowsChanged();
    // The rest of a pending list arrives: rows first..last are added after the rows shown so far.
    void rowsAboutToBeAppended(int first, int last);
    void rowsAppended();
    // A list is about to be opened or a change executed: the statement's text form.
    void statementRun(const QString& text);
    // A kept count was found wrong while the list was read; the list has been opened again with the right
    // count (the count label wants updating).
    void recounted();
    // Another program changed these tables of the server catalogue (their names as the server spells them).
    void catalogueChanged(const QStringList& tables);

private:
    struct Pending;

    QSqlQuery prepared(const Statement& statement) const;
    // A short list read whole, on either engine.
    std::unique_ptr<RowSet> loaded(const Statement& statement);
    void runOnFile(const QString& sql);
    void catchUpBeforeWriting();
    sqlite3* reader();
    sqlite3* searcher();
    sqlite3* openAnother();
    void dropRows();
    void install(std::unique_ptr<RowSet> rows);
    void abandonPending();
    void finishPending(quint64 generation);
    void setUp(sqlite3* db) const;
    void openFile(bool readOnly);
    std::unique_ptr<PagedRowSet> listRows(const ListPlan& plan);
    void repairCounts(const QString& table);
    void connectServer();
    void openServerThen(const ListPlan& plan, std::function<void()> whenOpen,
                        std::function<void(const QString&)> whenFailed, bool keepShown = false);
    void finishServerSearch(quint64 generation);
    void followServerChanges();

    QString m_connectionName;
    QString m_path;
    Statement m_statement;
    std::unique_ptr<RowSet> m_rows;
    int m_currentRow = -1;
    sqlite3* m_reader = nullptr;   // the category lists' own connection: their snapshots and screens
    sqlite3* m_searcher = nullptr; // the background collecting of a long search
    std::unique_ptr<Pending> m_pending;
    quint64 m_generation = 0;
    bool m_readOnly = false;
    QString m_distrustedCounts; // a table whose kept counts proved wrong and cannot be repaired (read-only)
    bool m_repairQueued = false;
    std::function<void(const QString&)> m_progress;
    int m_changed = 0;
    PasswordSource m_passwords;
    std::unique_ptr<server::Session> m_server;
    struct ServerSearch;
    std::unique_ptr<ServerSearch> m_search;
    bool m_followsChanges = false;
    QSocketNotifier* m_changeNotifier = nullptr;
};

// The message that refuses every change to a read-only catalogue.
QString readOnlyMessage();

} // namespace store
