#include "legacy/legacy_import.h"

#include "hungarian/hungarian.h"

#include "platform/failure.h"
#include "legacy/legacy_catalogue.h"
#include "store/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace legacy {

using store::TableDefinition;

quint64 ImportReport::totalRows() const
{
    quint64 rows = 0;
    for (const ImportedTable& table : tables)
        rows += table.rows;
    return rows;
}

namespace {

constexpr quint64 progressStep = 1024;

QString systemError(const QString& path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

// The half-written catalogue and the engine's side files go with any failure.
class TemporaryCatalogue
{
public:
    explicit TemporaryCatalogue(const QString& target)
    {
        const QFileInfo info(target);
        do {
            m_path = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".import-") +
                     QString::number(QRandomGenerator::global()->generate(), 36);
        } while (QFileInfo::exists(m_path));
    }
    ~TemporaryCatalogue()
    {
        if (m_keep)
            return;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(m_path + QLatin1String(suffix));
    }
    const QString& path() const { return m_path; }
    void keep() { m_keep = true; }

private:
    QString m_path;
    bool m_keep = false;
};

class Database
{
public:
    explicit Database(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            fail(path);
        // The new catalogue's indexes are built on the Hungarian sort key, so every row written needs it.
        hungarian::installInto(m_db);
    }
    ~Database() { sqlite3_close_v2(m_db); }
    sqlite3* handle() const { return m_db; }
    void exec(const char* sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(QString::fromUtf8(sql));
    }
    [[noreturn]] void fail(const QString& what) const
    {
        throw platform::Failure(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))));
    }
    void close()
    {
        if (sqlite3_close(m_db) != SQLITE_OK)
            fail(QStringLiteral("close"));
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
};

class Insert
{
public:
    Insert(Database& db, const TableDefinition& table) : m_db(db)
    {
        QStringList marks;
        for (int i = 0; i < table.columns.size(); ++i)
            marks << QStringLiteral("?");
        const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(table.name, table.columns.join(QStringLiteral(", ")), marks.join(','))
                                   .toUtf8();
        if (sqlite3_prepare_v3(db.handle(), sql.constData(), -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr) !=
            SQLITE_OK)
            db.fail(QString::fromUtf8(sql));
    }
    ~Insert() { sqlite3_finalize(m_statement); }
    sqlite3_stmt* statement() const { return m_statement; }
    // Returns the engine's message, empty when the row went in.
    QString step()
    {
        const int rc = sqlite3_step(m_statement);
        sqlite3_reset(m_statement);
        return rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db.handle()));
    }

private:
    Database& m_db;
    sqlite3_stmt* m_statement = nullptr;
};

// A whole number written in plain decimal form, as the library prints a number column.
bool wholeNumber(const char* text, int length, sqlite3_int64& value)
{
    if (length == 0 || length > 20)
        return false;
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || end != text + length || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9')))
        return false;
    value = parsed;
    return true;
}

bool isNumberColumn(const QString& table, const QString& column)
{
    return (table == QLatin1String("eloado") && column == QLatin1String("kod")) ||
           column == QLatin1String("eloado_azonosito");
}

class Copier
{
public:
    Copier(LegacyCatalogue& source, Database& target, const ImportOptions& options)
        : m_source(source), m_target(target), m_options(options)
    {
        for (const TableDefinition& table : store::catalogueTables())
            m_total += source.declaredRows(table.name);
    }

    ImportedTable copy(const TableDefinition& table, QStringList& warnings)
    {
        ImportedTable result{table.name, 0, false};
        const std::unique_ptr<LegacyTable> rows = m_source.table(table.name);
        if (!rows) {
            result.missing = true;
            warnings << QStringLiteral("the source has no table %1; it was created empty").arg(table.name);
            return result;
        }
        // Columns are found by name, so the source's own column order does not matter.
        std::vector<int> from;
        std::vector<bool> number;
        for (const QString& column : table.columns) {
            from.push_back(rows->columnIndex(column));
            number.push_back(isNumberColumn(table.name, column));
            if (from.back() < 0)
                warnings << QStringLiteral("the source table %1 has no column %2; it was left empty in every row")
                                .arg(table.name, column);
        }
        for (const QString& column : rows->columns())
            if (!table.columns.contains(column, Qt::CaseInsensitive))
                warnings << QStringLiteral("the column %1 of the source table %2 is not part of a catalogue; it was "
                                           "left out")
                                .arg(column, table.name);

        Insert insert(m_target, table);
        sqlite3_stmt* statement = insert.statement();
        while (rows->next()) {
            for (std::size_t i = 0; i < from.size(); ++i) {
                const int place = static_cast<int>(i) + 1;
                const int column = from[i];
                sqlite3_int64 value = 0;
                if (column < 0 || rows->isNull(column))
                    sqlite3_bind_null(statement, place);
                else if (number[i] && wholeNumber(rows->text(column), rows->textLength(column), value))
                    sqlite3_bind_int64(statement, place, value);
                else
                    sqlite3_bind_text(statement, place, rows->text(column), rows->textLength(column), SQLITE_STATIC);
            }
            const QString refused = insert.step();
            if (!refused.isEmpty())
                throw platform::Failure(QStringLiteral("%1: row %2 of the table %3 cannot be written: %4")
                                            .arg(m_source.path())
                                            .arg(rows->rowsRead())
                                            .arg(table.name, refused));
            ++result.rows;
            if (++m_done % progressStep == 0 && m_options.progress)
                m_options.progress(m_done, m_total);
        }
        if (m_options.progress)
            m_options.progress(m_done, m_total);
        return result;
    }

private:
    LegacyCatalogue& m_source;
    Database& m_target;
    const ImportOptions& m_options;
    quint64 m_total = 0;
    quint64 m_done = 0;
};

// New albums must never take a key that a track still points at: such a track would join the new album.
// The old file's counter never handed a key out twice, so the new one starts above every key in use.
void keepAlbumKeysUnique(Database& db)
{
    db.exec("INSERT INTO sqlite_sequence (name, seq) SELECT 'eloado', 0 "
            "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'eloado')");
    db.exec("UPDATE sqlite_sequence SET seq = MAX(seq, "
            "COALESCE((SELECT MAX(kod) FROM eloado), 0), "
            "COALESCE((SELECT MAX(eloado_azonosito) FROM szamok WHERE typeof(eloado_azonosito) = 'integer'), 0)) "
            "WHERE name = 'eloado'");
}

void syncPath(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0 || ::fsync(fd) != 0) {
        const QString text = systemError(path);
        if (fd >= 0)
            ::close(fd);
        throw platform::Failure(text);
    }
    ::close(fd);
}

void checkTarget(const QString& source, const QString& target, bool replaceExisting)
{
    const QFileInfo info(target);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        throw platform::Failure(QStringLiteral("%1: the folder does not exist").arg(info.absolutePath()));
    // Said plainly here; the engine would only name the temporary file it cannot create.
    if (!folder.isWritable())
        throw platform::Failure(
            QStringLiteral("%1: no new file can be written in this folder").arg(info.absolutePath()));
    if (!info.exists() && !info.isSymLink())
        return;
    if (!replaceExisting)
        throw platform::Failure(QStringLiteral("%1: the file already exists").arg(target));
    if (info.isDir())
        throw platform::Failure(QStringLiteral("%1: is a folder").arg(target));
    if (info.canonicalFilePath() == QFileInfo(source).canonicalFilePath())
        throw platform::Failure(
            QStringLiteral("%1: the new catalogue cannot replace the file it is made from").arg(target));
}

} // namespace

ImportReport importLegacyCatalogue(const QString& source, const QString& target, const ImportOptions& options)
{
    checkTarget(source, target, options.replaceExisting);
    LegacyCatalogue legacy(source);
    TemporaryCatalogue temporary(target);
    // The rows go into the bare tables; the indexes and kept counts are built over all of them at the end,
    // which is much quicker than keeping them up to date row by row.
    store::createTablesFile(temporary.path());

    ImportReport report;
    {
        Database db(temporary.path());
        // Nobody else sees this file until it is complete, and it is synced before it takes its name, so
        // the engine need not journal or sync on the way.
        db.exec("PRAGMA journal_mode = OFF");
        db.exec("PRAGMA synchronous = OFF");
        db.exec("BEGIN");
        Copier copier(legacy, db, options);
        for (const TableDefinition& table : store::catalogueTables())
            report.tables.push_back(copier.copy(table, report.warnings));
        keepAlbumKeysUnique(db);
        db.exec("COMMIT");
        store::upgradeSchema(db.handle());
        db.exec("PRAGMA journal_mode = WAL");
        db.close();
    }
    syncPath(temporary.path(), O_RDONLY);
    if (options.replaceExisting) {
        // A journal left by the replaced file would be replayed into the new one.
        QFile::remove(target + QStringLiteral("-wal"));
        QFile::remove(target + QStringLiteral("-shm"));
        QFile::remove(target + QStringLiteral("-journal"));
    }
    if (std::rename(QFile::encodeName(temporary.path()).constData(), QFile::encodeName(target).constData()) != 0)
        throw platform::Failure(systemError(target));
    temporary.keep();
    syncPath(QFileInfo(target).absolutePath(), O_RDONLY | O_DIRECTORY);
    return report;
}

} // namespace legacy
