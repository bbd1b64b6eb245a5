// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/folded_column.h"

#include "hungarian/hungarian.h"

#include <QList>

#include <cstring>
#include <sqlite3.h>
#include <stdexcept>

namespace bench {

namespace {

std::string folded(const QString& text)
{
    return hungarian::foldedPrefix(text, static_cast<int>(text.toUcs4().size())).value_or(QString()).toStdString();
}

} // namespace

FoldedColumn::FoldedColumn(const QString& catalogue, const QString& table, const QString& column)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(catalogue.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + catalogue.toStdString());
    }
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 WHERE %1 IS NOT NULL").arg(column, table).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot read " + sql.toStdString());
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        m_text += folded(QString::fromUtf8(text, sqlite3_column_bytes(statement, 0)));
        m_text.push_back('\0');
        ++m_values;
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

int FoldedColumn::countContaining(const QString& text) const
{
    const std::string needle = folded(text);
    if (needle.empty())
        return m_values;
    // One search along the whole text: after a find, the rest of that value is skipped. The zero byte that ends
    // each value is no part of any folded text, so a find never spans two values.
    int found = 0;
    const char* at = m_text.data();
    const char* const end = m_text.data() + m_text.size();
    while (at < end) {
        const auto* hit =
            static_cast<const char*>(memmem(at, static_cast<std::size_t>(end - at), needle.data(), needle.size()));
        if (!hit)
            break;
        ++found;
        at = static_cast<const char*>(memchr(hit, '\0', static_cast<std::size_t>(end - hit))) + 1;
    }
    return found;
}

} // namespace bench
