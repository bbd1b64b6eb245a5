// SPDX-License-Identifier: GPL-3.0-or-later

#include "record_fixture.h"

// Recording edits: the row the edit was opened for is written back, and no other.

namespace {

class RecordEditFixture : public RecordFixture
{
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        window().textSlots().set(301, QStringLiteral("Módosít"));
    }
    // Adds an album with one track; returns the album's key.
    qint64 albumWithTrack(const char* artist, const char* album, const char* track)
    {
        const qint64 key = catalogue->addAlbum(QString::fromUtf8(artist), QString::fromUtf8(album));
        catalogue->addTrack(key, QString::fromUtf8(track), "00:01:00", "1 MB", "128", "K1");
        return key;
    }
    void reload() { relist(); }
    void editRow(int tab, const QString& gridName, int row)
    {
        switchToTab(tab);
        clickCell(gridName, row);
        pressSzerkesztes();
        ASSERT_TRUE(window().editState().mode.editMode);
    }
    void expectClosedAfterEdit()
    {
        expectNoErrors();
        EXPECT_FALSE(dialog().isVisible());
        EXPECT_FALSE(window().editState().mode.editMode);
    }
};

class RecordEditTest : public OnBothEngines<RecordEditFixture>
{
};

// An update the file engine refuses, caused through the file itself (a trigger).
class RecordEditFileTest : public RecordEditFixture
{
};

TEST_P(RecordEditTest, anAlbumEditRenamesTheAlbumAndItsTracksFollow)
{
    const qint64 key = albumWithTrack("Omaga", "Időrabló", "Ezüst eső");
    albumWithTrack("Omaga", "Időrabló", "Másik album száma"); // same artist and title, another row
    reload();
    clickCell("DBGrid1", 0);
    pressSzerkesztes();
    edit("eloado_neve")->setText(QStringLiteral("Omega"));
    edit("Album_cime")->setText(QStringLiteral("Időrabló 1977"));
    press();
    expectClosedAfterEdit();
    EXPECT_EQ(sent, QStringList({"UPDATE eloado SET eloado= \"Omega\" , album =\"Időrabló 1977\" where "
                                 "(eloado.eloado = \"Omaga\") and (eloado.album = \"Időrabló\")"}));
    const QList<QVariantList> albums = tableRows("eloado");
    EXPECT_EQ(albums.at(0), QVariantList({key, "Omega", "Időrabló 1977"}));
    EXPECT_EQ(albums.at(1).mid(1), values({"Omaga", "Időrabló"}));
    // Listed again under its new name, with its track.
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    const QList<QVariantList> tracks = catalogue->rows(
        "SELECT szamok.cim FROM eloado JOIN szamok ON eloado.kod = szamok.eloado_azonosito WHERE eloado.eloado = "
        "'Omega'");
    EXPECT_EQ(tracks, QList<QVariantList>({values({"Ezüst eső"})}));
}

TEST_P(RecordEditTest, aTrackEditLeavesTheSameNamedTrackOfAnotherAlbumAlone)
{
    albumWithTrack("Beatrice", "Első", "Intro");
    albumWithTrack("Edda", "Első", "Intro");
    reload();
    clickCell("DBGrid1", 1); // Edda
    clickCell("DBGrid2", 0);
    pressSzerkesztes();
    edit("Szam_cime")->setText(QString());
    edit("album_perc")->setText(QStringLiteral("02"));
    press();
    expectClosedAfterEdit();
    EXPECT_EQ(sent, QStringList({"UPDATE szamok SET cim=\"\", ido=\"00:02:00\", meret=\"1 MB\", bitrata=\"128\", "
                                 "kod=\"K1\" where (szamok.cim=\"Intro\") and (szamok.meret=\"1 MB\")"}));
    const QList<QVariantList> tracks = catalogue->rows(
        "SELECT eloado.eloado, szamok.cim, szamok.ido FROM szamok JOIN eloado ON eloado.kod = szamok.eloado_azonosito "
        "ORDER BY eloado.eloado");
    EXPECT_EQ(tracks,
              QList<QVariantList>({values({"Beatrice", "Intro", "00:01:00"}), values({"Edda", "", "00:02:00"})}));
}

TEST_P(RecordEditTest, clickingAnotherRowWhileTheDialogIsOpenDoesNotMoveTheEdit)
{
    catalogue->insert("games", {"Doom", "FPS", "40 MB", "G1"});
    catalogue->insert("games", {"Quake", "FPS", "60 MB", "G2"});
    editRow(4, "DBGrid6", 0);
    clickCell("DBGrid6", 1);
    switchToTab(5); // a browse forgets the clicked rows of the main window
    edit("Jatek_neve")->setText(QStringLiteral("Doom II"));
    press();
    expectClosedAfterEdit();
    EXPECT_EQ(sent, QStringList({"UPDATE games SET nev=\"Doom II\", megjegyzes=\"FPS\", meret=\"40 MB\", kod=\"G1\" "
                                 "where (games.nev=\"Doom\" and games.meret=\"40 MB\")"}));
    EXPECT_EQ(tableRows("games"), QList<QVariantList>({values({"Doom II", "FPS", "40 MB", "G1"}),
                                                       values({"Quake", "FPS", "60 MB", "G2"})}));
}

TEST_P(RecordEditTest, twoRowsWithTheSameComparedValuesAreToldApart)
{
    catalogue->insert("progs_other", {"Office", "régi", "300 MB", "P1"});
    catalogue->insert("progs_other", {"Office", "új", "300 MB", "P2"});
    editRow(5, "DBGrid7", 1);
    const QString clickedCode = text("Progs_kod");
    edit("Progs_Megjegyezes")->setText(QStringLiteral("javított"));
    press();
    expectClosedAfterEdit();
    // The clicked row changed; the other one kept its note and its own code.
    const QString otherCode = clickedCode == "P1" ? QStringLiteral("P2") : QStringLiteral("P1");
    const QString otherNote = clickedCode == "P1" ? QStringLiteral("új") : QStringLiteral("régi");
    EXPECT_EQ(catalogue->rows("SELECT megjegyzes, kod FROM progs_other ORDER BY megjegyzes = 'javított'"),
              QList<QVariantList>({QVariantList({otherNote, otherCode}), QVariantList({"javított", clickedCode})}));
}

TEST_P(RecordEditTest, anEditWhoseRowWasDeletedMeanwhileChangesNothingAndSaysSo)
{
    catalogue->insert("Valogatasok", {"Neoton - Vándorének", "Best of", "03:45:10", "128", "3 MB", "V1"});
    editRow(1, "DBGrid3", 0);
    // Another program deletes the row; a new row may even take over its place in the table.
    catalogue->exec("DELETE FROM Valogatasok");
    catalogue->insert("Valogatasok", {"Korál - Halálos iramban", "Best of", "04:00:00", "128", "3 MB", "V2"});
    edit("Album_cim")->setText(QStringLiteral("Válogatás"));
    press();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_TRUE(sent.at(0).startsWith("UPDATE valogatasok SET eloado=\"Neoton - Vándorének\", album=\"Válogatás\", "
                                      "ido=\"03:45:10\", bitrata=\"128\", meret=\"3 MB\", kod=\"V1\" where "
                                      "(valogatasok.eloado=\"Neoton - Vándorének\") and (valogatasok.meret=\"3 MB\")"))
        << sent.at(0).toStdString();
    EXPECT_EQ(tableRows("Valogatasok"),
              QList<QVariantList>({values({"Korál - Halálos iramban", "Best of", "04:00:00", "128", "3 MB", "V2"})}));
    // The user is told, and the dialog keeps the edit with what was typed.
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.at(0).contains(QStringLiteral("időközben")));
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_TRUE(window().editState().mode.editMode);
    EXPECT_EQ(text("Album_cim"), QStringLiteral("Válogatás"));
}

TEST_P(RecordEditTest, aDvdEditIsCheckedLikeANewFilmAndStoresTheRemainingSubtitles)
{
    catalogue->insert("DVD_Filmek", {"A tanú", "", "AC3/6 HU", "magyar", "1", "01:32:05", "Vígjáték"});
    editRow(2, "DBGrid4", 0);
    for (const char* name : {"film_ora", "film_perc", "film_mp"})
        edit(QString::fromLatin1(name))->setText(QStringLiteral("00"));
    expectRefusal(20514);
    edit("Film_eredeti_cime")->setText(QStringLiteral("The Witness"));
    expectRefusal(20514);
    EXPECT_TRUE(window().editState().mode.editMode);

    edit("film_ora")->setText(QStringLiteral("01"));
    doubleClickItem("Film_feliratai", 0);
    press();
    expectClosedAfterEdit();
    EXPECT_EQ(sent, QStringList({"UPDATE dvd_filmek SET cim=\"A tanú\", eredeti_cim=\"The Witness\", "
                                 "nyelv=\"AC3/6 HU\", felirat=\"-\", db_dvd=\"1\", hossz=\"01:00:00\", "
                                 "stilus=\"Vígjáték\" where (DVD_Filmek.cim=\"A tanú\" and "
                                 "DVD_Filmek.hossz=\"01:32:05\")"}));
    EXPECT_EQ(tableRows("DVD_Filmek"),
              QList<QVariantList>({values({"A tanú", "The Witness", "AC3/6 HU", "-", "1", "01:00:00", "Vígjáték"})}));
}

TEST_P(RecordEditTest, aClipEditComparesTitleAndDescription)
{
    catalogue->insert("Filmek_videoklippek",
                      {"Klip", "élő", "magyar", "720", "50 MB", "00:03:30", "pop", "DivX", "MP3"});
    editRow(3, "DBGrid5", 0);
    edit("Clip_meret")->clear();
    expectRefusal(20520);
    edit("Clip_meret")->setText(QStringLiteral("55 MB"));
    press();
    expectClosedAfterEdit();
    EXPECT_EQ(sent, QStringList({"UPDATE Filmek_videoklippek SET cim=\"Klip\", megjegyzes=\"élő\", nyelv=\"magyar\", "
                                 "felbontas=\"720\", meret=\"55 MB\", hossz=\"00:03:30\", stilus=\"pop\", "
                                 "video=\"DivX\", hang=\"MP3\" where (Filmek_videoklippek.cim=\"Klip\" and "
                                 "Filmek_videoklippek.MEGJEGYZES=\"élő\")"}));
    EXPECT_EQ(tableRows("Filmek_videoklippek").at(0).at(4).toString(), QStringLiteral("55 MB"));
}

TEST_P(RecordEditTest, aProgramEditIsWrittenAndTheDialogClosesWhicheverButton)
{
    catalogue->insert("progs_other", {"Office", "irodai", "300 MB", "P1"});
    editRow(5, "DBGrid7", 0);
    edit("Progs_neve")->clear();
    expectRefusal(20523);
    edit("Progs_neve")->setText(QStringLiteral("LibreOffice"));
    press();
    expectClosedAfterEdit();
    EXPECT_EQ(sent, QStringList({"UPDATE progs_other SET programok=\"LibreOffice\", megjegyzes=\"irodai\", "
                                 "meret=\"300 MB\", kod=\"P1\" where (progs_other.programok=\"Office\" and "
                                 "progs_other.meret=\"300 MB\")"}));
    // The fields keep the edited texts; Adatbevitel then opens for new rows.
    EXPECT_EQ(text("Progs_neve"), QStringLiteral("LibreOffice"));
    pressAdatbevitel();
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_FALSE(window().editState().mode.editMode);
    EXPECT_TRUE(control<QPushButton>("Rogzit_end")->isVisible());
}

TEST_P(RecordEditTest, aRowWithANullComparedColumnIsStillEdited)
{
    // Imported catalogues keep NULLs apart from empty texts; the list shows a NULL size as empty text.
    catalogue->insert("progs_other", {"Térképek", "útvonaltervező", QVariant(), QVariant()});
    editRow(5, "DBGrid7", 0);
    edit("Progs_meret")->setText(QStringLiteral("700 MB"));
    press();
    expectClosedAfterEdit();
    EXPECT_EQ(sent, QStringList({"UPDATE progs_other SET programok=\"Térképek\", megjegyzes=\"útvonaltervező\", "
                                 "meret=\"700 MB\", kod=\"\" where (progs_other.programok=\"Térképek\" and "
                                 "progs_other.meret=\"\")"}));
    EXPECT_EQ(tableRows("progs_other"), QList<QVariantList>({values({"Térképek", "útvonaltervező", "700 MB", ""})}));
}

// A category without an entry page cannot be made current, so no edit starts there and nothing is written.
TEST_P(RecordEditTest, noEditStartsFromACategoryWithoutAPage)
{
    catalogue->insert("games", {"Doom", "FPS", "40 MB", "G1"});
    tabs()->setCurrentIndex(7);
    EXPECT_LT(window().activeTab(), 6);
    pressSzerkesztes();
    EXPECT_FALSE(dialog().isVisible() && dialog().shownPage() >= 6);
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_EQ(tableRows("games"), QList<QVariantList>({values({"Doom", "FPS", "40 MB", "G1"})}));
}

TEST_F(RecordEditFileTest, aRejectedUpdateKeepsTheDialogEditing)
{
    catalogue->insert("games", {"Doom", "FPS", "40 MB", "G1"});
    editRow(4, "DBGrid6", 0);
    catalogue->exec("CREATE TRIGGER locked BEFORE UPDATE ON games BEGIN SELECT RAISE(ABORT, 'zárolt'); END");
    edit("Jatek_neve")->setText(QStringLiteral("Doom II"));
    press();
    EXPECT_EQ(desktop.errors.reports, QStringList({"zárolt"}));
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_TRUE(window().editState().mode.editMode);
    EXPECT_EQ(text("Jatek_neve"), QStringLiteral("Doom II"));
}

RUN_ON_BOTH_ENGINES(RecordEditTest);

} // namespace
