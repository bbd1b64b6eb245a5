// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "catalogue/engines.h"
#include "catalogue_tool/csv_reader.h"
#include "catalogue_tool/staged_target.h"
#include "platform/failure.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <optional>
#include <unordered_map>

namespace catalogue_tool {

namespace {

const Syntax syntax{
    QStringLiteral("mediatar-catalogue import-csv DIR OUT|URI [--force] [--keep-orphans]"),
    QStringLiteral(
        "Reads the tables of a catalogue from DIR, one CSV file per table as 'export' writes them (TABLE.csv,\n"
        "the names of any case), into a new catalogue OUT. Each file starts with a line that names its columns,\n"
        "in any order. Fields are separated by commas (or by semicolons, as a spreadsheet set to Hungarian\n"
        "saves them) and quoted as RFC 4180 says; an empty field is no value (NULL) and \"\" an empty text.\n"
        "The text is UTF-8, with or without a byte-order mark. Album keys (eloado.kod) are kept, so every\n"
        "track (szamok.eloado_azonosito) stays with its album; an album without a key gets a new one. A table\n"
        "without a file is left empty. A file with a fault is refused with its line and column, and then no\n"
        "catalogue is written; OUT appears only when every row is in. An existing OUT is kept unless --force,\n"
        "and never replaced while a program has it open.\n"
        "A track whose album is missing is such a fault; with --keep-orphans it is kept as it is (a catalogue\n"
        "may hold such tracks, which the program never lists).\n"
        "OUT may be a PostgreSQL connection URI: the rows then go, all or none, into the catalogue there, which\n"
        "'create' made and which must hold no rows (--force replaces its rows). They are read into a temporary\n"
        "file first, with the same checks.\n"),
    2,
    {QStringLiteral("--force"), QStringLiteral("--keep-orphans")}};

const QString albums = QStringLiteral("eloado");
const QString tracks = QStringLiteral("szamok");
const QString albumKey = QStringLiteral("kod");
const QString trackAlbum = QStringLiteral("eloado_azonosito");

bool isNumberColumn(const QString& table, const QString& column)
{
    return (table == albums && column == albumKey) || (table == tracks && column == trackAlbum);
}

// A whole number in plain decimal form, as 'export' writes a number column.
bool wholeNumber(const QByteArray& text, qint64& value)
{
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (!(c >= '0' && c <= '9') && !(i == 0 && c == '-' && text.size() > 1))
            return false;
    }
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok;
}

QString shown(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    return text.size() > 40 ? text.left(40) + QStringLiteral("…") : text;
}

// One table's file read into the new catalogue.
class TableLoader
{
public:
    // The albums read so far, by key, with the line each is on: the tracks are checked against them.
    using AlbumLines = std::unordered_map<qint64, int>;

    TableLoader(engine::BulkWrite& db, const engine::TableDefinition& table, const QString& path,
                AlbumLines& albumLines, bool keepOrphans)
        : m_db(db), m_table(table), m_path(path), m_albumLines(albumLines), m_keepOrphans(keepOrphans)
    {
    }

    quint64 load()
    {
        try {
            CsvReader reader(m_path);
            std::vector<CsvField> fields;
            if (!reader.next(fields))
                throw CsvError{1, 0,
                               QStringLiteral("the file is empty; its first line must name the columns (%1)")
                                   .arg(m_table.columns.join(QStringLiteral(",")))};
            readHeader(fields);
            m_db.startTable(m_table);
            quint64 rows = 0;
            while (reader.next(fields)) {
                if (fields.size() != m_header.size())
                    throw CsvError{reader.recordLine(), 0,
                                   QStringLiteral("%1 fields where the first line names %2 columns")
                                       .arg(fields.size())
                                       .arg(m_header.size())};
                const QString refused = m_db.add(rowOf(fields));
                if (!refused.isEmpty())
                    throw CsvError{reader.recordLine(), 0,
                                   QStringLiteral("the row cannot be written: %1").arg(refused)};
                ++rows;
            }
            m_db.finishTable();
            return rows;
        } catch (const CsvError& error) {
            QString where = QStringLiteral("%1: line %2").arg(m_path).arg(error.line);
            if (error.column > 0) {
                where += QStringLiteral(", column %1").arg(error.column);
                const std::size_t index = static_cast<std::size_t>(error.column - 1);
                if (index < m_header.size() && m_header[index] >= 0)
                    where += QStringLiteral(" (%1)").arg(m_table.columns.at(m_header[index]));
            }
            throw platform::Failure(where + QStringLiteral(": ") + error.what);
        }
    }

private:
    void readHeader(const std::vector<CsvField>& fields)
    {
        const QString known = m_table.columns.join(QStringLiteral(", "));
        for (const CsvField& field : fields) {
            if (!validUtf8(field.bytes))
                throw CsvError{field.line, field.column,
                               QStringLiteral("the text is not UTF-8; save the file as UTF-8")};
            const QString name = QString::fromUtf8(field.bytes);
            int place = -1;
            for (int i = 0; i < m_table.columns.size(); ++i) {
                if (m_table.columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
                    place = i;
            }
            if (place < 0)
                throw CsvError{
                    field.line, field.column,
                    QStringLiteral("the table %1 has no column '%2' (its columns: %3)").arg(m_table.name, name, known)};
            for (std::size_t earlier = 0; earlier < m_header.size(); ++earlier) {
                if (m_header[earlier] == place)
                    throw CsvError{field.line, field.column,
                                   QStringLiteral("the column %1 is named twice (also in column %2)")
                                       .arg(m_table.columns.at(place))
                                       .arg(earlier + 1)};
            }
            m_header.push_back(place);
        }
        for (int i = 0; i < m_table.columns.size(); ++i) {
            if (std::find(m_header.begin(), m_header.end(), i) == m_header.end())
                throw CsvError{1, 0,
                               QStringLiteral("the column %1 is missing (the table %2 has the columns: %3)")
                                   .arg(m_table.columns.at(i), m_table.name, known)};
        }
    }

    // The row in the order of the table's columns, each field checked.
    const engine::Fields& rowOf(const std::vector<CsvField>& fields)
    {
        m_row.assign(static_cast<size_t>(m_table.columns.size()), engine::Field());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const CsvField& field = fields[i];
            const QString& column = m_table.columns.at(m_header[i]);
            engine::Field& value = m_row[static_cast<size_t>(m_header[i])];
            const bool null = !field.quoted && field.bytes.isEmpty();
            if (isNumberColumn(m_table.name, column)) {
                qint64 number = 0;
                if (null && column == trackAlbum && !m_keepOrphans)
                    throw CsvError{field.line, field.column,
                                   QStringLiteral("the track names no album; its album's key (eloado.kod) belongs "
                                                  "here (--keep-orphans keeps such tracks)")};
                if (null)
                    continue; // a new album: it gets a key of its own
                if (!wholeNumber(field.bytes, number))
                    throw CsvError{field.line, field.column,
                                   QStringLiteral("'%1' is no whole number, and this column holds album keys")
                                       .arg(shown(field.bytes))};
                checkAlbumKey(column, number, field);
                value = engine::Field::text(field.bytes);
                continue;
            }
            if (null)
                continue;
            if (!validUtf8(field.bytes))
                throw CsvError{field.line, field.column,
                               QStringLiteral("the text is not UTF-8; save the file as UTF-8")};
            value = engine::Field::text(field.bytes);
        }
        return m_row;
    }

    void checkAlbumKey(const QString& column, qint64 key, const CsvField& field)
    {
        if (column == albumKey) {
            const auto [earlier, added] = m_albumLines.emplace(key, field.line);
            if (!added)
                throw CsvError{field.line, field.column,
                               QStringLiteral("the album key %1 is on line %2 too; each album needs a key of its own")
                                   .arg(key)
                                   .arg(earlier->second)};
        } else if (m_albumLines.find(key) == m_albumLines.end() && !m_keepOrphans) {
            throw CsvError{field.line, field.column,
                           QStringLiteral("no album has the key %1 (eloado.kod); the track would belong to no album "
                                          "(--keep-orphans keeps such tracks)")
                               .arg(key)};
        }
    }

    engine::BulkWrite& m_db;
    const engine::TableDefinition& m_table;
    QString m_path;
    AlbumLines& m_albumLines;
    bool m_keepOrphans;
    std::vector<int> m_header; // the table column of each field
    engine::Fields m_row;
};

// The file of each table in dir, found by name without regard to case; an empty path for a table without one.
std::vector<QString> tableFiles(const QString& dir, QStringList& warnings)
{
    const QDir folder(dir);
    if (!folder.exists())
        throw platform::Failure(QStringLiteral("%1: the folder does not exist").arg(dir));
    std::vector<QString> files(engine::catalogueTables().size());
    bool any = false;
    const QStringList entries = folder.entryList(QDir::Files | QDir::Readable | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries) {
        if (!entry.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
            continue;
        const QString base = entry.chopped(4);
        bool matched = false;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (engine::catalogueTables()[i].name.compare(base, Qt::CaseInsensitive) != 0)
                continue;
            if (!files[i].isEmpty())
                throw platform::Failure(
                    QStringLiteral("%1: both %2 and %3 hold the table %4; keep one of them")
                        .arg(dir, QFileInfo(files[i]).fileName(), entry, engine::catalogueTables()[i].name));
            files[i] = folder.filePath(entry);
            matched = any = true;
        }
        if (!matched)
            warnings << QStringLiteral("%1: no table of a catalogue is named so; the file was left out")
                            .arg(folder.filePath(entry));
    }
    if (!any) {
        QStringList names;
        for (const engine::TableDefinition& table : engine::catalogueTables())
            names << table.name + QStringLiteral(".csv");
        throw platform::Failure(QStringLiteral("%1: none of the files of a catalogue is here (%2)")
                                    .arg(dir, names.join(QStringLiteral(", "))));
    }
    return files;
}

} // namespace

int importCsvCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const QString dir = parsed->positional.at(0);
    const QString target = parsed->positional.at(1);
    QStringList warnings;
    std::vector<quint64> rows(engine::catalogueTables().size(), 0);
    std::vector<QString> files;
    const std::unique_ptr<engine::Upkeep> catalogue = catalogue::upkeepFor(engine::Location(target));
    try {
        files = tableFiles(dir, warnings);
        engine::WriteOptions options;
        options.replace = parsed->has(QStringLiteral("--force"));
        options.purpose = QStringLiteral("csv");
        StagedTarget staged(*catalogue, options);
        {
            const std::unique_ptr<engine::BulkWrite> db =
                catalogue::upkeepFor(engine::Location(staged.path()))->write(staged.fileOptions());
            TableLoader::AlbumLines albumLines;
            // The albums come first (they are the first table), so that every track finds its album.
            for (std::size_t i = 0; i < files.size(); ++i) {
                if (!files[i].isEmpty())
                    rows[i] = TableLoader(*db, engine::catalogueTables()[i], files[i], albumLines,
                                          parsed->has(QStringLiteral("--keep-orphans")))
                                  .load();
            }
            db->commit();
        }
        staged.commit();
    } catch (const platform::Failure& failure) {
        for (const QString& warning : warnings)
            streams.err << "mediatar-catalogue import-csv: warning: " << warning << "\n";
        streams.err << "mediatar-catalogue import-csv: " << failure.text() << "\n";
        return 1;
    }
    for (const QString& warning : warnings)
        streams.err << "mediatar-catalogue import-csv: warning: " << warning << "\n";
    quint64 total = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        streams.out << qSetFieldWidth(20) << Qt::left << engine::catalogueTables()[i].name << qSetFieldWidth(9)
                    << Qt::right << rows[i] << qSetFieldWidth(0) << Qt::left << " rows  ";
        if (files[i].isEmpty())
            streams.out << "(no file: left empty)";
        else
            streams.out << files[i];
        streams.out << "\n";
        total += rows[i];
    }
    streams.out << "imported " << total << " rows from " << dir << " into " << catalogue->shownName() << "\n";
    return 0;
}

} // namespace catalogue_tool
