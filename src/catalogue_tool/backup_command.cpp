// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "catalogue_tool/catalogue_file.h"
#include "platform/failure.h"
#include "server/connection.h"
#include "server/server_copy.h"
#include "store/new_catalogue_file.h"

#include <QElapsedTimer>
#include <QThread>
#include <sqlite3.h>

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue backup FILE|URI OUT [--force]"),
    QStringLiteral("Copies the catalogue FILE into OUT as it stands at one moment, also while the program or another\n"
                   "tool is writing to it. The copy is written beside OUT under a temporary name, checked as 'check'\n"
                   "checks a catalogue, and only then takes the name OUT. An existing OUT is kept unless --force, and\n"
                   "never replaced while a program has it open. FILE may be a PostgreSQL connection URI: the copy of\n"
                   "the server catalogue is then a new file, read from one moment of the server as 'copy' reads it.\n"),
    2,
    {QStringLiteral("--force")}};

// How long the copy waits for a writer that holds the whole file (a catalogue without a write-ahead log).
constexpr int lockWaitMilliseconds = 30000;

// What 'check' finds in a file: its exit code and its findings without the file's name in front.
struct Findings
{
    int code = 0;
    QStringList lines;
};

Findings checkFile(const QString& path)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    Findings findings;
    findings.code = checkCommand({path}, {outStream, errStream});
    outStream.flush();
    errStream.flush();
    const QString prefix = path + QStringLiteral(": ");
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString finding = line.startsWith(prefix) ? line.mid(prefix.size()) : line;
        if (finding != QLatin1String("ok"))
            findings.lines << finding;
    }
    // A file the check cannot open at all is reported on the error stream alone.
    if (findings.code != 0 && findings.lines.isEmpty())
        findings.lines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return findings;
}

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

// The engine's own findings on a file: its integrity check, or why it cannot be read at all.
QStringList fileDamage(const QString& path, int waitMilliseconds)
{
    try {
        const CatalogueFile catalogue(path);
        sqlite3_busy_timeout(catalogue.handle(), waitMilliseconds);
        QStringList lines;
        Query query(catalogue, QStringLiteral("PRAGMA integrity_check"));
        while (query.next()) {
            const QString line = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 0)));
            if (line != QLatin1String("ok"))
                lines << line;
        }
        return lines;
    } catch (const platform::Failure& failure) {
        return {failure.text()};
    }
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

// A catalogue on a server into a new file, checked before it takes its name.
int backupServer(const QString& uri, const QString& target, bool force, Streams streams)
{
    server::CopyCounts counts;
    QStringList warnings;
    try {
        checkOutputFile(target, force);
        server::FileCopyOptions options;
        options.replaceExisting = force;
        options.purpose = QStringLiteral("backup");
        options.verify = [&](const QString& copy) {
            const Findings findings = checkFile(copy);
            // The copy's tables are new and its rows counted against the server's, so what the check finds is
            // either in the rows themselves (tracks without their album, which the server catalogue has too, and
            // a copy is worth most before a repair) or a fault of the copy.
            QStringList own;
            for (const QString& line : findings.lines)
                if (!line.contains(QLatin1String("belong to no album")))
                    own << line;
            if (findings.code != 0 && (!own.isEmpty() || findings.lines.isEmpty()))
                throw platform::Failure(QStringLiteral("the copy fails the check, so %1 was not written:\n  %2")
                                            .arg(target, findings.lines.join(QStringLiteral("\n  "))));
            if (findings.code != 0) {
                warnings << QStringLiteral("%1 has problems of its own, and the copy has them too:")
                                .arg(server::withoutPassword(uri));
                for (const QString& line : findings.lines)
                    warnings << QStringLiteral("  ") + line;
            }
        };
        counts = server::copyServerToFile(uri, target, options);
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue backup: " << failure.text() << "\n";
        return 1;
    }
    for (const QString& warning : warnings)
        streams.err << "mediatar-catalogue backup: warning: " << warning << "\n";
    streams.out << "backed up " << server::withoutPassword(uri) << " into " << target << " (" << counts.rows
                << " rows, checked)\n";
    return 0;
}

} // namespace

int backupCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const QString source = parsed->positional.at(0);
    const QString target = parsed->positional.at(1);
    if (server::isServerUri(source))
        return backupServer(source, target, parsed->has(QStringLiteral("--force")), streams);
    QStringList warnings;
    int pages = 0;
    try {
        checkOutputFile(target, parsed->has(QStringLiteral("--force")), source);
        store::NewCatalogueFile copy(target, QStringLiteral("backup"));
        {
            const CatalogueFile catalogue(source);
            sqlite3_busy_timeout(catalogue.handle(), 1000);
            pages = copyPages(catalogue.handle(), copy.path());
        }
        // The copy is checked before it takes its name. A catalogue that has problems of its own is copied with
        // them (a copy is worth most before a repair); only a problem the copy alone has refuses it.
        const Findings copied = checkFile(copy.path());
        if (copied.code != 0) {
            const QStringList own = damageOfTheCopy(copy.path(), source);
            if (!own.isEmpty())
                throw platform::Failure(QStringLiteral("the copy fails the check, so %1 was not written:\n  %2")
                                            .arg(target, own.join(QStringLiteral("\n  "))));
            warnings << QStringLiteral("%1 has problems of its own, and the copy has them too:").arg(source);
            for (const QString& line : copied.lines)
                warnings << QStringLiteral("  ") + line;
        }
        copy.commit();
    } catch (const platform::Failure& failure) {
        streams.err << "mediatar-catalogue backup: " << failure.text() << "\n";
        return 1;
    }
    for (const QString& warning : warnings)
        streams.err << "mediatar-catalogue backup: warning: " << warning << "\n";
    streams.out << "backed up " << source << " into " << target << " (" << pages << " pages, checked)\n";
    return 0;
}

} // namespace catalogue_tool
