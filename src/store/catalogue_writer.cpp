// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/catalogue_writer.h"

#include "hungarian/hungarian.h"
#include "platform/failure.h"
#include "store/hungarian_functions.h"

#include <sqlite3.h>

namespace store {

CatalogueWriter::CatalogueWriter(const QString& path)
{
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        fail(path);
    store::installHungarian(m_db);
}

CatalogueWriter::~CatalogueWriter()
{
    sqlite3_close_v2(m_db);
}

void CatalogueWriter::exec(const char* sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sql));
}

void CatalogueWriter::fail(const QString& what) const
{
    throw platform::Failure(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))));
}

void CatalogueWriter::close()
{
    if (sqlite3_close(m_db) != SQLITE_OK)
        fail(QStringLiteral("close"));
    m_db = nullptr;
}

void keepAlbumKeysUnique(CatalogueWriter& db)
{
    sqlite3_stmt* counter = nullptr;
    const bool counted = sqlite3_prepare_v2(db.handle(), "SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'",
                                            -1, &counter, nullptr) == SQLITE_OK &&
                         sqlite3_step(counter) == SQLITE_ROW;
    sqlite3_finalize(counter);
    if (!counted)
        return;
    db.exec("INSERT INTO sqlite_sequence (name, seq) SELECT 'eloado', 0 "
            "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'eloado')");
    db.exec("UPDATE sqlite_sequence SET seq = MAX(seq, COALESCE((SELECT MAX(kod) FROM eloado), 0), "
            "COALESCE((SELECT MAX(eloado_azonosito) FROM szamok WHERE typeof(eloado_azonosito) = 'integer'), 0)) "
            "WHERE name = 'eloado'");
}

} // namespace store
