// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/catalogue_hold.h"

#include "platform/failure.h"
#include "store/open_files.h"

#include <QFile>
#include <sqlite3.h>

namespace store {

namespace {

// Whether the file starts as every database of the engine does.
bool isDatabase(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3", 16);
}

} // namespace

QString catalogueInUse(const QString& path)
{
    return QStringLiteral("%1: the catalogue is open in another program; close it there first (the file was not "
                          "replaced)")
        .arg(path);
}

CatalogueHold::CatalogueHold(const QString& path, Look look) : m_path(path)
{
    // A connection in rollback mode that is not reading holds no lock at all: only the process table shows it.
    if (look == Look::ProcessesAndLocks && isOpenElsewhere(path, Whose::AnyProcess))
        throw platform::Failure(catalogueInUse(path));
    if (!isDatabase(path))
        return; // no database, so no program of ours has it open
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        // A file this user cannot write: no lock can be taken, and the process table has to do.
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    // In WAL mode any other connection, even one that only has the file open, keeps the engine from leaving WAL
    // ("database is locked"). An exclusive transaction alone proves nothing there: readers of a WAL file go on
    // beside it.
    if (journalMode() == QLatin1String("wal") &&
        (sqlite3_exec(m_db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr) != SQLITE_OK ||
         journalMode() == QLatin1String("wal")))
        refuse();
    // In rollback mode a connection that is reading or writing holds a lock that this one does not get; from
    // here on the file is this connection's alone, and no other can read it, until the hold ends.
    if (sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
        refuse();
}

CatalogueHold::~CatalogueHold()
{
    if (!m_db)
        return;
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(m_db);
}

void CatalogueHold::checkNobodyElse() const
{
    if (isOpenElsewhere(m_path, Whose::OtherProcessesOnly))
        throw platform::Failure(catalogueInUse(m_path));
}

QString CatalogueHold::journalMode() const
{
    sqlite3_stmt* statement = nullptr;
    QString mode;
    if (sqlite3_prepare_v2(m_db, "PRAGMA journal_mode", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        mode = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))).toLower();
    sqlite3_finalize(statement);
    return mode;
}

void CatalogueHold::refuse()
{
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    throw platform::Failure(catalogueInUse(m_path));
}

} // namespace store
