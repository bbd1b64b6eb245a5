// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>
#include <gtest/gtest.h>
#include <sqlite3.h>

// Every row of a query run through the bare engine, as any other program reads a catalogue; each row is its
// values joined with "|". A statement the engine refuses is a test failure.
inline QStringList bareRows(sqlite3* db, const QString& sql)
{
    QStringList result;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql.toStdString();
        return result;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        QStringList values;
        for (int i = 0; i < sqlite3_column_count(statement); ++i)
            values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
        result << values.join(QLatin1Char('|'));
    }
    sqlite3_finalize(statement);
    return result;
}
