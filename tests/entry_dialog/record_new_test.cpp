// SPDX-License-Identifier: GPL-3.0-or-later

#include "record_fixture.h"

#include "entry_dialog/up_down.h"
#include "main_window/category_grid.h"
#include "support/reported_texts.h"

// Recording new rows on each page, read back from the catalogue file.

namespace {

class RecordNewFixture : public RecordFixture
{
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        pressAdatbevitel();
    }
    void fillTrack(const char* artist, const char* album, const char* title)
    {
        fill({{"eloado_neve", artist},
              {"Album_cime", album},
              {"Szam_cime", title},
              {"album_perc", "03"},
              {"album_mp", "20"},
              {"Meret", "4 MB"},
              {"Tomorites", "192"},
              {"Kod", "CD1"}});
    }
    qint64 albumCount() const { return catalogue->count(QStringLiteral("eloado")); }
    void setTicks(bool artist, bool album)
    {
        checkBox("Eloado_azonos")->setChecked(artist);
        checkBox("Album_azonos")->setChecked(album);
    }
};

class RecordNewTest : public OnBothEngines<RecordNewFixture>
{
};

// Writes the file engine refuses, caused through the file itself (triggers, a dropped table).
class RecordNewFileTest : public RecordNewFixture
{
};

TEST_P(RecordNewTest, anAlbumTrackIsRefusedForEachMissingFieldInTurn)
{
    expectRefusal(20511);
    fill({{"eloado_neve", "Omega"}});
    expectRefusal(20512);
    fill({{"Album_cime", "Égi jel"}});
    expectRefusal(20513);
    fill({{"Szam_cime", "Nyitány"}});
    expectRefusal(20514);
    fill({{"album_mp", "40"}});
    expectRefusal(20515);
    EXPECT_EQ(albumCount(), 0);
    EXPECT_EQ(catalogue->count("szamok"), 0);
    EXPECT_EQ(text("Szam_cime"), QStringLiteral("Nyitány"));
    // The main window's list stays as it was.
    EXPECT_TRUE(window().browseQuery().isOpen());
}

TEST_P(RecordNewTest, theFirstTrackOfAnAlbumWritesTheAlbumRowAndTheTrackUnderItsNewKey)
{
    // An older album of the same artist under another title must not receive the track.
    const qint64 older = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Égi jel 2"));
    fillTrack("Omega", "Égi jel", "Nyitány");
    window().searchColumn = QStringLiteral("ELOADO");
    window().searchBox()->setText(QStringLiteral("O"));
    press();
    expectNoErrors();

    const QList<QVariantList> albums = tableRows("eloado");
    ASSERT_EQ(albums.size(), 2);
    const qint64 key = albums.at(1).at(0).toLongLong();
    EXPECT_NE(key, older);
    EXPECT_EQ(albums.at(1).mid(1), values({"Omega", "Égi jel"}));
    const QList<QVariantList> tracks = tableRows("szamok");
    ASSERT_EQ(tracks.size(), 1);
    EXPECT_EQ(tracks.at(0).mid(0, 5), values({"Nyitány", "00:03:20", "4 MB", "192", "CD1"}));
    EXPECT_EQ(tracks.at(0).at(5).toLongLong(), key);
    EXPECT_EQ(dialog().currentAlbumKey(), QString::number(key));

    EXPECT_EQ(sent, QStringList({
                        "select kod from eloado where (trim(eloado.eloado) = trim(\"Omega\")) and "
                        "(trim(eloado.album) = trim(\"Égi jel\")) order by kod limit 1",
                        "insert into eloado (ELOADO, ALBUM) values (\"Omega\", \"Égi jel\")",
                        "select kod from eloado where (eloado.eloado = \"Omega\") and (eloado.album = \"Égi jel\")",
                        QStringLiteral("insert into szamok values (\"Nyitány\", \"00:03:20\", \"4 MB\", \"192\", "
                                       "\"CD1\", \"%1\")")
                            .arg(key),
                    }));
    // Closing steps: the search emptied, the albums listed again, the track list closed, the dialog still open.
    EXPECT_EQ(window().searchBox()->text(), QString());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_FALSE(window().detailQuery().isOpen());
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_FALSE(window().editState().mode.editMode);
}

TEST_P(RecordNewTest, theSameValueBoxesDecideWhatStaysAndWhetherTheNextTrackStartsAnAlbum)
{
    struct Case
    {
        bool artist;
        bool album;
        const char* focus;
        const char* artistAfter;
        const char* albumAfter;
        int statementsOfSecondTrack;
    };
    // The album box counts by its tick even while the artist box has it greyed.
    // Without both boxes the next track looks its album up by the fields and joins the same album; with both
    // it goes to the kept album without a look-up.
    const Case cases[] = {{false, false, "eloado_neve", "", "", 2},
                          {true, false, "Album_cime", "Omega", "", 2},
                          {false, true, "eloado_neve", "", "", 2},
                          {true, true, "Szam_cime", "Omega", "Égi jel", 1}};
    for (const Case& c : cases) {
        catalogue->exec("DELETE FROM szamok");
        catalogue->exec("DELETE FROM eloado");
        pressAdatbevitel();
        setTicks(c.artist, c.album);
        fillTrack("Omega", "Égi jel", "Első");
        press();
        EXPECT_EQ(focusedName(), QString::fromLatin1(c.focus)) << c.artist << c.album;
        EXPECT_EQ(text("eloado_neve"), QString::fromUtf8(c.artistAfter)) << c.artist << c.album;
        EXPECT_EQ(text("Album_cime"), QString::fromUtf8(c.albumAfter)) << c.artist << c.album;
        EXPECT_EQ(text("Szam_cime"), QString());
        EXPECT_EQ(dialog().compose(0), QStringLiteral("00:00:00"));
        // The Audio CD rule for an unticked box empties the size, bit rate and code.
        EXPECT_EQ(text("Meret") + text("Tomorites") + text("Kod"), QString());
        EXPECT_EQ(window().editState().mode.newAlbumNeeded, !(c.artist && c.album));

        fillTrack("Omega", "Égi jel", "Második");
        sent.clear();
        press();
        EXPECT_EQ(albumCount(), 1) << c.artist << c.album;
        EXPECT_EQ(sent.size(), c.statementsOfSecondTrack) << c.artist << c.album;
        const QList<QVariantList> tracks = catalogue->rows("SELECT eloado_azonosito FROM szamok ORDER BY rowid");
        ASSERT_EQ(tracks.size(), 2);
        EXPECT_EQ(tracks.at(0), tracks.at(1)) << c.artist << c.album;
    }
    expectNoErrors();
}

TEST_F(RecordNewFileTest, aFailingTrackLeavesNoAlbumBehindAndTheNextPressStartsAgain)
{
    catalogue->exec("CREATE TRIGGER full_disc BEFORE INSERT ON szamok BEGIN SELECT RAISE(ABORT, 'tele'); END");
    fillTrack("Omega", "Égi jel", "Nyitány");
    press();
    EXPECT_EQ(originalTexts(desktop.errors.reports), QStringList({"tele"}));
    EXPECT_EQ(albumCount(), 0);
    EXPECT_EQ(text("Szam_cime"), QStringLiteral("Nyitány"));
    EXPECT_TRUE(window().editState().mode.newAlbumNeeded);
    EXPECT_EQ(dialog().currentAlbumKey(), QString());

    catalogue->exec("DROP TRIGGER full_disc");
    press();
    EXPECT_EQ(albumCount(), 1);
    EXPECT_EQ(catalogue->count("szamok"), 1);
}

TEST_P(RecordNewTest, anAudioCdTrackNeedsNoSizeAndTheBoxFillsTheFieldsAgain)
{
    click("Audio_cd");
    fill({{"eloado_neve", "Kaláka"}, {"Album_cime", "Az én szívem"}, {"Szam_cime", "Dal"}, {"album_mp", "50"}});
    press();
    expectNoErrors();
    const QList<QVariantList> tracks = tableRows("szamok");
    ASSERT_EQ(tracks.size(), 1);
    EXPECT_EQ(tracks.at(0).mid(0, 5), values({"Dal", "00:00:50", "", "Audió", "Audió"}));
    EXPECT_EQ(text("Tomorites"), QStringLiteral("Audió"));
    EXPECT_EQ(text("Kod"), QStringLiteral("Audió"));
    EXPECT_FALSE(edit("Meret")->isEnabled());
}

TEST_P(RecordNewTest, theAlbumKeyOutlivesTheOpeningButEachOpeningLooksTheAlbumUpAgain)
{
    setTicks(true, true);
    fillTrack("Omega", "Égi jel", "Első");
    press();
    const QString key = dialog().currentAlbumKey();
    click("Cancel_exit");
    pressAdatbevitel();
    EXPECT_EQ(dialog().currentAlbumKey(), key);
    EXPECT_TRUE(window().editState().mode.newAlbumNeeded);
    // Renamed meanwhile by another window: the new opening does not trust the kept key.
    catalogue->exec("UPDATE eloado SET ALBUM = 'Égi jel (1995)'");
    fillTrack("Omega", "Égi jel", "Második");
    press();
    EXPECT_EQ(albumCount(), 2);
    fillTrack("Omega", "Égi jel (1995)", "Harmadik");
    press();
    EXPECT_EQ(albumCount(), 2);
    EXPECT_EQ(catalogue->rows("SELECT count(*) FROM szamok WHERE eloado_azonosito = " + key),
              QList<QVariantList>({QVariantList({2})}));
}

TEST_P(RecordNewTest, aChangedArtistOrAlbumUnderTickedBoxesStartsAnAlbumOfItsOwn)
{
    for (const char* changed : {"eloado_neve", "Album_cime"}) {
        SCOPED_TRACE(changed);
        catalogue->exec("DELETE FROM szamok");
        catalogue->exec("DELETE FROM eloado");
        pressAdatbevitel();
        setTicks(true, true);
        fillTrack("Omega", "Égi jel", "Első");
        press();
        ASSERT_FALSE(window().editState().mode.newAlbumNeeded);
        typeInto(QString::fromLatin1(changed), QStringLiteral("Más"));
        fill({{"Szam_cime", "Második"}, {"album_mp", "10"}, {"Tomorites", "128"}});
        press();
        expectNoErrors();
        // Each track sits under the album its fields showed when it was recorded.
        const QList<QVariantList> filed =
            catalogue->rows("SELECT szamok.cim, eloado.eloado, eloado.album FROM szamok LEFT JOIN eloado ON "
                            "eloado.kod = szamok.eloado_azonosito ORDER BY szamok.rowid");
        const bool artistChanged = QString::fromLatin1(changed) == QLatin1String("eloado_neve");
        EXPECT_EQ(filed, QList<QVariantList>(
                             {values({"Első", "Omega", "Égi jel"}), values({"Második", artistChanged ? "Más" : "Omega",
                                                                            artistChanged ? "Égi jel" : "Más"})}));
        EXPECT_EQ(albumCount(), 2);
        // The boxes still hold: the next track goes to the album just written, without another album row.
        fill({{"Szam_cime", "Harmadik"}, {"album_mp", "10"}, {"Tomorites", "128"}});
        press();
        EXPECT_EQ(albumCount(), 2);
        // Every track after the first (a server's row identities go on from where they were).
        EXPECT_EQ(catalogue->rows("SELECT count(DISTINCT eloado_azonosito) FROM szamok "
                                  "WHERE rowid > (SELECT min(rowid) FROM szamok)"),
                  QList<QVariantList>({QVariantList({1})}));
    }
}

TEST_P(RecordNewTest, anAlbumDeletedMeanwhileIsWrittenAgainRatherThanLeavingAnOrphanTrack)
{
    setTicks(true, true);
    fillTrack("Omega", "Égi jel", "Első");
    press();
    ASSERT_EQ(albumCount(), 1);
    // The user deletes the album in the main window while the dialog keeps its key.
    clickCell("DBGrid1", 0);
    desktop.prompts.answerNext(platform::Answer::Yes);
    QTest::mouseClick(widget<QPushButton>("Adat_torlese"), Qt::LeftButton);
    ASSERT_EQ(albumCount(), 0);

    fill({{"Szam_cime", "Második"}, {"album_mp", "10"}, {"Tomorites", "128"}});
    press();
    expectNoErrors();
    EXPECT_EQ(catalogue->rows("SELECT eloado, album FROM eloado"), QList<QVariantList>({values({"Omega", "Égi jel"})}));
    EXPECT_EQ(catalogue->rows("SELECT szamok.cim FROM szamok JOIN eloado ON eloado.kod = szamok.eloado_azonosito"),
              QList<QVariantList>({values({"Második"})}));
    EXPECT_EQ(catalogue->count("szamok"), 1);
    // Listed with its album in the main window.
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
}

TEST_P(RecordNewTest, anAcceleratorPressPadsTheLengthAndRefusesAPartAboveItsBound)
{
    setSlots({{201, "Rögzít és új &adat"}});
    pressAdatbevitel();
    ASSERT_TRUE(activate(&dialog()));
    fill({{"eloado_neve", "Omega"}, {"Album_cime", "Égi jel"}, {"Szam_cime", "Nyitány"}, {"Tomorites", "192"}});
    typeInto("album_perc", "3");
    QTest::keyClick(edit("album_perc"), Qt::Key_Tab);
    settle();
    ASSERT_EQ(focusedName(), QStringLiteral("album_mp"));
    typeKeys(edit("album_mp"), QStringLiteral("7"));
    // Alt+A goes through the window's shortcut handling: the focus never leaves the seconds field.
    QTest::keyClick(edit("album_mp"), Qt::Key_A, Qt::AltModifier);
    // The button answers its accelerator by an animated click, a moment later.
    EXPECT_TRUE(QTest::qWaitFor([this] { return catalogue->count("szamok") == 1; }));
    EXPECT_EQ(catalogue->rows("SELECT ido FROM szamok"), QList<QVariantList>({values({"00:03:07"})}));

    fill({{"eloado_neve", "Omega"}, {"Album_cime", "Égi jel"}, {"Szam_cime", "Második"}, {"Tomorites", "192"}});
    typeInto("album_mp", "75");
    const int beeps = desktop.beeper.beeps;
    desktop.prompts.informations.clear();
    QTest::keyClick(edit("album_mp"), Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this, beeps] { return desktop.beeper.beeps == beeps + 1; }));
    settle();
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.at(0).contains(QStringLiteral("59")))
        << desktop.prompts.informations.at(0).toStdString();
    EXPECT_EQ(catalogue->count("szamok"), 1);
    EXPECT_EQ(text("album_mp"), QStringLiteral("75"));
    EXPECT_EQ(focusedName(), QStringLiteral("album_mp"));
    EXPECT_EQ(text("Szam_cime"), QStringLiteral("Második"));
}

TEST_P(RecordNewTest, aRefusedPressLeavesTheMainWindowListingAndEditable)
{
    const qint64 key = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->addTrack(key, QStringLiteral("Ezüst eső"), "00:05:10", "6 MB", "192", "CD1");
    relist();
    ASSERT_EQ(grid("DBGrid1")->model()->rowCount(), 1);
    fill({{"eloado_neve", "Omega"}, {"Album_cime", "Égi jel"}, {"album_mp", "10"}, {"Tomorites", "192"}});
    expectRefusal(20513);
    EXPECT_EQ(grid("DBGrid1")->model()->rowCount(), 1);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));

    // The main window goes on as before: its album opens for editing without an engine message.
    clickCell("DBGrid1", 0);
    pressSzerkesztes();
    expectNoErrors();
    EXPECT_TRUE(window().editState().mode.editMode);
    EXPECT_EQ(text("eloado_neve"), QStringLiteral("Omega"));
}

TEST_P(RecordNewTest, aCompilationTrackStoresTheBitRateBeforeTheSize)
{
    pickPage(1);
    expectRefusal(20511);
    fill({{"Eloado_szam_cime", "Neoton - Kétszázhúsz"}});
    expectRefusal(20514);
    fill({{"valogatas_ora", "01"}, {"valogatas_mp", "5"}});
    expectRefusal(20515);
    fill({{"Tomoritesi_mertek", "128"}, {"Album_cim", "Best of"}, {"szam_merete", "3 MB"}, {"CD_Kod", "V7"}});
    press();
    expectNoErrors();
    EXPECT_EQ(sent, QStringList({"insert into Valogatasok values (\"Neoton - Kétszázhúsz\", \"Best of\", "
                                 "\"01:00:05\", \"128\", \"3 MB\", \"V7\")"}));
    EXPECT_EQ(tableRows("Valogatasok"),
              QList<QVariantList>({values({"Neoton - Kétszázhúsz", "Best of", "01:00:05", "128", "3 MB", "V7"})}));
    for (const char* name : {"Eloado_szam_cime", "Album_cim", "Tomoritesi_mertek", "szam_merete", "CD_Kod"})
        EXPECT_EQ(text(QString::fromLatin1(name)), QString()) << name;
    EXPECT_EQ(dialog().compose(1), QStringLiteral("00:00:00"));
    EXPECT_EQ(focusedName(), QStringLiteral("Eloado_szam_cime"));
}

TEST_P(RecordNewTest, aDvdJoinsItsListsAndTheNextEntryStartsFromThePrompts)
{
    pickPage(2);
    expectRefusal(20517);
    fill({{"Film_cime", "A tanú"}});
    expectRefusal(20514);
    fill({{"film_ora", "01"}});
    expectRefusal(20518);
    typeIntoCombo("Stilus", "Szatíra");
    expectRefusal(20516, false);
    EXPECT_EQ(window().editState().currentRow.dvdNyelv, QString());

    for (int item : {0, 12}) {
        combo("hang")->setCurrentIndex(item);
        click("Nyelv_hozzaad");
    }
    typeInto("DVD_db_szam", "2");
    press();
    expectNoErrors();
    EXPECT_EQ(sent, QStringList({"insert into dvd_filmek values (\"A tanú\", \"\", \"AC3/6 HU, egyéb\", \"-\", "
                                 "\"2\", \"01:00:00\", \"Szatíra\")"}));
    EXPECT_EQ(tableRows("DVD_Filmek"),
              QList<QVariantList>({values({"A tanú", "", "AC3/6 HU, egyéb", "-", "2", "01:00:00", "Szatíra"})}));
    EXPECT_EQ(window().editState().currentRow.dvdNyelv, QString());
    EXPECT_EQ(window().editState().currentRow.dvdFelirat, QString());
    EXPECT_EQ(list("Film_hangjai")->count(), 0);
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("1"));
    EXPECT_EQ(control<UpDown>("UpDown1")->position(), 1);
    EXPECT_EQ(combo("Stilus")->currentText(), QStringLiteral("Válassz kategóriát:"));
    EXPECT_EQ(focusedName(), QStringLiteral("Film_cime"));
    // The subtitle chooser shows its prompt again, so adding at once only beeps.
    const int beeps = desktop.beeper.beeps;
    click("felirat_hozzaad");
    EXPECT_EQ(desktop.beeper.beeps, beeps + 1);
}

TEST_P(RecordNewTest, aDvdSoundTrackListIsStoredAsTheListShowsIt)
{
    pickPage(2);
    fill({{"Film_cime", "Hosszú"}, {"film_ora", "01"}, {"film_perc", "30"}});
    typeIntoCombo("Stilus", "Dráma");
    typeIntoCombo("hang", "AC3/6 surround");
    for (int i = 0; i < 20; ++i)
        click("Nyelv_hozzaad");
    typeIntoCombo("Felirat", "magyar");
    click("felirat_hozzaad");
    // Sixteen items fill 254 characters; the four after them were refused as they were added.
    ASSERT_EQ(list("Film_hangjai")->count(), 16);
    press();
    const QList<QVariantList> rows = tableRows("DVD_Filmek");
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.at(0).at(2).toString(), QStringList(16, QStringLiteral("AC3/6 surround")).join(", "));
    EXPECT_EQ(rows.at(0).at(3).toString(), QStringLiteral("magyar"));
}

TEST_P(RecordNewTest, aClipUsesItsOwnSeparators)
{
    pickPage(3);
    expectRefusal(20519);
    fill({{"Clip_cime", "Klip"}});
    expectRefusal(20520);
    fill({{"Clip_meret", "50 MB"}});
    expectRefusal(20514);
    fill({{"clip_perc", "03"},
          {"Clip_leiras", "élő"},
          {"Clip_nyelv", "magyar"},
          {"Clip_felbontas", "720x576"},
          {"Clip_stilus", "pop"},
          {"Clip_video", "DivX"},
          {"Clip_hang", "MP3"}});
    press();
    expectNoErrors();
    EXPECT_EQ(sent, QStringList({"insert into Filmek_videoklippek values (\"Klip\", \"élő\", \"magyar\" ,\"720x576\", "
                                 "\"50 MB\" ,\"00:03:00\" ,\"pop\", \"DivX\", \"MP3\")"}));
    EXPECT_EQ(
        tableRows("Filmek_videoklippek"),
        QList<QVariantList>({values({"Klip", "élő", "magyar", "720x576", "50 MB", "00:03:00", "pop", "DivX", "MP3"})}));
    for (QLineEdit* field : pages()->widget(3)->findChildren<QLineEdit*>())
        EXPECT_EQ(field->text(), field->objectName().startsWith("clip_") ? "00" : "")
            << field->objectName().toStdString();
    EXPECT_EQ(focusedName(), QStringLiteral("Clip_cime"));
}

TEST_P(RecordNewTest, theGameBoxesKeepTheirFieldsInEveryCombination)
{
    pickPage(4);
    expectRefusal(20521);
    fill({{"Jatek_neve", "Doom"}});
    expectRefusal(20522);
    for (int ticks = 0; ticks < 8; ++ticks) {
        const bool name = ticks & 1, note = ticks & 2, code = ticks & 4;
        checkBox("Games_name")->setChecked(name);
        checkBox("Games_stilus")->setChecked(note);
        checkBox("Games_adathordozo")->setChecked(code);
        fill({{"Jatek_neve", "Doom"}, {"Megjegyzes", "FPS"}, {"Jatek_merete", "40 MB"}, {"JatekCD_kodja", "G1"}});
        press();
        EXPECT_EQ(text("Jatek_neve"), name ? "Doom" : "") << ticks;
        EXPECT_EQ(text("Megjegyzes"), note ? "FPS" : "") << ticks;
        EXPECT_EQ(text("Jatek_merete"), QString()) << ticks;
        EXPECT_EQ(text("JatekCD_kodja"), code ? "G1" : "") << ticks;
        // The name's field wins the focus; with both kept it stays on the button pressed.
        EXPECT_EQ(focusedName(), !name ? "Jatek_neve" : !note ? "Megjegyzes" : "Rogzit_new") << ticks;
    }
    EXPECT_EQ(sent.last(), QStringLiteral("insert into games values (\"Doom\",\"FPS\",\"40 MB\",\"G1\")"));
    EXPECT_EQ(catalogue->count("games"), 8);
    EXPECT_EQ(tableRows("games").at(0), values({"Doom", "FPS", "40 MB", "G1"}));
}

TEST_P(RecordNewTest, aProgramIsRecordedAndThePageEmptied)
{
    pickPage(5);
    expectRefusal(20523);
    fill({{"Progs_neve", "Office"}});
    expectRefusal(20524);
    fill({{"Progs_meret", "300 MB"}, {"Progs_Megjegyezes", "irodai"}, {"Progs_kod", "P1"}});
    press();
    EXPECT_EQ(sent, QStringList({"insert into progs_other values (\"Office\", \"irodai\", \"300 MB\", \"P1\")"}));
    EXPECT_EQ(tableRows("progs_other"), QList<QVariantList>({values({"Office", "irodai", "300 MB", "P1"})}));
    for (const char* name : {"Progs_neve", "Progs_Megjegyezes", "Progs_meret", "Progs_kod"})
        EXPECT_EQ(text(QString::fromLatin1(name)), QString()) << name;
    EXPECT_EQ(focusedName(), QStringLiteral("Progs_neve"));
}

TEST_P(RecordNewTest, textsWithQuotesCommasAndPercentSignsAreStoredAsTyped)
{
    pickPage(5);
    const QString name = QStringLiteral("Say \"hi\", 100% _x_ ') Programok");
    edit("Progs_neve")->setText(name);
    fill({{"Progs_meret", "1\" MB"}});
    press();
    expectNoErrors();
    EXPECT_EQ(sent.value(0), QStringLiteral("insert into progs_other values (\"") + name +
                                 QStringLiteral("\", \"\", \"1\" MB\", \"\")"));
    EXPECT_EQ(tableRows("progs_other").value(0).value(0).toString(), name);
}

TEST_F(RecordNewFileTest, aStatementTheCatalogueRejectsKeepsThePageAndTheDialog)
{
    switchToTab(4);
    window().searchColumn = QStringLiteral("NEV");
    window().searchBox()->setText(QStringLiteral("D"));
    catalogue->exec("DROP TABLE games");
    pickPage(4);
    fill({{"Jatek_neve", "Doom"}, {"Jatek_merete", "40 MB"}});
    press();
    // The emptied search lists the tab again and meets the missing table first; then the insert does.
    EXPECT_EQ(originalTexts(desktop.errors.reports), QStringList({"no such table: games", "no such table: games"}));
    EXPECT_EQ(text("Jatek_neve"), QStringLiteral("Doom"));
    EXPECT_EQ(text("Jatek_merete"), QStringLiteral("40 MB"));
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(window().searchBox()->text(), QString());
}

TEST_P(RecordNewTest, eachPressDoesWhatItsOwnButtonSays)
{
    pickPage(5);
    press("Rogzit_end");
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(desktop.prompts.informations, QStringList({"hiba 20523"}));

    // After a refused "Rögzít és Kilép", "Rögzít és új adat" records and keeps the dialog open.
    fill({{"Progs_neve", "Office"}, {"Progs_meret", "300 MB"}});
    press();
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(catalogue->count("progs_other"), 1);
    EXPECT_EQ(focusedName(), QStringLiteral("Progs_neve"));

    fill({{"Progs_neve", "Gimp"}, {"Progs_meret", "90 MB"}});
    press("Rogzit_end");
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_FALSE(window().editState().mode.editMode);
    EXPECT_EQ(catalogue->count("progs_other"), 2);
}

RUN_ON_BOTH_ENGINES(RecordNewTest);

} // namespace
