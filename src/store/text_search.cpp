// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/kept_text.h"

#include "store/kept_order.h"
#include "store/row_identities.h"
#include "store/text_statement.h"
#include "store/worker_priority.h"
#include "store/text_stretch.h"

#include <atomic>
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
        for (const int place : m_places) {
            qint64 identity;
            if (!text::identityAt(blob, length, place, identity))
                damaged();
            identities.push_back(identity);
        }
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
                    const FoundRows& found, const std::function<bool()>& stop, std::atomic<std::size_t>* steps)
{
    const ListedTable* listedTable = engine::listedTable(table);
    if (!listedTable)
        throw platform::Failure(QStringLiteral("no kept text for %1").arg(table));
    const QString kept = column.trimmed().toLower();
    const text::Search search(pattern);
    std::vector<qint64> stretches;
    std::vector<qint64> sizes; // of each stretch's identities, in bytes (read without reading them)
    {
        Prepared inOrder(
            db, QStringLiteral("SELECT stretch, length(rows) FROM %1 ORDER BY first").arg(stretchesOf(*listedTable)));
        while (inOrder.step()) {
            stretches.push_back(sqlite3_column_int64(inOrder.get(), 0));
            sizes.push_back(sqlite3_column_int64(inOrder.get(), 1));
        }
    }
    // The later half is read on the helper connection at the same time, when it sees the same text.
    const std::size_t half = helper && stretches.size() >= 8 ? stretches.size() / 2 : stretches.size();
    if (steps) // stop is asked before each stretch of the first half, and once after a later half
        steps->store(half < stretches.size() ? half + 1 : half, std::memory_order_relaxed);
    RowIdentities later; // held compact: a letter found in most rows finds half the table here
    if (half < stretches.size()) {
        // Room for every row of the later half, so that it is never copied while it grows.
        qint64 bytes = 0;
        for (std::size_t i = half; i < stretches.size(); ++i)
            bytes += sizes[i];
        later.reserve(static_cast<std::size_t>(bytes / 4));
    }
    bool laterRead = false;
    std::atomic<bool> stopped{false};
    std::thread second;
    if (half < stretches.size()) {
        const qint64 generation = textGeneration(db);
        second = std::thread([&] {
            giveWayToTheWindow();
            if (sqlite3_exec(helper, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
                return;
            try {
                if (keptTextServes(helper, table, column) && textGeneration(helper) == generation) {
                    StretchReader reader(helper, *listedTable, kept);
                    std::vector<qint64> inStretch;
                    for (std::size_t i = half; i < stretches.size() && !stopped.load(); ++i) {
                        inStretch.clear();
                        reader.read(stretches[i], search, inStretch);
                        later.append(inStretch);
                    }
                    laterRead = !stopped.load();
                }
            } catch (const platform::Failure&) {
            }
            sqlite3_exec(helper, "COMMIT", nullptr, nullptr, nullptr);
        });
    }
    struct Join
    {
        std::thread& thread;
        std::atomic<bool>& stopped;
        ~Join()
        {
            stopped = true;
            if (thread.joinable())
                thread.join();
        }
    } join{second, stopped};
    StretchReader reader(db, *listedTable, kept);
    std::vector<qint64> identities;
    const auto read = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            if (stop())
                return false;
            identities.clear();
            reader.read(stretches[i], search, identities);
            if (!identities.empty())
                found(identities);
        }
        return true;
    };
    if (!read(0, half))
        return false;
    if (second.joinable())
        second.join();
    if (!laterRead)
        return read(half, stretches.size());
    if (stop())
        return false;
    // Handed on a screenful at a time, so that the rows are never held twice at 8 bytes each.
    std::vector<qint64> part;
    for (std::size_t first = 0; first < later.size(); first += 4096) {
        part = later.slice(first, 4096);
        found(part);
    }
    return true;
}

} // namespace store
