// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/list_plan.h"
#include "engine/location.h"
#include "engine/row_set.h"
#include "engine/statement.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// What an engine is: the one thing that holds a catalogue, seen from the windows. The program has two, a file on
// this computer (store::FileEngine) and a database on a PostgreSQL server (server::ServerEngine); the query
// channel (catalogue/query_channel.h) drives whichever catalogue/engines.cpp chooses for a location, and the
// windows never learn which one it is.
//
// To add an engine: derive from Engine, implement every pure member as its comment says, and let engineFor()
// choose it for the locations it serves. Every member runs on the window's thread unless its comment says
// otherwise. Every failure throws platform::Failure with the engine's own text (the windows show it as it is).
// Statements come as engine::Statement: the text form is what the user-facing behaviour describes, sql() and
// values() what an engine runs. Every value is bound, never pasted into the text. The sql() form is written for
// the file engine's dialect (? parameters, rowid, ifnull, hungarian_key(...) in an ORDER BY); an engine of another
// dialect turns it into its own (see server::serverSql).

namespace platform {
class Waiting;
}

namespace engine {

// Where a password comes from when an engine asks for one the user must give: given the location's shown name,
// the password, or nothing when the user declines.
using PasswordSource = std::function<std::optional<QString>(const QString& shownName)>;
// Called with each table's name while an engine prepares a catalogue for listing (an older catalogue brought up
// to date, its kept order rebuilt), then with an empty name when it is done.
using Progress = std::function<void(const QString& table)>;

// The message that refuses every change to a read-only catalogue.
QString readOnlyMessage();

// A list on its way from an engine that reads it without holding up the window (Engine::startList). Destroying
// it abandons the list: the engine stops its work, and nothing of it reaches the window afterwards.
class ListOpening
{
public:
    virtual ~ListOpening() = default;

    // Waits as long as the window may wait for this engine (well inside a frame). True when the whole list is
    // there by then, or its reading has failed (failed() tells which).
    virtual bool waitForFrame() = 0;
    // Waits until the reading has ended, successfully or not.
    virtual void waitForEnd() = 0;
    // The reading has ended (successfully or not): never waits.
    virtual bool ended() const = 0;
    // After the end: the reading failed, with the engine's text.
    virtual bool failed() const = 0;
    virtual QString failure() const = 0;
    // The list to show now; taken once. At the end, the whole list; before it, the part read so far (it may have
    // no rows at all: see Engine::keepsRowsWhileReadingAgain).
    virtual std::unique_ptr<RowSet> takeShown() = 0;
    // Before the end, for an engine whose first rows come on their own before the rest (startList's news): those
    // rows, to show instead of an empty list while the rest is read; taken once, and null when they have not come
    // or takeShown gave them already.
    virtual std::unique_ptr<RowSet> takePart() { return nullptr; }
    // After the end, for a list whose part was shown before it: the whole list anew, or null when the part
    // shown grows in place instead (wholeCount() rows once completeShown() has run).
    virtual std::unique_ptr<RowSet> takeWhole() = 0;
    virtual int wholeCount() const = 0;
    virtual void completeShown() = 0;
};

class Engine
{
public:
    explicit Engine(Location location) : m_location(std::move(location)) {}
    virtual ~Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const Location& location() const { return m_location; }

    // What the engine may use while it connects and lists; set by the channel before connect().
    void setPasswordSource(PasswordSource source) { m_passwords = std::move(source); }
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // How the window waits for a slow answer (connecting, a change held up by a lock or a stuck server): with
    // a window whose Mégse gives the wait up. Null: the engine waits in the call. Only for the window's thread.
    void setWaiting(platform::Waiting* waiting) { m_waiting = waiting; }
    // Called on the window's thread, while a screen is read, when a count the catalogue keeps proved wrong for
    // this table: its list wants reading again once repairCounts() has run (never from inside the call).
    void setWhenCountWrong(std::function<void(const QString& table)> handler) { m_countWrong = std::move(handler); }

    // Opens the catalogue. Connecting a connected engine does nothing. A location that holds no catalogue (a
    // missing file, another program's database, a server database without the catalogue's tables) is refused
    // here, before anything is written to it. A password may be asked here (location().mayAskPassword()).
    virtual void connect() = 0;
    // Closes everything the engine holds. A file is left whole in itself: its journal ends with the last
    // program that has it open (nothing beside the file remains).
    virtual void disconnect() = 0;
    virtual bool isConnected() const = 0;
    // The catalogue lists and searches but takes no change (a read-only medium or file, a role that may only
    // read): the channel refuses every change before it starts.
    virtual bool readOnly() const = 0;

    // A category list opened at once, read a screenful at a time and exactly counted.
    virtual std::unique_ptr<RowSet> openList(const ListPlan& plan) = 0;
    // A category list opened without holding up the window. news runs once the reading has ended (or failed),
    // and before that once more when the list's first rows are there on their own (ListOpening::takePart), on
    // whatever thread did the reading; it must only post news to the window's thread.
    virtual std::unique_ptr<ListOpening> startList(const ListPlan& plan, std::function<void()> news) = 0;
    // A list read again for other users' changes keeps its rows on the screen until the new ones are in. False
    // for an engine whose open list holds what a new reading needs (it is closed first).
    virtual bool keepsRowsWhileReadingAgain() const = 0;
    // Recounts the counts the catalogue keeps for a table (after setWhenCountWrong's news). A catalogue that
    // cannot be changed keeps its wrong counts, and its lists of that table are counted by reading them.
    virtual void repairCounts(const QString& table) = 0;

    // A short list (a look-up, an album's tracks) read whole.
    virtual std::unique_ptr<RowSet> load(const Statement& statement) = 0;
    // A changing statement; gives the number of rows it changed. Never called on a read-only catalogue.
    virtual int execute(const Statement& statement) = 0;
    // The key the last insert gave its row.
    virtual qint64 lastInsertedKey() = 0;
    // A write transaction, taken at once: no other writer (another window, another program, another user) comes
    // between its statements until it ends. Refused on a read-only catalogue.
    virtual void begin() = 0;
    virtual void commit() = 0;
    // Never fails: a transaction the engine has lost already is gone as a whole.
    virtual void rollback() = 0;

    // Following other users' changes: a socket that becomes readable when another program has changed the
    // catalogue, or -1 when the engine does not tell (a file is read afresh by each list anyway).
    virtual int changeSocket() { return -1; }
    // The tables other programs changed since the last call (each once), as the catalogue spells them.
    virtual QStringList takeChanges() { return {}; }

protected:
    const PasswordSource& passwords() const { return m_passwords; }
    const Progress& progress() const { return m_progress; }
    platform::Waiting* waiting() const { return m_waiting; }
    // Tells the channel that a kept count of the table proved wrong.
    void countFoundWrong(const QString& table) const
    {
        if (m_countWrong)
            m_countWrong(table);
    }

private:
    Location m_location;
    PasswordSource m_passwords;
    Progress m_progress;
    platform::Waiting* m_waiting = nullptr;
    std::function<void(const QString&)> m_countWrong;
};

} // namespace engine
