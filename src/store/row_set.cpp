// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/row_set.h"

#include "platform/failure.h"
#include "store/connection_setup.h"
#include "store/kept_order.h"
#include "store/kept_text.h"
#include "store/schema.h"

#include "hungarian/hungarian.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <sqlite3.h>

namespace store {

namespace {

QVariant columnValue(sqlite3_stmt* statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    }
}

void bind(sqlite3_stmt* statement, int index, const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(statement, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob(statement, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        sqlite3_bind_int64(statement, index, value.toLongLong());
        return;
    case QMetaType::Double:
        sqlite3_bind_double(statement, index, value.toDouble());
        return;
    default: {
        const QByteArray text = value.toString().toUtf8();
        sqlite3_bind_text(statement, index, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return;
    }
    }
}

int onProgress(void* stop)
{
    return (*static_cast<const std::function<bool()>*>(stop))() ? 1 : 0;
}

} // namespace

QString PagedRowSet::Shape::orderBy(bool descending) const
{
    QStringList terms = order;
    if (descending) {
        for (QString& term : terms)
            term += QStringLiteral(" DESC");
    }
    return QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
}

PagedRowSet::Shape PagedRowSet::shapeOf(const ListPlan& plan, bool keptOrder)
{
    Shape shape;
    if (keptOrder && !plan.scanTable()) {
        // The order table: k1, v1, k2, v2 for the order columns, row for the data row's identity.
        shape.from = orderTableOf(plan.table);
        shape.identity = QStringLiteral("row");
        shape.key = QStringLiteral("k1");
        shape.firstValue = QStringLiteral("v1");
        QStringList values;
        for (int i = 1; i <= plan.orderColumns.size(); ++i) {
            shape.order << QStringLiteral("k%1").arg(i);
            values << QStringLiteral("v%1").arg(i);
        }
        shape.order << values << shape.identity;
        if (!plan.wholeTable()) {
            if (plan.ranged) {
                shape.condition = QStringLiteral("k1 >= ? AND k1 < ? AND ");
                shape.values = {plan.lower, plan.upper};
            }
            shape.condition += QStringLiteral("v%1 like ?").arg(plan.filterOrderColumn + 1);
            shape.values << plan.pattern;
        }
        return shape;
    }
    const auto keyOf = [](const QString& column) {
        return QString::fromLatin1(hungarian::keyFunctionName) + QLatin1Char('(') + column + QLatin1Char(')');
    };
    shape.from = plan.scanTable() ? plan.table + QStringLiteral(" NOT INDEXED") : plan.table;
    shape.identity = plan.identity;
    shape.key = keyOf(plan.orderColumns.first());
    shape.firstValue = plan.orderColumns.first();
    for (const QString& column : plan.orderColumns)
        shape.order << keyOf(column);
    shape.order << plan.orderColumns << plan.identity;
    if (!plan.wholeTable()) {
        if (plan.ranged) {
            const QString key = keyOf(plan.filterColumn.trimmed());
            shape.condition = key + QStringLiteral(" >= ? AND ") + key + QStringLiteral(" < ? AND ");
            shape.values = {plan.lower, plan.upper};
        }
        shape.condition += plan.filterColumn + QStringLiteral(" like ?");
        shape.values << plan.pattern;
    }
    return shape;
}

PagedRowSet::PagedRowSet(sqlite3* db, const ListPlan& plan, bool trustKeptCounts, std::function<void()> whenCountWrong)
    : m_db(db), m_plan(plan), m_trustKeptCounts(trustKeptCounts), m_whenCountWrong(std::move(whenCountWrong))
{
    try {
        // Everything the list reads from here on comes from one snapshot of the file, where readers go on
        // beside writers. In the rollback journal an open read would keep every other program from committing
        // for as long as the list is shown: there each screen is read as the file stands then.
        if (sqlite3_get_autocommit(m_db) && readsBesideWriters(m_db)) {
            if (sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
                fail();
            m_ownsTransaction = true;
        }
        // The first read fixes the snapshot and brings the connection's idea of the tables up to date, so the
        // columns are named as another program may have just left them, and stay so while the list is open.
        if (sqlite3_exec(m_db, "SELECT 1 FROM sqlite_schema LIMIT 1", nullptr, nullptr, nullptr) != SQLITE_OK)
            fail();
        // The kept order serves only when it holds every change in this snapshot; otherwise the list is ordered
        // and counted from the data itself.
        m_keptOrder = keptOrderServes(m_db, plan.table);
        m_shape = shapeOf(plan, m_keptOrder);
        QStringList marks;
        for (int i = 0; i < pageSize; ++i)
            marks << QStringLiteral("?");
        m_rowsByIdentity = prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4)")
                                       .arg(plan.columns, plan.table, plan.identity, marks.join(QLatin1Char(','))));
        for (int i = 0; i < sqlite3_column_count(m_rowsByIdentity); ++i)
            m_columns << QString::fromUtf8(sqlite3_column_name(m_rowsByIdentity, i));
        if (plan.wholeTable()) {
            prepareScreensByPlace();
            countWholeTable();
            m_complete = true;
        } else if (!plan.countedPrefix.isEmpty() && countFromPrefixCounts()) {
            // A short prefix: its rows are one stretch of the order, read a screen at a time like a whole table.
            prepareScreensByPlace();
            m_complete = true;
        } else {
            m_collect = prepare(collectSql());
            bindFilter(m_collect);
            m_byIdentity = true;
            // Any filter but a start on the first order column (one stretch of the order index) is answered
            // from the kept search text, one compact pass instead of every row.
            if (m_keptOrder && !plan.ranged && keptTextServes(m_db, plan.table, plan.filterColumn))
                m_keptText = plan.filterColumn;
            if (m_keptOrder) {
                sqlite3_stmt* kept =
                    prepare(QStringLiteral("SELECT row_count FROM %1 WHERE table_name = ?").arg(rowCountsTable));
                bind(kept, 1, plan.table);
                if (sqlite3_step(kept) == SQLITE_ROW)
                    m_mostRows = static_cast<std::size_t>(std::max<qint64>(0, sqlite3_column_int64(kept, 0)));
                sqlite3_finalize(kept);
            }
        }
    } catch (...) {
        release();
        throw;
    }
}

void PagedRowSet::prepareScreensByPlace()
{
    // The list's own filter (none for a whole table) comes first in every statement, so its values are bound
    // first.
    const Shape& shape = m_shape;
    const QString filter = shape.condition.isEmpty() ? QString() : QStringLiteral("(%1) AND ").arg(shape.condition);
    const QString identities = QStringLiteral("SELECT %1 FROM %2").arg(shape.identity, shape.from);
    const QString screen = QStringLiteral(" LIMIT ? OFFSET ?");
    m_forward = prepare(identities + shape.where() + shape.orderBy() + screen);
    m_backward = prepare(identities + shape.where() + shape.orderBy(true) + screen);
    m_fromAnchor =
        prepare(identities + QStringLiteral(" WHERE %1%2 >= ?").arg(filter, shape.key) + shape.orderBy() + screen);
    m_beforeAnchor =
        prepare(identities + QStringLiteral(" WHERE %1%2 < ?").arg(filter, shape.key) + shape.orderBy(true) + screen);
    m_keyOf = prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(shape.key, shape.from, shape.identity));
    m_sameKey = prepare(identities + QStringLiteral(" WHERE %1%2 = ?").arg(filter, shape.key) + shape.orderBy());
}

int PagedRowSet::bindFilter(sqlite3_stmt* statement) const
{
    for (int i = 0; i < m_shape.values.size(); ++i)
        bind(statement, i + 1, m_shape.values.at(i));
    return static_cast<int>(m_shape.values.size()) + 1;
}

int PagedRowSet::rowsWithoutKey() const
{
    if (m_withoutKey < 0) {
        const QString filter =
            m_shape.condition.isEmpty() ? QString() : QStringLiteral(" AND (%1)").arg(m_shape.condition);
        sqlite3_stmt* nulls = prepare(
            QStringLiteral("SELECT count(*) FROM %1 WHERE %2 IS NULL%3").arg(m_shape.from, m_shape.firstValue, filter));
        bindFilter(nulls);
        const bool counted = sqlite3_step(nulls) == SQLITE_ROW;
        m_withoutKey = counted ? sqlite3_column_int(nulls, 0) : 0;
        sqlite3_finalize(nulls);
        if (!counted)
            fail();
    }
    return m_withoutKey;
}

bool PagedRowSet::countFromPrefixCounts()
{
    // The count kept under the typed start, when the kept order holds every row of the snapshot; a start no
    // row has is kept by no entry. Otherwise the list is counted by reading it.
    if (!m_keptOrder || !m_trustKeptCounts)
        return false;
    sqlite3_stmt* kept = nullptr;
    const QByteArray sql = QStringLiteral("SELECT row_count FROM %1 WHERE table_name = ?1 AND prefix = ?2")
                               .arg(prefixCountsTable)
                               .toUtf8();
    if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &kept, nullptr) != SQLITE_OK) {
        sqlite3_finalize(kept);
        return false;
    }
    bind(kept, 1, m_plan.table);
    bind(kept, 2, m_plan.countedPrefix);
    const int rc = sqlite3_step(kept);
    m_count = rc == SQLITE_ROW ? static_cast<int>(sqlite3_column_int64(kept, 0)) : 0;
    sqlite3_finalize(kept);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

PagedRowSet::~PagedRowSet()
{
    release();
}

void PagedRowSet::release()
{
    for (sqlite3_stmt** statement : {&m_rowsByIdentity, &m_forward, &m_backward, &m_collect, &m_fromAnchor,
                                     &m_beforeAnchor, &m_keyOf, &m_sameKey}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    // The snapshot goes with the list: the connection may write again.
    if (m_ownsTransaction && !sqlite3_get_autocommit(m_db)) {
        if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    m_ownsTransaction = false;
}

sqlite3_stmt* PagedRowSet::prepare(const QString& sql) const
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), static_cast<int>(text.size()), &statement, nullptr) != SQLITE_OK)
        fail();
    return statement;
}

void PagedRowSet::fail() const
{
    throw platform::Failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void PagedRowSet::countWholeTable()
{
    // The kept count when the kept order serves; otherwise (a file never upgraded, or written by another program
    // while it cannot be brought up to date, read-only say) the rows are counted.
    if (m_keptOrder && m_trustKeptCounts) {
        sqlite3_stmt* kept = nullptr;
        const QByteArray sql =
            QStringLiteral("SELECT row_count FROM %1 WHERE table_name = ?").arg(rowCountsTable).toUtf8();
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &kept, nullptr) == SQLITE_OK) {
            bind(kept, 1, m_plan.table);
            const bool found = sqlite3_step(kept) == SQLITE_ROW;
            if (found)
                m_count = static_cast<int>(sqlite3_column_int64(kept, 0));
            sqlite3_finalize(kept);
            // A count of none is cheap to believe only after a look: another program may have written it.
            if (found && m_count == 0) {
                sqlite3_stmt* any = prepare(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(m_shape.from));
                const bool empty = sqlite3_step(any) == SQLITE_ROW && sqlite3_column_int(any, 0) == 0;
                sqlite3_finalize(any);
                if (!empty)
                    countWrong();
                else
                    return;
            } else if (found) {
                return;
            }
        } else {
            sqlite3_finalize(kept);
        }
    }
    sqlite3_stmt* counted = prepare(QStringLiteral("SELECT count(*) FROM %1").arg(m_shape.from));
    const int rc = sqlite3_step(counted);
    m_count = rc == SQLITE_ROW ? static_cast<int>(sqlite3_column_int64(counted, 0)) : 0;
    sqlite3_finalize(counted);
    if (rc != SQLITE_ROW)
        fail();
}

QString PagedRowSet::collectSql() const
{
    return QStringLiteral("SELECT %1 FROM %2%3").arg(m_shape.identity, m_shape.from, m_shape.where()) +
           m_shape.orderBy();
}

namespace {

// Steps a statement of identities to its end, or until stop says so (false is returned then). The identities go
// to found a few at a time.
bool stepIdentities(sqlite3* db, sqlite3_stmt* statement, const FoundRows& found, const std::function<bool()>& stop)
{
    sqlite3_progress_handler(db, 4000, onProgress, const_cast<std::function<bool()>*>(&stop));
    std::vector<qint64> batch;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        batch.push_back(sqlite3_column_int64(statement, 0));
        if (batch.size() == 64) {
            found(batch);
            batch.clear();
        }
        if (stop()) {
            rc = SQLITE_INTERRUPT;
            break;
        }
    }
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    sqlite3_reset(statement);
    if (rc == SQLITE_INTERRUPT)
        return false;
    if (rc != SQLITE_DONE)
        throw platform::Failure(QString::fromUtf8(sqlite3_errmsg(db)));
    if (!batch.empty())
        found(batch);
    return true;
}

} // namespace

bool PagedRowSet::collect(const FoundRows& found, const std::function<bool()>& stop) const
{
    if (!m_keptText.isEmpty())
        return searchKeptText(m_db, nullptr, m_plan.table, m_keptText, m_plan.pattern, found, stop);
    return stepIdentities(m_db, m_collect, found, stop);
}

std::shared_ptr<SharedTextReading> PagedRowSet::sharedReading() const
{
    if (m_keptText.isEmpty())
        return nullptr;
    return std::make_shared<SharedTextReading>(m_plan.table, m_keptText, m_plan.pattern);
}

bool PagedRowSet::collectOn(sqlite3* db, SharedTextReading* sharing, const FoundRows& found,
                            const std::function<bool()>& stop, TextSearchProgress* progress) const
{
    if (!m_keptText.isEmpty()) {
        // The other connection reads the text in a snapshot of its own, which may be later than the list's: it
        // reads the text only if it serves there too, and the rows otherwise.
        if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw platform::Failure(QString::fromUtf8(sqlite3_errmsg(db)));
        struct End
        {
            sqlite3* db;
            ~End() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
        } end{db};
        if (keptTextServes(db, m_plan.table, m_keptText))
            return searchKeptText(db, sharing, m_plan.table, m_keptText, m_plan.pattern, found, stop, progress);
    }
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = collectSql().toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        throw platform::Failure(text);
    }
    for (int i = 0; i < m_shape.values.size(); ++i)
        bind(statement, i + 1, m_shape.values.at(i));
    try {
        const bool done = stepIdentities(db, statement, found, stop);
        sqlite3_finalize(statement);
        return done;
    } catch (...) {
        sqlite3_finalize(statement);
        throw;
    }
}

void PagedRowSet::show(RowIdentities identities, bool complete)
{
    // Not shrunk: room reserved and never written takes no memory, and shrinking would copy every row.
    m_identities = std::move(identities);
    m_count = static_cast<int>(m_identities.size());
    m_complete = complete;
    m_byIdentity = true;
    // The last screen of a first part may have been short.
    m_pages.clear();
    m_recent.clear();
}

QVariant PagedRowSet::value(int row, int column) const
{
    if (row < 0 || row >= m_count || column < 0 || column >= m_columns.size())
        return {};
    const std::vector<Row>& rows = page(row / pageSize);
    const std::size_t within = static_cast<std::size_t>(row % pageSize);
    return within < rows.size() ? rows[within].value(column) : QVariant();
}

const std::vector<PagedRowSet::Row>& PagedRowSet::page(int index) const
{
    const auto found = m_pages.find(index);
    if (found != m_pages.end()) {
        m_recent.remove(index);
        m_recent.push_front(index);
        return found->second;
    }
    const int first = index * pageSize;
    std::vector<Row> rows = rowsOf(identitiesOfPage(first, std::min(pageSize, m_count - first)));
    if (m_pages.size() >= cachedPages) {
        m_pages.erase(m_recent.back());
        m_recent.pop_back();
    }
    m_recent.push_front(index);
    return m_pages[index] = std::move(rows);
}

std::vector<qint64> PagedRowSet::identitiesOfPage(int first, int length) const
{
    if (m_byIdentity) {
        return m_identities.slice(static_cast<std::size_t>(first), static_cast<std::size_t>(length));
    }
    // A place in the order is found by counting along the index, from whichever is nearest: the start, the
    // end, or the start of a run of equal keys seen on an earlier screen (found by a seek on its key).
    int cost = first;
    sqlite3_stmt* statement = m_forward;
    QByteArray key;
    int offset = first;
    bool reversed = false;
    if (m_count - first - length < cost) {
        cost = m_count - first - length;
        statement = m_backward;
        offset = cost;
        reversed = true;
    }
    auto after = m_anchors.upper_bound(first);
    if (after != m_anchors.begin()) {
        const auto before = std::prev(after);
        if (first - before->first < cost) {
            cost = first - before->first;
            statement = m_fromAnchor;
            key = before->second;
            offset = cost;
            reversed = false;
        }
    }
    // Back from a key: the rows without a key, first in the order, are not among those before it.
    after = m_anchors.lower_bound(first + length);
    if (after != m_anchors.end() && after->first - first - length < cost && first >= rowsWithoutKey()) {
        cost = after->first - first - length;
        statement = m_beforeAnchor;
        key = after->second;
        offset = cost;
        reversed = true;
    }
    int index = bindFilter(statement);
    if (!key.isNull())
        sqlite3_bind_blob(statement, index++, key.constData(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(statement, index++, length);
    sqlite3_bind_int(statement, index, offset);
    std::vector<qint64> identities = stepAll(statement);
    if (reversed)
        std::reverse(identities.begin(), identities.end());
    // The count said there were more rows: it was kept wrong (another program wrote it). The screen shows what
    // there is, and the count is recounted.
    if (static_cast<int>(identities.size()) < length)
        countWrong();
    if (!identities.empty())
        remember(first, identities.front());
    return identities;
}

void PagedRowSet::countWrong() const
{
    if (m_countWrong)
        return;
    m_countWrong = true;
    if (m_whenCountWrong)
        m_whenCountWrong();
}

std::vector<qint64> PagedRowSet::stepAll(sqlite3_stmt* statement) const
{
    std::vector<qint64> identities;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
        identities.push_back(sqlite3_column_int64(statement, 0));
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE)
        fail();
    return identities;
}

void PagedRowSet::remember(int position, qint64 identity) const
{
    // The row's key, and where the run of rows with that key starts: the row's place less the rows of the run
    // before it. A run is short (equal titles), so counting it is cheap.
    sqlite3_bind_int64(m_keyOf, 1, identity);
    QByteArray key;
    if (sqlite3_step(m_keyOf) == SQLITE_ROW && sqlite3_column_type(m_keyOf, 0) == SQLITE_BLOB)
        key = QByteArray(static_cast<const char*>(sqlite3_column_blob(m_keyOf, 0)), sqlite3_column_bytes(m_keyOf, 0));
    sqlite3_reset(m_keyOf);
    if (key.isNull())
        return; // no key (a NULL value): counted from an end instead
    sqlite3_bind_blob(m_sameKey, bindFilter(m_sameKey), key.constData(), static_cast<int>(key.size()),
                      SQLITE_TRANSIENT);
    int before = 0;
    int rc;
    while ((rc = sqlite3_step(m_sameKey)) == SQLITE_ROW && sqlite3_column_int64(m_sameKey, 0) != identity)
        ++before;
    const bool found = rc == SQLITE_ROW;
    sqlite3_reset(m_sameKey);
    if (found && before <= position)
        m_anchors.emplace(position - before, key);
}

std::vector<PagedRowSet::Row> PagedRowSet::rowsOf(const std::vector<qint64>& identities) const
{
    for (int i = 0; i < pageSize; ++i) {
        if (i < static_cast<int>(identities.size()))
            sqlite3_bind_int64(m_rowsByIdentity, i + 1, identities[static_cast<std::size_t>(i)]);
        else
            sqlite3_bind_null(m_rowsByIdentity, i + 1);
    }
    std::map<qint64, Row> found;
    const int columns = static_cast<int>(m_columns.size());
    int rc;
    while ((rc = sqlite3_step(m_rowsByIdentity)) == SQLITE_ROW) {
        Row row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row << columnValue(m_rowsByIdentity, i);
        found.emplace(sqlite3_column_int64(m_rowsByIdentity, 0), std::move(row));
    }
    sqlite3_reset(m_rowsByIdentity);
    if (rc != SQLITE_DONE)
        fail();
    std::vector<Row> rows;
    rows.reserve(identities.size());
    for (qint64 identity : identities) {
        auto row = found.find(identity);
        rows.push_back(row != found.end() ? std::move(row->second) : Row(columns));
    }
    return rows;
}

} // namespace store
