// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/file_upkeep.h"

#include "platform/failure.h"
#include "store/catalogue_reader.h"
#include "store/new_catalogue_file.h"

#include <QElapsedTimer>
#include <QThread>
#include <sqlite3.h>

namespace store {

namespace {

// How long the copy waits for a writer that holds the whole file (a catalogue without a write-ahead log).
constexpr int lockWaitMilliseconds = 30000;

// Copies the whole catalogue in one step of the engine's online backup: one read of one moment of the file,
// which a writer using the write-ahead log never waits for.
int copyPages(sqlite3* source, const QString& copy)
{
    sqlite3* target = nullptr;
    if (sqlite3_open_v2(copy.toUtf8().constData(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const QString text = QString::fromUtf8(target ? sqlite3_errmsg(target) : "out of memory");
        sqlite3_close(target);
        throw platform::Failure(QStringLiteral("%1: %2").arg(copy, text));
    }
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    if (!backup) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(target));
        sqlite3_close(target);
        throw platform::Failure(text);
    }
    QElapsedTimer waited;
    waited.start();
    int rc;
    while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED || rc == SQLITE_OK) {
        if (rc != SQLITE_OK && waited.elapsed() > lockWaitMilliseconds)
            break;
        if (rc != SQLITE_OK)
            QThread::msleep(20);
    }
    const int pages = sqlite3_backup_pagecount(backup);
    sqlite3_backup_finish(backup);
    QString text;
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        text = QStringLiteral("another program kept the catalogue locked for %1 seconds; try again")
                   .arg(lockWaitMilliseconds / 1000);
    else if (rc != SQLITE_DONE)
        text = QString::fromUtf8(sqlite3_errstr(rc));
    if (text.isEmpty() && sqlite3_close(target) == SQLITE_OK)
        return pages;
    if (text.isEmpty())
        text = QString::fromUtf8(sqlite3_errmsg(target));
    sqlite3_close_v2(target);
    throw platform::Failure(text);
}

// What in the copy is not the catalogue's own. The copy is the catalogue page for page as it was at one moment, so
// what the check finds in its tables and rows (a schema version, a missing table, tracks without their album) is
// the catalogue's, whatever another program has written to it since. Only damage to the file itself can be the
// copy's alone; it is compared with the catalogue's, read again after waiting for any writer. The catalogue is not
// checked again as a whole: while a writer holds it, that check would fail on the lock and blame the copy for the
// catalogue's own findings.
QStringList damageOfTheCopy(const QString& copy, const QString& source)
{
    const QStringList damage = fileDamage(copy, 0);
    if (damage.isEmpty())
        return {};
    const QStringList original = fileDamage(source, lockWaitMilliseconds);
    QStringList own;
    for (const QString& line : damage)
        if (!original.contains(line))
            own << line;
    return own;
}

// What check() finds in a file; a file it cannot open at all is the finding.
QStringList findings(const QString& path)
{
    try {
        return checkCatalogueFile(path, false);
    } catch (const platform::Failure& failure) {
        return {failure.text()};
    }
}

} // namespace

engine::BackupReport FileUpkeep::backupInto(engine::Upkeep& copy, bool replaceExisting)
{
    const QString target = copy.location().localFile();
    if (target.isEmpty())
        throw platform::Failure(QStringLiteral("%1: a backup is written into a file").arg(copy.shownName()));
    checkNewTarget(target, replaceExisting, path());
    NewCatalogueFile made(target, QStringLiteral("backup"));
    engine::BackupReport report;
    report.unit = QStringLiteral("pages");
    {
        const CatalogueReader catalogue(path());
        sqlite3_busy_timeout(catalogue.handle(), 1000);
        report.amount = copyPages(catalogue.handle(), made.path());
    }
    // The copy is checked before it takes its name. A catalogue that has problems of its own is copied with them
    // (a copy is worth most before a repair); only a problem the copy alone has refuses it.
    const QStringList found = findings(made.path());
    if (!found.isEmpty()) {
        const QStringList own = damageOfTheCopy(made.path(), path());
        if (!own.isEmpty())
            throw platform::Failure(QStringLiteral("the copy fails the check, so %1 was not written:\n  %2")
                                        .arg(target, own.join(QStringLiteral("\n  "))));
        report.findings = found;
    }
    made.commit();
    return report;
}

} // namespace store
