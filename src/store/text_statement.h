// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tables.h"
#include "platform/failure.h"

#include <QByteArray>
#include <QString>
#include <sqlite3.h>

// A prepared statement of the kept search text's own code, finalized on every way out; failures throw
// platform::Failure with the engine's text.

namespace store::text {

[[noreturn]] inline void fail(sqlite3* db)
{
    throw platform::Failure(QString::fromUtf8(sqlite3_errmsg(db)));
}

// A prepared statement of the kept text's own, finalized on every way out.
class Prepared
{
public:
    Prepared(sqlite3* db, const QString& sql) : m_db(db)
    {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(db, text.constData(), static_cast<int>(text.size()), &m_statement, nullptr) !=
            SQLITE_OK) {
            sqlite3_finalize(m_statement);
            fail(db);
        }
    }
    ~Prepared() { sqlite3_finalize(m_statement); }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;

    sqlite3_stmt* get() const { return m_statement; }
    void bindText(int index, const QString& text)
    {
        const QByteArray bytes = text.toUtf8();
        sqlite3_bind_text(m_statement, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    }
    void bindBlob(int index, const QByteArray& blob)
    {
        if (blob.isNull())
            sqlite3_bind_null(m_statement, index);
        else
            sqlite3_bind_blob(m_statement, index, blob.constData(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    }
    bool step()
    {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail(m_db);
        return false;
    }
    void run()
    {
        step();
        sqlite3_reset(m_statement);
    }
    QByteArray blob(int column) const
    {
        if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
            return QByteArray();
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
        return QByteArray(bytes ? bytes : "", sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

inline void execute(sqlite3* db, const QString& sql)
{
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db);
}

// The tables of a listed table's kept text: its stretches, and their folded text.
QString stretchesOf(const engine::ListedTable& table);
QString textOf(const engine::ListedTable& table);

} // namespace store::text
