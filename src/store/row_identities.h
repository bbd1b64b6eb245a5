// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QtGlobal>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace store {

// The identities of a list's rows, in the list's order. A search of a million rows finds hundreds of thousands of
// them; while every identity fits in 32 bits (a table's row numbers do, up to four thousand million) they are
// held in 4 bytes each instead of 8. The first identity that does not fit widens them all, once.
class RowIdentities
{
public:
    RowIdentities() = default;
    explicit RowIdentities(const std::vector<qint64>& identities) { append(identities.begin(), identities.end()); }

    std::size_t size() const { return m_wide ? m_wideIdentities.size() : m_narrow.size(); }
    bool empty() const { return size() == 0; }
    bool wide() const { return m_wide; }
    qint64 at(std::size_t place) const { return m_wide ? m_wideIdentities[place] : m_narrow[place]; }

    // Room for this many: only what is written of it takes memory, and nothing is copied while it fills.
    void reserve(std::size_t count)
    {
        if (m_wide)
            m_wideIdentities.reserve(count);
        else
            m_narrow.reserve(count);
    }

    template <typename Iterator> void append(Iterator first, Iterator last)
    {
        for (; first != last; ++first)
            push_back(*first);
    }
    // A stretch's rows are appended in one pass rather than one by one.
    void append(const std::vector<qint64>& identities)
    {
        if (identities.empty())
            return;
        if (!m_wide) {
            const auto [least, most] = std::minmax_element(identities.begin(), identities.end());
            if (*least >= 0 && *most <= static_cast<qint64>(UINT32_MAX)) {
                m_narrow.insert(m_narrow.end(), identities.begin(), identities.end());
                return;
            }
            widen();
        }
        m_wideIdentities.insert(m_wideIdentities.end(), identities.begin(), identities.end());
    }
    void append(const RowIdentities& identities)
    {
        for (std::size_t i = 0; i < identities.size(); ++i)
            push_back(identities.at(i));
    }

    void push_back(qint64 identity)
    {
        if (!m_wide && (identity < 0 || identity > static_cast<qint64>(UINT32_MAX)))
            widen();
        if (m_wide)
            m_wideIdentities.push_back(identity);
        else
            m_narrow.push_back(static_cast<std::uint32_t>(identity));
    }

    // The identities from first on, at most count of them.
    std::vector<qint64> slice(std::size_t first, std::size_t count) const
    {
        std::vector<qint64> part;
        const std::size_t last = first + std::min(count, size() - std::min(first, size()));
        if (first >= last)
            return part;
        const auto from = static_cast<std::ptrdiff_t>(first);
        const auto to = static_cast<std::ptrdiff_t>(last);
        if (m_wide)
            part.assign(m_wideIdentities.begin() + from, m_wideIdentities.begin() + to);
        else
            part.assign(m_narrow.begin() + from, m_narrow.begin() + to);
        return part;
    }

private:
    void widen()
    {
        m_wideIdentities.reserve(std::max(m_narrow.capacity(), m_narrow.size() + 1));
        m_wideIdentities.assign(m_narrow.begin(), m_narrow.end());
        m_narrow = std::vector<std::uint32_t>();
        m_wide = true;
    }

    bool m_wide = false;
    std::vector<std::uint32_t> m_narrow;
    std::vector<qint64> m_wideIdentities;
};

} // namespace store
