// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/catalogue_reader.h"

#include "hungarian/hungarian.h"

#include "platform/failure.h"
#include "platform/file_kind.h"
#include "store/hungarian_functions.h"

#include <QFileInfo>
#include <sqlite3.h>

namespace store {

CatalogueReader::CatalogueReader(const QString& path)
{
    switch (platform::fileKind(path)) {
    case platform::FileKind::Unreadable:
        throw platform::Failure(platform::unreadable(path));
    case platform::FileKind::Jet:
        throw platform::Failure(QStringLiteral("%1: a catalogue of the older Jet format; 'mediatar-catalogue import' "
                                               "converts it")
                                    .arg(path));
    case platform::FileKind::Other:
        throw platform::Failure(QStringLiteral("%1: not a catalogue (no SQLite database)").arg(path));
    case platform::FileKind::SQLite:
        break;
    }
    // Only statements that read are run. A read-only connection would leave the engine's side files behind
    // beside a catalogue in WAL mode, so a writable file gets a connection that removes them when it closes.
    const int mode = QFileInfo(path).isWritable() ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, mode, nullptr) != SQLITE_OK) {
        const QString text = lastError();
        sqlite3_close(m_db);
        m_db = nullptr;
        throw platform::Failure(QStringLiteral("%1: %2").arg(path, text));
    }
    // The catalogue's indexes are built on the Hungarian sort key: checking them needs it too.
    store::installHungarian(m_db);
}

CatalogueReader::~CatalogueReader()
{
    sqlite3_close_v2(m_db);
}

QString CatalogueReader::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

bool CatalogueReader::hasTable(const QString& name) const
{
    ReadQuery query(*this,
                    QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
    const QByteArray utf8 = name.toUtf8();
    sqlite3_bind_text(query.get(), 1, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
    return query.next();
}

ReadQuery::ReadQuery(const CatalogueReader& file, const QString& sql) : m_file(file)
{
    if (sqlite3_prepare_v2(file.handle(), sql.toUtf8().constData(), -1, &m_statement, nullptr) != SQLITE_OK)
        throw platform::Failure(file.lastError());
}

ReadQuery::~ReadQuery()
{
    sqlite3_finalize(m_statement);
}

bool ReadQuery::next()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw platform::Failure(m_file.lastError());
}

} // namespace store
