// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

struct pg_conn;

namespace bench {

// The statements the program runs on a server catalogue, through the bare libpq C API: no channel, no row set,
// no model. Every value is bound, as the program binds it. Every call throws std::runtime_error with the
// server's text when the statement fails.
class BareServer
{
public:
    explicit BareServer(const QString& uri);
    ~BareServer();
    BareServer(const BareServer&) = delete;
    BareServer& operator=(const BareServer&) = delete;

    // Runs a row-returning statement with its values bound to $1, $2, ...: the number of rows, and the text of
    // every value of them, as a list's first screen holds it.
    struct Screen
    {
        int rows = 0;
        QStringList values;
    };
    Screen screen(const QString& sql, const QStringList& values = {}) const;
    // The first column of the first row as a number (a count).
    qint64 number(const QString& sql, const QStringList& values = {}) const;
    // The rows as text, one line per row (EXPLAIN's plan, a look-up).
    QStringList lines(const QString& sql, const QStringList& values = {}) const;
    // Runs one or more commands given as text (SET, VACUUM, DDL): nothing to bind.
    void command(const QString& sql) const;
    // Runs a COPY ... FROM STDIN, sending what next gives until it gives an empty chunk.
    void copyIn(const QString& sql, const std::function<QByteArray()>& next) const;

private:
    pg_conn* m_connection = nullptr;
};

} // namespace bench
