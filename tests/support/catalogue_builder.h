// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "support/qt_printing.h"

#include <memory>

namespace server {
class Connection;
}

// A real catalogue file in a temporary directory, filled row by row, for tests. Moved to the test server, the
// same calls fill and read the server's copy instead, through a connection of their own (another user's): the
// statements keep their file spelling and are turned into the server's as the program turns its own.
class TestCatalogue
{
public:
    // Creates an empty catalogue named file in dir.
    explicit TestCatalogue(const QString& dir, const QString& file = QStringLiteral("katalogus.tnx"));
    ~TestCatalogue();

    const QString& path() const { return m_path; }
    // The file's path, or the server catalogue's URI once it has moved there: what list.ini names.
    QString place() const;
    bool onServer() const { return m_server != nullptr; }

    // Copies the catalogue as filled so far into a new database on the test server (one per test); every call
    // after this reads and writes the server's copy. Throws when the server cannot be had.
    void moveToServer();
    // The server catalogue's URI for a role that may only read its tables (made on first use).
    QString readerUri() const;

    // Inserts a row with the values in the table's column order (a null QVariant stores NULL).
    void insert(const QString& table, const QVariantList& values);
    // Adds an album row and returns its key.
    qint64 addAlbum(const QString& artist, const QString& album);
    void addTrack(qint64 album, const QString& title, const QString& length, const QString& size,
                  const QString& bitrate, const QString& code);
    // Runs a statement directly, bypassing the program (for faults that another program causes).
    void exec(const QString& sql);
    // Every row of a statement, each as its values: whole numbers as qlonglong, texts as QString, a null as a
    // null QString, on either engine. On the server a "*" leaves out the server's own row identity.
    QList<QVariantList> rows(const QString& sql) const;
    int count(const QString& table) const;

private:
    QString serverSql(const QString& sql) const;

    QString m_path;
    QString m_connection;
    QString m_uri;
    std::unique_ptr<server::Connection> m_server;
};

// A program directory in a temporary folder, with optional list.ini and language file.
class ProgramFolder
{
public:
    ProgramFolder();
    QString path() const; // with a trailing separator
    QString file(const QString& name) const { return path() + name; }
    // Writes list.ini from the two lines (code page 1250, CR LF).
    void writeSettings(const QString& catalogue, const QString& language = QStringLiteral("HU_magyar.lng"));
    void writeBytes(const QString& name, const QByteArray& bytes);
    QByteArray readBytes(const QString& name) const;
    // Copies the shipped Hungarian language file here.
    void installShippedLanguage();

private:
    QTemporaryDir m_dir;
};
