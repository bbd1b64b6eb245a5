// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/location.h"
#include "engine/tables.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// Work on a whole catalogue, as the catalogue tool does it: make one, check and mend it, read every row of a
// table, write rows in bulk, back it up. Each engine provides it in its own folder (the file engine in store/,
// the server engine in server/), each fast its own way; catalogue::upkeepFor() picks the engine for a location.
//
// A new command of the tool asks only this interface, through catalogue::upkeepFor(engine::Location(name)): it
// reads a catalogue with read(), fills one with write() or copyCatalogue(); what the engines do differently is said
// here in the user's terms (a seed of SQL statements, which only a file takes). A new engine implements Upkeep,
// Snapshot, RowReader and BulkWrite, and is named once in catalogue/engines.cpp; the tests of tests/engine then run
// on it as they run on the other two.
//
// Every failure is a platform::Failure whose text is ready for the user, and names the catalogue by its shown
// name (never with a password).

namespace engine {

class Upkeep;

// One value of a row: no value at all (SQL NULL, data null), or its text in UTF-8. The bytes belong to whoever
// gave the field and last until the next row.
struct Field
{
    const char* data = nullptr;
    qsizetype size = 0;
    // Binary data rather than text: only a file that another program wrote can hold it.
    bool binary = false;

    bool isNull() const { return data == nullptr; }
    QByteArrayView bytes() const { return QByteArrayView(data, size); }
    static Field text(const QByteArray& utf8) { return {utf8.constData(), utf8.size(), false}; }
};
using Fields = std::vector<Field>;

// The rows of one table in key order (a file's row ids, a server's identity column): the order the rows were
// entered in, which a copy keeps.
class RowReader
{
public:
    virtual ~RowReader() = default;
    // Steps to the next row; false after the last.
    virtual bool next() = 0;
    // The row's values, in the order of the table's columns; valid until next() is called again.
    virtual const Fields& fields() const = 0;
    // The row's key, by which a message names it.
    virtual qint64 key() const = 0;
};

// A catalogue read at one moment: writers meanwhile change nothing that is read through it. One reader at a time.
class Snapshot
{
public:
    virtual ~Snapshot() = default;
    // Whether the catalogue has the table (its name in any case).
    virtual bool hasTable(const QString& table) = 0;
    // The table's rows, counted by the engine.
    virtual qint64 rowCount(const QString& table) = 0;
    // The table's rows in key order, each with the values of the table's columns.
    virtual std::unique_ptr<RowReader> rows(const TableDefinition& table) = 0;
};

// Tracks whose album is not among the rows (a catalogue may hold them, the program never lists them).
struct OrphanTracks
{
    qint64 tracks = 0;
    qint64 albumKeys = 0;  // how many different album keys they name
    QStringList firstKeys; // up to ten of those keys, the smallest first
};

// Rows written into a catalogue, all or nothing: until commit() nobody sees any of them, and a write that ends
// without commit() (a failure, an exception passing by) leaves the catalogue as it was: no file at all where a
// new file was being written, no row on a server. Tables are written one after the other, each row with its
// values in the order of the table's columns; an album key, and the album key of a track, as decimal text.
class BulkWrite
{
public:
    virtual ~BulkWrite() = default;
    // The rows that follow are the table's, until finishTable(). A table that is never started stays empty.
    virtual void startTable(const TableDefinition& table) = 0;
    // Writes a row. The engine's reason when it refuses this one row (which is then left out, and the write goes
    // on), empty when it went in. An engine that learns of a refusal only later throws then, and the whole
    // write fails.
    virtual QString add(const Fields& row) = 0;
    // Ends the table; gives how many of its rows went in.
    virtual qint64 finishTable() = 0;
    // The table's rows as the catalogue counts them now, its own kept count included: a count that differs
    // from the rows written means rows were lost on the way (-1 when the kept count disagrees with the rows).
    virtual qint64 storedRows(const QString& table) = 0;
    virtual OrphanTracks orphanTracks() = 0;
    // Makes every row seen. New albums then get keys after every key that an album or a track holds. False when
    // WriteOptions::keep declined: then nothing is written.
    virtual bool commit() = 0;
};

struct WriteOptions
{
    // A file: an existing file is replaced (never one a program has open). A server: its rows are replaced.
    bool replace = false;
    // An empty server database gets the catalogue's tables first (a file is always a new catalogue).
    bool makeCatalogue = false;
    // After the rows are in, the engine brings what serves the first lists up to date (a server's statistics
    // and visibility map); a file needs nothing.
    bool settle = false;
    // Names the temporary file a new file is written as ("copy", "csv", "import", "generate").
    QString purpose = QStringLiteral("copy");
    // The catalogue the rows come from, which a file target may never be.
    QString source;
    // Called when every row is in, before it is made seen: with the finished catalogue where it can be checked
    // apart (a new file), else null. Throws platform::Failure to refuse it, returns false to decline quietly.
    std::function<bool(Upkeep* finished)> keep;
};

// What a backup wrote.
struct BackupReport
{
    qint64 amount = 0;
    QString unit;         // "pages" of a file copied page by page, "rows" of one copied row by row
    QStringList findings; // problems the catalogue has of its own, which the copy has too
};

class Upkeep
{
public:
    virtual ~Upkeep() = default;
    // Where the catalogue is, as the user named it.
    virtual const Location& location() const = 0;
    // The name shown in the tool's output and messages.
    QString shownName() const { return location().shownName(); }

    // Whether create() takes a seed of SQL statements (a file does; a server catalogue is filled by copy).
    virtual bool takesSeed() const = 0;
    // Writes a new, empty catalogue, and runs the statements of the file seedPath names on it in one transaction
    // when given. Refuses a file that exists, or a database that holds a catalogue; failed statements leave no
    // catalogue.
    virtual void create(const QString& seedPath = QString()) = 0;
    // What is wrong with the catalogue, one sentence each: its tables and columns, the engine's own integrity
    // checks, the counts and order the program keeps. With repair, the kept counts and order are rebuilt from
    // the rows first. Empty when it is sound; throws when the catalogue cannot be opened at all.
    virtual QStringList check(bool repair) = 0;
    // The catalogue read at one moment. Throws when it cannot be opened or is no catalogue.
    virtual std::unique_ptr<Snapshot> read() = 0;
    // The refusal write() would give before any row (a file that is there, a catalogue holding rows), without
    // changing anything: for a refusal before long work.
    virtual void checkWritable(const WriteOptions& options) = 0;
    // Starts writing rows into the catalogue: a new file (see WriteOptions::replace), or a server catalogue that
    // 'create' made and that holds no rows (or whose rows are replaced). Refuses as checkWritable() does.
    virtual std::unique_ptr<BulkWrite> write(const WriteOptions& options) = 0;
    // A copy of the catalogue as it stands at one moment, into copy, a new file, also while others write to it.
    // The copy is checked before it takes its name; a problem the copy alone has refuses it.
    virtual BackupReport backupInto(Upkeep& copy, bool replaceExisting) = 0;
};

// The rows of every table of source written into target in key order, all or nothing: a table whose rows
// differ in number between the two refuses the whole copy. Gives the rows copied.
qint64 copyCatalogue(Upkeep& source, Upkeep& target, const WriteOptions& options);

} // namespace engine
