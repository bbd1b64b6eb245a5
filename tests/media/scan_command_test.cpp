// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/tool_support.h"
#include "support/catalogue_builder.h"
#include "support/engine.h"
#include "support/postgres_server.h"

// mediatar-catalogue scan: the rows the media give, printed, and added in one transaction unless --dry-run.

namespace {

using tool_test::runTool;

const QString fixtures = QStringLiteral(MEDIATAR_SOURCE_DIR "/tests/media/fixtures");

class ScanCommandTest : public ::testing::TestWithParam<Engine>
{
protected:
    void SetUp() override
    {
        catalogue = std::make_unique<TestCatalogue>(dir.path());
        if (GetParam() == Engine::Server) {
            ASSERT_SERVER_RUNNING();
            catalogue->moveToServer();
        }
    }
    // Everything the catalogue's tables hold.
    QList<QVariantList> allRows() const
    {
        QList<QVariantList> rows;
        for (const char* table :
             {"eloado", "szamok", "Valogatasok", "DVD_Filmek", "Filmek_videoklippek", "games", "progs_other"})
            rows << catalogue->rows(QStringLiteral("SELECT * FROM ") + table);
        return rows;
    }

    QTemporaryDir dir;
    std::unique_ptr<TestCatalogue> catalogue;
};

TEST_P(ScanCommandTest, printsTheRowsAndAddsThemUnlessItIsADryRun)
{
    const qint64 held = catalogue->addAlbum(QStringLiteral("Kispál és a Borz"), QStringLiteral("Ágy, asztal, tévé"));
    catalogue->addTrack(held, QStringLiteral("Tűzoltó"), QStringLiteral("00:00:05"), "20 kB", "32", "CD-1");
    const QStringList printed = {
        "eloado\tKispál és a Borz\tÁgy, asztal, tévé\t(catalogued)",
        "szamok\tŐszi délután\t00:00:03\t12 kB\t32\tCD-2",
        "szamok\tTűzoltó\t00:00:05\t20 kB\t32\tCD-2\t(catalogued, left out)",
        "szamok\tZsákutca\t00:00:03\t12 kB\t32\tCD-2",
        "Valogatasok\tElső Előadó - Első szám\tNyári válogatás\t00:00:03\t32\t12 kB\tCD-2",
        "Valogatasok\tMásodik Előadó - Második szám\tNyári válogatás\t00:00:05\t32\t20 kB\tCD-2",
    };
    const QStringList paths = {fixtures + "/music/album", fixtures + "/music/compilation", fixtures + "/bad/ures.mp3"};
    const QString place = catalogue->place();

    const QList<QVariantList> before = allRows();
    const QByteArray fileBefore = catalogue->onServer() ? QByteArray() : tool_test::fileHash(place);
    tool_test::ToolRun run = runTool(QStringList{"scan"} + paths + QStringList{place, "--kod", "CD-2", "--dry-run"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.split('\n').mid(0, printed.size()), printed);
    EXPECT_TRUE(run.out.contains("4 rows would be added")) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("ures.mp3: A fájl üres.")) << run.err.toStdString();
    EXPECT_EQ(allRows(), before);
    if (!catalogue->onServer()) {
        EXPECT_EQ(tool_test::fileHash(place), fileBefore);
    }

    run = runTool(QStringList{"scan"} + paths + QStringList{place, "--kod=CD-2"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.split('\n').mid(0, printed.size()), printed);
    EXPECT_TRUE(run.out.contains("4 rows added")) << run.out.toStdString();
    EXPECT_EQ(
        catalogue->rows("SELECT CIM, KOD, eloado_azonosito FROM szamok ORDER BY IDO, KOD"),
        QList<QVariantList>({{"Őszi délután", "CD-2", held}, {"Zsákutca", "CD-2", held}, {"Tűzoltó", "CD-1", held}}));
    EXPECT_EQ(catalogue->count("szamok"), 3);
    EXPECT_EQ(catalogue->count("Valogatasok"), 2);
}

TEST_P(ScanCommandTest, aCatalogueThatCannotTakeTheRowsGetsNone)
{
    // On a server, a role that may only read; a file, another program holds its write lock.
    QString place = catalogue->place();
    sqlite3* other = nullptr;
    if (catalogue->onServer()) {
        place = catalogue->readerUri();
    } else {
        ASSERT_EQ(sqlite3_open(place.toUtf8().constData(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    tool_test::ToolRun run = runTool({"scan", fixtures + "/game/Aknakereső", place, "--kind", "games"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("nothing was added")) << run.err.toStdString();
    if (other) {
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
    EXPECT_EQ(catalogue->count("games"), 0);
    // Looking is allowed.
    run = runTool({"scan", fixtures + "/game/Aknakereső", place, "--kind", "games", "--dry-run"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("games\tAknakereső\t\t34 kB\t\n")) << run.out.toStdString();
}

RUN_ON_BOTH_ENGINES(ScanCommandTest);

TEST(ScanCommand, wrongArgumentsAreToldBeforeAnythingIsRead)
{
    QTemporaryDir dir;
    TestCatalogue catalogue(dir.path());
    const struct
    {
        QStringList args;
        int code;
        const char* told;
    } cases[] = {
        {{"scan", catalogue.path()}, 2, "FILE|URI is missing"},
        {{"scan", fixtures + "/video", catalogue.path(), "--kind", "vhs"}, 2, "'vhs' is none of"},
        {{"scan", fixtures + "/nincs ilyen", catalogue.path()}, 1, "no such file or folder"},
        {{"scan", fixtures + "/video", dir.path() + "/nincs.tnx"}, 1, "nothing was added"},
    };
    for (const auto& c : cases) {
        const tool_test::ToolRun run = runTool(c.args);
        EXPECT_EQ(run.code, c.code) << c.told;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.told))) << run.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/nincs.tnx"));
    EXPECT_EQ(catalogue.count("Filmek_videoklippek"), 0);
}

} // namespace
