// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/commands.h"
#include "store/schema.h"
#include "support/bare_engine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

namespace {

// Reads a catalogue file with the bare engine, as any other program would.
QStringList rows(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const QStringList result = bareRows(db, sql);
    sqlite3_close(db);
    return result;
}

QStringList everyRow(const QString& path)
{
    QStringList all;
    for (const engine::TableDefinition& table : engine::catalogueTables())
        all << rows(path, QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table.name));
    return all;
}

class GenerateTest : public ::testing::Test
{
protected:
    int generate(const QStringList& args)
    {
        output.clear();
        errors.clear();
        QTextStream out(&output);
        QTextStream err(&errors);
        return catalogue_tool::run(QStringList{QStringLiteral("generate")} + args, {out, err});
    }
    QString file(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QString output;
    QString errors;
};

TEST_F(GenerateTest, writesTheRowsOfEveryTableTheSameWayForTheSameSeed)
{
    ASSERT_EQ(generate({file("a.tnx"), "--rows", "250", "--seed", "7"}), 0) << errors.toStdString();
    ASSERT_EQ(generate({file("b.tnx"), "--rows", "250", "--seed", "7"}), 0) << errors.toStdString();
    ASSERT_EQ(generate({file("c.tnx"), "--rows", "250", "--seed", "8"}), 0) << errors.toStdString();
    const QStringList first = everyRow(file("a.tnx"));
    EXPECT_EQ(first.size(), 7 * 250);
    EXPECT_EQ(everyRow(file("b.tnx")), first);
    EXPECT_NE(everyRow(file("c.tnx")), first);
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        EXPECT_EQ(rows(file("a.tnx"), QStringLiteral("SELECT count(*) FROM %1").arg(table.name)), QStringList({"250"}))
            << table.name.toStdString();
    }
}

TEST_F(GenerateTest, theCatalogueIsCurrentAndConsistent)
{
    ASSERT_EQ(generate({file("a.tnx"), "--rows", "300"}), 0) << errors.toStdString();
    const QString path = file("a.tnx");
    EXPECT_EQ(rows(path, "PRAGMA user_version"), QStringList({QString::number(store::schemaVersion)}));
    EXPECT_EQ(rows(path, QStringLiteral("SELECT DISTINCT row_count FROM %1").arg(store::rowCountsTable)),
              QStringList({"300"}));
    // Every track belongs to an album that exists, and some albums have several.
    EXPECT_EQ(rows(path, "SELECT count(*) FROM szamok WHERE eloado_azonosito NOT IN (SELECT kod FROM eloado)"),
              QStringList({"0"}));
    EXPECT_EQ(rows(path, "SELECT count(*) > 0 FROM (SELECT eloado_azonosito FROM szamok GROUP BY 1 "
                         "HAVING count(*) > 5)"),
              QStringList({"1"}));
    // Hungarian values: accented capitals and digraphs at the start of titles.
    EXPECT_NE(rows(path, "SELECT count(*) FROM DVD_Filmek WHERE substr(CIM, 1, 1) IN ('Ö', 'Ő', 'Ü', 'Á', 'É')"),
              QStringList({"0"}));
    EXPECT_NE(rows(path, "SELECT count(*) FROM eloado WHERE ELOADO LIKE 'Cs%' OR ELOADO LIKE 'Zs%'"),
              QStringList({"0"}));
}

TEST_F(GenerateTest, refusesAnExistingFileAndBadArguments)
{
    QFile existing(file("a.tnx"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("mine");
    existing.close();
    EXPECT_EQ(generate({file("a.tnx"), "--rows", "10"}), 1);
    EXPECT_TRUE(errors.contains("already exists"));
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("mine"));
    EXPECT_EQ(generate({file("b.tnx"), "--rows", "many"}), 2);
    EXPECT_EQ(generate({file("b.tnx")}), 2);
    EXPECT_EQ(generate({"--rows", "10"}), 2);
    EXPECT_FALSE(QFile::exists(file("b.tnx")));
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// The tool as its own process, killed outright at moments spread over a whole run: whatever it had written, no file
// under the name is left, and the next run writes the catalogue whole.
TEST_F(GenerateTest, aRunKilledAtAnyMomentLeavesNoCatalogueAndTheNextRunSucceeds)
{
    const QStringList args = {QStringLiteral("generate"), file("k.tnx"), QStringLiteral("--rows=20000")};
    QProcess tool;
    QElapsedTimer whole;
    whole.start();
    tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL), args);
    ASSERT_TRUE(tool.waitForFinished(300000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
    const qint64 duration = whole.elapsed();
    const QStringList expected = everyRow(file("k.tnx"));
    ASSERT_EQ(expected.size(), 7 * 20000);
    ASSERT_TRUE(QFile::remove(file("k.tnx")));

    int killed = 0;
    for (int step = 1; step <= 6; ++step) {
        SCOPED_TRACE(step);
        tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL), args);
        ASSERT_TRUE(tool.waitForStarted());
        QThread::msleep(static_cast<unsigned long>(duration * step / 7));
        tool.kill();
        ASSERT_TRUE(tool.waitForFinished(60000));
        if (tool.exitStatus() != QProcess::CrashExit) {
            // Finished before the kill came: a whole catalogue, which is taken away for the next moment.
            ASSERT_EQ(tool.exitCode(), 0);
            ASSERT_TRUE(QFile::remove(file("k.tnx")));
            continue;
        }
        ++killed;
        EXPECT_FALSE(QFile::exists(file("k.tnx")));
        for (const QString& name : entries(dir.path()))
            EXPECT_TRUE(name.startsWith(QLatin1String(".k.tnx.mediatar-generate-"))) << name.toStdString();
    }
    EXPECT_GE(killed, 3) << "the runs ended before they could be killed";

    // The next run is not refused, and it clears away what the killed ones left.
    ASSERT_EQ(generate({file("k.tnx"), "--rows", "20000"}), 0) << errors.toStdString();
    EXPECT_EQ(entries(dir.path()), QStringList({QStringLiteral("k.tnx")}));
    EXPECT_EQ(everyRow(file("k.tnx")), expected);
}

// A run that fails part way (here the file may not grow past 64 KiB, as on a full disk) says why, and takes its
// half-made file with it.
TEST_F(GenerateTest, aFailedRunSaysWhyAndLeavesNothing)
{
    QProcess tool;
    tool.setChildProcessModifier([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{65536, 65536};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL),
               {QStringLiteral("generate"), file("k.tnx"), QStringLiteral("--rows=3000")});
    ASSERT_TRUE(tool.waitForFinished(120000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 1);
    EXPECT_TRUE(tool.readAllStandardError().startsWith("mediatar-catalogue generate: "));
    EXPECT_EQ(entries(dir.path()), QStringList());
}

} // namespace
