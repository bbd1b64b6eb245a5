#pragma once

#include "catalogue_tool/tool_support.h"
#include "server/connection.h"
#include "support/postgres_server.h"

#include <optional>
#include <vector>

// Rows of both engines in one form, so that a file and a server catalogue compare row by row: a null stays
// distinct from an empty text.

namespace server_test {

using Rows = std::vector<server::Row>;

inline Rows fileRows(const QString& path, const QString& sql)
{
    Rows rows;
    for (const QVariantList& row : tool_test::queryRows(path, sql)) {
        server::Row converted;
        for (const QVariant& value : row)
            converted.push_back(value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt);
        rows.push_back(converted);
    }
    return rows;
}

inline std::string shown(const Rows& rows)
{
    std::string text;
    for (const server::Row& row : rows) {
        for (const server::Value& value : row)
            text += value ? "'" + value->toStdString() + "' " : "NULL ";
        text += "\n";
    }
    return text;
}

} // namespace server_test
