// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/engine.h"

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

// A query channel: one connection to the open catalogue and the one statement it carries at a time.
// Every operation that fails throws platform::Failure with the engine's own text.
//
// The catalogue is a file or a database on a PostgreSQL server (a postgresql:// URI), or whatever engine
// engineFor() chooses for its location: the windows use every engine the same way, through this class only.

namespace catalogue {

using engine::ListPlan;
using engine::LoadedRowSet;
using engine::PasswordSource;
using engine::readOnlyMessage;
using engine::RowSet;
using engine::Statement;

class QueryChannel : public QObject
{
    Q_OBJECT

public:
    explicit QueryChannel(const QString& connectionName, QObject* parent = nullptr);
    ~QueryChannel() override;

    // Disconnects and remembers the catalogue path; nothing is opened yet, so a missing file is not an error here.
    void pointAt(const QString& cataloguePath);
    // Asked when a server wants a password that libpq's own sources do not give.
    void setPasswordSource(PasswordSource source);
    // How a slow answer is waited for (engine::Engine::setWaiting); null to wait in the call.
    void setWaiting(platform::Waiting* waiting);
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
    bool readOnly() const;
    // Called with each table's name while an older catalogue is brought up to date on connecting, or the
    // program's kept order rebuilt after another program changed the file's schema.
    void setUpgradeProgress(std::function<void(const QString&)> progress);
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
    bool isPending() const { return m_opening != nullptr; }
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
    // A write transaction, taken at once (engine::WriteTransaction holds one).
    void begin();
    void commit();
    void rollback();
    // Announces other programs' changes (catalogueChanged) while connected, where the engine tells of them.
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

signals:
    void rowsAboutToChange();
    void rowsChanged();
    // The rest of a pending list arrives: rows first..last are added after the rows shown so far.
    void rowsAboutToBeAppended(int first, int last);
    void rowsAppended();
    // Rows first..last of the open list, which were still to be read when they were first shown (painted empty),
    // have been read: they want painting again.
    void rowsRead(int first, int last);
    // A list is about to be opened or a change executed: the statement's text form.
    void statementRun(const QString& text);
    // A kept count was found wrong while the list was read; the list has been opened again with the right
    // count (the count label wants updating).
    void recounted();
    // Another program changed these tables of the catalogue (their names as the catalogue spells them).
    void catalogueChanged(const QStringList& tables);

private:
    engine::Engine& connected();
    void dropRows();
    void install(std::unique_ptr<RowSet> rows);
    void abandonPending();
    void openInBackground(const ListPlan& plan, std::function<void()> whenOpen,
                          std::function<void(const QString&)> whenFailed, bool keepShown);
    void pendingNews(quint64 generation);
    void finishPending(quint64 generation);
    void countFoundWrong(const QString& table);
    void repairCounts(const QString& table);
    void followChanges();

    QString m_connectionName;
    QString m_path;
    std::unique_ptr<engine::Engine> m_engine;
    Statement m_statement;
    std::unique_ptr<RowSet> m_rows;
    int m_currentRow = -1;
    // A list being read in the background, and what to do when it is there.
    std::unique_ptr<engine::ListOpening> m_opening;
    std::function<void()> m_whenOpen;
    std::function<void(const QString&)> m_whenFailed;
    bool m_keepShown = false; // a list read again: its old rows stay when the new ones cannot be read
    quint64 m_generation = 0;
    quint64 m_installed = 0; // lists installed so far: news of a list's rows that has gone is dropped
    bool m_repairQueued = false;
    std::function<void(const QString&)> m_progress;
    int m_changed = 0;
    PasswordSource m_passwords;
    platform::Waiting* m_waiting = nullptr;
    bool m_followsChanges = false;
    QSocketNotifier* m_changeNotifier = nullptr;
};

} // namespace catalogue
