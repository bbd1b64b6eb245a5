// SPDX-License-Identifier: GPL-3.0-or-later

#include "legacy/legacy_catalogue.h"

#include "platform/failure.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

// glib first: the library's header expects its types.
#include <glib.h>
#include <mdbtools.h>

namespace legacy {

namespace {

constexpr char jetSignature[] = "Standard Jet DB"; // at offset 4, after 00 01 00 00
constexpr char sqliteSignature[] = "SQLite format 3";
constexpr int jetVersionOffset = 0x14;
constexpr int rowOffsetMask = 0x1fff; // the flags of a row's offset live in its top bits

QString damaged(const QString& path, const QString& why)
{
    return QStringLiteral("%1: the file is damaged (%2)").arg(path, why);
}

QString entryName(const MdbCatalogEntry* entry)
{
    return QString::fromUtf8(entry->object_name);
}

QByteArray firstBytes(const QString& path, qint64 count)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(count);
}

bool isUserTable(const MdbCatalogEntry* entry)
{
    return entry->object_type == MDB_TABLE && mdb_is_user_table(const_cast<MdbCatalogEntry*>(entry));
}

// Whether the stored bytes of a text value hold a zero character. No catalogue writes one: it is a sign of damage,
// and the library would end the value there without a word. Jet 4 text is UTF-16, or "compressed" (marked by
// FF FE) where a zero byte only switches between one and two bytes a character.
bool holdsZeroCharacter(bool jet3, const unsigned char* bytes, int size)
{
    if (jet3)
        return std::memchr(bytes, 0, static_cast<size_t>(size)) != nullptr;
    if (size >= 2 && bytes[0] == 0xff && bytes[1] == 0xfe)
        return false;
    for (int at = 0; at + 1 < size; at += 2)
        if (bytes[at] == 0 && bytes[at + 1] == 0)
            return true;
    return false;
}

// What is wrong with the column definitions of a table, empty when nothing is. A damaged definition can give a
// column a type that is none, or the place in the row of another column or of none: every row would then be read
// with that column empty or holding its neighbour's value, and pass for a sound one.
QString columnDamage(MdbTableDef* def)
{
    std::vector<const MdbColumn*> byNumber(def->num_cols, nullptr);
    std::vector<const MdbColumn*> byPlace(def->num_var_cols, nullptr);
    for (guint i = 0; i < def->columns->len; ++i) {
        const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(def->columns, i));
        const QString name = QString::fromUtf8(column->name);
        const bool knownType = (column->col_type >= MDB_BOOL && column->col_type <= MDB_NUMERIC &&
                                column->col_type != 0x0d && column->col_type != 0x0e) ||
                               column->col_type == MDB_COMPLEX;
        if (!knownType)
            return QStringLiteral("the column %1 has no type a database knows (%2)").arg(name).arg(column->col_type);
        if (column->col_num < 0 || static_cast<guint>(column->col_num) >= def->num_cols)
            return QStringLiteral("the column %1 is numbered %2 of %3")
                .arg(name)
                .arg(column->col_num)
                .arg(def->num_cols);
        if (const MdbColumn* other = byNumber[static_cast<std::size_t>(column->col_num)])
            return QStringLiteral("the columns %1 and %2 have the same number")
                .arg(QString::fromUtf8(other->name), name);
        byNumber[static_cast<std::size_t>(column->col_num)] = column;
        if (column->is_fixed)
            continue;
        if (column->var_col_num >= def->num_var_cols)
            return QStringLiteral("the column %1 has no place in its rows").arg(name);
        if (const MdbColumn* other = byPlace[column->var_col_num])
            return QStringLiteral("the columns %1 and %2 have the same place in each row")
                .arg(QString::fromUtf8(other->name), name);
        byPlace[column->var_col_num] = column;
    }
    return QString();
}

} // namespace

Damage::Damage(const QString& path, const QString& table, const QString& what)
    : platform::Failure(damaged(path, table.isEmpty() ? what : QStringLiteral("%1: %2").arg(table, what))),
      m_table(table), m_problem(what)
{
}

struct LegacyCatalogue::Handle
{
    MdbHandle* mdb = nullptr;
    int wholePages = -1; // the whole pages of a file cut short, copied to memory
    ~Handle()
    {
        if (mdb)
            mdb_close(mdb);
        if (wholePages >= 0)
            ::close(wholePages);
    }
};

struct LegacyTable::Table
{
    MdbHandle* mdb = nullptr;
    MdbTableDef* def = nullptr;
    ~Table()
    {
        if (def)
            mdb_free_tabledef(def);
    }
};

namespace {

// Reads the table list to its end: unless it holds the entries its definition declares, tables may be missing
// from it. A file cut short loses pages, and the library would otherwise just stop early.
QString tableListDamage(MdbTableDef* table)
{
    mdb_rewind_table(table);
    quint64 rows = 0;
    while (mdb_fetch_row(table))
        ++rows;
    if (rows == table->num_rows)
        return QString();
    return QStringLiteral("its table list declares %1 entries, %2 could be read").arg(table->num_rows).arg(rows);
}

// A copy of the first length bytes of the file at path in an unnamed file in memory.
int copyWholePages(const QString& path, qint64 length)
{
    QFile source(path);
    const int copy = ::memfd_create("mediatar-legacy-pages", MFD_CLOEXEC);
    if (copy < 0 || !source.open(QIODevice::ReadOnly)) {
        if (copy >= 0)
            ::close(copy);
        throw platform::Failure(QStringLiteral("%1: the file cannot be read").arg(path));
    }
    while (length > 0) {
        const QByteArray block = source.read(std::min<qint64>(length, 1 << 20));
        if (block.isEmpty() || ::write(copy, block.constData(), static_cast<size_t>(block.size())) != block.size()) {
            ::close(copy);
            throw platform::Failure(QStringLiteral("%1: the file cannot be read").arg(path));
        }
        length -= block.size();
    }
    return copy;
}

} // namespace

LegacyCatalogue::LegacyCatalogue(const QString& path) : m_path(path), m_handle(std::make_unique<Handle>())
{
    switch (fileKind(path)) {
    case FileKind::Unreadable:
        throw platform::Failure(unreadable(path));
    case FileKind::SQLite:
        throw platform::Failure(
            QStringLiteral("%1: the file is already a catalogue of this program, not one of the older Jet format")
                .arg(path));
    case FileKind::Other:
        throw platform::Failure(QStringLiteral("%1: the file is not a Jet (Access) database").arg(path));
    case FileKind::Jet:
        break;
    }
    // The library reads a page beyond the end of a short file as no page at all, and so a table there as an
    // empty one: a cut is told here first.
    const QByteArray head = firstBytes(path, jetVersionOffset + 1);
    const qint64 pageSize = head.size() > jetVersionOffset && head.at(jetVersionOffset) == 0 ? 2048 : 4096;
    const qint64 size = QFileInfo(path).size();
    if (size < 3 * pageSize)
        throw platform::Failure(damaged(path, QStringLiteral("it ends in the middle of a page")));
    QByteArray readFrom = QFile::encodeName(path);
    if (size % pageSize != 0) {
        m_fileDamage
            << QStringLiteral("the file ends in the middle of page %1: it has been cut short").arg(size / pageSize);
        // The library would read the cut page's missing part as whatever its buffer held, and make rows of
        // it: it is given the whole pages only, as an unnamed copy that leaves nothing behind.
        m_handle->wholePages = copyWholePages(path, size / pageSize * pageSize);
        readFrom = "/proc/self/fd/" + QByteArray::number(m_handle->wholePages);
    }

    m_handle->mdb = mdb_open(readFrom.constData(), MDB_NOFLAGS);
    if (!m_handle->mdb)
        throw platform::Failure(damaged(path, QStringLiteral("it cannot be opened as a Jet database")));
    if (m_handle->mdb->f->jet_version != MDB_VER_JET3 && m_handle->mdb->f->jet_version != MDB_VER_JET4)
        throw platform::Failure(QStringLiteral("%1: only Jet 3 and Jet 4 databases can be imported").arg(path));
    if (!mdb_read_catalog(m_handle->mdb, MDB_TABLE))
        throw platform::Failure(damaged(path, QStringLiteral("its table list cannot be read")));
    // A table missing from a damaged list would pass for a table the catalogue never had.
    MdbTableDef* objects = mdb_read_table_by_name(m_handle->mdb, const_cast<gchar*>("MSysObjects"), MDB_TABLE);
    if (!objects)
        throw platform::Failure(damaged(path, QStringLiteral("its table list cannot be read")));
    mdb_read_columns(objects);
    const QString listDamage = tableListDamage(objects);
    mdb_free_tabledef(objects);
    if (!listDamage.isEmpty())
        m_fileDamage << listDamage;
}

LegacyCatalogue::~LegacyCatalogue() = default;

QStringList LegacyCatalogue::tableNames() const
{
    QStringList names;
    GPtrArray* catalog = m_handle->mdb->catalog;
    for (guint i = 0; catalog && i < catalog->len; ++i) {
        const auto* entry = static_cast<const MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (isUserTable(entry))
            names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

std::unique_ptr<LegacyTable> LegacyCatalogue::table(const QString& name)
{
    GPtrArray* catalog = m_handle->mdb->catalog;
    MdbCatalogEntry* found = nullptr;
    for (guint i = 0; catalog && i < catalog->len && !found; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (isUserTable(entry) && QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) == 0)
            found = entry;
    }
    if (!found)
        return nullptr;
    // A damaged table list can send a table to the definition of another object, whose rows would then be
    // read as the table's own.
    for (guint i = 0; catalog && i < catalog->len; ++i) {
        const auto* other = static_cast<const MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (other == found || other->object_type != MDB_TABLE || other->table_pg != found->table_pg)
            continue;
        throw Damage(
            m_path, name,
            isUserTable(other)
                ? QStringLiteral("the table list gives it the definition of the table %1").arg(entryName(other))
                : QStringLiteral("the table list gives it the definition of the system table %1")
                      .arg(entryName(other)));
    }
    auto table = std::make_unique<LegacyTable::Table>();
    table->mdb = m_handle->mdb;
    table->def = mdb_read_table(found);
    if (!table->def || !mdb_read_columns(table->def))
        throw Damage(m_path, name, QStringLiteral("its definition cannot be read"));
    const QString columns = columnDamage(table->def);
    if (!columns.isEmpty())
        throw Damage(m_path, name, QStringLiteral("its definition is damaged: ") + columns);
    mdb_rewind_table(table->def);
    return std::unique_ptr<LegacyTable>(new LegacyTable(m_path, std::move(table)));
}

quint64 LegacyCatalogue::declaredRows(const QString& name)
{
    try {
        const std::unique_ptr<LegacyTable> found = table(name);
        return found ? found->declaredRows() : 0;
    } catch (const Damage&) {
        return 0;
    }
}

LegacyTable::LegacyTable(const QString& path, std::unique_ptr<Table> table)
    : m_path(path), m_name(QString::fromUtf8(table->def->name)), m_table(std::move(table))
{
    MdbTableDef* def = m_table->def;
    const std::size_t count = def->num_cols;
    m_buffers.resize(count);
    m_lengths.assign(count, 0);
    m_null.assign(count, false);
    for (std::size_t i = 0; i < count; ++i) {
        const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(def->columns, i));
        m_columns << QString::fromUtf8(column->name);
        m_buffers[i] = static_cast<char*>(g_malloc0(m_table->mdb->bind_size));
        mdb_bind_column(def, static_cast<int>(i) + 1, m_buffers[i], &m_lengths[i]);
    }
}

LegacyTable::~LegacyTable()
{
    m_table.reset(); // the definition points at the buffers, so it goes first
    for (char* buffer : m_buffers)
        g_free(buffer);
}

int LegacyTable::columnIndex(const QString& column) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(column, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

LegacyTable::Kind LegacyTable::columnKind(int column) const
{
    const auto* definition = static_cast<const MdbColumn*>(g_ptr_array_index(m_table->def->columns, column));
    return {definition->col_type, definition->is_fixed != 0};
}

quint64 LegacyTable::declaredRows() const
{
    return m_table->def->num_rows;
}

const char* LegacyTable::text(int column) const
{
    return m_buffers[static_cast<std::size_t>(column)];
}

bool LegacyTable::next()
{
    MdbTableDef* def = m_table->def;
    if (!mdb_fetch_row(def))
        return false;
    ++m_rowsRead;
    // The library cuts a value at the size of its buffer without a word; only a long memo can reach it.
    const int longest = static_cast<int>(m_table->mdb->bind_size) - 1;
    for (std::size_t i = 0; i < m_lengths.size(); ++i)
        if (m_lengths[i] >= longest)
            throw Damage(m_path, m_name,
                         QStringLiteral("row %1 holds a value in %2 longer than %3 bytes, which cannot be read whole")
                             .arg(m_rowsRead)
                             .arg(m_columns.at(static_cast<qsizetype>(i)))
                             .arg(longest));
    // The bound values cannot tell a null from an empty text; the row's null mask can. The fetched row is still
    // on the current page, so it is split into its fields once more to read the mask.
    std::fill(m_null.begin(), m_null.end(), false);
    MdbHandle* mdb = m_table->mdb;
    int start = 0;
    size_t length = 0;
    if (mdb_find_row(mdb, static_cast<int>(def->cur_row) - 1, &start, &length) == 0) {
        MdbField fields[MDB_MAX_COLS];
        const int count = mdb_crack_row(def, start & rowOffsetMask, length, fields);
        // The count comes from the row itself; a damaged row can claim more fields than the table has (and
        // than were split), which would read far beyond them.
        if (count > static_cast<int>(def->num_cols))
            throw Damage(m_path, m_name,
                         QStringLiteral("row %1 is damaged: it claims %2 fields where the table has %3")
                             .arg(m_rowsRead)
                             .arg(count)
                             .arg(def->num_cols));
        for (int i = 0; i < count; ++i) {
            const auto column = static_cast<std::size_t>(fields[i].colnum);
            if (column >= m_null.size())
                continue;
            const auto* definition = static_cast<const MdbColumn*>(g_ptr_array_index(def->columns, column));
            // A yes/no column keeps its value in the mask; it is never null.
            m_null[column] = definition->col_type != MDB_BOOL && fields[i].is_null && m_lengths[column] == 0;
            const auto* bytes = static_cast<const unsigned char*>(fields[i].value);
            const auto* page = static_cast<const unsigned char*>(mdb->pg_buf);
            if (definition->col_type == MDB_TEXT && !fields[i].is_null && bytes >= page && fields[i].siz > 0 &&
                bytes + fields[i].siz <= page + mdb->fmt->pg_size &&
                holdsZeroCharacter(IS_JET3(mdb), bytes, fields[i].siz))
                throw Damage(m_path, m_name,
                             QStringLiteral("row %1 is damaged: the value of %2 holds a zero character after '%3'")
                                 .arg(m_rowsRead)
                                 .arg(m_columns.at(static_cast<qsizetype>(column)), QString::fromUtf8(text(column))));
        }
    }
    return true;
}

} // namespace legacy
