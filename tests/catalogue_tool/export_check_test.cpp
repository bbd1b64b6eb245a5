// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/schema.h"
#include "support/catalogue_builder.h"
#include "tool_support.h"

using namespace tool_test;

namespace {

class ExportTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QByteArray readFile(const QString& name) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return file.readAll();
    }

    // Every table's CSV read back equals the table: same header, same rows, nulls and empty texts apart.
    void expectRoundTrip(const QString& catalogue, const QString& exportDir)
    {
        for (const engine::TableDefinition& table : engine::catalogueTables()) {
            SCOPED_TRACE(table.name.toStdString());
            const QByteArray bytes = readFile(exportDir + QLatin1Char('/') + table.name + QStringLiteral(".csv"));
            const QList<CsvRow> csv = readCsv(bytes);
            ASSERT_FALSE(csv.isEmpty());
            QStringList header;
            for (const CsvField& field : csv.first())
                header << field.text;
            EXPECT_EQ(header, table.columns);
            const QList<QVariantList> rows = queryRows(
                catalogue, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(table.columns.join(','), table.name));
            ASSERT_EQ(csv.size() - 1, rows.size());
            for (qsizetype r = 0; r < rows.size(); ++r) {
                const CsvRow& line = csv.at(r + 1);
                ASSERT_EQ(line.size(), table.columns.size()) << "row " << r;
                for (qsizetype c = 0; c < line.size(); ++c) {
                    const QVariant& value = rows.at(r).at(c);
                    const bool null = value.isNull();
                    EXPECT_EQ(line.at(c).text, value.toString()) << "row " << r << " column " << c;
                    EXPECT_EQ(!line.at(c).text.isEmpty() || line.at(c).quoted, !null) << "row " << r << " column " << c;
                }
            }
        }
    }

    QTemporaryDir dir;
};

TEST_F(ExportTest, anImportedFixtureComesBackFromItsCsvFiles)
{
    SKIP_WITHOUT_FIXTURES();
    const QString catalogue = path(QStringLiteral("lista.tnx"));
    ASSERT_EQ(runTool({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), catalogue}).code, 0);
    const ToolRun run = runTool({QStringLiteral("export"), catalogue, path(QStringLiteral("csv"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("szamok                     36 rows"))) << run.out.toStdString();
    expectRoundTrip(catalogue, QStringLiteral("csv"));
    // The exact text of two fields that need quoting, and the line ends.
    const QByteArray dvd = readFile(QStringLiteral("csv/DVD_Filmek.csv"));
    EXPECT_TRUE(dvd.startsWith("CIM,EREDETI_CIM,Nyelv,Felirat,db_DVD,Hossz,Stilus\r\n"));
    EXPECT_TRUE(dvd.contains("\"Az \"\"Őrgróf\"\" visszatér\",\"The \"\"Margrave\"\" Returns\",")) << dvd.constData();
    const QByteArray programs = readFile(QStringLiteral("csv/progs_other.csv"));
    EXPECT_TRUE(programs.contains("Víruskereső 2005,\"\",95 MB,CD-051\r\n")) << programs.constData();
    EXPECT_TRUE(programs.contains("Térképek – Magyarország úthálózata,Útvonaltervező,700 MB,\r\n"));
}

TEST_F(ExportTest, textsWithSeparatorsAndLineBreaksSurviveTheRoundTrip)
{
    TestCatalogue catalogue(dir.path());
    const qint64 album = catalogue.addAlbum(QStringLiteral("Vessző, \"idézet\""), QStringLiteral("sor\r\ntörés"));
    catalogue.addTrack(album, QStringLiteral(" szóköz "), QStringLiteral("00:01:00"), QStringLiteral(""),
                       QStringLiteral("a\nb"), QStringLiteral("c\rd"));
    catalogue.insert(QStringLiteral("games"),
                     {QVariant(), QStringLiteral(""), QStringLiteral("\"\""), QStringLiteral(",")});
    catalogue.insert(QStringLiteral("Valogatasok"),
                     {QStringLiteral("Ő"), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
    const ToolRun run = runTool({QStringLiteral("export"), catalogue.path(), path(QStringLiteral("ki"))});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    expectRoundTrip(catalogue.path(), QStringLiteral("ki"));
    EXPECT_EQ(readFile(QStringLiteral("ki/games.csv")),
              QByteArray("NEV,Megjegyzes,MERET,KOD\r\n,\"\",\"\"\"\"\"\",\",\"\r\n"));
}

TEST_F(ExportTest, existingFilesAndUnfitSourcesAreRefusedBeforeAnythingIsWritten)
{
    TestCatalogue catalogue(dir.path());
    catalogue.insert(QStringLiteral("games"),
                     {QStringLiteral("Sakk"), QStringLiteral(""), QStringLiteral(""), QStringLiteral("")});
    QDir().mkpath(path(QStringLiteral("ki")));
    QFile old(path(QStringLiteral("ki/games.csv")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("régi");
    old.close();

    ToolRun run = runTool({QStringLiteral("export"), catalogue.path(), path(QStringLiteral("ki"))});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("already exists"))) << run.err.toStdString();
    EXPECT_EQ(folderEntries(path(QStringLiteral("ki"))), QStringList{QStringLiteral("games.csv")});
    EXPECT_EQ(readFile(QStringLiteral("ki/games.csv")), QByteArray("régi"));

    run = runTool({QStringLiteral("export"), catalogue.path(), path(QStringLiteral("ki")), QStringLiteral("--force")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(readFile(QStringLiteral("ki/games.csv")),
              QByteArray("NEV,Megjegyzes,MERET,KOD\r\nSakk,\"\",\"\",\"\"\r\n"));
    EXPECT_EQ(folderEntries(path(QStringLiteral("ki"))).size(), 7);

    catalogue.exec(QStringLiteral("DROP TABLE games"));
    run = runTool({QStringLiteral("export"), catalogue.path(), path(QStringLiteral("ki2"))});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no table games"))) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("ki2"))));

    if (QFileInfo::exists(fixture(QStringLiteral("sample.tnx")))) {
        run = runTool({QStringLiteral("export"), fixture(QStringLiteral("sample.tnx")), path(QStringLiteral("ki3"))});
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("mediatar-catalogue import"))) << run.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("ki3"))));
    }
}

class CheckTest : public ExportTest
{
protected:
    ToolRun check(const QString& file) { return runTool({QStringLiteral("check"), file}); }
};

TEST_F(CheckTest, findsMissingTablesAndColumnsInTheWrongPlace)
{
    {
        TestCatalogue catalogue(dir.path());
        catalogue.addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    }
    const QString file = path(QStringLiteral("katalogus.tnx"));
    ToolRun run = check(file);
    EXPECT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(run.out, file + QStringLiteral(": ok\n"));

    TestCatalogue catalogue(dir.path(), QStringLiteral("hibas.tnx"));
    catalogue.exec(QStringLiteral("DROP TABLE games"));
    catalogue.exec(QStringLiteral("DROP TABLE DVD_Filmek"));
    catalogue.exec(QStringLiteral("CREATE TABLE DVD_Filmek (EREDETI_CIM TEXT, CIM TEXT, Nyelv TEXT, Felirat TEXT, "
                                  "db_DVD TEXT, Hossz TEXT, Stilus TEXT)"));
    catalogue.exec(QStringLiteral("DROP TABLE szamok"));
    catalogue.exec(QStringLiteral("CREATE TABLE szamok (CIM TEXT, IDO TEXT, MERET TEXT, BITRATA TEXT, KOD TEXT, "
                                  "eloado_azonosito TEXT)"));
    run = check(catalogue.path());
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.out.contains(QStringLiteral("the table games is missing"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("the table DVD_Filmek has the columns (EREDETI_CIM, CIM,")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("szamok.eloado_azonosito has the type 'TEXT'")))
        << run.out.toStdString();
    EXPECT_EQ(run.out.count(QLatin1Char('\n')), 3) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("3 problem(s) found"))) << run.err.toStdString();
}

TEST_F(CheckTest, reportsADamagedFileAndPointsALegacyOneToImport)
{
    QString file;
    {
        TestCatalogue catalogue(dir.path());
        const qint64 album = catalogue.addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        for (int i = 0; i < 400; ++i)
            catalogue.addTrack(album, QStringLiteral("Szám %1").arg(i), QStringLiteral("00:03:00"),
                               QStringLiteral("%1 MB").arg(i), QStringLiteral("192 kbps"), QStringLiteral("CD-001"));
        file = catalogue.path();
        EXPECT_EQ(check(file).out, file + QStringLiteral(": ok\n"));
        // Tracks whose album is gone are never listed again: lost to the user, and a problem.
        catalogue.exec(QStringLiteral("DELETE FROM eloado"));
        const ToolRun orphans = check(file);
        EXPECT_EQ(orphans.code, 1);
        EXPECT_TRUE(orphans.out.contains(QStringLiteral(": 400 tracks belong to no album")))
            << orphans.out.toStdString();
        EXPECT_FALSE(orphans.out.contains(QStringLiteral(": ok\n"))) << orphans.out.toStdString();
        catalogue.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    QFile damaged(file);
    ASSERT_GE(damaged.size(), 5 * 4096);
    ASSERT_TRUE(damaged.open(QIODevice::ReadWrite));
    damaged.seek(3 * 4096);
    damaged.write(QByteArray(4096, '\x5a'));
    damaged.close();
    const ToolRun run = check(file);
    EXPECT_EQ(run.code, 1);
    EXPECT_FALSE(run.out.contains(QStringLiteral(": ok"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.isEmpty());

    const QString text = path(QStringLiteral("jegyzet.tnx"));
    QFile notes(text);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("nem katalógus");
    notes.close();
    EXPECT_EQ(check(text).code, 1);
    EXPECT_EQ(check(path(QStringLiteral("nincs.tnx"))).code, 1);
    if (QFileInfo::exists(fixture(QStringLiteral("sample.tnx")))) {
        const ToolRun legacy = check(fixture(QStringLiteral("sample.tnx")));
        EXPECT_EQ(legacy.code, 1);
        EXPECT_TRUE(legacy.err.contains(QStringLiteral("older Jet format"))) << legacy.err.toStdString();
    }
}

} // namespace

namespace {

// An album key that is not the table's own row key gives new albums no key at all (or one the engine does
// not keep unique), and their tracks then join no album or another one.
TEST_F(CheckTest, refusesAnAlbumKeyThatIsNotTheIntegerPrimaryKey)
{
    for (const char* definition :
         {"kod INTEGER, ELOADO TEXT, ALBUM TEXT", "kod INT PRIMARY KEY, ELOADO TEXT, ALBUM TEXT",
          "kod TEXT PRIMARY KEY, ELOADO TEXT, ALBUM TEXT"}) {
        SCOPED_TRACE(definition);
        QTemporaryDir folder;
        TestCatalogue catalogue(folder.path());
        catalogue.addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        catalogue.exec(QStringLiteral("ALTER TABLE eloado RENAME TO regi_eloado"));
        catalogue.exec(QStringLiteral("CREATE TABLE eloado (%1)").arg(QLatin1String(definition)));
        catalogue.exec(QStringLiteral("INSERT INTO eloado SELECT kod, ELOADO, ALBUM FROM regi_eloado"));
        catalogue.exec(QStringLiteral("DROP TABLE regi_eloado"));
        const ToolRun run = check(catalogue.path());
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.out.contains(QStringLiteral("eloado.kod is not the table's INTEGER PRIMARY KEY")))
            << run.out.toStdString();
        EXPECT_FALSE(run.out.contains(QStringLiteral(": ok"))) << run.out.toStdString();
    }
}

} // namespace
