// SPDX-License-Identifier: GPL-3.0-or-later

#include "category_fixture.h"

namespace {

struct Expected
{
    QString TCurrentRow::*field;
    QString value;
};

class SelectionTest : public CategoryFixture
{
protected:
    qint64 rowid(const QString& table, const QString& where) const
    {
        return catalogue->rows(QStringLiteral("SELECT rowid FROM %1 WHERE %2").arg(table, where))
            .value(0)
            .value(0)
            .toLongLong();
    }

    void expectFields(const std::vector<Expected>& expected)
    {
        for (const Expected& entry : expected)
            EXPECT_EQ(window().editState().currentRow.*entry.field, entry.value) << entry.value.toStdString();
    }
};

TEST_F(SelectionTest, albumClickListsItsTracksAndResetsTheSearchColumns)
{
    catalogue->addAlbum(QStringLiteral("Illés"), QStringLiteral("Human Rights"));
    const qint64 idorablo = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    const qint64 ismeros = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Ismerős arcok"));
    catalogue->addTrack(idorablo, QStringLiteral("Ezüst eső"), "5:10", "8100", "192", "CD1");
    catalogue->addTrack(ismeros, QStringLiteral("Tíz év"), "4:00", "6000", "192", "CD2");
    catalogue->addTrack(ismeros, QStringLiteral("Régi csibészek"), "3:30", "5000", "160", "CD2");
    TFoablak& main = startWithCaptions();

    dragColumn("DBGrid2", 0, 40);
    ASSERT_EQ(columnWidth("DBGrid2", 0), 240);
    chooseSearchColumn(QStringLiteral("Album"));
    typeSearch(QStringLiteral("I"));
    ASSERT_EQ(countLabel()->text(), QStringLiteral("2"));
    ASSERT_EQ(main.searchColumn, QStringLiteral("ALBUM"));

    // The second row is clicked while the grid's cursor still stands on the first.
    clickCell("DBGrid1", 1, 1);
    EXPECT_EQ(main.editState().currentRow.albumEloado, QStringLiteral("Omega"));
    EXPECT_EQ(main.editState().currentRow.albumAlbum, QStringLiteral("Ismerős arcok"));
    EXPECT_EQ(main.editState().currentRow.albumIdentity.toLongLong(), ismeros);
    EXPECT_EQ(columnValues("DBGrid2", 0), QStringList({"Régi csibészek", "Tíz év"}));
    EXPECT_EQ(main.detailQuery().statement().text(),
              QStringLiteral("SELECT szamok.CIM, szamok.IDO, szamok.MERET, szamok.BITRATA, szamok.KOD FROM eloado "
                             "INNER JOIN szamok ON eloado.kod = szamok.eloado_azonosito where ((eloado=\"Omega\") and "
                             "(album=\"Ismerős arcok\")) order by cim"));
    EXPECT_EQ(grid("DBGrid2")->columnWidths(), std::vector<int>({200, 50, 60, 50, 30}));
    EXPECT_TRUE(main.editState().albumGridActive);
    EXPECT_FALSE(main.editState().trackGridActive);
    EXPECT_EQ(label("eloado_label")->text(), QStringLiteral("Omega"));
    EXPECT_EQ(label("album_label")->text(), QStringLiteral("Ismerős arcok"));

    // The list is reset to the first column without a search: the box, the count and the column stay.
    EXPECT_EQ(comboItems(searchColumns()), QStringList({"Előadó", "Album"}));
    EXPECT_EQ(searchColumns()->currentIndex(), 0);
    EXPECT_EQ(searchBox()->text(), QStringLiteral("I"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(main.searchColumn, QStringLiteral("ALBUM"));
    expectNoErrors();
}

TEST_F(SelectionTest, albumsSharingArtistAndTitleEachListOnlyTheirOwnTracks)
{
    const qint64 first = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Best of"));
    const qint64 second = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Best of"));
    catalogue->insert("eloado", {QVariant(), QVariant(), QStringLiteral("Névtelen")});
    catalogue->addTrack(first, QStringLiteral("Gyöngyhajú lány"), "00:04:00", "6 MB", "192", "CD1");
    catalogue->addTrack(second, QStringLiteral("Petróleumlámpa"), "00:03:00", "5 MB", "192", "CD2");
    const qint64 nameless =
        catalogue->rows("SELECT kod FROM eloado WHERE ELOADO IS NULL").value(0).value(0).toLongLong();
    catalogue->addTrack(nameless, QStringLiteral("Cím nélkül"), "00:02:00", "2 MB", "128", "CD3");
    startWithCaptions();
    // Ordered by artist: the album without an artist comes first, then the two Omega albums in key order.
    clickCell("DBGrid1", 1);
    EXPECT_EQ(columnValues("DBGrid2", 0), QStringList({"Gyöngyhajú lány"}));
    clickCell("DBGrid1", 2);
    EXPECT_EQ(columnValues("DBGrid2", 0), QStringList({"Petróleumlámpa"}));
    clickCell("DBGrid1", 0);
    EXPECT_EQ(columnValues("DBGrid2", 0), QStringList({"Cím nélkül"})) << "a null artist still lists its tracks";
    expectNoErrors();
}

TEST_F(SelectionTest, trackClickCapturesTheTrackAndTheFlagsFollowTheClicksAndTabs)
{
    const qint64 album = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->insert("szamok", {QStringLiteral("Alvó város"), "3:58", "5600", QVariant(), "CD1", album});
    catalogue->addTrack(album, QStringLiteral("Ezüst eső"), "5:10", "8100", "192", "CD1");
    TFoablak& main = startWithCaptions();
    clickCell("DBGrid1", 0);

    clickCell("DBGrid2", 1);
    expectFields({{&TCurrentRow::trackCim, "Ezüst eső"},
                  {&TCurrentRow::trackMeret, "8100"},
                  {&TCurrentRow::trackEditCim, "Ezüst eső"},
                  {&TCurrentRow::trackIdo, "5:10"},
                  {&TCurrentRow::trackBitrata, "192"},
                  {&TCurrentRow::trackKod, "CD1"},
                  {&TCurrentRow::albumEloado, "Omega"},
                  {&TCurrentRow::albumAlbum, "Időrabló"}});
    EXPECT_EQ(main.editState().currentRow.trackIdentity.toLongLong(), rowid("szamok", "CIM = 'Ezüst eső'"));
    EXPECT_TRUE(main.editState().trackGridActive);
    EXPECT_FALSE(main.editState().albumGridActive);

    // A null reads as empty text.
    clickCell("DBGrid2", 0);
    EXPECT_EQ(main.editState().currentRow.trackCim, QStringLiteral("Alvó város"));
    EXPECT_EQ(main.editState().currentRow.trackBitrata, QString());

    clickCell("DBGrid1", 0);
    EXPECT_TRUE(main.editState().albumGridActive);
    EXPECT_FALSE(main.editState().trackGridActive);
    clickCell("DBGrid2", 0);

    // A tab change forgets the key fields and the track list; the captions and the other fields stay.
    switchToTab(2);
    switchToTab(0);
    EXPECT_TRUE(main.editState().albumGridActive);
    EXPECT_FALSE(main.editState().trackGridActive);
    expectFields({{&TCurrentRow::trackCim, ""},
                  {&TCurrentRow::albumEloado, ""},
                  {&TCurrentRow::trackEditCim, "Alvó város"},
                  {&TCurrentRow::trackIdo, "3:58"}});
    EXPECT_FALSE(main.editState().currentRow.trackIdentity.isValid());
    EXPECT_EQ(grid("DBGrid2")->model()->rowCount(), 0);
    EXPECT_EQ(label("album_label")->text(), QStringLiteral("Időrabló"));
    expectNoErrors();
}

TEST_F(SelectionTest, clickOnEachCategoryGridCapturesEveryFieldOfTheClickedRow)
{
    catalogue->insert("Valogatasok", {"Abba", "Gold", "3:00", "128", "3000", "V1"});
    catalogue->insert("Valogatasok", {"Beatles", "Help", QVariant(), "192", "4100", "V2"});
    catalogue->insert("DVD_Filmek", {"Alien", "Alien", "angol", "magyar", "1", "01:57:00", "sci-fi"});
    catalogue->insert("DVD_Filmek", {"Mátrix", "The Matrix", "angol, magyar", "magyar", "2", "02:16:00", QVariant()});
    catalogue->insert("Filmek_videoklippek", {"Akira", "", "japán", "640x480", "650", "02:04:00", "anime", "", ""});
    catalogue->insert("Filmek_videoklippek",
                      {"Vuk", "rajzfilm", "magyar", "720x576", "700", "01:19:00", "mese", "DivX", QVariant()});
    catalogue->insert("games", {"Arkanoid", "", "1", "G1"});
    catalogue->insert("games", {"Doom", QVariant(), "700", "G2"});
    catalogue->insert("progs_other", {"Audacity", "hang", "30", "P1"});
    catalogue->insert("progs_other", {"Qt", "keretrendszer", QVariant(), "P2"});
    TFoablak& main = startWithCaptions();
    main.editState().currentRow.gamesMegjegyzes = QStringLiteral("from before");

    const std::vector<std::pair<QString, std::vector<Expected>>> grids = {
        {"DBGrid3",
         {{&TCurrentRow::valogatasEloado, "Beatles"},
          {&TCurrentRow::valogatasAlbum, "Help"},
          {&TCurrentRow::valogatasIdo, ""},
          {&TCurrentRow::valogatasBitrata, "192"},
          {&TCurrentRow::valogatasMeret, "4100"},
          {&TCurrentRow::valogatasKod, "V2"}}},
        {"DBGrid4",
         {{&TCurrentRow::dvdCim, "Mátrix"},
          {&TCurrentRow::dvdHossz, "02:16:00"},
          {&TCurrentRow::dvdEredetiCim, "The Matrix"},
          {&TCurrentRow::dvdDbDvd, "2"},
          {&TCurrentRow::dvdStilus, ""},
          {&TCurrentRow::dvdNyelv, "angol, magyar"},
          {&TCurrentRow::dvdFelirat, "magyar"}}},
        {"DBGrid5",
         {{&TCurrentRow::videoklipCim, "Vuk"},
          {&TCurrentRow::videoklipMegjegyzes, "rajzfilm"},
          {&TCurrentRow::videoklipNyelv, "magyar"},
          {&TCurrentRow::videoklipFelbontas, "720x576"},
          {&TCurrentRow::videoklipMeret, "700"},
          {&TCurrentRow::videoklipHossz, "01:19:00"},
          {&TCurrentRow::videoklipStilus, "mese"},
          {&TCurrentRow::videoklipVideo, "DivX"},
          {&TCurrentRow::videoklipHang, ""}}},
        {"DBGrid6",
         {{&TCurrentRow::gamesNev, "Doom"},
          {&TCurrentRow::gamesMeret, "700"},
          {&TCurrentRow::gamesMegjegyzes, ""},
          {&TCurrentRow::gamesKod, "G2"}}},
        {"DBGrid7",
         {{&TCurrentRow::progsProgramok, "Qt"},
          {&TCurrentRow::progsMeret, ""},
          {&TCurrentRow::progsMegjegyzes, "keretrendszer"},
          {&TCurrentRow::progsKod, "P2"}}},
    };
    for (int tab = 1; tab <= 5; ++tab) {
        const auto& [gridName, expected] = grids[static_cast<std::size_t>(tab - 1)];
        SCOPED_TRACE(gridName.toStdString());
        switchToTab(tab);
        clickCell(gridName, 1, 2);
        expectFields(expected);
    }
    EXPECT_EQ(main.editState().currentRow.progsIdentity.toLongLong(), rowid("progs_other", "Programok = 'Qt'"));

    // The tab changes since forgot the key fields of the other grids; their other fields stay.
    expectFields({{&TCurrentRow::dvdCim, ""},
                  {&TCurrentRow::dvdEredetiCim, "The Matrix"},
                  {&TCurrentRow::videoklipStilus, "mese"},
                  {&TCurrentRow::gamesNev, ""},
                  {&TCurrentRow::gamesKod, "G2"}});
    expectNoErrors();
}

TEST_F(SelectionTest, aColumnThatCannotBeReadEmptiesOnlyItsOwnField)
{
    catalogue->insert("games", {"Doom", "lövöldözős", "700", "G2"});
    TFoablak& main = startWithCaptions();
    main.editState().currentRow.gamesMegjegyzes = QStringLiteral("from before");
    catalogue->exec("ALTER TABLE games DROP COLUMN Megjegyzes");

    switchToTab(4);
    clickCell("DBGrid6", 0);
    expectFields({{&TCurrentRow::gamesNev, "Doom"},
                  {&TCurrentRow::gamesMeret, "700"},
                  {&TCurrentRow::gamesMegjegyzes, ""},
                  {&TCurrentRow::gamesKod, "G2"}});
    EXPECT_EQ(main.editState().currentRow.gamesIdentity.toLongLong(), rowid("games", "NEV = 'Doom'"));
    expectNoErrors();
}

TEST_F(SelectionTest, aWidthIsRememberedWhenAButtonIsReleasedOverTheGrid)
{
    catalogue->insert("DVD_Filmek", {"Alien", "Alien", "angol", "magyar", "1", "01:57:00", "sci-fi"});
    catalogue->insert("games", {"Doom", "", "700", "G2"});
    startWithCaptions();

    switchToTab(2);
    dragColumn("DBGrid4", 1, 50);
    EXPECT_EQ(columnWidth("DBGrid4", 1), 350);
    switchToTab(4);
    switchToTab(2);
    EXPECT_EQ(columnWidth("DBGrid4", 1), 350);

    // A width set with no button released over the grid is not remembered: the reload puts the last one back.
    switchToTab(4);
    grid("DBGrid6")->horizontalHeader()->resizeSection(0, 123);
    switchToTab(2);
    switchToTab(4);
    EXPECT_EQ(columnWidth("DBGrid6", 0), 250);

    // The right button counts as well, released over the rows.
    grid("DBGrid6")->horizontalHeader()->resizeSection(0, 123);
    QTest::mouseRelease(grid("DBGrid6")->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    switchToTab(2);
    switchToTab(4);
    EXPECT_EQ(columnWidth("DBGrid6", 0), 123);
    expectNoErrors();
}

} // namespace
