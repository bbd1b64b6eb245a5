// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <string>

namespace bench {

// The physical limit of a containment search: one column's values, loaded once into memory and folded with the
// program's own case folding, and a plain loop that counts the values containing the folded text.
class FoldedColumn
{
public:
    FoldedColumn(const QString& catalogue, const QString& table, const QString& column);

    // The values that contain text, folded as the search folds it.
    int countContaining(const QString& text) const;
    // The column's folded values, in bytes (what the pass reads).
    std::size_t bytes() const { return m_text.size(); }

private:
    std::string m_text; // every folded value, each ended by a zero byte
    int m_values = 0;
};

} // namespace bench
