// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/tool_support.h"
#include "legacy/legacy_import.h"
#include "store/connection_setup.h"
#include "store/schema.h"

using namespace tool_test;

namespace {

QString damagedFixture(const QString& name)
{
    return QStringLiteral(MEDIATAR_DAMAGED_FIXTURES "/") + name;
}

qlonglong number(const QString& catalogue, const QString& sql)
{
    return queryRows(catalogue, sql).value(0).value(0).toLongLong();
}

// The damaged copies of the sample (tests/legacy/make_damaged_fixtures.py): each is refused whole, and with
// --salvage gives what can be read and a list of what was lost.
class DamagedImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(damagedFixture(QStringLiteral("orphan-tracks.tnx"))))
            GTEST_SKIP() << "the damaged legacy fixtures are not there";
    }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    // Refused, with every line of what is wrong named, and not a file written.
    void expectRefused(const QString& fixture, const QStringList& lines)
    {
        SCOPED_TRACE(fixture.toStdString());
        const QStringList before = folderEntries(dir.path());
        const QString out = path(QStringLiteral("out.tnx"));
        const ToolRun run = runTool({QStringLiteral("import"), damagedFixture(fixture), out});
        EXPECT_EQ(run.code, 1) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("the file is damaged; nothing was imported")))
            << run.err.toStdString();
        for (const QString& line : lines)
            EXPECT_TRUE(run.err.contains(QStringLiteral("\n  ") + line)) << line.toStdString() << "\n"
                                                                         << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("--salvage"))) << run.err.toStdString();
        EXPECT_EQ(folderEntries(dir.path()), before);
    }

    // Salvaged: the rows that could be read are in, what was lost is said, and the exit code says so.
    QString expectSalvaged(const QString& fixture, const QStringList& lines, const QList<int>& rowsPerTable)
    {
        SCOPED_TRACE(fixture.toStdString());
        const QString out = path(fixture);
        const ToolRun run =
            runTool({QStringLiteral("import"), QStringLiteral("--salvage"), damagedFixture(fixture), out});
        EXPECT_EQ(run.code, 3) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("what could be read was imported, and this was lost")))
            << run.err.toStdString();
        for (const QString& line : lines)
            EXPECT_TRUE(run.err.contains(QStringLiteral("\n  ") + line)) << line.toStdString() << "\n"
                                                                         << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("the catalogue is not complete"))) << run.out.toStdString();
        qsizetype index = 0;
        for (const engine::TableDefinition& table : engine::catalogueTables())
            EXPECT_EQ(number(out, QStringLiteral("SELECT count(*) FROM %1").arg(table.name)),
                      rowsPerTable.value(index++))
                << table.name.toStdString();
        return out;
    }

    QTemporaryDir dir;
};

TEST_F(DamagedImportTest, aTableSentToASystemPageIsNoEmptyTable)
{
    // The album table's definition is a system table's with no rows: it passed for an empty album table, and
    // all 36 tracks lost their albums.
    const QStringList lines = {
        QStringLiteral("eloado: the table list gives it the definition of the system table MSysQueries"),
        QStringLiteral("szamok: 36 tracks belong to no album: no row of eloado has the key(s) 1, 2, 3, 4, 6")};
    expectRefused(QStringLiteral("system-page.tnx"), lines);
    const QString out = expectSalvaged(QStringLiteral("system-page.tnx"), lines, {0, 36, 15, 12, 10, 8, 8});
    // What was salvaged is no complete catalogue, and check says so.
    const ToolRun check = runTool({QStringLiteral("check"), out});
    EXPECT_EQ(check.code, 1);
    EXPECT_TRUE(check.out.contains(QStringLiteral("36 tracks belong to no album"))) << check.out.toStdString();
    EXPECT_FALSE(check.out.contains(QStringLiteral(": ok"))) << check.out.toStdString();
}

TEST_F(DamagedImportTest, swappedDefinitionsAreNotReadAsEachOthersRows)
{
    const QStringList lines = {
        QStringLiteral("eloado: its definition is not its own: it lacks the column(s) ELOADO, ALBUM"),
        QStringLiteral("szamok: its definition is not its own: it lacks the column(s) CIM, IDO, MERET, BITRATA, "
                       "eloado_azonosito")};
    expectRefused(QStringLiteral("swapped-definitions.tnx"), lines);
    expectSalvaged(QStringLiteral("swapped-definitions.tnx"), lines, {0, 0, 15, 12, 10, 8, 8});
}

TEST_F(DamagedImportTest, aZeroedPageAndACutFileLoseRowsThatAreCounted)
{
    const QStringList zeroed = {QStringLiteral("szamok: 36 rows are declared, 0 could be read (36 lost)")};
    expectRefused(QStringLiteral("zeroed-page.tnx"), zeroed);
    const QString tracksGone = expectSalvaged(QStringLiteral("zeroed-page.tnx"), zeroed, {6, 0, 15, 12, 10, 8, 8});
    EXPECT_EQ(queryRows(tracksGone, QStringLiteral("SELECT ELOADO FROM eloado WHERE kod = 2")).value(0).value(0),
              QStringLiteral("Tücsökraj"));

    // Cut in the middle of the films' page: the part of the page that is left is not read as rows.
    const QStringList cut = {QStringLiteral("the file ends in the middle of page 45: it has been cut short"),
                             QStringLiteral("DVD_Filmek: 12 rows are declared, 0 could be read (12 lost)"),
                             QStringLiteral("progs_other: 8 rows are declared, 0 could be read (8 lost)")};
    expectRefused(QStringLiteral("truncated.tnx"), cut);
    const QString out = expectSalvaged(QStringLiteral("truncated.tnx"), cut, {6, 36, 15, 0, 0, 0, 0});
    EXPECT_EQ(number(out, QStringLiteral("SELECT count(*) FROM szamok WHERE CIM IS NULL OR CIM = ''")), 0);
}

// A row that claims more fields than its table has once made the import read beyond them and crash.
TEST_F(DamagedImportTest, aRowThatClaimsTooManyFieldsIsLeftOut)
{
    const QStringList lines = {QStringLiteral("szamok: row 1 is damaged: it claims 12288 fields where the table has 6; "
                                              "the row was left out")};
    expectRefused(QStringLiteral("damaged-row.tnx"), lines);
    const QString out = expectSalvaged(QStringLiteral("damaged-row.tnx"), lines, {6, 35, 15, 12, 10, 8, 8});
    // What the library makes of that row ("127" as its title) is not taken for a track.
    EXPECT_EQ(number(out, QStringLiteral("SELECT count(*) FROM szamok WHERE CIM = '127' OR IDO IS NULL")), 0);
}

// Damage that the reading library does not survive, or reads as a shorter value without a word: the tool and the
// program's conversion (which asks before it keeps a salvaged catalogue) both list it, and never crash.
TEST_F(DamagedImportTest, damageTheReadingLibraryDoesNotCatchIsListed)
{
    const struct
    {
        QString fixture;
        QStringList lines;
        QList<int> rows;
        QString cut; // a query that finds the damaged value if it was imported cut
    } cases[] = {
        // One byte sends the map of the clips' pages to a row its page does not have: the library crashed on the
        // table's first row.
        {QStringLiteral("usage-map.tnx"),
         {QStringLiteral("Filmek_videoklippek: reading stopped after row 0 (Segmentation fault); the rest of the "
                         "table could not be read"),
          QStringLiteral("Filmek_videoklippek: 1 rows are declared, 0 could be read (1 lost)"),
          // The table after it is read whole by a new reading process.
          QStringLiteral("games: the file has no such table")},
         {2, 5, 2, 2, 0, 0, 2},
         QString()},
        // The library ends a value at a zero character: the title was imported as 'Őrjára'.
        {QStringLiteral("zero-text.tnx"),
         {QStringLiteral("DVD_Filmek: row 10 is damaged: the value of CIM holds a zero character after 'Őrjára'; "
                         "the row was left out")},
         {6, 36, 15, 11, 10, 8, 8},
         QStringLiteral("SELECT count(*) FROM DVD_Filmek WHERE CIM LIKE 'Őrjára%'")},
    };
    for (const auto& damaged : cases) {
        expectRefused(damaged.fixture, damaged.lines);
        const QString out = expectSalvaged(damaged.fixture, damaged.lines, damaged.rows);
        if (!damaged.cut.isEmpty()) {
            EXPECT_EQ(number(out, damaged.cut), 0);
        }

        const QString converted = path(QStringLiteral("converted.tnx"));
        legacy::ImportOptions options;
        options.salvage = true;
        QStringList asked;
        options.keepSalvaged = [&](const legacy::ImportReport& report) {
            asked = legacy::describeLosses(report.losses, QStringLiteral("\n")).split(QStringLiteral("\n"));
            return false;
        };
        EXPECT_FALSE(legacy::importLegacyCatalogue(damagedFixture(damaged.fixture), converted, options).kept);
        EXPECT_EQ(asked, damaged.lines);
        EXPECT_EQ(folderEntries(dir.path()), QStringList{damaged.fixture});
        QFile::remove(out);
    }
}

TEST_F(DamagedImportTest, tracksWithoutTheirAlbumAreToldAndNewAlbumsNeverAdoptThem)
{
    // The album kod 6 was deleted in the old program and its 7 tracks stayed behind.
    const QStringList lines = {
        QStringLiteral("szamok: 7 tracks belong to no album: no row of eloado has the key(s) 6")};
    expectRefused(QStringLiteral("orphan-tracks.tnx"), lines);
    const QString out = expectSalvaged(QStringLiteral("orphan-tracks.tnx"), lines, {5, 36, 15, 12, 10, 8, 8});
    EXPECT_EQ(number(out, QStringLiteral("SELECT max(kod) FROM eloado")), 5);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(out.toUtf8().constData(), &db), SQLITE_OK);
    store::prepareConnection(db);
    ASSERT_EQ(sqlite3_exec(db, "INSERT INTO eloado (ELOADO, ALBUM) VALUES ('Új előadó', 'Új album')", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    const sqlite3_int64 key = sqlite3_last_insert_rowid(db);
    sqlite3_close(db);
    // Key 6 would hand the left tracks to the new album.
    EXPECT_EQ(key, 7);
    EXPECT_EQ(number(out, QStringLiteral("SELECT count(*) FROM szamok WHERE eloado_azonosito = 7")), 0);
}

// The program's conversion decides on a salvaged catalogue before it takes its name.
TEST_F(DamagedImportTest, aSalvagedCatalogueIsWrittenOnlyWhenItsLossesAreAccepted)
{
    const QString out = path(QStringLiteral("out.tnx"));
    legacy::ImportOptions options;
    options.salvage = true;
    std::vector<legacy::Loss> shown;
    options.keepSalvaged = [&](const legacy::ImportReport& report) {
        shown = report.losses;
        EXPECT_FALSE(QFileInfo::exists(out));
        return false;
    };
    const legacy::ImportReport declined =
        legacy::importLegacyCatalogue(damagedFixture(QStringLiteral("zeroed-page.tnx")), out, options);
    EXPECT_FALSE(declined.kept);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.front().table, QStringLiteral("szamok"));
    EXPECT_TRUE(folderEntries(dir.path()).isEmpty()) << folderEntries(dir.path()).join(' ').toStdString();

    options.keepSalvaged = [](const legacy::ImportReport&) { return true; };
    EXPECT_TRUE(legacy::importLegacyCatalogue(damagedFixture(QStringLiteral("zeroed-page.tnx")), out, options).kept);
    EXPECT_EQ(number(out, QStringLiteral("SELECT count(*) FROM Valogatasok")), 15);

    // A sound file asks nothing.
    SKIP_WITHOUT_FIXTURES();
    bool asked = false;
    options.keepSalvaged = [&](const legacy::ImportReport&) { return asked = true; };
    const legacy::ImportReport sound =
        legacy::importLegacyCatalogue(fixture(QStringLiteral("sample.tnx")), path(QStringLiteral("ép.tnx")), options);
    EXPECT_FALSE(asked);
    EXPECT_TRUE(sound.losses.empty());
}

} // namespace
