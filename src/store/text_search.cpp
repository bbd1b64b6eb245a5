// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/kept_text.h"

#include "store/kept_order.h"
#include "store/row_identities.h"
#include "store/text_statement.h"
#include "store/worker_priority.h"
#include "store/text_stretch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace store {

namespace {

using text::Prepared;
using text::stretchesOf;
using text::textOf;

// The text of one column read stretch by stretch, each stretch's matching rows given as identities.
class StretchReader
{
public:
    StretchReader(sqlite3* db, const ListedTable& table, const QString& column)
        : m_text(db, QStringLiteral("SELECT text FROM %1 WHERE col = ? AND stretch = ?").arg(textOf(table))),
          m_rows(db, QStringLiteral("SELECT rows FROM %1 WHERE stretch = ?").arg(stretchesOf(table))),
          m_table(table.table)
    {
        m_text.bindText(1, column);
    }

    void read(qint64 stretch, const text::Search& search, std::vector<qint64>& identities)
    {
        sqlite3_bind_int64(m_text.get(), 2, stretch);
        const bool there = m_text.step();
        const auto* text = there ? static_cast<const unsigned char*>(sqlite3_column_blob(m_text.get(), 0)) : nullptr;
        const bool whole = text && search.matches(text, sqlite3_column_bytes(m_text.get(), 0), m_places);
        sqlite3_reset(m_text.get());
        if (!whole)
            damaged();
        if (m_places.empty())
            return;
        sqlite3_bind_int64(m_rows.get(), 1, stretch);
        if (!m_rows.step())
            damaged();
        const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(m_rows.get(), 0));
        const int length = sqlite3_column_bytes(m_rows.get(), 0);
        const std::size_t before = identities.size();
        identities.resize(before + m_places.size());
        if (!text::identitiesAt(blob, length, m_places, identities.data() + before))
            damaged();
        sqlite3_reset(m_rows.get());
    }

private:
    [[noreturn]] void damaged() const
    {
        throw platform::Failure(QStringLiteral("the kept search text of %1 is damaged").arg(m_table));
    }

    Prepared m_text;
    Prepared m_rows;
    QString m_table;
    std::vector<int> m_places;
};

void counted(TextSearchProgress* progress)
{
    if (progress)
        progress->read.fetch_add(1, std::memory_order_relaxed);
}

qint64 textGeneration(sqlite3* db)
{
    Prepared generation(db, QStringLiteral("SELECT value FROM %1 WHERE name = 'text_generation'").arg(stateTable));
    return generation.step() ? sqlite3_column_int64(generation.get(), 0) : 0;
}

} // namespace

void noteTextChanged(sqlite3* db)
{
    text::execute(db, QStringLiteral("INSERT INTO %1 (name, value) VALUES ('text_generation', 1) ON CONFLICT (name) DO "
                                     "UPDATE SET value = value + 1")
                          .arg(stateTable));
}

bool searchKeptText(sqlite3* db, sqlite3* helper, const QString& table, const QString& column, const QString& pattern,
                    const FoundRows& found, const std::function<bool()>& stop, TextSearchProgress* progress)
{
    const ListedTable* listedTable = engine::listedTable(table);
    if (!listedTable)
        throw platform::Failure(QStringLiteral("no kept text for %1").arg(table));
    const QString kept = column.trimmed().toLower();
    const text::Search search(pattern);

    // The stretches are shared as they are read: this connection takes them from the start, in order, and hands
    // on their rows at once; the helper, when it sees the same text, takes them from the end. Whichever is quicker
    // reads more, and the two meet where they meet. The helper makes itself ready (its snapshot, its statements)
    // while this connection reads which stretches there are.
    std::mutex sharing;
    std::condition_variable listed;       // told once the stretches are known, or the search ends
    bool known = false;                   // under sharing
    bool shared = false;                  // the helper takes part: set before known
    std::vector<qint64> stretches;        // in list order, written before known
    std::size_t low = 0;                  // the next stretch from the start, under sharing
    std::size_t high = 0;                 // the helper's last stretch taken, under sharing
    std::size_t helperFrom = 0;           // the helper has read [helperFrom, end), under sharing
    RowIdentities later;                  // the helper's rows, held compact, its last stretch first
    std::vector<std::size_t> laterStarts; // where each of its stretches begins in later
    std::atomic<bool> stopped{false};
    std::thread second;
    if (helper) {
        // Taken by value: the thread outlives this block.
        const qint64 generation = textGeneration(db);
        second = std::thread([&, generation] {
            giveWayToTheWindow();
            if (sqlite3_exec(helper, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
                return;
            bool took = false;
            try {
                if (keptTextServes(helper, table, column) && textGeneration(helper) == generation) {
                    StretchReader reader(helper, *listedTable, kept);
                    {
                        std::unique_lock<std::mutex> lock(sharing);
                        listed.wait(lock, [&] { return known || stopped.load(); });
                    }
                    std::vector<qint64> inStretch;
                    while (shared && !stopped.load()) {
                        std::size_t taken;
                        {
                            const std::lock_guard<std::mutex> lock(sharing);
                            if (high <= low)
                                break;
                            taken = --high;
                            took = true;
                        }
                        inStretch.clear();
                        reader.read(stretches[taken], search, inStretch);
                        const std::lock_guard<std::mutex> lock(sharing);
                        laterStarts.push_back(later.size());
                        later.append(inStretch);
                        helperFrom = taken;
                        counted(progress);
                    }
                }
            } catch (const platform::Failure&) {
            }
            sqlite3_exec(helper, "COMMIT", nullptr, nullptr, nullptr);
            // A stretch taken and not read goes back to this connection.
            const std::lock_guard<std::mutex> lock(sharing);
            if (took)
                high = helperFrom;
        });
    }
    struct Join
    {
        std::thread& thread;
        std::atomic<bool>& stopped;
        std::mutex& sharing;
        std::condition_variable& listed;
        ~Join()
        {
            {
                const std::lock_guard<std::mutex> lock(sharing);
                stopped = true;
            }
            listed.notify_all();
            if (thread.joinable())
                thread.join();
        }
    } join{second, stopped, sharing, listed};
    {
        // The stretches in list order, read from their index alone.
        Prepared inOrder(db, QStringLiteral("SELECT stretch FROM %1 ORDER BY first").arg(stretchesOf(*listedTable)));
        while (inOrder.step())
            stretches.push_back(sqlite3_column_int64(inOrder.get(), 0));
    }
    if (progress) {
        progress->startedAt.store(std::chrono::steady_clock::now().time_since_epoch().count());
        progress->stretches.store(stretches.size());
    }
    {
        const std::lock_guard<std::mutex> lock(sharing);
        shared = stretches.size() >= 8;
        // Room for the later half's rows, as many as its stretches are cut to hold: they are copied once at most
        // while they grow (when nearly every row is found).
        if (shared)
            later.reserve((stretches.size() - stretches.size() / 2) * 1024);
        high = stretches.size();
        helperFrom = stretches.size();
        known = true;
    }
    listed.notify_all();
    StretchReader reader(db, *listedTable, kept);
    std::vector<qint64> identities;
    const auto next = [&](std::size_t& taken) {
        const std::lock_guard<std::mutex> lock(sharing);
        if (low >= high)
            return false;
        taken = low++;
        return true;
    };
    for (;;) {
        std::size_t taken;
        if (!next(taken)) {
            if (!second.joinable())
                break;
            // The helper's last stretch may have failed it: once it has ended, what it left is read here.
            second.join();
            continue;
        }
        if (stop())
            return false;
        identities.clear();
        reader.read(stretches[taken], search, identities);
        counted(progress);
        if (!identities.empty())
            found(identities);
    }
    if (stop())
        return false;
    // The helper's rows follow, its stretches in list order, a screenful at a time so that they are never held
    // twice at 8 bytes each.
    std::vector<qint64> part;
    for (std::size_t k = laterStarts.size(); k-- > 0;) {
        const std::size_t end = k + 1 < laterStarts.size() ? laterStarts[k + 1] : later.size();
        for (std::size_t first = laterStarts[k]; first < end; first += 4096) {
            part = later.slice(first, std::min<std::size_t>(4096, end - first));
            found(part);
        }
    }
    return true;
}

} // namespace store
