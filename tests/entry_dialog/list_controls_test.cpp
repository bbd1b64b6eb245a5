// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/up_down.h"
#include "entry_fixture.h"
#include "support/reported_texts.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QToolButton>

// The controls that act at once: sound tracks and subtitles, the number of discs, and the Audio CD and
// same-artist boxes.

namespace {

class ListControlsTest : public EntryFixture
{
protected:
    void SetUp() override
    {
        startAll();
        pressAdatbevitel();
    }
    void choose(const QString& comboName, const QString& item)
    {
        QComboBox* box = combo(comboName);
        const int index = box->findText(item);
        ASSERT_GE(index, 0) << item.toStdString();
        box->setCurrentIndex(index);
    }
    UpDown* upDown() const { return control<UpDown>("UpDown1"); }
    void clickArrow(bool up) { QTest::mouseClick(up ? upDown()->upButton() : upDown()->downButton(), Qt::LeftButton); }
};

TEST_F(ListControlsTest, addingWhileTheChooserShowsItsPromptOnlyBeeps)
{
    pickPage(2);
    click("Nyelv_hozzaad");
    click("felirat_hozzaad");
    EXPECT_EQ(desktop.beeper.beeps, 2);
    EXPECT_EQ(list("Film_hangjai")->count(), 0);
    EXPECT_EQ(list("Film_feliratai")->count(), 0);
    EXPECT_TRUE(desktop.prompts.informations.isEmpty());
}

TEST_F(ListControlsTest, theChosenOrTypedTextIsAddedEachTimeAndStaysInTheChooser)
{
    pickPage(2);
    choose("hang", "DTS/6 HU");
    click("Nyelv_hozzaad");
    click("Nyelv_hozzaad");
    typeIntoCombo("hang", "AC3/2 EN");
    click("Nyelv_hozzaad");
    EXPECT_EQ(items("Film_hangjai"), QStringList({"DTS/6 HU", "DTS/6 HU", "AC3/2 EN"}));
    EXPECT_EQ(combo("hang")->currentText(), QStringLiteral("AC3/2 EN"));

    // Any text goes in, even an empty one.
    typeIntoCombo("Felirat", "");
    click("felirat_hozzaad");
    typeIntoCombo("Felirat", "a, b");
    click("felirat_hozzaad");
    EXPECT_EQ(items("Film_feliratai"), QStringList({"", "a, b"}));
    EXPECT_EQ(desktop.beeper.beeps, 0);
    // Typing never adds an item to the chooser itself.
    EXPECT_EQ(combo("Felirat")->count(), 3);
}

TEST_F(ListControlsTest, aDoubleClickRemovesTheItemUnderIt)
{
    pickPage(2);
    for (const char* item : {"AC3/6 HU", "DTS/6 EN", "egyéb"}) {
        choose("hang", QString::fromUtf8(item));
        click("Nyelv_hozzaad");
    }
    doubleClickItem("Film_hangjai", 1);
    EXPECT_EQ(items("Film_hangjai"), QStringList({"AC3/6 HU", "egyéb"}));

    choose("Felirat", "magyar");
    click("felirat_hozzaad");
    doubleClickItem("Film_feliratai", 0);
    EXPECT_TRUE(items("Film_feliratai").isEmpty());
}

TEST_F(ListControlsTest, theArrowsStepTheCountWithinOneToNinetyNine)
{
    pickPage(2);
    clickArrow(false);
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("1"));
    clickArrow(true);
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("2"));

    typeInto("DVD_db_szam", "5");
    clickArrow(true);
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("6"));

    typeInto("DVD_db_szam", "99");
    clickArrow(true);
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("99"));
    // A count beyond the arrows' range is kept as typed; the arrows step back into the range.
    typeInto("DVD_db_szam", "150");
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("150"));
    clickArrow(false);
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("98"));
    typeInto("DVD_db_szam", "0");
    clickArrow(true);
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("2"));
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

TEST_F(ListControlsTest, aCountThatIsNoWholeNumberIsReportedAndKeptAsTyped)
{
    pickPage(2);
    typeInto("DVD_db_szam", "3");
    desktop.errors.reports.clear();

    QLineEdit* count = edit("DVD_db_szam");
    QTest::keyClick(count, Qt::Key_Backspace);
    EXPECT_EQ(originalTexts(desktop.errors.reports), QStringList({"'' is not a valid integer value"}));
    QTest::keyClicks(count, "4x");
    EXPECT_EQ(originalTexts(desktop.errors.reports),
              QStringList({"'' is not a valid integer value", "'4x' is not a valid integer value"}));
    EXPECT_EQ(count->text(), QStringLiteral("4x"));
    // The arrows kept the last good number.
    clickArrow(true);
    EXPECT_EQ(count->text(), QStringLiteral("5"));
    // A trailing blank is no number; a leading one is.
    desktop.errors.reports.clear();
    typeInto("DVD_db_szam", "7 ");
    EXPECT_EQ(originalTexts(desktop.errors.reports), QStringList({"'7 ' is not a valid integer value"}));
    typeInto("DVD_db_szam", " 8");
    clickArrow(true);
    EXPECT_EQ(count->text(), QStringLiteral("9"));
}

TEST_F(ListControlsTest, audioCdFillsAndLocksTheTrackFieldsAndUntickingClearsThem)
{
    typeInto("Meret", "4,2 MB");
    typeInto("Tomorites", "192");
    typeInto("Kod", "CD12");
    click("Audio_cd");
    EXPECT_EQ(text("Meret"), QString());
    EXPECT_EQ(text("Tomorites"), QStringLiteral("Audió"));
    EXPECT_EQ(text("Kod"), QStringLiteral("Audió"));
    for (const char* name : {"Meret", "Tomorites", "Kod"})
        EXPECT_FALSE(edit(name)->isEnabled()) << name;

    click("Audio_cd");
    for (const char* name : {"Meret", "Tomorites", "Kod"}) {
        EXPECT_EQ(text(name), QString()) << name;
        EXPECT_TRUE(edit(name)->isEnabled()) << name;
    }
}

TEST_F(ListControlsTest, theArtistBoxEnablesTheAlbumBoxWithoutTouchingItsTick)
{
    QCheckBox* album = checkBox("Album_azonos");
    EXPECT_FALSE(album->isEnabled());
    click("Eloado_azonos");
    EXPECT_TRUE(album->isEnabled());
    click("Album_azonos");
    EXPECT_TRUE(album->isChecked());
    click("Eloado_azonos");
    EXPECT_FALSE(album->isEnabled());
    EXPECT_TRUE(album->isChecked());
}

TEST_F(ListControlsTest, aChooserShowingItsPromptHasItSelectedWholeSoThatTypingReplacesIt)
{
    pickPage(2);
    ASSERT_TRUE(activate(&dialog()));
    struct Chooser
    {
        const char* name;
        const char* typed;
    };
    for (const Chooser& chooser :
         {Chooser{"Felirat", "magyar"}, Chooser{"hang", "AC3/2 EN"}, Chooser{"Stilus", "Dráma"}}) {
        SCOPED_TRACE(chooser.name);
        QLineEdit* field = combo(chooser.name)->lineEdit();
        const QString prompt = field->text();
        // A click into the middle of the prompt, as the user clicks into the box.
        QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, field->rect().center());
        EXPECT_EQ(field->selectedText(), prompt);
        typeKeys(field, QString::fromUtf8(chooser.typed));
        EXPECT_EQ(field->text(), QString::fromUtf8(chooser.typed));
        // A typed text is the user's: a later click puts the cursor into it as usual.
        QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, field->rect().center());
        EXPECT_FALSE(field->hasSelectedText());
    }
    // Adding the prompt itself still only beeps.
    QLineEdit* subtitle = combo("Felirat")->lineEdit();
    combo("Felirat")->setEditText(QStringLiteral("(Válaszd ki a felíratot)"));
    const int beeps = desktop.beeper.beeps;
    click("felirat_hozzaad");
    EXPECT_EQ(desktop.beeper.beeps, beeps + 1);
    EXPECT_EQ(subtitle->text(), QStringLiteral("(Válaszd ki a felíratot)"));
}

TEST_F(ListControlsTest, anItemThatWouldMakeTheListTextLongerThanTheColumnIsRefusedWithAMessage)
{
    pickPage(2);
    const QString long120 = QString(120, QLatin1Char('h'));
    typeIntoCombo("hang", long120);
    click("Nyelv_hozzaad");
    click("Nyelv_hozzaad"); // 120 + 2 + 120 = 242 characters
    EXPECT_EQ(desktop.beeper.beeps, 0);
    EXPECT_TRUE(desktop.prompts.informations.isEmpty());
    click("Nyelv_hozzaad"); // would be 364
    EXPECT_EQ(desktop.beeper.beeps, 1);
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.at(0).contains(QStringLiteral("255")))
        << desktop.prompts.informations.at(0).toStdString();
    EXPECT_EQ(items("Film_hangjai"), QStringList({long120, long120}));
    // What still fits goes in: 242 + 2 + 11 = 255.
    typeIntoCombo("hang", QStringLiteral("AC3/2 EN HU"));
    click("Nyelv_hozzaad");
    EXPECT_EQ(list("Film_hangjai")->count(), 3);
    EXPECT_EQ(desktop.beeper.beeps, 1);

    // The subtitles have the same limit.
    typeIntoCombo("Felirat", QString(256, QLatin1Char('x')));
    click("felirat_hozzaad");
    EXPECT_EQ(desktop.beeper.beeps, 2);
    EXPECT_EQ(list("Film_feliratai")->count(), 0);
}

TEST_F(ListControlsTest, aLongPasteIsTakenWholeByEveryTextField)
{
    const QString pasted = QStringLiteral("Árvíztűrő tükörfúrógép ").repeated(5000); // 115,000 characters
    QGuiApplication::clipboard()->setText(pasted);
    for (const char* name :
         {"eloado_neve", "Szam_cime", "Eloado_szam_cime", "Film_cime", "Clip_hang", "Jatek_neve", "Progs_kod"}) {
        SCOPED_TRACE(name);
        QLineEdit* field = edit(QString::fromLatin1(name));
        field->setFocus();
        field->clear();
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(field->text().size(), pasted.size());
    }
    QLineEdit* style = combo("Stilus")->lineEdit();
    style->selectAll();
    QTest::keyClick(style, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(style->text(), pasted);
    EXPECT_EQ(desktop.beeper.beeps, 0);
}

TEST_F(ListControlsTest, aPasteTooLongForALengthFieldIsRefusedAloud)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("123"));
    QLineEdit* minutes = edit("album_perc");
    minutes->setFocus();
    minutes->selectAll();
    QTest::keyClick(minutes, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(minutes->text(), QStringLiteral("00"));
    EXPECT_EQ(desktop.beeper.beeps, 1);
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.at(0).contains(QStringLiteral("2")))
        << desktop.prompts.informations.at(0).toStdString();
}

} // namespace
