#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

struct pg_conn;

// A connection to a catalogue on a PostgreSQL server, through libpq. Every value travels as a bound parameter
// (PQexecParams); the statement texts hold names and fixed pieces only.

namespace server {

// A value as the server gives or takes it: no value is SQL NULL, which differs from an empty text.
using Value = std::optional<QString>;
using Row = std::vector<Value>;

// Whether a catalogue name given where a file path is accepted names a server catalogue instead.
bool isServerUri(const QString& name);
// The URI with any password left out (the user part and a password=... parameter), for messages and titles.
QString withoutPassword(const QString& uri);

class Connection
{
public:
    // Connects to uri; throws platform::Failure with the server's text (and the URI without its password) when
    // the server cannot be reached or refuses.
    explicit Connection(const QString& uri);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one statement with its values bound to $1, $2, ...; gives the rows it returns (none for a command).
    // Throws platform::Failure with the server's text when the statement fails.
    std::vector<Row> run(const QString& sql, const std::vector<Value>& values = {});
    // The first column of the first row as text, or empty when there is none or it is null.
    QString single(const QString& sql, const std::vector<Value>& values = {});

    // A statement prepared once under a name and run many times (a bulk copy).
    void prepare(const QString& name, const QString& sql, int parameterCount);
    void runPrepared(const QString& name, const std::vector<Value>& values);

    const QString& uri() const { return m_uri; }

private:
    pg_conn* m_connection = nullptr;
    QString m_uri; // without password
};

// Runs a block in one transaction: COMMIT when it returns, ROLLBACK when it throws.
template <typename Body> void inTransaction(Connection& connection, const QString& begin, Body&& body)
{
    connection.run(begin);
    try {
        body();
    } catch (...) {
        try {
            connection.run(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
        throw;
    }
    connection.run(QStringLiteral("COMMIT"));
}

} // namespace server
