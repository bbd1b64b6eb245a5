// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/kept_text.h"

#include "engine/categories.h"
#include "platform/failure.h"
#include "store/kept_order.h"
#include "store/schema.h"
#include "store/text_statement.h"
#include "store/text_stretch.h"

#include <QByteArray>
#include <atomic>
#include <set>
#include <thread>
#include <sqlite3.h>
#include <vector>

namespace store {

const QString textChangesTable = QStringLiteral("mediatar_text_changes");

namespace {

using text::execute;
using text::fail;
using text::Prepared;
using text::stretchesOf;
using text::textOf;

// Rows per stretch as it is cut; a stretch made anew stays whole up to twice as many.
constexpr int stretchRows = 1024;
// The form of the text this program writes, noted per table in the state table when the text is built: 2 codes
// columns of few distinct values. A text of an older form is read as it is and built anew by the next writer.
constexpr int textForm = 2;

QString textFormName(const ListedTable& table)
{
    return QStringLiteral("text_form_") + table.table;
}

bool exists(sqlite3* db, const QString& type, const QString& name)
{
    Prepared query(db, QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = ? AND name = ?"));
    query.bindText(1, type);
    query.bindText(2, name);
    return query.step();
}

const ListedTable* listed(const QString& table)
{
    return engine::listedTable(table);
}

QStringList textTriggersOf(const ListedTable& table)
{
    return {QStringLiteral("mediatar_text_%1_inserted").arg(table.table),
            QStringLiteral("mediatar_text_%1_deleted").arg(table.table),
            QStringLiteral("mediatar_text_%1_updated").arg(table.table)};
}

// The search columns the table really has (a table changed by another tool may lack one).
QStringList columnsKept(sqlite3* db, const ListedTable& table)
{
    QStringList present;
    Prepared info(db, QStringLiteral("SELECT lower(name) FROM pragma_table_info(?)"));
    info.bindText(1, table.table);
    while (info.step())
        present << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0)));
    QStringList columns;
    for (const QString& column : searchColumnsOf(table)) {
        if (present.contains(column.toLower()))
            columns << column.toLower();
    }
    return columns;
}

// The order table's rows joined with their data, in list order: the identity, the first sort key, then the
// search columns. where restricts the first sort key (k1) to a stretch.
QString rowsInOrder(const ListedTable& table, const QStringList& columns, const QString& where)
{
    QStringList values;
    for (const QString& column : columns)
        values << QStringLiteral("t.\"%1\"").arg(column);
    QStringList order;
    for (int i = 1; i <= table.columns.size(); ++i)
        order << QStringLiteral("o.k%1").arg(i);
    for (int i = 1; i <= table.columns.size(); ++i)
        order << QStringLiteral("o.v%1").arg(i);
    order << QStringLiteral("o.row");
    return QStringLiteral("SELECT o.row, o.k1%1 FROM %2 AS o JOIN \"%3\" AS t ON t.rowid = o.row%4 ORDER BY %5")
        .arg(values.isEmpty() ? QString() : QStringLiteral(", ") + values.join(QStringLiteral(", ")),
             orderTableOf(table.table), table.table, where, order.join(QStringLiteral(", ")));
}

// One stretch being read: its identities, first key and each column's blob.
struct Piece
{
    std::vector<qint64> identities;
    QByteArray first; // null for the rows without a first value
    std::vector<text::StretchWriter> columns;
};

// Reads rows (rowsInOrder) into pieces, over one or more statements, cut where the first key changes once a piece
// has stretchRows rows (never, when whole). Streaming, each piece is handed on once it is complete and then let go,
// so that a whole table's text is never held at once.
class PieceReader
{
public:
    using Complete = std::function<void(const Piece&)>;
    PieceReader(int columns, bool whole, Complete streamTo = {})
        : m_columns(columns), m_whole(whole), m_streamTo(std::move(streamTo))
    {
    }

    void read(Prepared& rows)
    {
        while (rows.step()) {
            sqlite3_stmt* s = rows.get();
            const QByteArray key = rows.blob(1);
            const bool sameKey = !m_pieces.empty() && key.isNull() == m_previous.isNull() && key == m_previous;
            if (m_pieces.empty() ||
                (!m_whole && static_cast<int>(m_pieces.back().identities.size()) >= stretchRows && !sameKey)) {
                handOn();
                m_pieces.emplace_back();
                m_pieces.back().first = key;
                m_pieces.back().columns.resize(static_cast<std::size_t>(m_columns));
            }
            Piece& piece = m_pieces.back();
            piece.identities.push_back(sqlite3_column_int64(s, 0));
            for (int c = 0; c < m_columns; ++c) {
                text::StretchWriter& writer = piece.columns[static_cast<std::size_t>(c)];
                const int type = sqlite3_column_type(s, c + 2);
                if (type == SQLITE_NULL || type == SQLITE_BLOB)
                    writer.addNever();
                else
                    writer.addText(sqlite3_column_text(s, c + 2), sqlite3_column_bytes(s, c + 2));
            }
            m_previous = key;
        }
    }
    std::vector<Piece>& pieces() { return m_pieces; }
    // Streaming: hands on the last piece.
    void handOn()
    {
        if (m_streamTo && !m_pieces.empty()) {
            m_streamTo(m_pieces.back());
            m_pieces.clear();
        }
    }

private:
    int m_columns;
    bool m_whole;
    Complete m_streamTo;
    std::vector<Piece> m_pieces;
    QByteArray m_previous;
};

// Writes a piece as stretch id, or as a new stretch when id is 0 (starting the list when startsList).
void writePiece(sqlite3* db, const ListedTable& table, const QStringList& columns, qint64 id, const Piece* piece,
                bool startsList)
{
    const std::vector<qint64> none;
    const QByteArray identities = text::identitiesBlob(piece ? piece->identities : none);
    if (id == 0) {
        Prepared insert(db, QStringLiteral("INSERT INTO %1 (first, rows) VALUES (?, ?)").arg(stretchesOf(table)));
        const QByteArray first = piece && !piece->first.isNull() ? piece->first : QByteArray("");
        insert.bindBlob(1, startsList ? QByteArray() : first);
        insert.bindBlob(2, identities);
        insert.run();
        id = sqlite3_last_insert_rowid(db);
    } else {
        Prepared update(db, QStringLiteral("UPDATE %1 SET rows = ? WHERE stretch = ?").arg(stretchesOf(table)));
        update.bindBlob(1, identities);
        sqlite3_bind_int64(update.get(), 2, id);
        update.run();
    }
    Prepared text(db,
                  QStringLiteral("INSERT OR REPLACE INTO %1 (col, stretch, text) VALUES (?, ?, ?)").arg(textOf(table)));
    for (int c = 0; c < columns.size(); ++c) {
        text.bindText(1, columns.at(c));
        sqlite3_bind_int64(text.get(), 2, id);
        text.bindBlob(3, piece ? piece->columns[static_cast<std::size_t>(c)].finish() : text::StretchWriter().finish());
        text.run();
    }
}

void dropStretch(sqlite3* db, const ListedTable& table, qint64 id)
{
    Prepared text(db, QStringLiteral("DELETE FROM %1 WHERE stretch = ?").arg(textOf(table)));
    sqlite3_bind_int64(text.get(), 1, id);
    text.run();
    Prepared stretch(db, QStringLiteral("DELETE FROM %1 WHERE stretch = ?").arg(stretchesOf(table)));
    sqlite3_bind_int64(stretch.get(), 1, id);
    stretch.run();
}

// The stretch that holds the rows of a first sort key (null: the rows without a value, which come first).
qint64 stretchOf(sqlite3* db, const ListedTable& table, const QByteArray& key)
{
    if (!key.isNull()) {
        Prepared find(db, QStringLiteral("SELECT stretch FROM %1 WHERE first <= ? ORDER BY first DESC LIMIT 1")
                              .arg(stretchesOf(table)));
        find.bindBlob(1, key);
        if (find.step())
            return sqlite3_column_int64(find.get(), 0);
    }
    Prepared lowest(db, QStringLiteral("SELECT stretch FROM %1 WHERE first IS NULL").arg(stretchesOf(table)));
    if (!lowest.step())
        throw platform::Failure(QStringLiteral("the kept text of %1 has no first stretch").arg(table.table));
    return sqlite3_column_int64(lowest.get(), 0);
}

// Makes one stretch anew from the order table and the data: cut in pieces when it has grown past twice its
// size, dropped when no row is left in it (except the one that starts the list, which is always there).
void remakeStretch(sqlite3* db, const ListedTable& table, const QStringList& columns, qint64 id)
{
    Prepared own(db, QStringLiteral("SELECT first FROM %1 WHERE stretch = ?").arg(stretchesOf(table)));
    sqlite3_bind_int64(own.get(), 1, id);
    if (!own.step())
        return; // dropped already
    const QByteArray first = own.blob(0);
    QByteArray next;
    {
        Prepared following(db, QStringLiteral("SELECT first FROM %1 WHERE first IS NOT NULL AND (?1 IS NULL OR first "
                                              "> ?1) ORDER BY first LIMIT 1")
                                   .arg(stretchesOf(table)));
        following.bindBlob(1, first);
        if (following.step())
            next = following.blob(0);
    }
    // The stretch's rows: those without a first value come first in the one that starts the list.
    const auto readInto = [&](PieceReader& reader) {
        const auto read = [&](const QString& where, bool bindFirst, bool bindNext) {
            Prepared rows(db, rowsInOrder(table, columns, where));
            int index = 1;
            if (bindFirst)
                rows.bindBlob(index++, first);
            if (bindNext)
                rows.bindBlob(index, next);
            reader.read(rows);
        };
        if (first.isNull()) {
            read(QStringLiteral(" WHERE o.k1 IS NULL"), false, false);
            read(next.isNull() ? QStringLiteral(" WHERE o.k1 IS NOT NULL") : QStringLiteral(" WHERE o.k1 < ?"), false,
                 !next.isNull());
        } else {
            read(next.isNull() ? QStringLiteral(" WHERE o.k1 >= ?") : QStringLiteral(" WHERE o.k1 >= ? AND o.k1 < ?"),
                 true, !next.isNull());
        }
    };
    PieceReader whole(static_cast<int>(columns.size()), true);
    readInto(whole);
    if (whole.pieces().empty()) {
        if (first.isNull())
            writePiece(db, table, columns, id, nullptr, true);
        else
            dropStretch(db, table, id);
        return;
    }
    if (static_cast<int>(whole.pieces().front().identities.size()) <= 2 * stretchRows) {
        writePiece(db, table, columns, id, &whole.pieces().front(), first.isNull());
        return;
    }
    // Grown past twice its size: cut again, the first piece keeping the stretch's place and first key.
    PieceReader cut(static_cast<int>(columns.size()), false);
    readInto(cut);
    std::vector<Piece>& pieces = cut.pieces();
    for (std::size_t i = 0; i < pieces.size(); ++i)
        writePiece(db, table, columns, i == 0 ? id : 0, &pieces[i], i == 0 && first.isNull());
}

void createTextTables(sqlite3* db, const ListedTable& table)
{
    execute(db,
            QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (table_name TEXT NOT NULL, k1 BLOB)").arg(textChangesTable));
    execute(db, QStringLiteral("CREATE TABLE %1 (stretch INTEGER PRIMARY KEY, first BLOB, rows BLOB NOT NULL)")
                    .arg(stretchesOf(table)));
    execute(db, QStringLiteral("CREATE INDEX %1_by_first ON %1 (first)").arg(stretchesOf(table)));
    execute(db, QStringLiteral("CREATE TABLE %1 (col TEXT NOT NULL, stretch INTEGER NOT NULL, text BLOB NOT NULL, "
                               "PRIMARY KEY (col, stretch))")
                    .arg(textOf(table)));
}

void createTextTriggers(sqlite3* db, const ListedTable& table)
{
    const QStringList triggers = textTriggersOf(table);
    const QString order = orderTableOf(table.table);
    const QString note = QStringLiteral("INSERT INTO %1 (table_name, k1) VALUES ('%2', %3.k1);");
    execute(db, QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 BEGIN %3 END")
                    .arg(triggers.at(0), order, note.arg(textChangesTable, table.table, QStringLiteral("new"))));
    execute(db, QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 BEGIN %3 END")
                    .arg(triggers.at(1), order, note.arg(textChangesTable, table.table, QStringLiteral("old"))));
    execute(db, QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE ON %2 BEGIN %3 %4 END")
                    .arg(triggers.at(2), order, note.arg(textChangesTable, table.table, QStringLiteral("old")),
                         note.arg(textChangesTable, table.table, QStringLiteral("new"))));
}

bool hasWholeText(sqlite3* db, const ListedTable& table)
{
    // Its two tables, the table of noted changes and the three triggers, in one look at the schema.
    QStringList names{stretchesOf(table), textOf(table), textChangesTable};
    names << textTriggersOf(table);
    Prepared look(db, QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE name IN (?, ?, ?, ?, ?, ?)"));
    for (int i = 0; i < names.size(); ++i)
        look.bindText(i + 1, names.at(i));
    look.step();
    return sqlite3_column_int(look.get(), 0) == names.size();
}

// Whether the table's text was built in an older form than this program writes.
bool olderForm(sqlite3* db, const ListedTable& table)
{
    if (!exists(db, QStringLiteral("table"), stateTable))
        return true;
    Prepared form(db, QStringLiteral("SELECT value >= ? FROM %1 WHERE name = ?").arg(stateTable));
    sqlite3_bind_int(form.get(), 1, textForm);
    form.bindText(2, textFormName(table));
    return !form.step() || sqlite3_column_int(form.get(), 0) == 0;
}

bool changesNoted(sqlite3* db, const ListedTable& table)
{
    Prepared noted(db, QStringLiteral("SELECT 1 FROM %1 WHERE table_name = ? LIMIT 1").arg(textChangesTable));
    noted.bindText(1, table.table);
    return noted.step();
}

} // namespace

QString text::stretchesOf(const ListedTable& table)
{
    return QStringLiteral("mediatar_stretches_") + table.table;
}

QString text::textOf(const ListedTable& table)
{
    return QStringLiteral("mediatar_text_") + table.table;
}

QStringList searchColumnsOf(const ListedTable& table)
{
    QStringList columns;
    for (const engine::Category& category : engine::categories()) {
        if (category.table.compare(table.table, Qt::CaseInsensitive) != 0)
            continue;
        for (const engine::SearchCaption& caption : category.searchCaptions) {
            const QString column = caption.column.trimmed();
            if (!columns.contains(column, Qt::CaseInsensitive))
                columns << column;
        }
    }
    return columns;
}

void buildKeptText(sqlite3* db, const ListedTable& table)
{
    dropKeptText(db, table);
    createTextTables(db, table);
    const QStringList columns = columnsKept(db, table);
    Prepared rows(db, rowsInOrder(table, columns, QString()));
    // Each stretch is written as soon as it is read whole (the statement reads other tables than it writes).
    bool first = true;
    PieceReader reader(static_cast<int>(columns.size()), false, [&](const Piece& piece) {
        writePiece(db, table, columns, 0, &piece, first);
        first = false;
    });
    reader.read(rows);
    reader.handOn();
    if (first)
        writePiece(db, table, columns, 0, nullptr, true);
    createTextTriggers(db, table);
    noteTextChanged(db);
    Prepared form(db, QStringLiteral("INSERT OR REPLACE INTO %1 (name, value) VALUES (?, ?)").arg(stateTable));
    form.bindText(1, textFormName(table));
    sqlite3_bind_int(form.get(), 2, textForm);
    form.run();
}

void dropKeptText(sqlite3* db, const ListedTable& table)
{
    for (const QString& trigger : textTriggersOf(table))
        execute(db, QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(trigger));
    execute(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(textOf(table)));
    execute(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(stretchesOf(table)));
    if (exists(db, QStringLiteral("table"), textChangesTable)) {
        Prepared forget(db, QStringLiteral("DELETE FROM %1 WHERE table_name = ?").arg(textChangesTable));
        forget.bindText(1, table.table);
        forget.run();
    }
    if (exists(db, QStringLiteral("table"), stateTable)) {
        Prepared form(db, QStringLiteral("DELETE FROM %1 WHERE name = ?").arg(stateTable));
        form.bindText(1, textFormName(table));
        form.run();
    }
}

bool keptTextBehind(sqlite3* db, const ListedTable& table)
{
    if (!exists(db, QStringLiteral("table"), orderTableOf(table.table)))
        return false;
    return !hasWholeText(db, table) || olderForm(db, table) || changesNoted(db, table);
}

void bringKeptTextUpToDate(sqlite3* db, const ListedTable& table, const std::function<void(const QString&)>& building)
{
    if (!exists(db, QStringLiteral("table"), orderTableOf(table.table)))
        return;
    if (!hasWholeText(db, table) || olderForm(db, table)) {
        if (building)
            building(table.table);
        buildKeptText(db, table);
        return;
    }
    // The stretches of every key that came or went, each made anew once.
    std::set<qint64> stretches;
    {
        Prepared keys(db, QStringLiteral("SELECT DISTINCT k1 FROM %1 WHERE table_name = ?").arg(textChangesTable));
        keys.bindText(1, table.table);
        while (keys.step())
            stretches.insert(stretchOf(db, table, keys.blob(0)));
    }
    const QStringList columns = columnsKept(db, table);
    for (const qint64 stretch : stretches)
        remakeStretch(db, table, columns, stretch);
    noteTextChanged(db);
    Prepared done(db, QStringLiteral("DELETE FROM %1 WHERE table_name = ?").arg(textChangesTable));
    done.bindText(1, table.table);
    done.run();
}

bool anyKeptTextBehind(sqlite3* db)
{
    // Every text object that a listed table with a kept order should have, counted in one statement.
    QStringList expected;
    QStringList forms;
    for (const ListedTable& table : listedTables()) {
        expected << QStringLiteral("'%1'").arg(stretchesOf(table)) << QStringLiteral("'%1'").arg(textOf(table));
        for (const QString& trigger : textTriggersOf(table))
            expected << QStringLiteral("'%1'").arg(trigger);
        forms << QStringLiteral("'%1'").arg(textFormName(table));
    }
    Prepared look(
        db, QStringLiteral("SELECT (SELECT count(*) FROM sqlite_schema WHERE name IN (%1)), (SELECT count(*) "
                           "FROM sqlite_schema WHERE type = 'table' AND substr(name, 1, 15) = 'mediatar_order_'), "
                           "(SELECT count(*) FROM sqlite_schema WHERE name = '%2')")
                .arg(expected.join(QLatin1Char(',')), textChangesTable));
    look.step();
    const int present = sqlite3_column_int(look.get(), 0);
    const int orders = sqlite3_column_int(look.get(), 1);
    const bool changesTableThere = sqlite3_column_int(look.get(), 2) > 0;
    if (orders == 0)
        return false;
    if (!changesTableThere || present < orders * 5)
        return true;
    if (!exists(db, QStringLiteral("table"), stateTable))
        return true;
    Prepared current(db, QStringLiteral("SELECT count(*) FROM %1 WHERE name IN (%2) AND value >= ?")
                             .arg(stateTable, forms.join(QLatin1Char(','))));
    sqlite3_bind_int(current.get(), 1, textForm);
    current.step();
    if (sqlite3_column_int(current.get(), 0) < orders)
        return true;
    Prepared noted(db, QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(textChangesTable));
    noted.step();
    return sqlite3_column_int(noted.get(), 0) != 0;
}

bool keptTextServes(sqlite3* db, const QString& table, const QString& column)
{
    const ListedTable* listedTable = listed(table);
    if (!listedTable)
        return false;
    try {
        if (!hasWholeText(db, *listedTable) || changesNoted(db, *listedTable))
            return false;
        Prepared kept(db, QStringLiteral("SELECT 1 FROM %1 WHERE col = ? LIMIT 1").arg(textOf(*listedTable)));
        kept.bindText(1, column.trimmed().toLower());
        return kept.step();
    } catch (const platform::Failure&) {
        return false;
    }
}

QStringList keptTextProblems(sqlite3* db, const ListedTable& table)
{
    if (!exists(db, QStringLiteral("table"), orderTableOf(table.table)))
        return {};
    if (!hasWholeText(db, table))
        return {QStringLiteral("the table %1 has no kept search text (the program makes it anew when it next opens "
                               "the file; until then its searches read every row)")
                    .arg(table.table)};
    // Noted changes are applied before anything is searched: the stretches are judged as they are only when none
    // wait.
    if (changesNoted(db, table))
        return {};
    const QStringList columns = columnsKept(db, table);
    std::vector<std::pair<qint64, QByteArray>> stretches;
    {
        Prepared inOrder(db, QStringLiteral("SELECT stretch, first FROM %1 ORDER BY first").arg(stretchesOf(table)));
        while (inOrder.step())
            stretches.emplace_back(sqlite3_column_int64(inOrder.get(), 0), inOrder.blob(1));
    }
    if (stretches.empty() || !stretches.front().second.isNull())
        return {QStringLiteral("the kept search text of %1 has no first stretch").arg(table.table)};
    QStringList problems;
    Prepared stray(db, QStringLiteral("SELECT count(*) FROM %1 WHERE stretch NOT IN (SELECT stretch FROM %2)")
                           .arg(textOf(table), stretchesOf(table)));
    stray.step();
    if (const int count = sqlite3_column_int(stray.get(), 0))
        problems << QStringLiteral("the kept search text of %1 holds %2 texts of no stretch (--repair makes it anew)")
                        .arg(table.table)
                        .arg(count);
    int wrong = 0;
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        const QByteArray& first = stretches[i].second;
        const QByteArray next = i + 1 < stretches.size() ? stretches[i + 1].second : QByteArray();
        PieceReader reader(static_cast<int>(columns.size()), true);
        const auto read = [&](const QString& where, bool bindFirst) {
            Prepared rows(db, rowsInOrder(table, columns, where));
            int index = 1;
            if (bindFirst)
                rows.bindBlob(index++, first);
            if (!next.isNull() && where.contains(QLatin1Char('<')))
                rows.bindBlob(index, next);
            reader.read(rows);
        };
        const QString below = next.isNull() ? QString() : QStringLiteral(" AND o.k1 < ?");
        if (first.isNull()) {
            read(QStringLiteral(" WHERE o.k1 IS NULL"), false);
            read(QStringLiteral(" WHERE o.k1 IS NOT NULL") + below, false);
        } else {
            read(QStringLiteral(" WHERE o.k1 >= ?") + below, true);
        }
        const Piece* piece = reader.pieces().empty() ? nullptr : &reader.pieces().front();
        Prepared kept(db, QStringLiteral("SELECT rows FROM %1 WHERE stretch = ?").arg(stretchesOf(table)));
        sqlite3_bind_int64(kept.get(), 1, stretches[i].first);
        bool same =
            kept.step() && kept.blob(0) == text::identitiesBlob(piece ? piece->identities : std::vector<qint64>());
        Prepared texts(db, QStringLiteral("SELECT text FROM %1 WHERE col = ? AND stretch = ?").arg(textOf(table)));
        for (int c = 0; same && c < columns.size(); ++c) {
            texts.bindText(1, columns.at(c));
            sqlite3_bind_int64(texts.get(), 2, stretches[i].first);
            // An older program writes every stretch plain.
            const text::StretchWriter none;
            const text::StretchWriter& writer = piece ? piece->columns[static_cast<std::size_t>(c)] : none;
            same = texts.step() && (texts.blob(0) == writer.finish() ||
                                    texts.blob(0) == writer.finish(text::StretchWriter::Form::Plain));
            sqlite3_reset(texts.get());
        }
        if (!same)
            ++wrong;
    }
    if (wrong > 0)
        problems << QStringLiteral("the kept search text of %1 differs from its rows in %2 of %3 stretches (--repair "
                                   "makes it anew)")
                        .arg(table.table)
                        .arg(wrong)
                        .arg(stretches.size());
    return problems;
}

} // namespace store
