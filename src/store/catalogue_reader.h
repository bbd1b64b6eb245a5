// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

// A catalogue file opened for work that only reads it: a check, an export, the source of a copy or backup.
class CatalogueReader
{
public:
    // Throws platform::Failure when path names no readable SQLite file; a Jet file gets a hint to import it.
    explicit CatalogueReader(const QString& path);
    ~CatalogueReader();
    CatalogueReader(const CatalogueReader&) = delete;
    CatalogueReader& operator=(const CatalogueReader&) = delete;

    sqlite3* handle() const { return m_db; }
    // The engine's message for the last failed call.
    QString lastError() const;
    bool hasTable(const QString& name) const;

private:
    sqlite3* m_db = nullptr;
};

// A prepared statement that finalises itself.
class ReadQuery
{
public:
    ReadQuery(const CatalogueReader& file, const QString& sql);
    ~ReadQuery();
    ReadQuery(const ReadQuery&) = delete;
    ReadQuery& operator=(const ReadQuery&) = delete;
    sqlite3_stmt* get() const { return m_statement; }
    // Steps to the next row; throws platform::Failure with the engine's text when the step fails.
    bool next();

private:
    const CatalogueReader& m_file;
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace store
