// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace engine {

// Where a catalogue lives, as the user names it: a file's path, or a database on a PostgreSQL server named by a
// postgresql:// (or postgres://) URI. Whatever the user meets differently between the two is asked here, in the
// user's terms; which engine serves a location is decided in one place only (catalogue/engines.cpp).
class Location
{
public:
    Location() = default;
    explicit Location(QString name) : m_name(std::move(name)) {}

    bool isEmpty() const { return m_name.isEmpty(); }
    // The name as given, any password included: what opening the catalogue needs. Never shown nor kept.
    const QString& name() const { return m_name; }
    // What the user may be shown (messages, the tool's output): the path, or the URI without its password.
    QString shownName() const;
    // The name as the user reads it (window titles): a URI's percent-encoded database or user name decoded.
    QString readableName() const;
    // A printed list's heading: a file by its name only, a server catalogue by its URI without its password.
    QString headingName() const;
    // What may be remembered (list.ini, the open dialog): the name without any password.
    QString rememberedName() const { return shownName(); }
    // The name carries a password that must be kept out of sight.
    bool carriesPassword() const { return rememberedName() != m_name; }
    // The file of this computer that holds the catalogue; empty for a catalogue on a server.
    QString localFile() const;
    // Whether opening may be tried at all: a file that exists, or any server URI (only the server can tell).
    bool mayBeThere() const;
    // A server may ask for a password to open it (the user is asked when libpq's own sources give none).
    bool mayAskPassword() const { return localFile().isEmpty() && !isEmpty(); }

    bool operator==(const Location& other) const { return m_name == other.m_name; }
    bool operator!=(const Location& other) const { return !(*this == other); }

    // Whether a name given where a catalogue is expected names a server catalogue (a postgresql:// URI).
    static bool namesServer(const QString& name);
    // A server URI with any password left out (the user part and a password=... parameter); other names as they
    // are.
    static QString withoutPassword(const QString& name);
    // Overwrites, in the process's own argument memory, the password of every server URI among the arguments, so
    // that the process list shows them without it. The caller keeps its own copy of the arguments as given.
    static void hidePasswordsFromProcessList(int argc, char** argv);

private:
    QString m_name;
};

} // namespace engine
