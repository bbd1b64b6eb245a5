// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace catalogue_tool {

// A catalogue opened read-only for the tool's commands that only look at it.
class CatalogueFile
{
public:
    // Throws platform::Failure when path names no readable SQLite file; a Jet file gets a hint to import it.
    explicit CatalogueFile(const QString& path);
    ~CatalogueFile();
    CatalogueFile(const CatalogueFile&) = delete;
    CatalogueFile& operator=(const CatalogueFile&) = delete;

    sqlite3* handle() const { return m_db; }
    // The engine's message for the last failed call.
    QString lastError() const;
    bool hasTable(const QString& name) const;

private:
    sqlite3* m_db = nullptr;
};

// A prepared statement that finalises itself.
class Query
{
public:
    Query(const CatalogueFile& file, const QString& sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    sqlite3_stmt* get() const { return m_statement; }
    // Steps to the next row; throws platform::Failure with the engine's text when the step fails.
    bool next();

private:
    const CatalogueFile& m_file;
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace catalogue_tool
