// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_list.h"

#include "platform/failure.h"
#include "server/server_schema.h"
#include "engine/tables.h"

#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace server {

namespace {

QString unqualified(const QString& column)
{
    return column.section(QLatin1Char('.'), -1).trimmed();
}

// The list's select list as the server runs it: the identity under the name the windows read, and a "*"
// spelled out as the designed columns, so that the server's own identity column is not listed twice.
QString selectList(const engine::ListPlan& plan)
{
    const QString identity = identityColumn(plan.table);
    const qsizetype comma = plan.columns.indexOf(QLatin1Char(','));
    QString rest = comma < 0 ? QString() : plan.columns.mid(comma + 1).trimmed();
    if (rest == QLatin1String("*")) {
        for (const engine::TableDefinition& table : engine::catalogueTables())
            if (table.name.compare(plan.table, Qt::CaseInsensitive) == 0)
                rest = table.columns.join(QStringLiteral(", "));
    }
    return identity + QStringLiteral(" AS row_identity, ") + rest;
}

bool plainText(const QString& text)
{
    return !text.contains(QLatin1Char('%')) && !text.contains(QLatin1Char('_'));
}

// The filter as the server runs it, case-blind for every letter. A typed start or a typed part without
// wildcards goes through the indexes (a range of the folded prefix index, the trigram index); any other pattern
// keeps the meaning of its % and _ as on a file, and a backslash in it is only a character there.
// enteredInOrder tells whether the filter is a range of the order index itself, where the list's first rows
// are read at their place. test is the same filter for a row in hand, when it differs (a filter through the gram
// index would work out the grams of every row walked).
QString filterOf(const engine::ListPlan& plan, bool grams, std::vector<Value>& values, bool& enteredInOrder,
                 QString& test, QStringList& indexedOnly)
{
    const QString column = plan.filterColumn.trimmed();
    const QString& pattern = plan.pattern;
    enteredInOrder = false;
    if (pattern.endsWith(QLatin1Char('%'))) {
        const QString start = pattern.chopped(1);
        if (plainText(start)) {
            values.emplace_back(start);
            if (plan.filterOrderColumn == 0) {
                enteredInOrder = true;
                return orderedPrefixCondition(column);
            }
            return prefixCondition(column);
        }
        if (start.startsWith(QLatin1Char('%')) && start.size() > 1 && plainText(start.mid(1))) {
            const QString part = start.mid(1);
            if (grams && plan.filterOrderColumn == 0 && shortContainment(part)) {
                values.emplace_back(part);
                test = gramTest(column);
                // A gram in nearly every row (a space, a common letter) would have the planner read the whole
                // table and work out every row's grams, seconds where the index takes a tenth of one.
                indexedOnly = {QStringLiteral("SET LOCAL enable_seqscan = off"),
                               QStringLiteral("SET LOCAL enable_indexscan = off"),
                               QStringLiteral("SET LOCAL enable_indexonlyscan = off")};
                return gramCondition(column);
            }
            values.emplace_back(likeEscaped(part));
            return containsCondition(column);
        }
    }
    QString literal = pattern;
    literal.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    values.emplace_back(literal);
    return QStringLiteral("lower(%1) LIKE lower($1::text COLLATE \"%2\")")
        .arg(column, QLatin1String(hungarianCollation));
}

// The parts the later screens' statements are made of (ScreenReader::Shape).
ScreenReader::Shape shapeOf(const engine::ListPlan& plan)
{
    ScreenReader::Shape shape;
    bool enteredInOrder = true;
    // Later screens walk the order index: a short text is tested on each row, never through the gram index.
    QString test;
    QStringList indexedOnly;
    shape.filter =
        plan.wholeTable() ? QString() : filterOf(plan, false, shape.values, enteredInOrder, test, indexedOnly);
    shape.table = plan.table.toLower();
    shape.select = QStringLiteral("SELECT %1 FROM %2").arg(selectList(plan), shape.table);
    QStringList order;
    QStringList reversed;
    for (const QString& column : plan.orderColumns) {
        order << unqualified(column) + QStringLiteral(" NULLS FIRST");
        reversed << unqualified(column) + QStringLiteral(" DESC NULLS LAST");
        shape.keys << unqualified(column);
    }
    const QString identity = identityColumn(plan.table);
    order << identity;
    reversed << identity + QStringLiteral(" DESC");
    shape.keys << identity;
    shape.order = order.join(QStringLiteral(", "));
    shape.reversed = reversed.join(QStringLiteral(", "));
    return shape;
}

} // namespace

std::vector<QVariantList> rowsOf(const Table& table)
{
    std::vector<QVariantList> rows;
    rows.reserve(table.rows.size());
    for (const server::Row& row : table.rows) {
        QVariantList values;
        values.reserve(static_cast<qsizetype>(row.size()));
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (!row[c])
                values << QVariant();
            else if (table.wholeNumbers[c])
                values << QVariant(row[c]->toLongLong());
            else
                values << QVariant(*row[c]);
        }
        rows.push_back(std::move(values));
    }
    return rows;
}

ServerList::Statements ServerList::statementsFor(const engine::ListPlan& plan, bool grams)
{
    Statements statements;
    const QString table = plan.table.toLower();
    const QString identity = identityColumn(plan.table);
    bool enteredInOrder = true;
    QString test;
    const QString filter = plan.wholeTable()
                               ? QString()
                               : filterOf(plan, grams, statements.values, enteredInOrder, test, statements.indexedOnly);
    if (test.isEmpty())
        test = filter;
    // Gathered through an index: the count, and the matches sorted for the first screen. Tested row by row: the
    // rows walked in order.
    const QString where = filter.isEmpty() ? QString() : QStringLiteral(" WHERE ") + filter;
    const QString whereTested = test.isEmpty() ? QString() : QStringLiteral(" WHERE ") + test;
    QStringList order;
    QStringList reversed;
    for (const QString& column : plan.orderColumns) {
        order << unqualified(column) + QStringLiteral(" NULLS FIRST");
        reversed << unqualified(column) + QStringLiteral(" DESC NULLS LAST");
    }
    order << identity;
    reversed << identity + QStringLiteral(" DESC");
    if (plan.wholeTable())
        statements.count = QStringLiteral("SELECT row_count FROM %1 WHERE table_name = '%2'")
                               .arg(QLatin1String(rowCountsTable), table);
    else
        statements.count = QStringLiteral("SELECT count(*) FROM %1%2").arg(table, where);
    const QString select = QStringLiteral("SELECT %1 FROM %2%3 ORDER BY ").arg(selectList(plan), table, whereTested);
    statements.rows = select + order.join(QStringLiteral(", "));
    statements.firstScreen = statements.rows + QStringLiteral(" LIMIT %1").arg(pageSize);
    if (!enteredInOrder && plan.filterOrderColumn >= 0) {
        // The order index holds the filtered column: walked, its entries alone tell which rows match, without
        // reading the table row of every entry the filter turns down. Sorted, the matches are read whole through
        // the search's own index and only the screen's worth kept in order.
        QStringList picked{identity};
        for (const QString& column : plan.orderColumns)
            picked << unqualified(column);
        const QString ordered = order.join(QStringLiteral(", "));
        const QString read = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ANY (ARRAY (%4)) ORDER BY %5")
                                 .arg(selectList(plan), table, identity, QStringLiteral("%1"), ordered);
        statements.total = QStringLiteral("SELECT row_count FROM %1 WHERE table_name = '%2'")
                               .arg(QLatin1String(rowCountsTable), table);
        statements.walkedScreen = read.arg(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT %5")
                                               .arg(identity, table, whereTested, ordered)
                                               .arg(pageSize));
        statements.sortedScreen =
            QStringLiteral("WITH matches AS MATERIALIZED (SELECT %1 FROM %2%3) ")
                .arg(picked.join(QStringLiteral(", ")), table, where) +
            read.arg(
                QStringLiteral("SELECT %1 FROM matches ORDER BY %2 LIMIT %3").arg(identity, ordered).arg(pageSize));
        statements.boundedScreen =
            read.arg(QStringLiteral("SELECT %1 FROM (SELECT %2, %3 AS hit FROM %4 ORDER BY %5 LIMIT %6) AS stretch "
                                    "WHERE hit ORDER BY %5 LIMIT %7")
                         .arg(identity, picked.join(QStringLiteral(", ")), test, table, ordered)
                         .arg(boundedStretch)
                         .arg(pageSize));
    }
    statements.reversed = select + reversed.join(QStringLiteral(", "));
    return statements;
}

ServerList::ServerList(std::unique_ptr<Connection> connection, const engine::ListPlan& plan, Release release,
                       Acquire another, bool grams, WhenFirst whenFirst)
    : m_connection(std::move(connection)), m_release(std::move(release)), m_whenFirst(std::move(whenFirst)),
      m_statements(statementsFor(plan, grams)), m_shape(shapeOf(plan))
{
    try {
        if (plan.scanTable()) {
            openFiltered(another);
        } else if (m_statements.picked()) {
            openPicked(another);
        } else {
            // One snapshot for the count and every screen read later; the count and the first screen asked for
            // in one round trip. The cursor for the other screens is declared when one is first wanted.
            std::vector<std::pair<QString, std::vector<Value>>> statements = {
                {QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {}},
                {m_statements.count, m_statements.values}};
            const bool started = !plan.wholeTable();
            if (started) {
                // A typed start's rows lie together in the order index, from the start on: the first screen is
                // the next screenful of its entries. The planner, which guesses how many rows a start finds from
                // a sample and often misses by a hundred times, would rather gather them all and sort them.
                statements.push_back({QStringLiteral("SET LOCAL enable_bitmapscan = off"), {}});
                statements.push_back({QStringLiteral("SET LOCAL enable_sort = off"), {}});
            }
            const std::size_t screenAt = statements.size();
            statements.push_back({m_statements.firstScreen, m_statements.values});
            if (started) {
                statements.push_back({QStringLiteral("RESET enable_bitmapscan"), {}});
                statements.push_back({QStringLiteral("RESET enable_sort"), {}});
            }
            std::vector<Table> answers = m_connection->pipeline(statements);
            if (answers.size() != statements.size() || answers[1].rows.empty())
                throw platform::Failure(QStringLiteral("the server gave no count of the list"));
            m_count = answers[1].rows.front().front().value_or(QStringLiteral("0")).toInt();
            m_columns = answers[screenAt].columns;
            m_wholeNumbers = answers[screenAt].wholeNumbers;
            m_first = std::move(answers[screenAt].rows);
        }
        // A count read before the rows can be short of rows the snapshot shows when a kept count is behind; the
        // first screen never shows fewer rows than it holds.
        const int shown = static_cast<int>(m_first.size());
        if (shown < pageSize)
            m_count = shown;
        m_reader =
            ScreenReader::start(std::move(m_connection), m_shape, m_count, m_columns, std::move(m_first), m_release);
    } catch (...) {
        const bool reusable = !m_connection->broken();
        if (reusable) {
            try {
                m_connection->run(QStringLiteral("ROLLBACK"));
            } catch (const platform::Failure&) {
            }
        }
        m_release(std::move(m_connection), reusable);
        throw;
    }
}

Table ServerList::countBeside(const Acquire& another, const QString& screen, double& countMs, bool mayComeShort)
{
    const std::vector<Table> started =
        m_connection->pipeline({{QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {}},
                                {QStringLiteral("SELECT pg_export_snapshot()"), {}}});
    const QString snapshot = started.at(1).rows.at(0).at(0).value_or(QString());
    // The server's own name for the snapshot; checked, since it goes into the statement's text.
    static const QRegularExpression snapshotName(QStringLiteral("^[0-9A-Fa-f-]+$"));
    if (!snapshotName.match(snapshot).hasMatch())
        throw platform::Failure(QStringLiteral("the server gave no snapshot of the list"));
    std::unique_ptr<Connection> counter = another();
    QString countFailure;
    int count = 0;
    std::atomic<bool> counted{false};
    std::thread counting([&] {
        try {
            const auto began = std::chrono::steady_clock::now();
            std::vector<std::pair<QString, std::vector<Value>>> statements = {
                {QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), {}},
                {QStringLiteral("SET TRANSACTION SNAPSHOT '%1'").arg(snapshot), {}}};
            for (const QString& setting : m_statements.indexedOnly)
                statements.push_back({setting, {}});
            statements.push_back({m_statements.count, m_statements.values});
            const std::vector<Table> answers = counter->pipeline(statements);
            countMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
            count = answers.at(statements.size() - 1).rows.at(0).at(0).value_or(QStringLiteral("0")).toInt();
        } catch (const platform::Failure& failure) {
            countFailure = failure.text();
        } catch (const std::exception& failure) {
            countFailure = QString::fromLocal8Bit(failure.what());
        }
        counted = true;
    });
    Table first;
    QString screenFailure;
    try {
        first = m_connection->table(screen, m_statements.values);
        if (m_whenFirst && !counted && (!mayComeShort || first.rows.size() == std::size_t(pageSize)))
            m_whenFirst(first);
    } catch (const platform::Failure& failure) {
        screenFailure = failure.text();
    }
    counting.join();
    const bool reusable = !counter->broken();
    if (reusable)
        counter->rollbackWithoutWaiting();
    m_release(std::move(counter), reusable);
    if (!screenFailure.isEmpty())
        throw platform::Failure(screenFailure);
    if (!countFailure.isEmpty())
        throw platform::Failure(countFailure);
    m_count = count;
    return first;
}

void ServerList::keepFirst(Table first)
{
    m_columns = std::move(first.columns);
    m_wholeNumbers = std::move(first.wholeNumbers);
    m_first = std::move(first.rows);
}

void ServerList::openFiltered(const Acquire& another)
{
    // A filter on a column outside the order makes the exact count and the first screen two reads of the whole
    // table, of about the same length: they run side by side, on two connections that share one snapshot.
    double countMs = 0;
    keepFirst(countBeside(another, m_statements.firstScreen, countMs, false));
}

void ServerList::openPicked(const Acquire& another)
{
    // The count runs beside a walk of the order index's first stretch, which is the first screen whenever the
    // matches are not rare: a screenful of them within the stretch, or every match there is (none included).
    double countMs = 0;
    Table bounded = countBeside(another, m_statements.boundedScreen, countMs, true);
    const int shown = static_cast<int>(bounded.rows.size());
    if (shown == pageSize || shown == m_count) {
        keepFirst(std::move(bounded));
        return;
    }
    const double total = m_connection->single(m_statements.total).toDouble();
    // Walking the order index passes about total / count entries for each row of the screen, each a fraction
    // of reading a matching row whole; sorting reads every match again, as the count just did, and compares it
    // with the screen's last row. The planner guesses how many rows a part of a word matches from a sample and
    // often misses by a hundred times; here the count is exact, and its time measured.
    constexpr double walkedEntryMs = 0.001;
    constexpr double sortedMatchMs = 0.0003;
    const double walkedMs = double(pageSize) * std::max(total, double(m_count)) / m_count * walkedEntryMs;
    const double sortedMs = countMs + m_count * sortedMatchMs;
    if (walkedMs < sortedMs) {
        // Kept to the order index for this one statement: the planner's own guess is what is overruled.
        std::vector<Table> answers = m_connection->pipeline({{QStringLiteral("SET LOCAL enable_bitmapscan = off"), {}},
                                                             {QStringLiteral("SET LOCAL enable_seqscan = off"), {}},
                                                             {m_statements.walkedScreen, m_statements.values},
                                                             {QStringLiteral("RESET enable_bitmapscan"), {}},
                                                             {QStringLiteral("RESET enable_seqscan"), {}}});
        keepFirst(std::move(answers.at(2)));
    } else {
        std::vector<std::pair<QString, std::vector<Value>>> statements;
        for (const QString& setting : m_statements.indexedOnly)
            statements.push_back({setting, {}});
        statements.push_back({m_statements.sortedScreen, m_statements.values});
        for (const QString& setting : m_statements.indexedOnly)
            statements.push_back({QStringLiteral("RESET ") + setting.section(QLatin1Char(' '), 2, 2), {}});
        std::vector<Table> answers = m_connection->pipeline(statements);
        keepFirst(std::move(answers.at(m_statements.indexedOnly.size())));
    }
}

ServerList::~ServerList()
{
    // A read under way is stopped; the snapshot ends without waiting for the server's answer, so that dropping
    // a list (at every keystroke of a search) never holds up the window.
    if (m_reader)
        m_reader->close();
}

void ServerList::stopThrough(Stopper::Signal signal)
{
    m_reader->stopThrough(std::move(signal));
}

void ServerList::setWhenRead(std::function<void(int first, int last)> whenRead)
{
    m_reader->setWhenRead(std::move(whenRead));
}

void ServerList::waitUntilRead() const
{
    m_reader->waitUntilIdle();
}

QVariant ServerList::valueOf(const Row* row, int column) const
{
    if (!row || static_cast<std::size_t>(column) >= row->size())
        return {};
    // A screen is kept as the server's texts; a cell becomes a value only when it is read, which for a text
    // shares the kept one.
    const Value& text = (*row)[static_cast<std::size_t>(column)];
    if (!text)
        return {};
    if (m_wholeNumbers[static_cast<std::size_t>(column)])
        return QVariant(text->toLongLong());
    return QVariant(*text);
}

QVariant ServerList::value(int row, int column) const
{
    if (row < 0 || row >= m_count || column < 0 || column >= m_columns.size())
        return {};
    return valueOf(m_reader->rowWaiting(row), column);
}

std::optional<QVariant> ServerList::shownValue(int row, int column) const
{
    if (row < 0 || row >= m_count || column < 0 || column >= m_columns.size())
        return QVariant();
    const Row* read = m_reader->rowIfRead(row);
    if (!read) {
        m_reader->request(row);
        return std::nullopt;
    }
    return valueOf(read, column);
}

} // namespace server
