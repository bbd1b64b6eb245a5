// SPDX-License-Identifier: GPL-3.0-or-later

#include "server/server_schema.h"

#include "platform/failure.h"
#include "server/connection.h"
#include "engine/tables.h"

namespace server {

const char hungarianCollation[] = "hu-HU-x-icu";
const char rowCountsTable[] = "mediatar_row_counts";
const char stateTable[] = "mediatar_state";
const char changeChannel[] = "mediatar_change";
const char gramsFunctionName[] = "mediatar_grams";

QString identityColumn(const QString& table)
{
    return table.compare(QLatin1String("eloado"), Qt::CaseInsensitive) == 0 ? QStringLiteral("kod")
                                                                            : QStringLiteral("mediatar_id");
}

namespace {

QString name(const QString& table)
{
    return table.toLower();
}

QString collated(const QString& expression)
{
    return QStringLiteral("%1 COLLATE \"%2\"").arg(expression, QLatin1String(hungarianCollation));
}

// The index a list reads its rows through, in the list's order: rows without a value first, as on a file.
QString orderIndex(const engine::ListedTable& table)
{
    QStringList order;
    for (const QString& column : table.columns)
        order << column + QStringLiteral(" NULLS FIRST");
    order << identityColumn(table.table);
    return QStringLiteral("CREATE INDEX %1_in_order ON %1 (%2)")
        .arg(name(table.table), order.join(QStringLiteral(", ")));
}

// The index of a list's folded starts. It holds the column too: a prefix search's count is then read from the
// index alone (an index-only scan), where an index of the folded text only sends the server to the table row of
// every entry in the range, several times slower at tens of thousands of rows.
QString prefixIndex(const engine::ListedTable& table)
{
    return QStringLiteral("CREATE INDEX %1_by_prefix ON %1 ((lower(%2) COLLATE \"C\")) INCLUDE (%2)")
        .arg(name(table.table), table.columns.first());
}

// The one- and two-letter grams of a text: each character, then each pair of neighbouring characters (the
// server drops repeated ones when it indexes them). A text holds a gram of one or two letters exactly when its
// array holds it, which the trigram index cannot tell for fewer than three letters. Written with the server's
// own functions, so that any server can make it: no library of the program's is installed on the server.
QString gramsFunction()
{
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION %1(text) RETURNS text[] LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS "
               "$$ SELECT string_to_array($1, NULL) || ARRAY(SELECT substr($1, i, 2) FROM generate_series(1, "
               "char_length($1) - 1) AS i) $$")
        .arg(QLatin1String(gramsFunctionName));
}

QString gramIndex(const engine::ListedTable& table)
{
    return QStringLiteral("CREATE INDEX %1_by_grams ON %1 USING gin (%2(lower(%3)))")
        .arg(name(table.table), QLatin1String(gramsFunctionName), table.columns.first());
}

QString listedTableArray()
{
    QStringList names;
    for (const engine::ListedTable& table : engine::listedTables())
        names << name(table.table);
    return QStringLiteral("{%1}").arg(names.join(QLatin1Char(',')));
}

// Announces each changing statement's table when its transaction commits (identical announcements of one
// transaction arrive once).
QStringList changeAnnouncements()
{
    QStringList statements;
    statements << QStringLiteral("CREATE FUNCTION mediatar_announce_change() RETURNS trigger LANGUAGE plpgsql AS $$\n"
                                 "BEGIN\n"
                                 "  PERFORM pg_notify('%1', TG_TABLE_NAME);\n"
                                 "  RETURN NULL;\n"
                                 "END $$")
                      .arg(QLatin1String(changeChannel));
    for (const engine::TableDefinition& table : engine::catalogueTables())
        statements << QStringLiteral("CREATE TRIGGER %1_announced AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON %1 "
                                     "FOR EACH STATEMENT EXECUTE FUNCTION mediatar_announce_change()")
                          .arg(name(table.name));
    return statements;
}

} // namespace

QString prefixCondition(const QString& column)
{
    // A range on the bytes rather than LIKE: with a bound pattern the planner would not know it is a prefix.
    // chr(1114111) is the last character, so every text that starts with the prefix sorts below prefix || it.
    const QString folded = QStringLiteral("(lower(%1) COLLATE \"C\")").arg(column);
    const QString text = QStringLiteral("(lower(%1) COLLATE \"C\")").arg(collated(QStringLiteral("$1::text")));
    return QStringLiteral("%1 >= %2 AND %1 < %2 || chr(1114111)").arg(folded, text);
}

QString orderedPrefixCondition(const QString& column)
{
    return prefixCondition(column) +
           QStringLiteral(" AND %1 >= lower(%2)").arg(column, collated(QStringLiteral("$1::text")));
}

QString containsCondition(const QString& column)
{
    return QStringLiteral("lower(%1) LIKE '%' || lower(%2) || '%'").arg(column, collated(QStringLiteral("$1::text")));
}

bool shortContainment(const QString& text)
{
    const qsizetype letters = text.toUcs4().size();
    return letters >= 1 && letters <= 2;
}

QString gramCondition(const QString& column)
{
    // The text's own grams are all in the array of a row that holds the text, whatever its length. For a folded
    // text of one or two letters that is also enough, and the server, which plans each statement with its bound
    // value, drops the test of the whole text; a letter whose lower case is longer (İ) is tested whole.
    const QString folded = QStringLiteral("lower(%1)").arg(collated(QStringLiteral("$1::text")));
    return QStringLiteral("%1(lower(%2)) @> %1(%3) AND (char_length(%3) <= 2 OR %4)")
        .arg(QLatin1String(gramsFunctionName), column, folded, gramTest(column));
}

QString gramTest(const QString& column)
{
    return QStringLiteral("strpos(lower(%1), lower(%2)) > 0").arg(column, collated(QStringLiteral("$1::text")));
}

QString likeEscaped(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

QStringList serverSchemaStatements()
{
    QStringList statements;
    statements << QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm");
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        QStringList columns;
        const bool albums = name(table.name) == QLatin1String("eloado");
        for (const QString& column : table.columns) {
            if (albums && column == QLatin1String("kod"))
                // By default, not always: a copied catalogue keeps its album keys, which its tracks name.
                columns << QStringLiteral("kod bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
            else if (column == QLatin1String("eloado_azonosito"))
                columns << QStringLiteral("eloado_azonosito bigint");
            else
                columns << QStringLiteral("%1 text COLLATE \"%2\"").arg(column, QLatin1String(hungarianCollation));
        }
        if (!albums)
            columns << QStringLiteral("mediatar_id bigint GENERATED ALWAYS AS IDENTITY UNIQUE");
        statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(name(table.name), columns.join(QStringLiteral(", ")));
    }
    statements << QStringLiteral("CREATE INDEX eloado_by_name ON eloado (ELOADO, ALBUM)");
    statements << QStringLiteral("CREATE INDEX szamok_by_album ON szamok (eloado_azonosito)");
    for (const engine::ListedTable& table : engine::listedTables()) {
        const QString t = name(table.table);
        const QString first = table.columns.first();
        statements << orderIndex(table);
        statements << prefixIndex(table);
        statements
            << QStringLiteral("CREATE INDEX %1_by_content ON %1 USING gin (lower(%2) gin_trgm_ops)").arg(t, first);
    }
    statements << gramsFunction();
    for (const engine::ListedTable& table : engine::listedTables())
        statements << gramIndex(table);

    statements << QStringLiteral("CREATE TABLE %1 (name text PRIMARY KEY, value text)").arg(QLatin1String(stateTable));
    statements << QStringLiteral("INSERT INTO %1 VALUES ('schema_version', '%2')")
                      .arg(QLatin1String(stateTable))
                      .arg(serverSchemaVersion);
    statements << QStringLiteral("CREATE TABLE %1 (table_name text PRIMARY KEY, row_count bigint NOT NULL)")
                      .arg(QLatin1String(rowCountsTable));
    // Statement-level triggers with the statement's rows as transition tables: one update per statement,
    // however many rows it writes.
    statements << QStringLiteral("CREATE FUNCTION mediatar_count_rows() RETURNS trigger LANGUAGE plpgsql AS $$\n"
                                 "BEGIN\n"
                                 "  IF TG_OP = 'INSERT' THEN\n"
                                 "    UPDATE %1 SET row_count = row_count + (SELECT count(*) FROM new_rows)"
                                 " WHERE table_name = TG_TABLE_NAME;\n"
                                 "  ELSIF TG_OP = 'DELETE' THEN\n"
                                 "    UPDATE %1 SET row_count = row_count - (SELECT count(*) FROM old_rows)"
                                 " WHERE table_name = TG_TABLE_NAME;\n"
                                 "  ELSIF TG_OP = 'TRUNCATE' THEN\n"
                                 "    UPDATE %1 SET row_count = 0 WHERE table_name = TG_TABLE_NAME;\n"
                                 "  END IF;\n"
                                 "  RETURN NULL;\n"
                                 "END $$")
                      .arg(QLatin1String(rowCountsTable));
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        const QString t = name(table.name);
        statements << QStringLiteral("INSERT INTO %1 VALUES ('%2', 0)").arg(QLatin1String(rowCountsTable), t);
        statements << QStringLiteral("CREATE TRIGGER %1_counted_insert AFTER INSERT ON %1 REFERENCING NEW TABLE AS "
                                     "new_rows FOR EACH STATEMENT EXECUTE FUNCTION mediatar_count_rows()")
                          .arg(t);
        statements << QStringLiteral("CREATE TRIGGER %1_counted_delete AFTER DELETE ON %1 REFERENCING OLD TABLE AS "
                                     "old_rows FOR EACH STATEMENT EXECUTE FUNCTION mediatar_count_rows()")
                          .arg(t);
        statements << QStringLiteral("CREATE TRIGGER %1_counted_truncate AFTER TRUNCATE ON %1 FOR EACH STATEMENT "
                                     "EXECUTE FUNCTION mediatar_count_rows()")
                          .arg(t);
    }
    statements << changeAnnouncements();
    return statements;
}

namespace {

void refuseUnfitDatabase(Connection& connection)
{
    const QString ctype =
        connection.single(QStringLiteral("SELECT datctype FROM pg_database WHERE datname = current_database()"));
    if (ctype == QLatin1String("C") || ctype == QLatin1String("POSIX"))
        throw platform::Failure(
            QStringLiteral("%1: the database's character classes (LC_CTYPE %2) split words at letters such as ő "
                           "and ű, so searches would miss rows; create the database with LOCALE 'C.UTF-8' or "
                           "LOCALE_PROVIDER icu")
                .arg(connection.uri(), ctype));
    if (connection.single(QStringLiteral("SELECT count(*) FROM pg_collation WHERE collname = $1"),
                          {QString::fromLatin1(hungarianCollation)}) == QLatin1String("0"))
        throw platform::Failure(QStringLiteral("%1: the server has no Hungarian ICU collation (%2)")
                                    .arg(connection.uri(), QLatin1String(hungarianCollation)));
    for (const engine::TableDefinition& table : engine::catalogueTables())
        if (!connection.single(QStringLiteral("SELECT to_regclass($1)"), {name(table.name)}).isEmpty())
            throw platform::Failure(
                QStringLiteral("%1: the database holds a catalogue table (%2) already; nothing was changed")
                    .arg(connection.uri(), name(table.name)));
}

} // namespace

void writeServerSchema(Connection& connection)
{
    refuseUnfitDatabase(connection);
    for (const QString& statement : serverSchemaStatements())
        connection.run(statement);
}

namespace {

QString schemaVersion(Connection& connection)
{
    return connection.single(
        QStringLiteral("SELECT CASE WHEN to_regclass($1) IS NOT NULL THEN (SELECT value FROM %1 WHERE name = "
                       "'schema_version') END")
            .arg(QLatin1String(stateTable)),
        {QString::fromLatin1(stateTable)});
}

// Indexes and functions are made by the tables' owner only. Another role that writes (or a reader) opens the
// catalogue as it stands, and searches it as that version did.
bool mayReshape(Connection& connection)
{
    return connection.single(QStringLiteral("SELECT has_schema_privilege(current_schema(), 'CREATE') AND "
                                            "coalesce(bool_and(pg_has_role(relowner, 'USAGE')), false) FROM "
                                            "pg_class WHERE oid IN (SELECT to_regclass(t) FROM unnest($1::text[]) "
                                            "AS t)"),
                             {listedTableArray()}) == QLatin1String("t");
}

} // namespace

void upgradeServerSchema(Connection& connection)
{
    const QString known = schemaVersion(connection);
    const int found = known.toInt();
    if (found < 1 || found >= serverSchemaVersion || !mayReshape(connection))
        return;
    inTransaction(connection, QStringLiteral("BEGIN"), [&] {
        // Two programs opening the same old catalogue at once: the second waits here for the first, then finds
        // the catalogue up to date.
        connection.run(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(QLatin1String(stateTable)));
        const QString version = schemaVersion(connection);
        if (version != known)
            return;
        if (version == QLatin1String("1")) {
            // Version 1 listed rows without a value last and announced no changes.
            for (const engine::ListedTable& table : engine::listedTables()) {
                connection.run(QStringLiteral("DROP INDEX IF EXISTS %1_in_order").arg(name(table.table)));
                connection.run(orderIndex(table));
            }
            for (const QString& statement : changeAnnouncements())
                connection.run(statement);
        }
        if (version == QLatin1String("1") || version == QLatin1String("2")) {
            // Versions 1 and 2 kept the folded starts without the column.
            for (const engine::ListedTable& table : engine::listedTables()) {
                connection.run(QStringLiteral("DROP INDEX IF EXISTS %1_by_prefix").arg(name(table.table)));
                connection.run(prefixIndex(table));
            }
        }
        // Versions 1 to 3 had no index of one- and two-letter grams.
        buildMissingGramIndexes(connection);
        connection.run(
            QStringLiteral("UPDATE %1 SET value = $1 WHERE name = 'schema_version'").arg(QLatin1String(stateTable)),
            {QString::number(serverSchemaVersion)});
    });
}

void buildMissingGramIndexes(Connection& connection)
{
    connection.run(gramsFunction());
    // Built in memory rather than in many passes over temporary files: several times quicker for a large table.
    connection.run(QStringLiteral("SET LOCAL maintenance_work_mem = '256MB'"));
    for (const engine::ListedTable& table : engine::listedTables())
        if (connection
                .single(QStringLiteral("SELECT to_regclass($1)"), {name(table.table) + QStringLiteral("_by_grams")})
                .isEmpty())
            connection.run(gramIndex(table));
}

QStringList gramIndexedTables(Connection& connection)
{
    QStringList tables;
    for (const Row& row : connection.run(QStringLiteral("SELECT t FROM unnest($1::text[]) AS t WHERE to_regclass(t "
                                                        "|| '_by_grams') IS NOT NULL"),
                                         {listedTableArray()}))
        tables << row.at(0).value_or(QString());
    return tables;
}

void createServerCatalogue(Connection& connection)
{
    inTransaction(connection, QStringLiteral("BEGIN"), [&] { writeServerSchema(connection); });
}

qint64 keptRowCount(Connection& connection, const QString& table)
{
    const QString count = connection.single(
        QStringLiteral("SELECT row_count FROM %1 WHERE table_name = $1").arg(rowCountsTable), {name(table)});
    return count.isEmpty() ? -1 : count.toLongLong();
}

qint64 countedRows(Connection& connection, const QString& table)
{
    return connection.single(QStringLiteral("SELECT count(*) FROM %1").arg(name(table))).toLongLong();
}

QStringList serverCatalogueProblems(Connection& connection)
{
    QStringList problems;
    const QString ctype =
        connection.single(QStringLiteral("SELECT datctype FROM pg_database WHERE datname = current_database()"));
    if (ctype == QLatin1String("C") || ctype == QLatin1String("POSIX"))
        problems
            << QStringLiteral("the database's LC_CTYPE is %1: containment searches miss words with ő, ű").arg(ctype);
    if (connection.single(QStringLiteral("SELECT count(*) FROM pg_extension WHERE extname = 'pg_trgm'")) ==
        QLatin1String("0"))
        problems << QStringLiteral("the extension pg_trgm is missing: containment searches read whole tables");
    const QString version = connection.single(QStringLiteral("SELECT CASE WHEN to_regclass($1) IS NOT NULL THEN "
                                                             "(SELECT value FROM %1 WHERE name = 'schema_version') "
                                                             "END")
                                                  .arg(QLatin1String(stateTable)),
                                              {QString::fromLatin1(stateTable)});
    if (version != QString::number(serverSchemaVersion))
        problems
            << QStringLiteral("the schema version is '%1' where %2 is expected").arg(version).arg(serverSchemaVersion);

    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        const QString t = name(table.name);
        const std::vector<Row> columns =
            connection.run(QStringLiteral("SELECT column_name, data_type, collation_name FROM "
                                          "information_schema.columns WHERE table_schema = current_schema() AND "
                                          "table_name = $1 ORDER BY ordinal_position"),
                           {t});
        if (columns.empty()) {
            problems << QStringLiteral("the table %1 is missing").arg(table.name);
            continue;
        }
        QStringList actual;
        for (const Row& column : columns) {
            const QString columnName = column.at(0).value_or(QString());
            if (columnName == QLatin1String("mediatar_id"))
                continue;
            actual << columnName;
            const QString type = column.at(1).value_or(QString());
            const bool number = columnName == QLatin1String("kod") && t == QLatin1String("eloado");
            if (number || columnName == QLatin1String("eloado_azonosito")) {
                if (type != QLatin1String("bigint"))
                    problems
                        << QStringLiteral("%1.%2 has the type '%3' where bigint is expected").arg(t, columnName, type);
            } else if (column.at(2).value_or(QString()) != QLatin1String(hungarianCollation)) {
                problems << QStringLiteral("%1.%2 is not in Hungarian order (collation '%3' where '%4' is expected)")
                                .arg(t, columnName, column.at(2).value_or(QString()),
                                     QLatin1String(hungarianCollation));
            }
        }
        QStringList expected;
        for (const QString& column : table.columns)
            expected << column.toLower();
        if (actual != expected)
            problems << QStringLiteral("the table %1 has the columns (%2) where (%3) are expected")
                            .arg(table.name, actual.join(QStringLiteral(", ")), expected.join(QStringLiteral(", ")));
        if (t != QLatin1String("eloado") &&
            connection.single(QStringLiteral("SELECT count(*) FROM information_schema.columns WHERE table_schema = "
                                             "current_schema() AND table_name = $1 AND column_name = 'mediatar_id' "
                                             "AND is_identity = 'YES'"),
                              {t}) == QLatin1String("0"))
            problems << QStringLiteral("the table %1 has no row identity (mediatar_id)").arg(t);
        for (const char* trigger : {"counted_insert", "counted_delete", "counted_truncate", "announced"})
            if (connection.single(QStringLiteral("SELECT count(*) FROM pg_trigger WHERE tgname = $1 AND "
                                                 "tgrelid = to_regclass($2)"),
                                  {QStringLiteral("%1_%2").arg(t, QLatin1String(trigger)), t}) == QLatin1String("0"))
                problems << QStringLiteral("the trigger %1_%2 is missing: %3")
                                .arg(t, QLatin1String(trigger),
                                     qstrcmp(trigger, "announced") == 0
                                         ? QStringLiteral("other users' lists do not learn of its changes")
                                         : QStringLiteral("the kept count of %1 goes wrong").arg(t));
        const qint64 kept = keptRowCount(connection, t);
        const qint64 counted = countedRows(connection, t);
        if (kept != counted)
            problems << QStringLiteral("the kept count of %1 is %2 where the table holds %3 rows")
                            .arg(t)
                            .arg(kept)
                            .arg(counted);
    }
    for (const engine::ListedTable& table : engine::listedTables())
        for (const char* index : {"in_order", "by_prefix", "by_content", "by_grams"})
            if (connection
                    .single(QStringLiteral("SELECT to_regclass($1)"),
                            {QStringLiteral("%1_%2").arg(name(table.table), QLatin1String(index))})
                    .isEmpty())
                problems << QStringLiteral("the index %1_%2 is missing").arg(name(table.table), QLatin1String(index));
    for (const engine::ListedTable& table : engine::listedTables()) {
        const QString index = QStringLiteral("%1_by_prefix").arg(name(table.table));
        if (connection.single(QStringLiteral("SELECT indnkeyatts < indnatts FROM pg_index WHERE indexrelid = "
                                             "to_regclass($1)"),
                              {index}) == QLatin1String("f"))
            problems << QStringLiteral("the index %1 does not hold %2: a prefix search counts through the table rows")
                            .arg(index, table.columns.first());
    }
    return problems;
}

} // namespace server
