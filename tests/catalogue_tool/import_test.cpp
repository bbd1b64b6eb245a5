// SPDX-License-Identifier: GPL-3.0-or-later

#include "store/connection_setup.h"
#include "store/schema.h"
#include "tool_support.h"

using namespace tool_test;

namespace {

class ImportTest : public ::testing::Test
{
protected:
    void SetUp() override { SKIP_WITHOUT_FIXTURES(); }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    // A writable copy of a fixture, cut to the first size bytes when size is given.
    QString copyOfFixture(const QString& name, const QString& copyName, qint64 size = -1) const
    {
        QFile source(fixture(name));
        EXPECT_TRUE(source.open(QIODevice::ReadOnly));
        QByteArray bytes = source.readAll();
        if (size >= 0)
            bytes.truncate(size);
        QFile copy(path(copyName));
        EXPECT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write(bytes);
        return copy.fileName();
    }

    // Imports a file that must be refused, and checks that the folder is left as it was.
    void expectRefused(const QString& source, const QString& messagePart)
    {
        const QStringList before = folderEntries(dir.path());
        const ToolRun run = runTool({QStringLiteral("import"), source, path(QStringLiteral("out.tnx"))});
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.contains(messagePart)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_EQ(folderEntries(dir.path()), before);
    }

    QTemporaryDir dir;
};

// Every fixture, compared value by value with what mdb-export reads from the same file.
class ImportMatchesMdbExport : public ImportTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(ImportMatchesMdbExport, everyRowOfEveryTable)
{
    if (mdbExportProgram().isEmpty())
        GTEST_SKIP() << "mdb-export is not installed";
    const QString source = fixture(QString::fromLatin1(GetParam()));
    const QString out = path(QStringLiteral("out.tnx"));
    // A table that the source lacks is a loss, which only --salvage accepts.
    const bool lacksTable = source.endsWith(QLatin1String("missing-table.tnx"));
    QStringList args{QStringLiteral("import"), source, out};
    if (lacksTable)
        args << QStringLiteral("--salvage");
    const ToolRun run = runTool(args);
    ASSERT_EQ(run.code, lacksTable ? 3 : 0) << run.err.toStdString();

    quint64 total = 0;
    for (const engine::TableDefinition& table : engine::catalogueTables()) {
        SCOPED_TRACE(table.name.toStdString());
        const ExportedTable expected = mdbExport(source, table.name);
        const QList<QVariantList> actual =
            queryRows(out, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(table.columns.join(','), table.name));
        ASSERT_EQ(actual.size(), expected.rows.size());
        total += static_cast<quint64>(actual.size());
        if (expected.header.isEmpty())
            continue; // a table the source lacks; checked on its own below
        // The source's column order need not be ours: each of our columns is found in its header by name.
        std::vector<qsizetype> from;
        for (const QString& column : table.columns) {
            from.push_back(expected.header.indexOf(column));
            ASSERT_GE(from.back(), 0) << column.toStdString();
        }
        for (qsizetype row = 0; row < actual.size(); ++row)
            for (std::size_t column = 0; column < from.size(); ++column)
                ASSERT_EQ(actual.at(row).at(static_cast<qsizetype>(column)).toString(),
                          expected.rows.at(row).at(from[column]))
                    << "row " << row << " column " << table.columns.at(static_cast<qsizetype>(column)).toStdString();
    }
    EXPECT_TRUE(run.out.contains(QString::fromLatin1(lacksTable ? "salvaged %1 rows" : "imported %1 rows").arg(total)))
        << run.out.toStdString();
    // Album keys are numbers, as the track list's join needs them.
    EXPECT_TRUE(queryRows(out, QStringLiteral("SELECT kod FROM eloado WHERE typeof(kod) <> 'integer' UNION ALL "
                                              "SELECT eloado_azonosito FROM szamok WHERE typeof(eloado_azonosito) "
                                              "<> 'integer'"))
                    .isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ImportMatchesMdbExport,
                         ::testing::Values("sample.tnx", "sample.qvdb", "missing-table.tnx", "medium.tnx"));

TEST_F(ImportTest, keepsAlbumsWithTheirTracksAndNullsApartFromEmptyTexts)
{
    const QString out = path(QStringLiteral("out.tnx"));
    ASSERT_EQ(runTool({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), out}).code, 0);

    const QList<QVariantList> albums =
        queryRows(out, QStringLiteral("SELECT eloado.kod, eloado.ELOADO, COUNT(szamok.eloado_azonosito) FROM eloado "
                                      "LEFT JOIN szamok ON eloado.kod = szamok.eloado_azonosito "
                                      "GROUP BY eloado.kod ORDER BY eloado.kod"));
    QList<QVariantList> expected = {
        {1, "Omega", 9},          {2, "Tücsökraj", 12},  {3, "Kővári Ödön és a Hűvösvölgyi Fúvósok", 5},
        {4, "Éjféli Ügyelet", 3}, {5, "Szőke Árpád", 0}, {6, "ŰRKÖZPONT", 7}};
    ASSERT_EQ(albums.size(), expected.size());
    for (qsizetype i = 0; i < albums.size(); ++i)
        for (qsizetype c = 0; c < 3; ++c)
            EXPECT_EQ(albums.at(i).at(c).toString(), expected.at(i).at(c).toString()) << i << "," << c;
    // Every track reaches its album.
    EXPECT_EQ(queryRows(out, QStringLiteral("SELECT COUNT(*) FROM szamok WHERE eloado_azonosito NOT IN "
                                            "(SELECT kod FROM eloado)"))
                  .value(0)
                  .value(0)
                  .toInt(),
              0);

    // The audio CD's sizes are empty texts, the one missing media code is a null.
    const QList<QVariantList> audio =
        queryRows(out, QStringLiteral("SELECT MERET, BITRATA, KOD FROM szamok WHERE eloado_azonosito = 3"));
    ASSERT_EQ(audio.size(), 5);
    for (const QVariantList& track : audio) {
        EXPECT_FALSE(track.at(0).isNull());
        EXPECT_EQ(track.at(0).toString(), QString());
        EXPECT_EQ(track.at(1).toString(), QStringLiteral("Audió"));
        EXPECT_EQ(track.at(2).toString(), QStringLiteral("Audió"));
    }
    const QList<QVariantList> programs =
        queryRows(out, QStringLiteral("SELECT Programok, Megjegyzes, KOD FROM progs_other "
                                      "WHERE KOD IS NULL OR Megjegyzes = '' ORDER BY rowid"));
    ASSERT_EQ(programs.size(), 2);
    EXPECT_EQ(programs.at(0).at(0).toString(), QStringLiteral("Víruskereső 2005"));
    EXPECT_FALSE(programs.at(0).at(1).isNull());
    EXPECT_EQ(programs.at(0).at(2).toString(), QStringLiteral("CD-051"));
    EXPECT_EQ(programs.at(1).at(0).toString(), QStringLiteral("Térképek – Magyarország úthálózata"));
    EXPECT_TRUE(programs.at(1).at(2).isNull());

    // Quotes, the long sound-track list and the two equal games come over as they are.
    EXPECT_EQ(queryRows(out, QStringLiteral("SELECT EREDETI_CIM FROM DVD_Filmek WHERE CIM = 'Az \"Őrgróf\" visszatér'"))
                  .value(0)
                  .value(0)
                  .toString(),
              QStringLiteral("The \"Margrave\" Returns"));
    EXPECT_EQ(
        queryRows(out, QStringLiteral("SELECT EREDETI_CIM FROM DVD_Filmek WHERE CIM = 'Ödön bácsi ''utolsó'' nyara'"))
            .value(0)
            .value(0)
            .toString(),
        QStringLiteral("Uncle Edmund's Last Summer"));
    EXPECT_EQ(queryRows(out, QStringLiteral("SELECT length(Nyelv) FROM DVD_Filmek WHERE CIM = 'Világjáró bőröndök'"))
                  .value(0)
                  .value(0)
                  .toInt(),
              218);
    EXPECT_EQ(queryRows(out, QStringLiteral("SELECT COUNT(*) FROM games WHERE NEV = 'Sötét Őrtorony' AND "
                                            "Megjegyzes = 'Szerepjáték' AND MERET = '700 MB' AND KOD = 'CD-042'"))
                  .value(0)
                  .value(0)
                  .toInt(),
              2);
}

// The rows go in first and the indexes and kept counts are built over them at the end: the new catalogue must
// come out complete, as one the program made itself.
TEST_F(ImportTest, theNewCatalogueHasItsIndexesAndKeptCounts)
{
    const QString out = path(QStringLiteral("out.tnx"));
    ASSERT_EQ(runTool({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), out}).code, 0);
    const auto number = [&](const QString& sql) { return queryRows(out, sql).value(0).value(0).toLongLong(); };
    EXPECT_EQ(number(QStringLiteral("PRAGMA user_version")), store::schemaVersion);
    EXPECT_EQ(number(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name LIKE "
                                    "'%_in_order'")),
              6);
    for (const char* table : {"eloado", "Valogatasok", "DVD_Filmek", "Filmek_videoklippek", "games", "progs_other"}) {
        SCOPED_TRACE(table);
        const qint64 rows = number(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table)));
        EXPECT_GT(rows, 0);
        EXPECT_EQ(number(QStringLiteral("SELECT row_count FROM %1 WHERE table_name = '%2'")
                             .arg(store::rowCountsTable, QLatin1String(table))),
                  rows);
    }
    EXPECT_EQ(number(QStringLiteral("SELECT row_count FROM %1 WHERE table_name = 'games' AND prefix = ''")
                         .arg(store::prefixCountsTable)),
              number(QStringLiteral("SELECT count(NEV) FROM games")));
    EXPECT_EQ(number(QStringLiteral("SELECT row_count FROM %1 WHERE table_name = 'games' AND prefix = 'sö'")
                         .arg(store::prefixCountsTable)),
              number(QStringLiteral("SELECT count(*) FROM games WHERE NEV LIKE 'Sö%' OR NEV LIKE 'sö%' OR NEV LIKE "
                                    "'SÖ%' OR NEV LIKE 'sÖ%'")));
}

TEST_F(ImportTest, aNewAlbumGetsAKeyAboveEveryImportedOne)
{
    const QString out = path(QStringLiteral("out.tnx"));
    ASSERT_EQ(runTool({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), out}).code, 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(out.toUtf8().constData(), &db), SQLITE_OK);
    store::prepareConnection(db); // the program's own connection set-up, which the catalogue's indexes need
    ASSERT_EQ(sqlite3_exec(db,
                           "DELETE FROM eloado WHERE kod = 6; INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Új', 'Új')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const sqlite3_int64 key = sqlite3_last_insert_rowid(db);
    sqlite3_close(db);
    // Album 6 is gone but its tracks are still there; a new album must not take them over.
    EXPECT_EQ(key, 7);
}

TEST_F(ImportTest, aMissingTableIsRefusedAndWithSalvageCreatedEmptyAndNamed)
{
    const QString out = path(QStringLiteral("out.tnx"));
    ToolRun run = runTool({QStringLiteral("import"), fixture(QStringLiteral("missing-table.tnx")), out});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("\n  games: the file has no such table"))) << run.err.toStdString();
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty());

    run = runTool(
        {QStringLiteral("import"), fixture(QStringLiteral("missing-table.tnx")), out, QStringLiteral("--salvage")});
    ASSERT_EQ(run.code, 3) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("this was lost:\n  games: the file has no such table")))
        << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("not in the source"))) << run.out.toStdString();
    EXPECT_EQ(queryRows(out, QStringLiteral("SELECT COUNT(*) FROM games")).value(0).value(0).toInt(), 0);
    EXPECT_EQ(queryRows(out, QStringLiteral("SELECT COUNT(*) FROM szamok")).value(0).value(0).toInt(), 5);
    EXPECT_EQ(runTool({QStringLiteral("check"), out}).code, 0);
}

TEST_F(ImportTest, aDamagedOrForeignSourceLeavesNothingBehind)
{
    const qint64 size = QFileInfo(fixture(QStringLiteral("sample.tnx"))).size();
    // Cut in the middle of a page, and at page boundaries before, inside and after the tables' pages.
    expectRefused(copyOfFixture(QStringLiteral("sample.tnx"), QStringLiteral("half.tnx"), size / 2 + 100),
                  QStringLiteral("damaged"));
    for (const qint64 pages : {4, 20, 26, 40, 52}) {
        SCOPED_TRACE(pages);
        const QString cut = copyOfFixture(QStringLiteral("sample.tnx"), QStringLiteral("cut.tnx"), pages * 4096);
        expectRefused(cut, QStringLiteral("damaged"));
    }

    QFile text(path(QStringLiteral("jegyzet.tnx")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("Ez csak egy szövegfájl, nem katalógus.\r\n");
    text.close();
    expectRefused(text.fileName(), QStringLiteral("not a Jet"));

    // A catalogue of this program is no legacy file either.
    const QString ours = path(QStringLiteral("ours.tnx"));
    ASSERT_EQ(runTool({QStringLiteral("create"), ours}).code, 0);
    expectRefused(ours, QStringLiteral("already a catalogue"));
    expectRefused(path(QStringLiteral("nincs.tnx")), QStringLiteral("cannot be read"));
}

TEST_F(ImportTest, anExistingTargetIsKeptUnlessForced)
{
    const QString source = copyOfFixture(QStringLiteral("sample.tnx"), QStringLiteral("régi lista.tnx"));
    const QByteArray sourceHash = fileHash(source);
    const QDateTime sourceTime = QFileInfo(source).lastModified();
    const QString out = path(QStringLiteral("új lista.tnx"));
    QFile existing(out);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("régi tartalom");
    existing.close();

    ToolRun run = runTool({QStringLiteral("import"), source, out});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("already exists"))) << run.err.toStdString();
    EXPECT_EQ(fileHash(out), QCryptographicHash::hash("régi tartalom", QCryptographicHash::Sha256));

    run = runTool({QStringLiteral("import"), source, out, QStringLiteral("--force")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(queryRows(out, QStringLiteral("SELECT COUNT(*) FROM szamok")).value(0).value(0).toInt(), 36);

    // Not even --force lets the new catalogue take the place of its own source.
    run = runTool({QStringLiteral("import"), source, source, QStringLiteral("--force")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot replace"))) << run.err.toStdString();

    run = runTool({QStringLiteral("import"), source, path(QStringLiteral("nincs/új.tnx"))});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("the folder does not exist"))) << run.err.toStdString();

    EXPECT_EQ(fileHash(source), sourceHash);
    EXPECT_EQ(QFileInfo(source).lastModified(), sourceTime);
    EXPECT_EQ(folderEntries(dir.path()),
              (QStringList{QStringLiteral("régi lista.tnx"), QStringLiteral("új lista.tnx")}));
}

TEST_F(ImportTest, theExecutableReportsThroughItsExitCodeAndStreams)
{
    QProcess tool;
    const auto runExecutable = [&tool](const QStringList& args) {
        tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL), args);
        EXPECT_TRUE(tool.waitForFinished(60000));
        return tool.exitCode();
    };
    for (const char* command : {"import", "export", "check"}) {
        EXPECT_EQ(runExecutable({QString::fromLatin1(command), QStringLiteral("--help")}), 0) << command;
        EXPECT_TRUE(tool.readAllStandardOutput().startsWith("usage: mediatar-catalogue " + QByteArray(command)));
    }
    EXPECT_EQ(runExecutable({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx"))}), 2);
    EXPECT_TRUE(tool.readAllStandardError().contains("usage: mediatar-catalogue import LEGACY OUT"));
    EXPECT_EQ(runExecutable({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), path("x.tnx"),
                             QStringLiteral("--forse")}),
              2);
    EXPECT_FALSE(QFileInfo::exists(path("x.tnx")));

    const QString out = path(QStringLiteral("out.tnx"));
    EXPECT_EQ(runExecutable({QStringLiteral("import"), fixture(QStringLiteral("sample.tnx")), out}), 0);
    const QByteArray summary = tool.readAllStandardOutput();
    EXPECT_TRUE(summary.contains("szamok                     36 rows")) << summary.constData();
    // Off a terminal there is no progress line.
    EXPECT_FALSE(tool.readAllStandardError().contains("importing:"));
}

} // namespace
