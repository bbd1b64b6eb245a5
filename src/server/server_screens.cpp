// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_screens.h"

#include "platform/failure.h"

#include <algorithm>
#include <thread>

namespace server {

namespace {

constexpr std::size_t cachedPages = 48;
// Pages read together for one request: more than a screen of the tallest window.
constexpr int pagesAtOnce = 4;

// Readers whose worker still runs, waited for when the program ends its session.
std::mutex runningMutex;
std::condition_variable runningChanged;
int running = 0;

QString numbered(int first, int count)
{
    QStringList placeholders;
    for (int i = 0; i < count; ++i)
        placeholders << QLatin1Char('$') + QString::number(first + i);
    return placeholders.join(QStringLiteral(", "));
}

} // namespace

void waitForScreenReaders()
{
    std::unique_lock<std::mutex> lock(runningMutex);
    runningChanged.wait(lock, [] { return running == 0; });
}

std::shared_ptr<ScreenReader> ScreenReader::start(std::unique_ptr<Connection> connection, Shape shape, int count,
                                                  const QStringList& columns, std::vector<Row> firstScreen,
                                                  Release release)
{
    return std::make_shared<ScreenReader>(std::move(connection), std::move(shape), count, columns,
                                          std::move(firstScreen), std::move(release));
}

ScreenReader::ScreenReader(std::unique_ptr<Connection> connection, Shape shape, int count, const QStringList& columns,
                           std::vector<Row> firstScreen, Release release)
    : m_connection(std::move(connection)), m_release(std::move(release)), m_shape(std::move(shape)), m_count(count)
{
    // The row identity comes first in every row, under the name the windows read.
    for (int i = 0; i + 1 < m_shape.keys.size(); ++i) {
        const qsizetype at = columns.indexOf(m_shape.keys.at(i).toLower());
        if (at < 0) {
            m_keyColumns.clear();
            break;
        }
        m_keyColumns.push_back(static_cast<int>(at));
    }
    if (m_keyColumns.size() + 1 == static_cast<std::size_t>(m_shape.keys.size()))
        m_keyColumns.push_back(0);
    else
        m_keyColumns.clear();
    keep(0, 0, std::move(firstScreen));
}

ScreenReader::~ScreenReader()
{
    // Never started: the connection goes back from here (a started worker gives it back itself).
    finish();
}

void ScreenReader::finish()
{
    if (!m_connection)
        return;
    const bool clean = m_connection->stopWith(nullptr);
    const bool reusable = m_reusable && clean && !m_connection->broken();
    // The snapshot ends without waiting for the answer: the next list on the connection takes it.
    if (reusable)
        m_connection->rollbackWithoutWaiting();
    m_release(std::move(m_connection), reusable);
}

void ScreenReader::stopThrough(Stopper::Signal signal)
{
    m_stopper->signalThrough(std::move(signal));
}

void ScreenReader::setWhenRead(WhenRead whenRead)
{
    const std::lock_guard<std::mutex> lock(m_telling);
    m_whenRead = std::move(whenRead);
}

void ScreenReader::close()
{
    {
        // Once this returns the window hears nothing more of the list.
        const std::lock_guard<std::mutex> telling(m_telling);
        m_whenRead = nullptr;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_started || m_closing)
        return;
    m_closing = true;
    if (!m_ended) {
        m_counted = true;
        const std::lock_guard<std::mutex> count(runningMutex);
        ++running;
    }
    const bool busy = m_reading.first >= 0;
    m_changed.notify_all();
    lock.unlock();
    // A read under way is stopped at the server from a thread of its own: the window does not wait for the
    // network, and the worker gives the connection back when its statement has ended.
    if (busy)
        std::thread([stopper = m_stopper] { stopper->stop(); }).detach();
}

const Row* ScreenReader::cached(int row) const
{
    const auto found = m_pages.find(row / pageSize);
    if (found == m_pages.end())
        return nullptr;
    const auto offset = static_cast<std::size_t>(row % pageSize);
    static const Row none;
    // A screen that came short (rows the count promised that the snapshot does not hold) shows nothing there.
    return offset < found->second.size() ? &found->second[offset] : &none;
}

const Row* ScreenReader::rowIfRead(int row) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    // Rows read before a failure stay shown; the others say why they cannot be.
    const Row* found = cached(row);
    if (!found && !m_failure.isEmpty())
        throw platform::Failure(m_failure);
    return found;
}

void ScreenReader::request(int row)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const int page = row / pageSize;
    if (m_closing || !m_failure.isEmpty() || m_pages.count(page) ||
        (page >= m_reading.first && page <= m_reading.second))
        return;
    // Rows asked for together (one screen painted) are read together; a place far from them replaces them.
    if (m_wanted && row >= m_wanted->first - pageSize * pagesAtOnce && row <= m_wanted->second + pageSize * pagesAtOnce)
        m_wanted = std::pair{std::min(m_wanted->first, row), std::max(m_wanted->second, row)};
    else
        m_wanted = std::pair{row, row};
    startWorker(lock);
    m_changed.notify_all();
}

const Row* ScreenReader::rowWaiting(int row)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (const Row* found = cached(row)) {
            // Touched: the most recently used pages stay.
            m_recent.remove(row / pageSize);
            m_recent.push_front(row / pageSize);
            return found;
        }
        if (!m_failure.isEmpty())
            throw platform::Failure(m_failure);
        if (m_closing)
            throw platform::Failure(QStringLiteral("Operation is not allowed when the object is closed."));
        m_urgent = row / pageSize;
        startWorker(lock);
        m_changed.notify_all();
        m_changed.wait(lock);
    }
}

void ScreenReader::waitUntilIdle()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] {
        return !m_started || m_ended || (!m_wanted && !m_urgent && m_reading.first < 0) || !m_failure.isEmpty();
    });
}

void ScreenReader::startWorker(std::unique_lock<std::mutex>&)
{
    if (m_started)
        return;
    m_started = true;
    // The connection's statements from now on are the reader's: stopped with it, and no other work's.
    m_reusable = m_connection->stopWith(m_stopper);
    // The worker holds the reader until it has given the connection back, however soon the list is dropped.
    std::thread([self = shared_from_this()] { self->run(); }).detach();
}

void ScreenReader::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_closing || m_urgent || m_wanted; });
        if (m_closing || !m_failure.isEmpty())
            break;
        int firstPage, lastPage;
        if (m_urgent) {
            // Someone reads the list in order (printing, copying): the pages after it come in the same trip.
            firstPage = *m_urgent;
            lastPage = std::min(firstPage + pagesAtOnce - 1, std::max(m_count - 1, 0) / pageSize);
            m_urgent.reset();
        } else {
            firstPage = m_wanted->first / pageSize;
            lastPage = std::min(m_wanted->second / pageSize, firstPage + pagesAtOnce - 1);
            m_wanted.reset();
        }
        while (firstPage <= lastPage && m_pages.count(firstPage))
            ++firstPage;
        while (lastPage >= firstPage && m_pages.count(lastPage))
            --lastPage;
        if (firstPage > lastPage) {
            m_changed.notify_all();
            continue;
        }
        m_reading = {firstPage, lastPage};
        const int first = firstPage * pageSize;
        const int length = std::min(m_count, (lastPage + 1) * pageSize) - first;
        lock.unlock();
        std::vector<Row> rows;
        QString failure;
        try {
            rows = read(first, length);
        } catch (const platform::Failure& error) {
            failure = error.text();
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
        lock.lock();
        m_reading = {-1, -1};
        if (m_closing)
            break;
        // A statement that failed ended the snapshot with it: the list reads no more, and says why wherever
        // it is read.
        if (!failure.isEmpty())
            m_failure = failure;
        else
            keep(firstPage, lastPage, std::move(rows));
        m_changed.notify_all();
        const bool failed = !m_failure.isEmpty();
        lock.unlock();
        // Told outside the lock: the news wakes the window, which must not find the rows still locked.
        {
            const std::lock_guard<std::mutex> telling(m_telling);
            if (m_whenRead)
                m_whenRead(first, first + length - 1);
        }
        lock.lock();
        if (failed)
            break;
    }
    m_ended = true;
    m_changed.notify_all();
    const bool counted = m_counted;
    lock.unlock();
    finish();
    if (counted) {
        const std::lock_guard<std::mutex> count(runningMutex);
        --running;
        runningChanged.notify_all();
    }
}

void ScreenReader::keep(int firstPage, int lastPage, std::vector<Row> rows)
{
    const int first = firstPage * pageSize;
    keepAnchors(first, rows);
    // Every page read is kept, one that came short or empty too: it is not asked for again.
    for (int page = firstPage; page <= lastPage; ++page) {
        const auto from = std::min(rows.size(), static_cast<std::size_t>((page - firstPage) * pageSize));
        const auto to = std::min(rows.size(), from + pageSize);
        std::vector<Row> part(std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(from)),
                              std::make_move_iterator(rows.begin() + static_cast<std::ptrdiff_t>(to)));
        if (!m_pages.count(page) && m_pages.size() >= cachedPages) {
            m_pages.erase(m_recent.back());
            m_recent.pop_back();
        }
        m_recent.remove(page);
        m_recent.push_front(page);
        m_pages[page] = std::move(part);
    }
}

std::optional<Row> ScreenReader::keysOf(const Row& row) const
{
    if (m_keyColumns.empty())
        return std::nullopt;
    Row keys;
    for (const int column : m_keyColumns) {
        // A row whose order holds a null is no place to seek to: the comparison cannot say where it lies.
        if (static_cast<std::size_t>(column) >= row.size() || !row[static_cast<std::size_t>(column)])
            return std::nullopt;
        keys.push_back(row[static_cast<std::size_t>(column)]);
    }
    return keys;
}

void ScreenReader::keepAnchors(int first, const std::vector<Row>& rows)
{
    // One known place a page is enough to seek to any row near it.
    for (std::size_t at = 0; at < rows.size(); at += pageSize) {
        for (std::size_t next = at; next < rows.size() && next < at + pageSize; ++next) {
            if (std::optional<Row> keys = keysOf(rows[next])) {
                m_anchors[first + static_cast<int>(next)] = std::move(*keys);
                break;
            }
        }
    }
}

std::optional<ScreenReader::Known> ScreenReader::knownBefore(int place) const
{
    auto found = m_anchors.upper_bound(place);
    if (found == m_anchors.begin())
        return std::nullopt;
    --found;
    return Known{found->first, found->second};
}

std::vector<Row> ScreenReader::read(int first, int length)
{
    // The screen's rows are picked by their identities alone, walking the order index from the nearest known
    // place: from a row read before, entered at its keys ("(keys) >= (its keys)", a seek), or from either end.
    // The walk reads the index only (the visibility map permitting), about 0.1 µs an entry; only the screen's
    // rows are then read whole. Measured at 1,000,000 rows: the middle of a whole table 58 ms that way, where a
    // cursor moved there (or an OFFSET reading whole rows) took 0.7-1.1 s.
    std::optional<Known> known;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        known = knownBefore(first);
    }
    const int fromEnd = m_count - (first + length);
    std::vector<Value> values = m_shape.values;
    QStringList conditions;
    if (!m_shape.filter.isEmpty())
        conditions << m_shape.filter;
    QString order = m_shape.order;
    int skip = first;
    if (known && first - known->place <= std::min(first, fromEnd)) {
        conditions << QStringLiteral("(%1) >= (%2)")
                          .arg(m_shape.keys.join(QStringLiteral(", ")),
                               numbered(static_cast<int>(values.size()) + 1, static_cast<int>(known->keys.size())));
        values.insert(values.end(), known->keys.begin(), known->keys.end());
        skip = first - known->place;
    } else if (fromEnd < first) {
        order = m_shape.reversed;
        skip = fromEnd;
    }
    values.emplace_back(QString::number(skip));
    values.emplace_back(QString::number(length));
    const QString where =
        conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    const QString picked = QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 OFFSET $%5 LIMIT $%6")
                               .arg(m_shape.keys.last(), m_shape.table, where, order)
                               .arg(values.size() - 1)
                               .arg(values.size());
    return m_connection->run(QStringLiteral("%1 WHERE %2 = ANY (ARRAY (%3)) ORDER BY %4")
                                 .arg(m_shape.select, m_shape.keys.last(), picked, m_shape.order),
                             values);
}

} // namespace server
