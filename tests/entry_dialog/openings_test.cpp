// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/form_widgets.h"
#include "entry_dialog/up_down.h"
#include "entry_fixture.h"
#include "support/reported_texts.h"

#include <QCloseEvent>
#include <QToolButton>

// "Adatbevitel" and "Szerkesztés" on the main window, the page-change rule and the ways of leaving.

namespace {

class OpeningsTest : public EntryFixture
{
protected:
    void SetUp() override
    {
        const qint64 omega = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        catalogue->addTrack(omega, QStringLiteral("Ezüst eső"), QStringLiteral("00:04:51"), QStringLiteral("6,7 MB"),
                            QStringLiteral("192"), QStringLiteral("CD07"));
        catalogue->insert("Valogatasok", {"Neoton - Kétszázhúsz felett", "Best of", "03:45:10", "128", "3,4 MB", "V1"});
        catalogue->insert("DVD_Filmek",
                          {"A tanú", "The Witness", "AC3/6 HU, DTS/6 EN", "-", "2", "01:32:05", "Vígjáték"});
        catalogue->insert("Filmek_videoklippek",
                          {"Klip", "élő", "magyar", "720x576", "50 MB", "00:03:30", "pop", "DivX", "MP3"});
        catalogue->insert("games", {"Doom", "FPS", "40 MB", "G1"});
        catalogue->insert("progs_other", {"Office", "irodai", "300 MB", "P1"});
        startAll();
        setSlots({{2, "Új adat"},
                  {3, "Adat módosítása"},
                  {201, "Rögzítés"},
                  {203, "Mégse"},
                  {301, "Módosít"},
                  {302, "Elvet"},
                  {303, "Szerkesztés közben nem lehet lapot váltani!"},
                  {20501, "Előadó vagy zenekar:"}});
    }

    const ModeVariables& mode() { return window().editState().mode; }
    QPushButton* button(const char* name) const { return control<QPushButton>(QString::fromLatin1(name)); }
    // Shows a tab of the main window and clicks its first row.
    void pickRow(int tab, const QString& gridName)
    {
        switchToTab(tab);
        clickCell(gridName, 0);
    }
    void expectEditOpenedOnPage(int page)
    {
        EXPECT_TRUE(dialog().isVisible());
        EXPECT_TRUE(mode().editMode);
        EXPECT_EQ(mode().editTab, page);
        EXPECT_EQ(dialog().shownPage(), page);
        EXPECT_EQ(dialog().windowTitle(), QStringLiteral("Adat módosítása"));
        EXPECT_EQ(button("Rogzit_new")->text(), QStringLiteral("Módosít"));
        EXPECT_EQ(button("Cancel_exit")->text(), QStringLiteral("Elvet"));
        EXPECT_FALSE(button("Rogzit_end")->isVisible());
    }
    // A refused edit opening leaves the dialog hidden, the mode and the captions as they were.
    void expectRefused(const QString& message, const QString& title = QStringLiteral("Adatbevitel"))
    {
        EXPECT_EQ(desktop.prompts.informations, QStringList({message}));
        EXPECT_EQ(desktop.beeper.beeps, 0);
        EXPECT_FALSE(dialog().isVisible());
        EXPECT_FALSE(mode().editMode);
        EXPECT_EQ(dialog().windowTitle(), title);
    }
};

TEST_F(OpeningsTest, adatbevitelOpensOnTheAlbumPageWhateverTabTheMainWindowShows)
{
    switchToTab(2);
    pressAdatbevitel();
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_EQ(dialog().windowTitle(), QStringLiteral("Új adat"));
    EXPECT_EQ(button("Rogzit_new")->text(), QStringLiteral("Rögzítés"));
    EXPECT_EQ(button("Cancel_exit")->text(), QStringLiteral("Mégse"));
    EXPECT_TRUE(button("Rogzit_end")->isVisible());
    EXPECT_EQ(focusedName(), QStringLiteral("eloado_neve"));
    EXPECT_EQ(control<LabeledEdit>("eloado_neve")->label()->text(), QStringLiteral("Előadó vagy zenekar:"));
    EXPECT_FALSE(mode().editMode);
    EXPECT_FALSE(mode().closeAfterRecord);
    EXPECT_TRUE(mode().newAlbumNeeded);
}

TEST_F(OpeningsTest, adatbevitelAgainDiscardsWhatWasTypedOnEveryPageButKeepsTheTicks)
{
    pressAdatbevitel();
    for (QLineEdit* field : dialog().findChildren<QLineEdit*>())
        field->setText(QStringLiteral("12"));
    pickPage(2);
    combo("hang")->setCurrentIndex(1);
    click("Nyelv_hozzaad");
    combo("Felirat")->setCurrentIndex(0);
    click("felirat_hozzaad");
    combo("Stilus")->setCurrentIndex(3);
    QTest::mouseClick(control<UpDown>("UpDown1")->upButton(), Qt::LeftButton);
    click("Eloado_azonos");
    click("Games_name");
    click("Games_adathordozo");

    pressAdatbevitel();
    EXPECT_EQ(pages()->currentIndex(), 0);
    for (QLineEdit* field : dialog().findChildren<QLineEdit*>()) {
        if (field->objectName().isEmpty() || field->objectName() == "DVD_db_szam")
            continue; // the edit parts of the drop-downs, and the count checked below
        const bool length = field->objectName().endsWith("_ora") || field->objectName().endsWith("_perc") ||
                            field->objectName().endsWith("_mp");
        EXPECT_EQ(field->text(), length ? QStringLiteral("00") : QString()) << field->objectName().toStdString();
    }
    EXPECT_EQ(list("Film_hangjai")->count(), 0);
    EXPECT_EQ(list("Film_feliratai")->count(), 0);
    EXPECT_EQ(combo("hang")->currentText(), QStringLiteral("(Válaszd ki a nyelvet)"));
    EXPECT_EQ(combo("Felirat")->currentText(), QStringLiteral("(Válaszd ki a felíratot)"));
    EXPECT_EQ(combo("Stilus")->currentText(), QStringLiteral("Válassz kategóriát:"));
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("1"));
    EXPECT_EQ(control<UpDown>("UpDown1")->position(), 1);
    EXPECT_TRUE(checkBox("Eloado_azonos")->isChecked());
    EXPECT_TRUE(checkBox("Album_azonos")->isEnabled());
    EXPECT_TRUE(checkBox("Games_name")->isChecked());
    EXPECT_FALSE(checkBox("Games_stilus")->isChecked());
    EXPECT_TRUE(checkBox("Games_adathordozo")->isChecked());
}

TEST_F(OpeningsTest, theOpeningUnticksAudioCdWithoutItsBehaviour)
{
    pressAdatbevitel();
    click("Audio_cd");
    ASSERT_FALSE(edit("Tomorites")->isEnabled());
    pressAdatbevitel();
    EXPECT_FALSE(checkBox("Audio_cd")->isChecked());
    EXPECT_TRUE(edit("Tomorites")->isEnabled());
    EXPECT_EQ(text("Tomorites"), QString());

    // A track edit after an opening left with the box ticked keeps the track's own values.
    click("Audio_cd");
    click("Cancel_exit");
    clickCell("DBGrid1", 0);
    clickCell("DBGrid2", 0);
    pressSzerkesztes();
    EXPECT_FALSE(checkBox("Audio_cd")->isChecked());
    EXPECT_EQ(text("Meret"), QStringLiteral("6,7 MB"));
    EXPECT_EQ(text("Tomorites"), QStringLiteral("192"));
    EXPECT_EQ(text("Kod"), QStringLiteral("CD07"));
    EXPECT_TRUE(edit("Kod")->isEnabled());
}

TEST_F(OpeningsTest, editingAnAlbumFillsArtistAndTitleAndLocksTheTrackFields)
{
    clickCell("DBGrid1", 0);
    pressSzerkesztes();
    expectEditOpenedOnPage(0);
    EXPECT_EQ(text("eloado_neve"), QStringLiteral("Omega"));
    EXPECT_EQ(text("Album_cime"), QStringLiteral("Időrabló"));
    EXPECT_TRUE(edit("eloado_neve")->isEnabled());
    EXPECT_TRUE(edit("Album_cime")->isEnabled());
    for (const char* name : {"Szam_cime", "album_ora", "album_perc", "album_mp", "Meret", "Tomorites", "Kod"})
        EXPECT_FALSE(edit(QString::fromLatin1(name))->isEnabled()) << name;
    EXPECT_FALSE(checkBox("Audio_cd")->isEnabled());
    EXPECT_FALSE(checkBox("Eloado_azonos")->isEnabled());
    EXPECT_EQ(control<LabeledEdit>("eloado_neve")->label()->text(), QStringLiteral("Előadó vagy zenekar:"));
}

TEST_F(OpeningsTest, editingATrackFillsItsFieldsAndLocksArtistAndAlbum)
{
    clickCell("DBGrid1", 0);
    clickCell("DBGrid2", 0);
    pressSzerkesztes();
    expectEditOpenedOnPage(0);
    EXPECT_EQ(text("eloado_neve"), QStringLiteral("Omega"));
    EXPECT_EQ(text("Album_cime"), QStringLiteral("Időrabló"));
    EXPECT_EQ(text("Szam_cime"), QStringLiteral("Ezüst eső"));
    EXPECT_EQ(dialog().compose(0), QStringLiteral("00:04:51"));
    EXPECT_EQ(text("Meret"), QStringLiteral("6,7 MB"));
    EXPECT_EQ(text("Tomorites"), QStringLiteral("192"));
    EXPECT_EQ(text("Kod"), QStringLiteral("CD07"));
    EXPECT_FALSE(edit("eloado_neve")->isEnabled());
    EXPECT_FALSE(edit("Album_cime")->isEnabled());
    EXPECT_FALSE(checkBox("Audio_cd")->isEnabled());
    EXPECT_FALSE(checkBox("Eloado_azonos")->isEnabled());
    for (const char* name : {"Szam_cime", "album_ora", "album_perc", "album_mp", "Meret", "Tomorites", "Kod"})
        EXPECT_TRUE(edit(QString::fromLatin1(name))->isEnabled()) << name;

    // The album right after: artist and title are editable again.
    clickCell("DBGrid1", 0);
    pressSzerkesztes();
    EXPECT_TRUE(edit("eloado_neve")->isEnabled());
    EXPECT_TRUE(edit("Album_cime")->isEnabled());
    EXPECT_FALSE(edit("Szam_cime")->isEnabled());
}

TEST_F(OpeningsTest, editingADvdSplitsItsListsAndSetsTheCount)
{
    pickRow(2, "DBGrid4");
    pressSzerkesztes();
    expectEditOpenedOnPage(2);
    EXPECT_EQ(text("Film_cime"), QStringLiteral("A tanú"));
    EXPECT_EQ(text("Film_eredeti_cime"), QStringLiteral("The Witness"));
    EXPECT_EQ(items("Film_hangjai"), QStringList({"AC3/6 HU", "DTS/6 EN"}));
    EXPECT_EQ(items("Film_feliratai"), QStringList({"-"}));
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("2"));
    EXPECT_EQ(control<UpDown>("UpDown1")->position(), 2);
    EXPECT_EQ(dialog().compose(2), QStringLiteral("01:32:05"));
    EXPECT_EQ(combo("Stilus")->currentText(), QStringLiteral("Vígjáték"));

    // Opening again fills the lists anew rather than adding to them.
    pressSzerkesztes();
    EXPECT_EQ(items("Film_hangjai"), QStringList({"AC3/6 HU", "DTS/6 EN"}));
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

TEST_F(OpeningsTest, aDiscCountThatIsNoNumberIsReportedAndTheOpeningGoesOn)
{
    catalogue->exec("UPDATE DVD_Filmek SET db_DVD = 'két'");
    pickRow(2, "DBGrid4");
    pressSzerkesztes();
    EXPECT_EQ(originalTexts(desktop.errors.reports), QStringList({"'két' is not a valid integer value"}));
    expectEditOpenedOnPage(2);
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("két"));
    EXPECT_EQ(dialog().compose(2), QStringLiteral("01:32:05"));
}

TEST_F(OpeningsTest, editingARowOfTheOtherCategoriesFillsItsPage)
{
    struct Fill
    {
        int tab;
        const char* grid;
        std::vector<std::pair<const char*, const char*>> fields;
        const char* length;
    };
    const Fill fills[] = {
        {1,
         "DBGrid3",
         {{"Eloado_szam_cime", "Neoton - Kétszázhúsz felett"},
          {"Album_cim", "Best of"},
          {"szam_merete", "3,4 MB"},
          {"Tomoritesi_mertek", "128"},
          {"CD_Kod", "V1"},
          {"valogatas_ora", "03"},
          {"valogatas_perc", "45"},
          {"valogatas_mp", "10"}},
         "03:45:10"},
        {3,
         "DBGrid5",
         {{"Clip_cime", "Klip"},
          {"Clip_leiras", "élő"},
          {"Clip_nyelv", "magyar"},
          {"Clip_felbontas", "720x576"},
          {"Clip_meret", "50 MB"},
          {"Clip_stilus", "pop"},
          {"Clip_video", "DivX"},
          {"Clip_hang", "MP3"}},
         "00:03:30"},
        {4,
         "DBGrid6",
         {{"Jatek_neve", "Doom"}, {"Megjegyzes", "FPS"}, {"Jatek_merete", "40 MB"}, {"JatekCD_kodja", "G1"}},
         nullptr},
        {5,
         "DBGrid7",
         {{"Progs_neve", "Office"}, {"Progs_Megjegyezes", "irodai"}, {"Progs_meret", "300 MB"}, {"Progs_kod", "P1"}},
         nullptr},
    };
    for (const Fill& fill : fills) {
        pickRow(fill.tab, QString::fromLatin1(fill.grid));
        pressSzerkesztes();
        expectEditOpenedOnPage(fill.tab);
        for (const auto& [name, value] : fill.fields)
            EXPECT_EQ(text(QString::fromLatin1(name)), QString::fromUtf8(value)) << name;
        if (fill.length) {
            EXPECT_EQ(dialog().compose(fill.tab), QString::fromLatin1(fill.length));
        }
    }
    for (const char* name : {"Games_name", "Games_stilus", "Games_adathordozo"})
        EXPECT_FALSE(checkBox(name)->isEnabled()) << name;
    // The clip page was left as it was filled.
    EXPECT_EQ(text("Clip_cime"), QStringLiteral("Klip"));

    // Adatbevitel while editing does nothing; after leaving it opens for new rows with the boxes enabled.
    pressAdatbevitel();
    EXPECT_TRUE(mode().editMode);
    EXPECT_EQ(pages()->currentIndex(), 5);
    click("Cancel_exit");
    pressAdatbevitel();
    EXPECT_TRUE(checkBox("Games_name")->isEnabled());
}

TEST_F(OpeningsTest, anUnclickedRowIsRefusedWithTheCategorysMessage)
{
    const std::vector<std::pair<int, const char*>> messages = {
        {0, "Nincs kijelölve album!"},          {1, "Nem választottál ki számot!"},
        {2, "Nem választottál ki DVD filmet!"}, {3, "Nem választottál ki DivX filmet/Videoklipet!"},
        {4, "Nem választottál ki játékot!"},    {5, "Nem választottál ki programot!"},
    };
    for (const auto& [tab, message] : messages) {
        switchToTab(tab);
        desktop.prompts.informations.clear();
        pressSzerkesztes();
        expectRefused(QString::fromUtf8(message));
        EXPECT_EQ(mode().editTab, tab);
    }
}

TEST_F(OpeningsTest, anEditIsRefusedWithoutAClickedRowOrWithAnEmptyList)
{
    // A track without its album's texts.
    clickCell("DBGrid1", 0);
    clickCell("DBGrid2", 0);
    window().editState().currentRow.albumAlbum.clear();
    pressSzerkesztes();
    expectRefused(QStringLiteral("Nincs kijelölve szám!"));

    // A remembered game in an empty list.
    catalogue->exec("DELETE FROM games");
    switchToTab(4);
    window().editState().currentRow.gamesNev = QStringLiteral("Doom");
    desktop.prompts.informations.clear();
    pressSzerkesztes();
    expectRefused(QStringLiteral("Nem választottál ki játékot!"));

    // A refused DVD edit has emptied both lists all the same.
    pressAdatbevitel();
    pickPage(2);
    combo("hang")->setCurrentIndex(0);
    click("Nyelv_hozzaad");
    combo("Felirat")->setCurrentIndex(0);
    click("felirat_hozzaad");
    click("Cancel_exit");
    switchToTab(2);
    desktop.prompts.informations.clear();
    pressSzerkesztes();
    expectRefused(QStringLiteral("Nem választottál ki DVD filmet!"), QStringLiteral("Új adat"));
    EXPECT_EQ(button("Rogzit_new")->text(), QStringLiteral("Rögzítés"));
    EXPECT_EQ(list("Film_hangjai")->count() + list("Film_feliratai")->count(), 0);
}

TEST_F(OpeningsTest, aClosedListEndsTheEditOpeningWithTheDataLayersError)
{
    pickRow(1, "DBGrid3");
    window().browseQuery().close();
    pressSzerkesztes();
    EXPECT_EQ(originalTexts(desktop.errors.reports),
              QStringList({"Operation is not allowed when the object is closed."}));
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_FALSE(mode().editMode);
}

// The two categories without an entry page are not on the tab bar: no edit can start from them.
TEST_F(OpeningsTest, noTabWithoutAPageCanBeMadeCurrentForAnEdit)
{
    ASSERT_EQ(tabs()->count(), 6);
    for (int tab : {6, 7}) {
        tabs()->setCurrentIndex(tab);
        EXPECT_LT(window().activeTab(), 6);
    }
    // The next opening shows its page.
    pressAdatbevitel();
    EXPECT_EQ(dialog().shownPage(), 0);
    EXPECT_TRUE(pages()->currentWidget()->isVisible());
    EXPECT_TRUE(edit("eloado_neve")->isVisible());
}

TEST_F(OpeningsTest, pickingAPageMovesTheFocusInNewModeAndIsUndoneInEditMode)
{
    pressAdatbevitel();
    const std::vector<std::pair<int, const char*>> firstFields = {{1, "Eloado_szam_cime"}, {2, "Film_cime"},
                                                                  {3, "Clip_cime"},        {4, "Jatek_neve"},
                                                                  {5, "Progs_neve"},       {0, "eloado_neve"}};
    for (const auto& [page, field] : firstFields) {
        pickPage(page);
        EXPECT_EQ(dialog().shownPage(), page);
        EXPECT_EQ(focusedName(), QString::fromLatin1(field));
    }
    EXPECT_TRUE(desktop.prompts.informations.isEmpty());

    pickRow(3, "DBGrid5");
    pressSzerkesztes();
    pickPage(1);
    EXPECT_EQ(pages()->currentIndex(), 3);
    EXPECT_EQ(dialog().shownPage(), 3);
    EXPECT_EQ(desktop.prompts.informations, QStringList({"Szerkesztés közben nem lehet lapot váltani!"}));
    EXPECT_EQ(desktop.beeper.beeps, 0);
}

TEST_F(OpeningsTest, cancelHidesAndEndsEditingButKeepsTheTexts)
{
    pressAdatbevitel();
    typeInto("Jatek_neve", "Quake");
    window().editState().mode.closeAfterRecord = true;
    click("Cancel_exit");
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_FALSE(mode().editMode);
    EXPECT_TRUE(mode().closeAfterRecord);
    EXPECT_TRUE(mode().newAlbumNeeded);
    EXPECT_EQ(text("Jatek_neve"), QStringLiteral("Quake"));

    pickRow(5, "DBGrid7");
    pressSzerkesztes();
    ASSERT_TRUE(mode().editMode);
    click("Cancel_exit");
    EXPECT_FALSE(mode().editMode);
}

TEST_F(OpeningsTest, closingTheFrameOrEscapeWhileEditingEndsTheEditAsTheLeaveButtonDoes)
{
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "frame");
        ASSERT_TRUE(activate(&window())); // the user works in the main window
        pickRow(4, "DBGrid6");
        pressSzerkesztes();
        ASSERT_TRUE(dialog().isVisible());
        ASSERT_TRUE(mode().editMode);
        ASSERT_TRUE(activate(&dialog()));
        typeInto("Jatek_neve", "Doom II");
        if (escape) {
            QTest::keyClick(edit("Jatek_neve"), Qt::Key_Escape);
        } else {
            // The window system's close request reaches the dialog's window as a close event.
            ASSERT_NE(dialog().windowHandle(), nullptr);
            QCloseEvent request;
            QApplication::sendEvent(dialog().windowHandle(), &request);
        }
        EXPECT_FALSE(dialog().isVisible());
        EXPECT_FALSE(mode().editMode);
        EXPECT_EQ(catalogue->rows("SELECT nev FROM games"), QList<QVariantList>({QVariantList({"Doom"})}));

        // Adatbevitel opens the dialog for new rows at once.
        ASSERT_TRUE(activate(&window()));
        pressAdatbevitel();
        EXPECT_TRUE(dialog().isVisible());
        EXPECT_FALSE(mode().editMode);
        EXPECT_TRUE(button("Rogzit_end")->isVisible());
        EXPECT_EQ(dialog().shownPage(), 0);
        EXPECT_EQ(text("Jatek_neve"), QString());
        // Escape leaves the dialog opened for new rows too.
        ASSERT_TRUE(activate(&dialog()));
        QTest::keyClick(edit("eloado_neve"), Qt::Key_Escape);
        EXPECT_FALSE(dialog().isVisible());
    }
}

TEST_F(OpeningsTest, adatbevitelWhileAnEditIsOpenBringsTheEditToTheFront)
{
    pickRow(4, "DBGrid6");
    pressSzerkesztes();
    ASSERT_TRUE(mode().editMode);
    typeInto("Jatek_neve", "Doom II");
    pressAdatbevitel();
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_TRUE(mode().editMode);
    EXPECT_EQ(text("Jatek_neve"), QStringLiteral("Doom II"));
}

TEST_F(OpeningsTest, comingBackFromTheDialogCountsAsAnActivationOfTheMainWindow)
{
    // The user works in the main window first, and the window system has settled on it.
    ASSERT_TRUE(activate(&window()));
    settle();
    pressAdatbevitel();
    ASSERT_TRUE(activate(&dialog()));
    searchColumns()->setCurrentIndex(1);
    ASSERT_TRUE(activate(&window()));
    settle();
    // The activation handler selects the first search column again.
    EXPECT_EQ(searchColumns()->currentIndex(), 0);
}

TEST_F(OpeningsTest, comingBackFromAnotherWindowIsNoActivationOfTheMainWindow)
{
    ASSERT_TRUE(activate(&window()));
    settle();
    // A window that is not the entry dialog, as a message box is.
    QWidget box;
    box.show();
    ASSERT_TRUE(activate(&box));
    searchColumns()->setCurrentIndex(1);
    ASSERT_TRUE(activate(&window()));
    settle();
    EXPECT_EQ(searchColumns()->currentIndex(), 1);
}

} // namespace
