// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_fixture.h"
#include "localisation/codepage.h"
#include "support/reported_texts.h"

// The dialog's own pass over the language file at its creation: the title from ID 2. The three drop-downs
// keep their built-in items whatever the file holds.

namespace {

class DialogLanguageTest : public EntryFixture
{
protected:
    // Writes the language file the settings name: the lines in code page 1250, ending in CR LF.
    void writeLanguage(const QStringList& lines)
    {
        folder.writeBytes(
            QStringLiteral("HU_magyar.lng"),
            localisation::encode1250(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).value());
    }
    void expectChoosersWithTheirItemsAndPrompts()
    {
        EXPECT_EQ(combo("hang")->count(), 13);
        EXPECT_EQ(combo("Felirat")->count(), 3);
        EXPECT_EQ(combo("Stilus")->count(), 19);
        EXPECT_EQ(combo("hang")->currentText(), QStringLiteral("(Válaszd ki a nyelvet)"));
        EXPECT_EQ(combo("Felirat")->currentText(), QStringLiteral("(Válaszd ki a felíratot)"));
        EXPECT_EQ(combo("Stilus")->currentText(), QStringLiteral("Válassz kategóriát:"));
    }
};

TEST_F(DialogLanguageTest, withoutALanguageFileTheDesignedTitleAndItemsStay)
{
    startAll();
    EXPECT_EQ(dialog().windowTitle(), QStringLiteral("Adatbevitel"));
    EXPECT_EQ(comboItems("hang"),
              QStringList({"AC3/6 HU", "DTS/6 HU", "AC3/6 EN", "DTS/6 EN", "AC3/6 surround", "AC3/4 HU", "AC3/4 EN",
                           "AC3/2 HU", "AC3/2 EN", "AC3/1 HU", "AC3/1 EN", "MPEG/2", "egyéb"}));
    EXPECT_EQ(comboItems("Felirat"), QStringList({"angol", "magyar", "egyéb"}));
    EXPECT_EQ(comboItems("Stilus"),
              QStringList({"Aerobick", "Akció", "Animáció", "Családi", "Dráma", "Fantasy", "Háborús", "Horror",
                           "Imeretterjesztő", "Kaland", "Misztikus", "Musical", "Opera", "Rajzfilm", "Romantikus",
                           "Sci-fi", "Thriller", "Történelmi", "Vígjáték"}));
    EXPECT_TRUE(desktop.errors.reports.isEmpty());
}

TEST_F(DialogLanguageTest, idTwoGivesTheTitleAndOtherIdsChangeNothing)
{
    writeLanguage(
        {"1.0", "1=\"Médiatár\"", "2=\"Új adat\"", "3=\"Szerkesztés\"", "201=\"Rögzít\"", "20501=\"Előadó:\""});
    startAll();
    EXPECT_EQ(dialog().windowTitle(), QStringLiteral("Új adat"));
    expectChoosersWithTheirItemsAndPrompts();
    EXPECT_EQ(control<QPushButton>("Rogzit_new")->text(), QStringLiteral("Rögzít és új &adat"));
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();

    // The openings take their titles from the text slots afterwards.
    pressAdatbevitel();
    EXPECT_EQ(dialog().windowTitle(), window().textSlots().text(2));
}

TEST_F(DialogLanguageTest, theShippedLanguageFileLeavesTheChoosersTheirItems)
{
    folder.installShippedLanguage();
    startAll();
    expectChoosersWithTheirItemsAndPrompts();
    // Their arrows offer the items: picking one puts it into the chooser.
    pressAdatbevitel();
    pickPage(2);
    QComboBox* subtitles = combo("Felirat");
    subtitles->showPopup();
    QAbstractItemView* popup = subtitles->view();
    ASSERT_TRUE(popup->isVisible());
    ASSERT_EQ(popup->model()->rowCount(), 3);
    const QRect second = popup->visualRect(popup->model()->index(1, 0));
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
    EXPECT_EQ(subtitles->currentText(), QStringLiteral("magyar"));
    click("felirat_hozzaad");
    EXPECT_EQ(items("Film_feliratai"), QStringList({"magyar"}));
}

TEST_F(DialogLanguageTest, aFileOfAnotherVersionLeavesTheDropDownsTheirItems)
{
    writeLanguage({"0.9", "2=\"Új adat\""});
    startAll();
    EXPECT_EQ(dialog().windowTitle(), QStringLiteral("Adatbevitel"));
    expectChoosersWithTheirItemsAndPrompts();

    // A typed style is what the drop-down then holds.
    pressAdatbevitel();
    pickPage(2);
    typeIntoCombo("Stilus", "Western");
    EXPECT_EQ(combo("Stilus")->currentText(), QStringLiteral("Western"));
    EXPECT_EQ(combo("Stilus")->count(), 19);
}

TEST_F(DialogLanguageTest, aMalformedIdIsReportedByBothPassesAndStopsTheDialogsPass)
{
    writeLanguage({"1.0", "2=\"Új adat\"", "x7=\"rossz\"", "2=\"Későbbi cím\""});
    startAll();
    const QString error = QStringLiteral("'x7' is not a valid integer value");
    EXPECT_EQ(originalTexts(desktop.errors.reports), QStringList({error, error}));
    EXPECT_EQ(dialog().windowTitle(), QStringLiteral("Új adat"));
    expectChoosersWithTheirItemsAndPrompts();
}

} // namespace
