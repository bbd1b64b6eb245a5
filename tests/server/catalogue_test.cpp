// SPDX-License-Identifier: GPL-3.0-or-later

#include "hungarian/hungarian.h"
#include "server/server_schema.h"
#include "server_support.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <sys/wait.h>

using test_server::PostgresServer;
using tool_test::runTool;

// create writes the catalogue, check finds it sound, and the designed statements run on it as they stand:
// inserts without a column list fill the designed columns, and the kept counts follow single and bulk writes.
TEST(ServerCatalogue, CreateCheckAndKeptCounts)
{
    ASSERT_SERVER_RUNNING();
    PostgresServer& server = PostgresServer::instance();
    const QString uri = server.newDatabase(QStringLiteral("created"));
    // The password (ignored by the test server) is never printed.
    const QString withPassword =
        QStringLiteral("postgresql://postgres:Titkos%40jelszo@/created?host=%1&password=masik").arg(server.folder());
    const tool_test::ToolRun created = runTool({QStringLiteral("create"), withPassword});
    ASSERT_EQ(created.code, 0) << created.err.toStdString();
    EXPECT_EQ(created.out, QStringLiteral("created postgresql://postgres@/created?host=%1\n").arg(server.folder()));
    const tool_test::ToolRun checked = runTool({QStringLiteral("check"), withPassword});
    EXPECT_EQ(checked.code, 0) << checked.out.toStdString() << checked.err.toStdString();
    EXPECT_FALSE((checked.out + checked.err).contains(QStringLiteral("Titkos")));
    EXPECT_FALSE((checked.out + checked.err).contains(QStringLiteral("masik")));

    // Never a second time over a catalogue.
    const tool_test::ToolRun again = runTool({QStringLiteral("create"), uri});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("already"))) << again.err.toStdString();

    server::Connection connection(uri);
    connection.run(QStringLiteral("INSERT INTO games VALUES ($1, $2, $3, $4)"),
                   {QStringLiteral("Egy"), QString(), std::nullopt, QStringLiteral("K1")});
    connection.run(QStringLiteral("INSERT INTO games (NEV) SELECT 'Játék ' || n FROM generate_series(1, 500) n"));
    connection.run(QStringLiteral("DELETE FROM games WHERE NEV LIKE $1"), {QStringLiteral("Játék 1%")});
    EXPECT_EQ(server::keptRowCount(connection, QStringLiteral("games")), 1 + 500 - 111);
    EXPECT_EQ(server::countedRows(connection, QStringLiteral("games")), 1 + 500 - 111);
    // Each row has its own identity, also two equal ones.
    connection.run(QStringLiteral("INSERT INTO games VALUES ('Egy', '', NULL, 'K1')"));
    EXPECT_EQ(connection.single(QStringLiteral("SELECT count(DISTINCT mediatar_id) FROM games WHERE NEV = 'Egy'")),
              QStringLiteral("2"));
    connection.run(QStringLiteral("TRUNCATE games"));
    EXPECT_EQ(server::keptRowCount(connection, QStringLiteral("games")), 0);

    // A count gone wrong, and a missing index, are found.
    connection.run(QStringLiteral("UPDATE mediatar_row_counts SET row_count = 3 WHERE table_name = 'progs_other'"));
    connection.run(QStringLiteral("DROP INDEX dvd_filmek_by_content"));
    const tool_test::ToolRun broken = runTool({QStringLiteral("check"), uri});
    EXPECT_EQ(broken.code, 1);
    EXPECT_TRUE(broken.out.contains(QStringLiteral("the kept count of progs_other is 3 where the table holds 0 rows")))
        << broken.out.toStdString();
    EXPECT_TRUE(broken.out.contains(QStringLiteral("the index dvd_filmek_by_content is missing")))
        << broken.out.toStdString();

    // A database whose character classes would make the containment search miss rows is refused, untouched.
    const QString plain = server.newDatabase(QStringLiteral("plain_c"), false);
    const tool_test::ToolRun refused = runTool({QStringLiteral("create"), plain});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("LC_CTYPE C"))) << refused.err.toStdString();
    server::Connection plainConnection(plain);
    EXPECT_TRUE(plainConnection.single(QStringLiteral("SELECT to_regclass('eloado')")).isEmpty());
    // No database at all: check says so and fails.
    const tool_test::ToolRun missing = runTool({QStringLiteral("check"), server.uri(QStringLiteral("nincs"))});
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("nincs"))) << missing.err.toStdString();
}

// The server lists in the order the program gives on a file, and finds by prefix and by containment
// case-blind for every Hungarian letter, through the indexes.
TEST(ServerCatalogue, HungarianOrderAndSearches)
{
    ASSERT_SERVER_RUNNING();
    const QString uri = PostgresServer::instance().newDatabase(QStringLiteral("ordered"));
    ASSERT_EQ(runTool({QStringLiteral("create"), uri}).code, 0);
    const QStringList words = {
        QStringLiteral("a"),       QStringLiteral("á"),           QStringLiteral("b"),
        QStringLiteral("c"),       QStringLiteral("Cukor"),       QStringLiteral("cz"),
        QStringLiteral("Czakó"),   QStringLiteral("cs"),          QStringLiteral("Csiga"),
        QStringLiteral("Csillag"), QStringLiteral("d"),           QStringLiteral("dz"),
        QStringLiteral("dzs"),     QStringLiteral("e"),           QStringLiteral("é"),
        QStringLiteral("o"),       QStringLiteral("ó"),           QStringLiteral("ö"),
        QStringLiteral("ő"),       QStringLiteral("Ő"),           QStringLiteral("Ödön"),
        QStringLiteral("Őr"),      QStringLiteral("ötös"),        QStringLiteral("Őz"),
        QStringLiteral("sz"),      QStringLiteral("szép"),        QStringLiteral("Szép"),
        QStringLiteral("Szilva"),  QStringLiteral("zs"),          QStringLiteral("Zs"),
        QStringLiteral("ZS"),      QStringLiteral("alma"),        QStringLiteral("Álom"),
        QStringLiteral("ablak"),   QStringLiteral("olló"),        QStringLiteral("ökör"),
        QStringLiteral("orr"),     QStringLiteral("ŐSZI LEVÉL"),  QStringLiteral("őszi levél"),
        QStringLiteral("Ősz"),     QStringLiteral("kőszikla"),    QStringLiteral("ŰRHAJÓ"),
        QStringLiteral("űrhajós"), QStringLiteral("100% tiszta"), QStringLiteral("100 tiszta"),
        QStringLiteral("a_b"),     QStringLiteral("axb"),         QStringLiteral("c\\d"),
    };
    server::Connection connection(uri);
    QStringList shuffled = words;
    std::reverse(shuffled.begin(), shuffled.end());
    for (const QString& word : shuffled)
        connection.run(QStringLiteral("INSERT INTO games VALUES ($1, '', '', '')"), {word});

    // Only the letters: the program's own order of blanks, punctuation and digits is not asked of the server.
    QStringList letters;
    for (const QString& word : words)
        if (std::all_of(word.begin(), word.end(), [](QChar c) { return c.isLetter() || c == QLatin1Char(' '); }))
            letters << word;
    QStringList expected = letters;
    std::sort(expected.begin(), expected.end(),
              [](const QString& a, const QString& b) { return hungarian::compare(a, b) < 0; });
    QStringList listed;
    for (const server::Row& row : connection.run(QStringLiteral("SELECT NEV FROM games ORDER BY NEV")))
        if (letters.contains(*row.at(0)))
            listed << *row.at(0);
    EXPECT_EQ(listed, expected);

    const auto found = [&](const QString& condition, const QString& text) {
        QStringList names;
        for (const server::Row& row :
             connection.run(QStringLiteral("SELECT NEV FROM games WHERE %1 ORDER BY NEV").arg(condition), {text}))
            names << *row.at(0);
        names.sort();
        return names;
    };
    const auto expectedMatches = [&](const QString& pattern) {
        QStringList names;
        for (const QString& word : words)
            if (hungarian::like(pattern, word, U'\\'))
                names << word;
        names.sort();
        return names;
    };
    const QString prefix = server::prefixCondition(QStringLiteral("NEV"));
    const QString contains = server::containsCondition(QStringLiteral("NEV"));
    for (const QString& text :
         {QStringLiteral("ősz"), QStringLiteral("ŐSZ"), QStringLiteral("Űr"), QStringLiteral("cs"),
          QStringLiteral("100%"), QStringLiteral("a_"), QStringLiteral("c\\")}) {
        const QString literal = server::likeEscaped(text);
        EXPECT_EQ(found(prefix, text), expectedMatches(literal + QLatin1Char('%'))) << text.toStdString();
        EXPECT_EQ(found(contains, literal), expectedMatches(QLatin1Char('%') + literal + QLatin1Char('%')))
            << text.toStdString();
    }
    EXPECT_EQ(found(contains, QStringLiteral("ősz")).size(), 4); // ŐSZI LEVÉL, őszi levél, Ősz, kőszikla

    // The indexes serve the lists and searches (the table is small, so the planner is kept off a full read).
    connection.run(QStringLiteral("SET enable_seqscan = off"));
    const auto plan = [&](const QString& sql, const server::Value& value) {
        QString text;
        for (const server::Row& row :
             connection.run(QStringLiteral("EXPLAIN ") + sql,
                            value ? std::vector<server::Value>{value} : std::vector<server::Value>{}))
            text += *row.at(0) + QLatin1Char('\n');
        return text;
    };
    EXPECT_TRUE(
        plan(QStringLiteral("SELECT NEV FROM games ORDER BY NEV NULLS FIRST, mediatar_id LIMIT 50"), std::nullopt)
            .contains(QStringLiteral("games_in_order")));
    EXPECT_TRUE(plan(QStringLiteral("SELECT count(*) FROM games WHERE ") + prefix, QStringLiteral("ŐSZ"))
                    .contains(QStringLiteral("games_by_prefix")));
    EXPECT_TRUE(plan(QStringLiteral("SELECT count(*) FROM games WHERE ") + contains, QStringLiteral("ősz"))
                    .contains(QStringLiteral("games_by_content")));
}

// The server of a test process that is killed goes with it, and its folder goes at the next start.
TEST(ServerFixture, AKilledRunLeavesNoServerBehind)
{
    if (qEnvironmentVariableIsSet("MEDIATAR_SERVER_TO_KILL")) {
        ASSERT_SERVER_RUNNING();
        printf("folder %s\n", qPrintable(PostgresServer::instance().folder()));
        fflush(stdout);
        for (;;)
            pause();
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MEDIATAR_SERVER_TO_KILL"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=ServerFixture.AKilledRunLeavesNoServerBehind")});
    // The whole line, however the pipe splits it.
    QString output;
    QString folder;
    while (folder.isEmpty() && child.waitForReadyRead(30000)) {
        output += QString::fromUtf8(child.readAllStandardOutput());
        const qsizetype at = output.indexOf(QLatin1String("folder "));
        if (at >= 0 && output.indexOf(QLatin1Char('\n'), at) > at)
            folder = output.mid(at + 7).section(QLatin1Char('\n'), 0, 0);
    }
    ASSERT_FALSE(folder.isEmpty()) << output.toStdString() << child.readAllStandardError().toStdString();
    QFile pidFile(folder + QStringLiteral("/data/postmaster.pid"));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly)) << folder.toStdString();
    const pid_t postmaster = static_cast<pid_t>(QString::fromUtf8(pidFile.readLine()).trimmed().toInt());
    ASSERT_GT(postmaster, 0);
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    child.waitForFinished(10000);
    QElapsedTimer waited;
    waited.start();
    while (::kill(postmaster, 0) == 0 && waited.elapsed() < 10000)
        QThread::msleep(20);
    // What the server wrote, for a failure below.
    const auto serverLog = [&] {
        QFile log(folder + QStringLiteral("/server.log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll().right(2000).toStdString() : std::string("(no log)");
    };
    EXPECT_NE(::kill(postmaster, 0), 0) << "the server outlived its test process:\n" << serverLog();
    // Another test process starting its server meanwhile may have removed the folder already.
    test_server::removeStaleFolders();
    EXPECT_FALSE(QFileInfo::exists(folder))
        << "left behind:\n"
        << QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(QLatin1Char(' ')).toStdString();
}
