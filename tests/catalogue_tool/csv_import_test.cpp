// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/connection_setup.h"
#include "store/schema.h"
#include "support/catalogue_builder.h"
#include "tool_support.h"

#include <algorithm>

using namespace tool_test;

namespace {

// Every row of every table, in stored order, each value with its kind, so that a NULL, an empty text, a number
// and a text of digits all stay apart.
QStringList everyRow(const QString& catalogue)
{
    QStringList rows;
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        QStringList kinds;
        for (const QString& column : table.columns)
            kinds << QStringLiteral("typeof(%1), %1").arg(column);
        const QList<QVariantList> values =
            queryRows(catalogue, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(kinds.join(','), table.name));
        for (const QVariantList& row : values) {
            QStringList fields;
            for (qsizetype i = 0; i < row.size(); i += 2)
                fields << row.at(i).toString() + QLatin1Char(':') + row.at(i + 1).toString();
            rows << table.name + QLatin1Char('|') + fields.join(QLatin1Char('|'));
        }
    }
    return rows;
}

class CsvImportTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    void writeFile(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write(bytes);
    }

    // Exports the catalogue, reads the files back into a new one, and expects every row as it was.
    void expectRoundTrip(const QString& catalogue)
    {
        ToolRun run = runTool({QStringLiteral("export"), catalogue, path(QStringLiteral("csv"))});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const QString copy = path(QStringLiteral("vissza.tnx"));
        run = runTool({QStringLiteral("import-csv"), path(QStringLiteral("csv")), copy});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const QStringList original = everyRow(catalogue);
        EXPECT_FALSE(original.isEmpty());
        EXPECT_EQ(everyRow(copy), original);
        run = runTool({QStringLiteral("check"), copy});
        EXPECT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
    }

    // import-csv on the folder "be" into "uj.tnx": it must refuse, say where, and write nothing.
    void expectRefused(const QString& where, const QString& what)
    {
        const QStringList before = folderEntries(dir.path());
        const ToolRun run = runTool({QStringLiteral("import-csv"), path(QStringLiteral("be")), path("uj.tnx")});
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.contains(path(QStringLiteral("be/")) + where)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(what)) << run.err.toStdString();
        EXPECT_EQ(folderEntries(dir.path()), before);
    }

    // A folder "be" with one album and its track, before a fault is put into it.
    void writeSoundFolder()
    {
        writeFile("be/eloado.csv", "kod,ELOADO,ALBUM\r\n7,Omega,Időrabló\r\n");
        writeFile("be/szamok.csv", "CIM,IDO,MERET,BITRATA,KOD,eloado_azonosito\r\n"
                                   "Gyöngyhajú lány,00:03:41,5 MB,192 kbps,CD-1,7\r\n");
    }

    QTemporaryDir dir;
};

TEST_F(CsvImportTest, theDemoCatalogueComesBackRowForRow)
{
    const QString demo = path(QStringLiteral("demo.tnx"));
    const ToolRun run = runTool({QStringLiteral("create"), demo, QStringLiteral("--seed"),
                                 QStringLiteral(MEDIATAR_SOURCE_DIR "/data/demo_catalogue.sql")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    expectRoundTrip(demo);
    // Tracks are still found through their albums' keys.
    EXPECT_EQ(queryRows(path(QStringLiteral("vissza.tnx")),
                        QStringLiteral("SELECT count(*) FROM szamok JOIN eloado ON eloado.kod = eloado_azonosito")),
              queryRows(demo, QStringLiteral("SELECT count(*) FROM szamok")));
}

TEST_F(CsvImportTest, hostileValuesAndNullAgainstEmptySurvive)
{
    TestCatalogue catalogue(dir.path());
    // Keys with gaps, and an album whose key is far beyond the others.
    catalogue.insert("eloado", {3, QStringLiteral("Vessző, \"idézet\""), QStringLiteral("sor\r\ntörés")});
    catalogue.insert("eloado", {1000, QVariant(), QStringLiteral("")});
    catalogue.insert("eloado", {12, QStringLiteral("\"\""), QStringLiteral("NULL")});
    catalogue.addTrack(1000, QStringLiteral(" szóköz "), QStringLiteral("a\nb"), QStringLiteral("c\rd"),
                       QStringLiteral("tab\there"), QStringLiteral(""));
    catalogue.addTrack(3, QStringLiteral("\x01\x02\x7f ÿþ \u00ef\u00bb\u00bf"), QString(), QStringLiteral("\"\r\n\""),
                       QStringLiteral(","), QStringLiteral("🎵 őŐűŰ"));
    catalogue.insert("games", {QVariant(), QStringLiteral(""), QStringLiteral("\""), QStringLiteral(",\",")});
    catalogue.insert("games", {QStringLiteral("\uFEFFelöl jel"), QVariant(), QVariant(), QVariant()});
    catalogue.insert("Valogatasok", {QStringLiteral("Ő"), QVariant(), QStringLiteral(""), QVariant(),
                                     QStringLiteral("\r"), QStringLiteral("\n")});
    catalogue.insert("DVD_Filmek", {QStringLiteral("<b>Félkövér</b>"), QStringLiteral("a,b,c"), QStringLiteral("\"x\""),
                                    QStringLiteral(""), QStringLiteral("2"), QStringLiteral("01:02:03"), QVariant()});
    catalogue.insert("Filmek_videoklippek", {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                             QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                                             QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9")});
    catalogue.insert("progs_other",
                     {QStringLiteral("0007"), QStringLiteral("-1"), QStringLiteral("1e3"), QStringLiteral("  ")});
    expectRoundTrip(catalogue.path());

    // A new album in the copy takes a key above every key in use, so no track joins it by mistake.
    sqlite3* copy = nullptr;
    ASSERT_EQ(sqlite3_open(path(QStringLiteral("vissza.tnx")).toUtf8().constData(), &copy), SQLITE_OK);
    store::prepareConnection(copy);
    EXPECT_EQ(
        sqlite3_exec(copy, "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Új', 'Album')", nullptr, nullptr, nullptr),
        SQLITE_OK);
    EXPECT_GT(sqlite3_last_insert_rowid(copy), 1000);
    sqlite3_close(copy);
}

TEST_F(CsvImportTest, columnsInAnyOrderAndCaseAByteOrderMarkAndMissingTables)
{
    writeFile("be/ELOADO.CSV", "\xEF\xBB\xBF"
                               "album,Eloado,KOD\n"
                               "Időrabló,Omega,5\n"
                               "Új album,Új előadó,\n"
                               "\n");
    writeFile("be/szamok.csv", "eloado_azonosito,cim,ido,meret,bitrata,kod\n5,Léna,00:04:00,,\"\",x\n");
    writeFile("be/jegyzet.csv", "ez nem tábla\n");
    const QString out = path(QStringLiteral("uj.tnx"));
    const ToolRun run = runTool({QStringLiteral("import-csv"), path(QStringLiteral("be")), out});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("jegyzet.csv: no table of a catalogue is named so")))
        << run.err.toStdString();
    EXPECT_TRUE(run.out.simplified().contains(QStringLiteral("games 0 rows (no file: left empty)")))
        << run.out.toStdString();
    EXPECT_EQ(everyRow(out),
              QStringList({"eloado|integer:5|text:Omega|text:Időrabló", "eloado|integer:6|text:Új előadó|text:Új album",
                           "szamok|text:Léna|text:00:04:00|null:|text:|text:x|integer:5"}));
    EXPECT_EQ(runTool({QStringLiteral("check"), out}).code, 0);

    // A spreadsheet set to Hungarian saves "CSV UTF-8" with semicolons, a byte-order mark and CR LF.
    writeFile("excel/games.csv", "\xEF\xBB\xBFNEV;Megjegyzes;MERET;KOD\r\n"
                                 "Sakk;\"egy; kettő\";1,5 MB;\r\n"
                                 "Go, a táblás;;;G-1\r\n");
    ToolRun excel = runTool({QStringLiteral("import-csv"), path(QStringLiteral("excel")), path("excel.tnx")});
    ASSERT_EQ(excel.code, 0) << excel.err.toStdString();
    EXPECT_EQ(everyRow(path("excel.tnx")), QStringList({"games|text:Sakk|text:egy; kettő|text:1,5 MB|null:",
                                                        "games|text:Go, a táblás|null:|null:|text:G-1"}));

    // The new catalogue is not written over unless asked.
    ToolRun again = runTool({QStringLiteral("import-csv"), path(QStringLiteral("be")), out});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("already exists"))) << again.err.toStdString();
    again = runTool({QStringLiteral("import-csv"), path(QStringLiteral("be")), out, QStringLiteral("--force")});
    EXPECT_EQ(again.code, 0) << again.err.toStdString();

    // A folder without any table's file is refused.
    writeFile("ures/olvass.txt", "semmi");
    again = runTool({QStringLiteral("import-csv"), path(QStringLiteral("ures")), path(QStringLiteral("ures.tnx"))});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("none of the files of a catalogue is here")))
        << again.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("ures.tnx"))));
}

TEST_F(CsvImportTest, aFaultyFileIsRefusedWithItsLineAndColumnAndNothingIsWritten)
{
    writeSoundFolder();
    writeFile("be/szamok.csv", "CIM,MERET,BITRATA,KOD,eloado_azonosito\r\n");
    expectRefused(QStringLiteral("szamok.csv: line 1: "), QStringLiteral("the column IDO is missing"));

    writeSoundFolder();
    writeFile("be/games.csv", "NEV,Megjegyzes,MERET,KOD\r\nSakk,\"\",1 MB,\r\nGo,\"régi\r\nsor,1 MB,\r\n");
    expectRefused(QStringLiteral("games.csv: line 3, column 2 (Megjegyzes): "),
                  QStringLiteral("the quoted field is never closed"));

    writeFile("be/games.csv", "NEV,Megjegyzes,MERET,KOD\r\n\"Sakk\r\nkészlet\",\"\",1 MB,\r\nGo,jó\"k,1 MB,\r\n");
    expectRefused(QStringLiteral("games.csv: line 4, column 2 (Megjegyzes): "),
                  QStringLiteral("a quote inside a field that does not start with one"));

    writeFile("be/games.csv", "NEV,Megjegyzes,MERET,KOD\r\nSakk,\"jó\" darab,1 MB,\r\n");
    expectRefused(QStringLiteral("games.csv: line 2, column 2 (Megjegyzes): "),
                  QStringLiteral("text follows the closing quote"));

    writeFile("be/games.csv", "NEV,Megjegyzes,MERET,KOD\r\nSakk,,1 MB\r\n");
    expectRefused(QStringLiteral("games.csv: line 2: "), QStringLiteral("3 fields where the first line names 4"));

    writeFile("be/games.csv", "NEV,Megjegyzes,Ár,MERET,KOD\r\n");
    expectRefused(QStringLiteral("games.csv: line 1, column 3: "),
                  QStringLiteral("the table games has no column 'Ár'"));

    writeFile("be/games.csv", "NEV,Megjegyzes,MERET,KOD,nev\r\n");
    expectRefused(QStringLiteral("games.csv: line 1, column 5: "), QStringLiteral("the column NEV is named twice"));

    // Code page 1250 bytes, as an old spreadsheet might save them.
    writeFile("be/games.csv", "NEV,Megjegyzes,MERET,KOD\r\nSakk,\xe9s \xf5,1 MB,\r\n");
    expectRefused(QStringLiteral("games.csv: line 2, column 2 (Megjegyzes): "), QStringLiteral("not UTF-8"));

    writeFile("be/games.csv", QByteArray("\xFF\xFEN\0E\0V\0", 8));
    expectRefused(QStringLiteral("games.csv: line 1: "), QStringLiteral("UTF-16"));
    QFile::remove(path(QStringLiteral("be/games.csv")));

    writeFile("be/eloado.csv", "kod,ELOADO,ALBUM\r\n7,Omega,Időrabló\r\nx1,Illés,Human Rights\r\n");
    expectRefused(QStringLiteral("eloado.csv: line 3, column 1 (kod): "),
                  QStringLiteral("'x1' is no whole number, and this column holds album keys"));

    writeFile("be/eloado.csv", "kod,ELOADO,ALBUM\r\n7,Omega,Időrabló\r\n8,Illés,\r\n7,Zorán,Körút\r\n");
    expectRefused(QStringLiteral("eloado.csv: line 4, column 1 (kod): "),
                  QStringLiteral("the album key 7 is on line 2 too"));

    writeSoundFolder();
    writeFile("be/szamok.csv", "CIM,IDO,MERET,BITRATA,KOD,eloado_azonosito\r\nA,,,,,7\r\nB,,,,,99\r\n");
    expectRefused(QStringLiteral("szamok.csv: line 3, column 6 (eloado_azonosito): "),
                  QStringLiteral("no album has the key 99"));
    writeFile("be/szamok.csv", "CIM,IDO,MERET,BITRATA,KOD,eloado_azonosito\r\nA,,,,,\r\n");
    expectRefused(QStringLiteral("szamok.csv: line 2, column 6 (eloado_azonosito): "),
                  QStringLiteral("the track names no album"));
    QFile::remove(path(QStringLiteral("be/eloado.csv")));
    writeFile("be/szamok.csv", "CIM,IDO,MERET,BITRATA,KOD,eloado_azonosito\r\nA,,,,,7\r\n");
    expectRefused(QStringLiteral("szamok.csv: line 2, column 6 (eloado_azonosito): "),
                  QStringLiteral("no album has the key 7"));
}

TEST_F(CsvImportTest, tracksWithoutTheirAlbumAreRefusedUnlessAskedToBeKept)
{
    // A catalogue may hold tracks whose album is gone (another program deleted it); the program never lists them.
    TestCatalogue catalogue(dir.path());
    const qint64 album = catalogue.addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue.addTrack(album, QStringLiteral("Ballada"), QStringLiteral("00:04:09"), QStringLiteral("6 MB"),
                       QStringLiteral("128 kbps"), QStringLiteral("CD-1"));
    catalogue.addTrack(album + 40, QStringLiteral("Árva"), QString(), QString(), QString(), QString());
    catalogue.insert("szamok",
                     {QStringLiteral("Kulcs nélkül"), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
    ASSERT_EQ(runTool({QStringLiteral("export"), catalogue.path(), path(QStringLiteral("csv"))}).code, 0);

    const QString copy = path(QStringLiteral("vissza.tnx"));
    ToolRun run = runTool({QStringLiteral("import-csv"), path(QStringLiteral("csv")), copy});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("szamok.csv: line 3, column 6 (eloado_azonosito): no album has the "
                                                "key %1")
                                     .arg(album + 40)))
        << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(copy));

    run = runTool({QStringLiteral("import-csv"), path(QStringLiteral("csv")), copy, QStringLiteral("--keep-orphans")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(everyRow(copy), everyRow(catalogue.path()));
    // A new album does not take the key the lost tracks point at.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(copy.toUtf8().constData(), &db), SQLITE_OK);
    store::prepareConnection(db);
    EXPECT_EQ(sqlite3_exec(db, "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Új', 'Album')", nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_GT(sqlite3_last_insert_rowid(db), album + 40);
    sqlite3_close(db);
}

TEST_F(CsvImportTest, aRefusedImportLeavesAnExistingCatalogueAsItWas)
{
    writeSoundFolder();
    const QString out = path(QStringLiteral("uj.tnx"));
    ASSERT_EQ(runTool({QStringLiteral("import-csv"), path(QStringLiteral("be")), out}).code, 0);
    const QByteArray before = fileHash(out);
    writeFile("be/szamok.csv", "CIM,IDO,MERET,BITRATA,KOD,eloado_azonosito\r\nA,,,,,8\r\n");
    const ToolRun run =
        runTool({QStringLiteral("import-csv"), path(QStringLiteral("be")), out, QStringLiteral("--force")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(fileHash(out), before);
    EXPECT_EQ(folderEntries(dir.path()), QStringList({QStringLiteral("uj.tnx")}));
}

// What a CSV file cannot carry is refused with its place, and nothing is written: not even where the value is in
// the last table, after six files were ready, and not over the files of an earlier export.
TEST_F(CsvImportTest, exportRefusesValuesItCouldNotBringBackAndWritesNothing)
{
    struct Case
    {
        const char* table;
        const char* column;
        const char* value; // an SQL expression
        const char* told;
    };
    const Case cases[] = {
        {"games", "MERET", "x'00ff10'", "the row 2 of the table games holds binary data in the column MERET"},
        // 'Árvíztűrő' in the older Central European code page, as another program may have stored it.
        {"progs_other", "Megjegyzes", "CAST(x'c17276ed7a74fb72f5' AS TEXT)",
         "the row 2 of the table progs_other holds text that is not UTF-8 (\""},
        // A surrogate half encoded on its own after a line break; then '/' written in more bytes than it needs.
        {"DVD_Filmek", "Felirat", "CAST(x'48550aeda080' AS TEXT)",
         "the row 2 of the table DVD_Filmek holds text that is not UTF-8"},
        {"eloado", "ALBUM", "CAST(x'c0af' AS TEXT)", "the row 2 of the table eloado holds text that is not UTF-8"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.value);
        QTemporaryDir place;
        TestCatalogue catalogue(place.path());
        const engine::TableDefinition& table =
            *std::find_if(engine::catalogueTables().begin(), engine::catalogueTables().end(),
                          [&](const engine::TableDefinition& t) { return t.name == QLatin1String(test.table); });
        // A good row first, with text the CSV file does carry: four-byte UTF-8 and a zero-width joiner.
        QVariantList good;
        for (int i = 0; i < table.columns.size(); ++i)
            good << QVariant(QStringLiteral("Ő 😀‍🎶"));
        if (table.name == QLatin1String("eloado"))
            good.first() = QVariant(1);
        catalogue.insert(table.name, good);
        catalogue.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table.name, test.column, test.value));
        const QString out = place.filePath(QStringLiteral("ki"));

        ToolRun run = runTool({QStringLiteral("export"), catalogue.path(), out});
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.contains(QLatin1String(test.told))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("nothing was written"))) << run.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out));

        // Over an earlier export, with --force: every file stays as it was, and none is added.
        ASSERT_TRUE(QDir().mkpath(out));
        for (const QString& name : {QStringLiteral("eloado.csv"), QStringLiteral("games.csv")}) {
            QFile old(out + QLatin1Char('/') + name);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("régi");
        }
        run = runTool({QStringLiteral("export"), catalogue.path(), out, QStringLiteral("--force")});
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(folderEntries(out), QStringList({QStringLiteral("eloado.csv"), QStringLiteral("games.csv")}));
        EXPECT_EQ(fileHash(out + QStringLiteral("/games.csv")),
                  QCryptographicHash::hash("régi", QCryptographicHash::Sha256));

        // Mended, the same catalogue goes out and comes back byte for byte.
        catalogue.exec(QStringLiteral("DELETE FROM %1 WHERE rowid = 2").arg(table.name));
        run = runTool({QStringLiteral("export"), catalogue.path(), out, QStringLiteral("--force")});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const QString back = place.filePath(QStringLiteral("vissza.tnx"));
        run = runTool({QStringLiteral("import-csv"), out, back});
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        const QString bytes = QStringLiteral("SELECT hex(%1) FROM %2").arg(test.column, table.name);
        EXPECT_EQ(queryRows(back, bytes), queryRows(catalogue.path(), bytes));
    }
}

} // namespace
