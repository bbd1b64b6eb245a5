// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/kept_text.h"

#include "store/kept_order.h"
#include "store/row_identities.h"
#include "store/text_statement.h"
#include "store/text_stretch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

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

struct SharedTextReading::State
{
    QString table;
    QString column;
    QString pattern;
    std::mutex mutex;
    std::condition_variable changed;
    // Everything below is under mutex.
    bool known = false;            // the search has told its stretches, or ended before it could
    bool ended = false;            // no more stretches are taken
    bool shared = false;           // the helper may take part: set before known
    qint64 generation = 0;         // of the text the search reads
    std::vector<qint64> stretches; // in list order, written before known
    TextSearchProgress* progress = nullptr;
    std::size_t low = 0;                  // the next stretch from the start
    std::size_t high = 0;                 // the helper's last stretch taken
    std::size_t helperFrom = 0;           // the helper has read [helperFrom, end)
    bool reading = false;                 // the helper reads the stretch it took last
    RowIdentities later;                  // the helper's rows, held compact, its last stretch first
    std::vector<std::size_t> laterStarts; // where each of its stretches begins in later
};

SharedTextReading::SharedTextReading(const QString& table, const QString& column, const QString& pattern)
    : m_state(std::make_unique<State>())
{
    m_state->table = table;
    m_state->column = column;
    m_state->pattern = pattern;
}

SharedTextReading::~SharedTextReading() = default;

void SharedTextReading::end()
{
    {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->known = true;
        m_state->ended = true;
        // The search's progress may go with it; a helper that ends its stretch later counts nothing.
        m_state->progress = nullptr;
    }
    m_state->changed.notify_all();
}

void SharedTextReading::help(sqlite3* helper)
{
    State& s = *m_state;
    std::unique_lock<std::mutex> lock(s.mutex);
    const ListedTable* listedTable = engine::listedTable(s.table);
    if (s.ended || !listedTable)
        return;
    lock.unlock();
    // The helper makes itself ready (its snapshot, its statements) while the search reads which stretches there
    // are, and takes part only when it sees the same text.
    if (sqlite3_exec(helper, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return;
    try {
        if (keptTextServes(helper, s.table, s.column)) {
            const qint64 generation = textGeneration(helper);
            const text::Search search(s.pattern);
            StretchReader reader(helper, *listedTable, s.column.trimmed().toLower());
            std::vector<qint64> inStretch;
            lock.lock();
            s.changed.wait(lock, [&] { return s.known; });
            while (s.shared && generation == s.generation && !s.ended && s.high > s.low) {
                const std::size_t taken = --s.high;
                s.reading = true;
                lock.unlock();
                inStretch.clear();
                reader.read(s.stretches[taken], search, inStretch);
                lock.lock();
                s.laterStarts.push_back(s.later.size());
                s.later.append(inStretch);
                s.helperFrom = taken;
                s.reading = false;
                counted(s.progress);
                s.changed.notify_all();
            }
        }
    } catch (const platform::Failure&) {
    }
    if (!lock.owns_lock())
        lock.lock();
    // A stretch taken and not read goes back to the search.
    if (s.reading) {
        s.high = s.helperFrom;
        s.reading = false;
    }
    lock.unlock();
    s.changed.notify_all();
    sqlite3_exec(helper, "COMMIT", nullptr, nullptr, nullptr);
}

bool searchKeptText(sqlite3* db, SharedTextReading* sharing, const QString& table, const QString& column,
                    const QString& pattern, const FoundRows& found, const std::function<bool()>& stop,
                    TextSearchProgress* progress)
{
    const ListedTable* listedTable = engine::listedTable(table);
    if (!listedTable)
        throw platform::Failure(QStringLiteral("no kept text for %1").arg(table));
    const QString kept = column.trimmed().toLower();
    const text::Search search(pattern);

    // The stretches are shared as they are read: this connection takes them from the start, in order, and hands
    // on their rows at once; the helper, when it sees the same text, takes them from the end.
    std::optional<SharedTextReading> alone;
    if (!sharing)
        sharing = &alone.emplace(table, column, pattern);
    SharedTextReading::State& s = *sharing->m_state;
    // However the search ends, the helper stops: one waiting for the stretches is let go.
    struct End
    {
        SharedTextReading& reading;
        ~End() { reading.end(); }
    } end{*sharing};
    const bool helped = !alone;
    const qint64 generation = helped ? textGeneration(db) : 0;
    std::vector<qint64> stretches;
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
        const std::lock_guard<std::mutex> lock(s.mutex);
        s.stretches = std::move(stretches);
        s.generation = generation;
        s.progress = progress;
        s.shared = helped && s.stretches.size() >= 8;
        // Room for the later half's rows, as many as its stretches are cut to hold: they are copied once at most
        // while they grow (when nearly every row is found).
        if (s.shared)
            s.later.reserve((s.stretches.size() - s.stretches.size() / 2) * 1024);
        s.low = 0;
        s.high = s.stretches.size();
        s.helperFrom = s.stretches.size();
        s.known = true;
    }
    s.changed.notify_all();
    StretchReader reader(db, *listedTable, kept);
    std::vector<qint64> identities;
    const auto next = [&](std::size_t& taken) {
        std::unique_lock<std::mutex> lock(s.mutex);
        for (;;) {
            if (s.low < s.high) {
                taken = s.low++;
                return true;
            }
            // The helper's last stretch may fail it: once it is read or given back, what is left is read here.
            if (!s.reading) {
                s.ended = true;
                return false;
            }
            s.changed.wait(lock);
        }
    };
    for (;;) {
        std::size_t taken;
        if (!next(taken))
            break;
        if (stop())
            return false;
        identities.clear();
        reader.read(s.stretches[taken], search, identities);
        counted(progress);
        if (!identities.empty())
            found(identities);
    }
    if (stop())
        return false;
    // The helper's rows follow, its stretches in list order, a screenful at a time so that they are never held
    // twice at 8 bytes each. It has ended: nothing writes them now.
    std::vector<qint64> part;
    for (std::size_t k = s.laterStarts.size(); k-- > 0;) {
        const std::size_t last = k + 1 < s.laterStarts.size() ? s.laterStarts[k + 1] : s.later.size();
        for (std::size_t first = s.laterStarts[k]; first < last; first += 4096) {
            part = s.later.slice(first, std::min<std::size_t>(4096, last - first));
            found(part);
        }
    }
    return true;
}

} // namespace store
