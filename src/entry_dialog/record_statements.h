// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/statement.h"

#include <QVariant>
#include <initializer_list>
#include <utility>
#include <vector>

// The statements that record new rows and edits. Their written-out form is fixed piece by piece, blanks
// and commas included; every value is bound when the statement runs, so any text is stored as typed.

namespace record_sql {

// The old values an edit compares and the row identity it was opened for. A null identity leaves the
// comparison of the two values alone to find the row. seen holds every column of the row as the edit showed it
// (column, text; a NULL shows as empty text): the row is changed only while it still holds all of them.
struct RowKey
{
    QString first;
    QString second;
    QVariant identity;
    std::vector<std::pair<QString, QString>> seen;
};

// The columns of an update that the user left alone: each keeps what the file holds, byte for byte (a NULL
// included), whatever its text in the statement's written-out form.
using KeptColumns = QStringList;

// Fixed text and the value that follows it, in turn, then the closing text.
engine::Statement sequence(std::initializer_list<std::pair<const char*, QString>> pieces, const char* tail);
// Narrows a change to the row of the given identity (the rowid, or the key column named).
engine::Statement& narrow(engine::Statement& statement, const QVariant& identity,
                          const QString& identityColumn = QStringLiteral("rowid"));
// Narrows a change to a row that still holds every value the edit showed.
engine::Statement& guard(engine::Statement& statement, const RowKey& old);

engine::Statement albumInsert(const QString& artist, const QString& album);
// The key of the album row the catalogue already holds under this artist and title, if any.
engine::Statement heldAlbumQuery(const QString& artist, const QString& album);
// The key of the album row just written: the row inserted is the one asked for, whatever other rows share
// its artist and title.
engine::Statement albumKeyQuery(const QString& artist, const QString& album, qint64 insertedKey);

struct Track
{
    QString title;
    QString length;
    QString size;
    QString bitrate;
    QString code;
};
engine::Statement trackInsert(const Track& track, const QString& albumKey);
engine::Statement albumUpdate(const QString& artist, const QString& album, const RowKey& old,
                              const KeptColumns& kept = {});
engine::Statement trackUpdate(const Track& track, const RowKey& old, const KeptColumns& kept = {});

struct Compilation
{
    QString artistAndTitle;
    QString album;
    QString length;
    QString bitrate;
    QString size;
    QString code;
};
engine::Statement compilationInsert(const Compilation& row);
engine::Statement compilationUpdate(const Compilation& row, const RowKey& old, const KeptColumns& kept = {});

struct Dvd
{
    QString title;
    QString originalTitle;
    QString soundTracks;
    QString subtitles;
    QString discs;
    QString length;
    QString style;
};
engine::Statement dvdInsert(const Dvd& row);
engine::Statement dvdUpdate(const Dvd& row, const RowKey& old, const KeptColumns& kept = {});

struct Clip
{
    QString title;
    QString description;
    QString language;
    QString resolution;
    QString size;
    QString length;
    QString style;
    QString video;
    QString sound;
};
engine::Statement clipInsert(const Clip& row);
engine::Statement clipUpdate(const Clip& row, const RowKey& old, const KeptColumns& kept = {});

struct Item // a game or a program: name, note, size, medium code
{
    QString name;
    QString note;
    QString size;
    QString code;
};
engine::Statement gameInsert(const Item& row);
engine::Statement gameUpdate(const Item& row, const RowKey& old, const KeptColumns& kept = {});
engine::Statement programInsert(const Item& row);
engine::Statement programUpdate(const Item& row, const RowKey& old, const KeptColumns& kept = {});

} // namespace record_sql
