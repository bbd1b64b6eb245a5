// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/failure.h"
#include "support/bare_engine.h"
#include "engine/categories.h"
#include "store/connection_setup.h"
#include "catalogue/query_channel.h"
#include "store/schema.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// A catalogue file reached with the bare engine, as another program would.
class CatalogueFile
{
public:
    explicit CatalogueFile(const QString& path) : m_path(path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    ~CatalogueFile() { sqlite3_close(m_db); }

    // Writes the tables as an older program did: no indexes, schema version 1.
    void createOlderSchema(const QStringList& missingTables = {})
    {
        exec("PRAGMA journal_mode = WAL");
        const QStringList statements = store::schemaStatements();
        for (int i = 0; i < statements.size(); ++i) {
            if (!missingTables.contains(engine::catalogueTables().at(static_cast<std::size_t>(i)).name))
                exec(statements.at(i));
        }
        exec("PRAGMA user_version = 1");
    }

    void exec(const QString& sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            ADD_FAILURE() << message << " in " << sql.toStdString();
            sqlite3_free(message);
        }
    }

    // Gives the connection the Hungarian functions, which the upgraded catalogue's indexes and triggers need.
    void learnHungarian() { store::prepareConnection(m_db); }

    // Every row of a query, each as its values joined with "|".
    QStringList rows(const QString& sql) const { return bareRows(m_db, sql); }

    QString value(const QString& sql) const { return rows(sql).value(0); }

    QStringList everyRow() const
    {
        QStringList all;
        for (const engine::TableDefinition& table : engine::catalogueTables()) {
            if (!value(QStringLiteral("SELECT name FROM sqlite_master WHERE name = '%1'").arg(table.name)).isEmpty())
                all << table.name << rows(QStringLiteral("SELECT rowid, * FROM %1 ORDER BY rowid").arg(table.name));
        }
        return all;
    }

    const QString& path() const { return m_path; }

private:
    QString m_path;
    sqlite3* m_db = nullptr;
};

const QStringList gameNames = {"Öt kis malac", "ötödik elem", "Zsákutca", "Csillagok háborúja", "cukor", "Ágyú",
                               "alma",         "Szél",        "sas",      "Dzsungel",           "Ede"};

void fill(CatalogueFile& file)
{
    for (const QString& name : gameNames)
        file.exec(QStringLiteral("INSERT INTO games VALUES ('%1', 'Kaland', '4,3 GB', 'DVD-0001')").arg(name));
    file.exec("INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Omega', 'Időrabló'), ('Illés', 'Human Rights')");
    file.exec("INSERT INTO szamok VALUES ('Időrabló', '00:04:10', '5 MB', '192 kbps', 'MP3-01', 1)");
    file.exec("INSERT INTO DVD_Filmek VALUES ('Üvegtigris', 'Glass Tiger', 'AC3/6 HU', '-', '1', "
              "'01:45:00', 'Vígjáték')");
    file.exec("INSERT INTO games VALUES (NULL, NULL, NULL, NULL)");
}

// Runs the stock sqlite3 tool on a file and gives its output lines.
QStringList stockTool(const QString& file, const QString& command)
{
    QProcess tool;
    tool.start(QStandardPaths::findExecutable(QStringLiteral("sqlite3")), {QStringLiteral("-batch"), file, command});
    tool.waitForFinished(30000);
    const QString errors = QString::fromUtf8(tool.readAllStandardError());
    EXPECT_TRUE(errors.isEmpty()) << command.toStdString() << ": " << errors.toStdString();
    EXPECT_EQ(tool.exitCode(), 0) << command.toStdString();
    return QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class SchemaUpgradeTest : public ::testing::Test
{
protected:
    SchemaUpgradeTest() : channel(QStringLiteral("upgrade_test")) {}

    QString file(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    catalogue::QueryChannel channel;
};

TEST_F(SchemaUpgradeTest, anOlderCatalogueGetsItsIndexesWhenOpenedAndKeepsItsRows)
{
    CatalogueFile older(file(QStringLiteral("regi.tnx")));
    older.createOlderSchema();
    fill(older);
    const QStringList before = older.everyRow();
    channel.pointAt(older.path());
    channel.connect();

    EXPECT_EQ(older.value("PRAGMA user_version"), QString::number(store::schemaVersion));
    const QStringList indexes = older.rows("SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name");
    for (const char* index :
         {"mediatar_order_DVD_Filmek_in_order", "mediatar_order_Filmek_videoklippek_in_order",
          "mediatar_order_Valogatasok_in_order", "eloado_by_name", "mediatar_order_eloado_in_order",
          "mediatar_order_games_in_order", "mediatar_order_progs_other_in_order", "szamok_by_album"})
        EXPECT_TRUE(indexes.contains(QLatin1String(index)))
            << index << " missing from " << indexes.join(' ').toStdString();
    EXPECT_EQ(older.everyRow(), before);
    EXPECT_EQ(
        older.value(QStringLiteral("SELECT row_count FROM %1 WHERE table_name = 'games'").arg(store::rowCountsTable)),
        QString::number(gameNames.size() + 1));
    EXPECT_EQ(
        older.value(
            QStringLiteral("SELECT row_count FROM %1 WHERE table_name = 'progs_other'").arg(store::rowCountsTable)),
        QStringLiteral("0"));

    // The program lists it in Hungarian order, through the new index.
    channel.setStatement(engine::category(4).browseStatement());
    channel.open();
    ASSERT_EQ(channel.recordCount(), gameNames.size() + 1);
    QStringList listed;
    for (int row = 0; row < channel.recordCount(); ++row)
        listed << channel.fieldText(row, QStringLiteral("NEV"));
    EXPECT_EQ(listed, QStringList({"", "Ágyú", "alma", "cukor", "Csillagok háborúja", "Dzsungel", "Ede", "Öt kis malac",
                                   "ötödik elem", "sas", "Szél", "Zsákutca"}));
}

// The kept counts of the names' starts must stay what counting the rows gives, however another program changes
// the rows (it writes without the program's functions), and each must be the number of rows that the prefix
// search finds.
TEST_F(SchemaUpgradeTest, keptPrefixCountsFollowEveryChange)
{
    CatalogueFile older(file(QStringLiteral("regi.tnx")));
    older.createOlderSchema();
    fill(older);
    channel.pointAt(older.path());
    channel.connect();
    const QString counted = QStringLiteral("SELECT prefix || '=' || row_count FROM %1 WHERE table_name = 'games' AND "
                                           "row_count <> 0 ORDER BY prefix")
                                .arg(store::prefixCountsTable);
    const QString recounted = QStringLiteral(
        "SELECT prefix || '=' || count(*) FROM (SELECT hungarian_prefix(NEV, 0) AS prefix FROM games UNION ALL "
        "SELECT hungarian_prefix(NEV, 1) FROM games UNION ALL SELECT hungarian_prefix(NEV, 2) FROM games UNION ALL "
        "SELECT hungarian_prefix(NEV, 3) FROM games) WHERE prefix IS NOT NULL GROUP BY prefix ORDER BY prefix");
    CatalogueFile counter(older.path());
    counter.learnHungarian();
    const QStringList afterUpgrade = counter.rows(counted);
    EXPECT_TRUE(afterUpgrade.contains(QStringLiteral("=11"))) << afterUpgrade.join(' ').toStdString(); // one NULL
    EXPECT_TRUE(afterUpgrade.contains(QStringLiteral("ö=2"))); // Öt kis malac, ötödik elem
    EXPECT_TRUE(afterUpgrade.contains(QStringLiteral("öt=2")));
    EXPECT_TRUE(afterUpgrade.contains(QStringLiteral("öt =1")));
    EXPECT_EQ(afterUpgrade, counter.rows(recounted));

    older.exec("BEGIN");
    for (const char* name : {"Ő", "sz", "SZÉL", "", "Ötös", "szél és vihar"})
        older.exec(QStringLiteral("INSERT INTO games VALUES ('%1', NULL, NULL, NULL)").arg(QString::fromUtf8(name)));
    older.exec("INSERT INTO games VALUES (1234, NULL, NULL, NULL)");
    older.exec("UPDATE games SET NEV = 'Szélvész' WHERE NEV = 'sas'");
    older.exec("UPDATE games SET NEV = NULL WHERE NEV = 'Ede'");
    older.exec("UPDATE games SET NEV = 'Éjfél' WHERE NEV IS NULL AND MERET IS NOT NULL");
    older.exec("UPDATE games SET MERET = '1 GB'");
    older.exec("DELETE FROM games WHERE NEV IN ('alma', 'Ötös', 'sz')");
    older.exec("COMMIT");
    // The program brings them in when it next opens the file.
    channel.disconnect();
    channel.connect();
    const QStringList afterChanges = counter.rows(counted);
    EXPECT_EQ(afterChanges, counter.rows(recounted));
    EXPECT_NE(afterChanges, afterUpgrade);
    for (const QString& entry : afterChanges) {
        const QString prefix = entry.section(QLatin1Char('='), 0, -2);
        EXPECT_EQ(counter.value(QStringLiteral("SELECT '%1=' || count(*) FROM games WHERE NEV LIKE '%1%'").arg(prefix)),
                  entry);
    }
}

TEST_F(SchemaUpgradeTest, theStockToolStillReadsAnUpgradedCatalogue)
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        GTEST_SKIP() << "no sqlite3 tool on this machine";
    CatalogueFile older(file(QStringLiteral("regi.tnx")));
    older.createOlderSchema();
    fill(older);
    const QStringList games = older.rows("SELECT * FROM games ORDER BY rowid");
    channel.pointAt(older.path());
    channel.connect();
    channel.disconnect();

    const QStringList tables =
        stockTool(older.path(), QStringLiteral(".tables")).join(' ').split(' ', Qt::SkipEmptyParts);
    for (const engine::TableDefinition& table : engine::catalogueTables())
        EXPECT_TRUE(tables.contains(table.name)) << table.name.toStdString();
    EXPECT_EQ(stockTool(older.path(), QStringLiteral("SELECT * FROM games ORDER BY rowid")), games);
    // These read through the new index, which the stock tool can use without knowing the sort key.
    EXPECT_EQ(stockTool(older.path(), QStringLiteral("SELECT count(*) FROM games")),
              QStringList({QString::number(games.size())}));
    EXPECT_EQ(stockTool(older.path(), QStringLiteral("SELECT NEV FROM games ORDER BY NEV")).size(), games.size() - 1);
    EXPECT_EQ(stockTool(older.path(), QStringLiteral("SELECT ELOADO, ALBUM FROM eloado WHERE ELOADO = 'Omega'")),
              QStringList({QStringLiteral("Omega|Időrabló")}));
    EXPECT_EQ(stockTool(older.path(), QStringLiteral("SELECT CIM FROM szamok WHERE eloado_azonosito = 1")),
              QStringList({QStringLiteral("Időrabló")}));
}

TEST_F(SchemaUpgradeTest, aMissingTableCostsOnlyItsOwnIndex)
{
    CatalogueFile older(file(QStringLiteral("hianyos.tnx")));
    older.createOlderSchema({QStringLiteral("progs_other")});
    fill(older);
    channel.pointAt(older.path());
    channel.connect();
    EXPECT_EQ(older.value("PRAGMA user_version"), QString::number(store::schemaVersion));
    EXPECT_EQ(older.value("SELECT count(*) FROM sqlite_master WHERE name = 'mediatar_order_games_in_order'"),
              QStringLiteral("1"));
    EXPECT_EQ(older.value("SELECT count(*) FROM sqlite_master WHERE name LIKE 'mediatar_order_progs_other%'"),
              QStringLiteral("0"));
    channel.setStatement(engine::category(4).browseStatement());
    channel.open();
    EXPECT_EQ(channel.recordCount(), gameNames.size() + 1);
    channel.setStatement(engine::category(5).browseStatement());
    try {
        channel.open();
        FAIL() << "the missing table was not reported";
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(failure.text(), QStringLiteral("no such table: progs_other"));
    }
}

TEST_F(SchemaUpgradeTest, aCurrentCatalogueIsLeftAsItIs)
{
    const QString path = file(QStringLiteral("uj.tnx"));
    store::createCatalogueFile(path);
    CatalogueFile reader(path);
    const QStringList schema = reader.rows("SELECT sql FROM sqlite_master ORDER BY name");
    channel.pointAt(path);
    channel.connect();
    EXPECT_EQ(reader.rows("SELECT sql FROM sqlite_master ORDER BY name"), schema);
    EXPECT_EQ(reader.value("PRAGMA user_version"), QString::number(store::schemaVersion));
}

TEST_F(SchemaUpgradeTest, aFileThatIsNoDatabaseIsReportedByTheFirstList)
{
    const QString path = file(QStringLiteral("szoveg.tnx"));
    QFile text(path);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(8192, 'x'));
    text.close();
    channel.pointAt(path);
    EXPECT_NO_THROW(channel.connect());
    channel.setStatement(engine::category(0).browseStatement());
    try {
        channel.open();
        FAIL() << "no failure";
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(failure.text(), QStringLiteral("file is not a database"));
    }
}

} // namespace
