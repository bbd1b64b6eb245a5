// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "catalogue_tool/tool_support.h"
#include "server/connection.h"
#include "store/schema.h"
#include "support/postgres_server.h"

#include <sqlite3.h>

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

// Values a user may type, each of which breaks a statement that pastes it.
inline const QStringList hostile = {
    QStringLiteral("O'Brien \"Idéző\" dala"), QStringLiteral("100% _tiszta_ \\ per"),
    QStringLiteral("ŐSZI LEVÉL űrhajó"),      QStringLiteral("sor\nvége\ttabbal; DROP TABLE games; --"),
    QStringLiteral("$1 :name ? 🎵"),
};

inline void execute(sqlite3* db, const char* sql, const std::vector<std::optional<QString>>& values = {})
{
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i]) {
            const QByteArray text = values[i]->toUtf8();
            sqlite3_bind_text(statement, static_cast<int>(i) + 1, text.constData(), text.size(), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(statement, static_cast<int>(i) + 1);
        }
    }
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(statement);
}

// A catalogue file with hostile values in every table, nulls beside empty texts, and album keys with gaps.
inline QString hostileCatalogue(const QString& folder)
{
    const QString path = folder + QStringLiteral("/forrás katalógus.qvdb");
    store::createCatalogueFile(path);
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    for (int i = 0; i < hostile.size(); ++i) {
        const QString v = hostile.at(i);
        execute(db, "INSERT INTO eloado (ELOADO, ALBUM) VALUES (?, ?)", {v, QString::number(i)});
        execute(db, "INSERT INTO szamok VALUES (?, '00:03:10', ?, '', NULL, ?)",
                {v, i % 2 ? std::optional<QString>() : QString(), QString::number(i + 1)});
        execute(db, "INSERT INTO Valogatasok VALUES (?, ?, '', NULL, ?, 'K')", {v, v, QString()});
        execute(db, "INSERT INTO DVD_Filmek VALUES (?, NULL, '', '-', '1', '01:30:00', ?)", {v, v});
        execute(db, "INSERT INTO Filmek_videoklippek VALUES (?, ?, NULL, '', ?, NULL, '', ?, NULL)", {v, v, v, v});
        execute(db, "INSERT INTO games VALUES (?, NULL, ?, '')", {v, v});
        execute(db, "INSERT INTO progs_other VALUES (?, '', NULL, ?)", {v, v});
    }
    // Two equal rows are two rows; an album key with a gap before it.
    execute(db, "INSERT INTO games VALUES ('Egyforma', '', '', '')");
    execute(db, "INSERT INTO games VALUES ('Egyforma', '', '', '')");
    execute(db, "DELETE FROM szamok WHERE eloado_azonosito = 2");
    execute(db, "DELETE FROM eloado WHERE kod = 2");
    execute(db, "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Késői', '')");
    sqlite3_close(db);
    return path;
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
