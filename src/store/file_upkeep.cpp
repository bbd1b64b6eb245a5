// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/file_upkeep.h"

#include "hungarian/hungarian.h"
#include "platform/failure.h"
#include "store/catalogue_reader.h"
#include "store/hungarian_functions.h"
#include "store/kept_order.h"
#include "store/new_catalogue_file.h"
#include "store/schema.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <sqlite3.h>

namespace store {

namespace {

void runSeed(const QString& catalogue, const QString& seedPath)
{
    QFile seed(seedPath);
    if (!seed.open(QIODevice::ReadOnly))
        throw platform::Failure(QStringLiteral("%1: %2").arg(seedPath, seed.errorString()));
    const QByteArray sql = seed.readAll();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(catalogue.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        throw platform::Failure(text);
    }
    // Plain SQL writes the rows; the kept order takes them in afterwards, and the file stays in the rollback
    // journal, plain at rest.
    store::installHungarian(db);
    char* message = nullptr;
    const QByteArray wrapped = "BEGIN;\n" + sql + "\nCOMMIT;";
    const int rc = sqlite3_exec(db, wrapped.constData(), nullptr, nullptr, &message);
    const QString text = QString::fromUtf8(message ? message : "");
    sqlite3_free(message);
    if (rc == SQLITE_OK)
        bringKeptOrderUpToDate(db);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw platform::Failure(QStringLiteral("%1: %2").arg(seedPath, text));
}

class FileRowReader : public engine::RowReader
{
public:
    FileRowReader(const CatalogueReader& file, const TableDefinition& table)
        : m_query(file, QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                            .arg(table.columns.join(QStringLiteral(", ")), table.name)),
          m_fields(static_cast<size_t>(table.columns.size()))
    {
    }

    bool next() override
    {
        if (!m_query.next())
            return false;
        sqlite3_stmt* row = m_query.get();
        for (size_t i = 0; i < m_fields.size(); ++i) {
            const int column = static_cast<int>(i) + 1;
            // The type first: reading the text converts a number.
            const int type = sqlite3_column_type(row, column);
            engine::Field& field = m_fields[i];
            if (type == SQLITE_NULL) {
                field = {};
                continue;
            }
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
            field = {text ? text : "", sqlite3_column_bytes(row, column), type == SQLITE_BLOB};
        }
        return true;
    }
    const engine::Fields& fields() const override { return m_fields; }
    qint64 key() const override { return sqlite3_column_int64(m_query.get(), 0); }

private:
    ReadQuery m_query;
    engine::Fields m_fields;
};

// One read transaction: the rows are those of one moment even while the program writes to the file.
class FileSnapshot : public engine::Snapshot
{
public:
    explicit FileSnapshot(const QString& path) : m_file(path)
    {
        if (sqlite3_exec(m_file.handle(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw platform::Failure(QStringLiteral("%1: %2").arg(path, m_file.lastError()));
    }
    ~FileSnapshot() override { sqlite3_exec(m_file.handle(), "ROLLBACK", nullptr, nullptr, nullptr); }

    bool hasTable(const QString& table) override { return m_file.hasTable(table); }
    qint64 rowCount(const QString& table) override
    {
        ReadQuery count(m_file, QStringLiteral("SELECT count(*) FROM %1").arg(table));
        return count.next() ? sqlite3_column_int64(count.get(), 0) : -1;
    }
    std::unique_ptr<engine::RowReader> rows(const TableDefinition& table) override
    {
        return std::make_unique<FileRowReader>(m_file, table);
    }

private:
    CatalogueReader m_file;
};

class FileBulkWrite : public engine::BulkWrite
{
public:
    FileBulkWrite(const QString& target, const engine::WriteOptions& options)
        : m_target(target), m_options(options), m_file(checkedTarget(target, options), options.purpose)
    {
    }
    ~FileBulkWrite() override
    {
        sqlite3_finalize(m_insert);
        sqlite3_close_v2(m_db);
    }

    void open()
    {
        if (sqlite3_open_v2(m_file.path().toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            // The engine's "unable to open database file" says less than the system's own reason beside it.
            QString text = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "out of memory");
            if (m_db && sqlite3_system_errno(m_db) != 0)
                text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(sqlite3_system_errno(m_db))));
            throw platform::Failure(QStringLiteral("%1: %2").arg(m_target, text));
        }
        store::installHungarian(m_db);
        // The rows go into the bare tables; the indexes and kept order are built over all of them at the end,
        // which is much quicker than keeping them up row by row. Nobody else sees this file until it is complete,
        // and it is synced before it takes its name, so the engine need not journal or sync on the way.
        createTables(m_db);
        execute("PRAGMA journal_mode = OFF");
        execute("PRAGMA synchronous = OFF");
        execute("PRAGMA cache_size = -131072");
        execute("BEGIN");
    }

    void startTable(const TableDefinition& table) override
    {
        finishStatement();
        QStringList marks;
        for (int i = 0; i < table.columns.size(); ++i)
            marks << QStringLiteral("?");
        m_width = static_cast<size_t>(table.columns.size());
        const QByteArray sql =
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(table.name, table.columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")))
                .toUtf8();
        if (sqlite3_prepare_v3(m_db, sql.constData(), -1, SQLITE_PREPARE_PERSISTENT, &m_insert, nullptr) != SQLITE_OK)
            fail(QString::fromUtf8(sql));
        m_rows = 0;
    }

    QString add(const engine::Fields& row) override
    {
        if (row.size() != m_width)
            throw platform::Failure(QStringLiteral("%1 values for a table of %2 columns").arg(row.size()).arg(m_width));
        for (size_t i = 0; i < row.size(); ++i) {
            const engine::Field& field = row[i];
            const int place = static_cast<int>(i) + 1;
            // The bytes outlive the step below, which is all the engine reads them for. An album key comes as
            // decimal text: its column's INTEGER affinity stores a whole number as a number, and keeps anything
            // else as it came.
            if (field.isNull())
                sqlite3_bind_null(m_insert, place);
            else if (field.binary)
                sqlite3_bind_blob(m_insert, place, field.data, static_cast<int>(field.size), SQLITE_STATIC);
            else
                sqlite3_bind_text(m_insert, place, field.data, static_cast<int>(field.size), SQLITE_STATIC);
        }
        const int rc = sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
        if (rc != SQLITE_DONE)
            return QString::fromUtf8(sqlite3_errmsg(m_db));
        ++m_rows;
        return QString();
    }

    qint64 finishTable() override
    {
        finishStatement();
        return m_rows;
    }

    qint64 storedRows(const QString& table) override
    {
        const qint64 count = single(QStringLiteral("SELECT count(*) FROM %1").arg(table)).toLongLong();
        return count;
    }

    engine::OrphanTracks orphanTracks() override
    {
        sqlite3_stmt* statement = nullptr;
        const char* sql = "SELECT COUNT(*), COUNT(DISTINCT eloado_azonosito), "
                          "(SELECT group_concat(key, ',') FROM (SELECT DISTINCT eloado_azonosito AS key FROM szamok "
                          "WHERE NOT EXISTS (SELECT 1 FROM eloado WHERE kod = szamok.eloado_azonosito) "
                          "ORDER BY 1 LIMIT 10)) "
                          "FROM szamok WHERE NOT EXISTS (SELECT 1 FROM eloado WHERE kod = szamok.eloado_azonosito)";
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
            fail(QString::fromUtf8(sql));
        engine::OrphanTracks orphans;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            orphans.tracks = sqlite3_column_int64(statement, 0);
            orphans.albumKeys = sqlite3_column_int64(statement, 1);
            const auto* keys = reinterpret_cast<const char*>(sqlite3_column_text(statement, 2));
            if (keys)
                orphans.firstKeys = QString::fromUtf8(keys).split(QLatin1Char(','));
        }
        sqlite3_finalize(statement);
        return orphans;
    }

    bool commit() override
    {
        finishStatement();
        keepAlbumKeysUnique();
        execute("COMMIT");
        upgradeSchema(m_db);
        execute("PRAGMA journal_mode = DELETE"); // plain at rest, as the program leaves a catalogue
        if (sqlite3_close(m_db) != SQLITE_OK)
            fail(QStringLiteral("close"));
        m_db = nullptr;
        if (m_options.keep) {
            FileUpkeep finished{engine::Location(m_file.path())};
            if (!m_options.keep(&finished))
                return false;
        }
        // A file that appeared under the name meanwhile is someone else's: it is kept (told here, so that only a
        // file made in the last instant before the rename could be replaced).
        if (!m_options.replace && (QFileInfo(m_target).exists() || QFileInfo(m_target).isSymLink()))
            throw platform::Failure(QStringLiteral("%1: the file already exists").arg(m_target));
        m_file.commit();
        return true;
    }

private:
    // New albums must never take a key that a track still points at (an orphan's too): such a track would join
    // the new album. The key counter therefore starts above every album key and every key a track holds.
    void keepAlbumKeysUnique()
    {
        if (single(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'")).isEmpty())
            return;
        execute("INSERT INTO sqlite_sequence (name, seq) SELECT 'eloado', 0 "
                "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'eloado')");
        execute("UPDATE sqlite_sequence SET seq = MAX(seq, COALESCE((SELECT MAX(kod) FROM eloado), 0), "
                "COALESCE((SELECT MAX(eloado_azonosito) FROM szamok WHERE typeof(eloado_azonosito) = 'integer'), 0)) "
                "WHERE name = 'eloado'");
    }
    static const QString& checkedTarget(const QString& target, const engine::WriteOptions& options)
    {
        checkNewTarget(target, options.replace, options.source);
        return target;
    }
    void execute(const char* sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(QString::fromUtf8(sql));
    }
    [[noreturn]] void fail(const QString& what) const
    {
        throw platform::Failure(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))));
    }
    QString single(const QString& sql)
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
            fail(sql);
        QString value;
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW)
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            fail(sql);
        return value;
    }
    void finishStatement()
    {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
    }

    QString m_target;
    engine::WriteOptions m_options;
    NewCatalogueFile m_file;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    size_t m_width = 0;
    qint64 m_rows = 0;
};

} // namespace

void FileUpkeep::create(const QString& seedPath)
{
    createCatalogueFile(path());
    if (seedPath.isEmpty())
        return;
    try {
        runSeed(path(), seedPath);
    } catch (...) {
        QFile::remove(path());
        QFile::remove(path() + QStringLiteral("-wal"));
        QFile::remove(path() + QStringLiteral("-shm"));
        throw;
    }
}

QStringList FileUpkeep::check(bool repair)
{
    return checkCatalogueFile(path(), repair);
}

std::unique_ptr<engine::Snapshot> FileUpkeep::read()
{
    return std::make_unique<FileSnapshot>(path());
}

void FileUpkeep::checkWritable(const engine::WriteOptions& options)
{
    checkNewTarget(path(), options.replace, options.source);
}

std::unique_ptr<engine::BulkWrite> FileUpkeep::write(const engine::WriteOptions& options)
{
    auto writer = std::make_unique<FileBulkWrite>(path(), options);
    writer->open();
    return writer;
}

} // namespace store
