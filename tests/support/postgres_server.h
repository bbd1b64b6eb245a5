// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

// A throwaway PostgreSQL server for the tests, started once per test process on first use: initdb and postgres
// in a short private folder under /tmp, reached through a Unix socket in that folder only (no TCP port), with
// fsync off. Every role is trusted but one, which gives a password. When the tests run as root the server runs as the
// postgres user, since PostgreSQL refuses root. The server gets SIGINT (fast shutdown) when the test process ends, even
// by SIGKILL, and the folders that killed runs left behind are removed at the next start.

namespace test_server {

class PostgresServer
{
public:
    // The one server of this process; starts it on the first call.
    static PostgresServer& instance();

    bool running() const { return m_pid > 0; }
    // Why the server could not be started, with its log.
    const QString& failure() const { return m_failure; }
    const QString& folder() const { return m_folder; }

    // Makes a new, empty database of this name (a plain identifier) and gives its URI. With hungarian, the
    // database orders by the Hungarian ICU locale with C.UTF-8 character classes; without, it is a plain "C"
    // database, which a catalogue must refuse.
    QString newDatabase(const QString& name, bool hungarian = true);
    // The URI of a database on this server, as the superuser postgres.
    QString uri(const QString& database) const;
    // The URI of a database as the role that must give its password (every other role is trusted), without
    // the password.
    QString passwordUri(const QString& database) const;
    static QString passwordRole() { return QStringLiteral("jelszavas"); }
    static QString rolePassword() { return QStringLiteral("Titkos jelszó 7"); }

    void stop();

private:
    PostgresServer();
    void start();
    bool askForThePasswordRole(const QString& data);
    bool addPasswordRole();

    QString m_folder;
    QString m_failure;
    int m_pid = -1;
};

// Removes the folders of runs whose owning process is gone (done at every start).
void removeStaleFolders();

} // namespace test_server

// The server tests fail, never skip, when the server cannot be started (GoogleTest is the test's own include).
#define ASSERT_SERVER_RUNNING()                                                                                        \
    ASSERT_TRUE(test_server::PostgresServer::instance().running())                                                     \
        << test_server::PostgresServer::instance().failure().toStdString()
