#include "entry_dialog/duration_edit.h"
#include "entry_fixture.h"

// The hour, minute and second fields as the user types into them and leaves them.

namespace {

class DurationTest : public EntryFixture
{
protected:
    void SetUp() override
    {
        startAll();
        pressAdatbevitel();
        ASSERT_TRUE(activate(&dialog()));
    }

    // Types into a field and presses Tab, as the user leaves it for the next control.
    void typeAndTab(const QString& name, const QString& typed)
    {
        typeInto(name, typed);
        QTest::keyClick(edit(name), Qt::Key_Tab);
        settle();
    }
    int beeps() const { return desktop.beeper.beeps; }
};

TEST_F(DurationTest, aSingleCharacterIsPaddedAndTheFocusMovesOn)
{
    typeAndTab("album_perc", "7");
    EXPECT_EQ(text("album_perc"), QStringLiteral("07"));
    EXPECT_EQ(focusedName(), QStringLiteral("album_mp"));
    EXPECT_EQ(beeps(), 0);
}

TEST_F(DurationTest, aTextAboveTheBoundBeepsAndKeepsTheFocusAndTheText)
{
    typeAndTab("album_perc", "60");
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(text("album_perc"), QStringLiteral("60"));
    EXPECT_EQ(focusedName(), QStringLiteral("album_perc"));

    typeAndTab("album_perc", "59");
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(focusedName(), QStringLiteral("album_mp"));
}

TEST_F(DurationTest, hoursGoUpToTwentyFourInclusive)
{
    typeAndTab("album_ora", "24");
    EXPECT_EQ(beeps(), 0);
    EXPECT_EQ(focusedName(), QStringLiteral("album_perc"));
    typeAndTab("album_ora", "25");
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(focusedName(), QStringLiteral("album_ora"));
}

TEST_F(DurationTest, theBoundIsComparedAsTextNotAsNumber)
{
    typeAndTab("album_perc", "5a"); // 'a' comes after '9'
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(focusedName(), QStringLiteral("album_perc"));
    typeAndTab("album_perc", "1x"); // decided by the first character
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(focusedName(), QStringLiteral("album_mp"));
    typeAndTab("album_mp", "-"); // padded to "0-"
    EXPECT_EQ(text("album_mp"), QStringLiteral("0-"));
    EXPECT_EQ(beeps(), 1);
    // An accented letter has a code above every digit's.
    typeAndTab("album_mp", QStringLiteral("é"));
    EXPECT_EQ(text("album_mp"), QStringLiteral("0é"));
    EXPECT_EQ(beeps(), 1);
    typeAndTab("album_mp", QStringLiteral("é0"));
    EXPECT_EQ(beeps(), 2);
}

TEST_F(DurationTest, anEmptiedFieldPassesAndTheLengthKeepsTheEmptyPart)
{
    typeAndTab("album_perc", "");
    EXPECT_EQ(beeps(), 0);
    EXPECT_EQ(text("album_perc"), QString());
    typeAndTab("album_mp", "5");
    EXPECT_EQ(dialog().compose(0), QStringLiteral("00::05"));
}

TEST_F(DurationTest, typingStopsAtTwoCharactersButTheProgramMaySetMore)
{
    typeInto("clip_perc", "1234");
    EXPECT_EQ(text("clip_perc"), QStringLiteral("12"));
    dialog().split(QStringLiteral("123:4567:890"), 3);
    EXPECT_EQ(text("clip_ora"), QStringLiteral("12"));
    edit("clip_perc")->setText(QStringLiteral("12345"));
    EXPECT_EQ(text("clip_perc"), QStringLiteral("12345"));
}

TEST_F(DurationTest, aClickSelectsTheWholeText)
{
    pickPage(1);
    DurationEdit* field = control<DurationEdit>("valogatas_perc");
    clickInto("valogatas_perc");
    EXPECT_EQ(field->selectedText(), QStringLiteral("00"));
    QTest::keyClicks(field, "4");
    EXPECT_EQ(field->text(), QStringLiteral("4"));
}

TEST_F(DurationTest, composeTakesTheTextsAsTheyAreAndSplitTakesAStoredLengthApart)
{
    dialog().split(QStringLiteral("01:32:05"), 2);
    EXPECT_EQ(text("film_ora"), QStringLiteral("01"));
    EXPECT_EQ(text("film_perc"), QStringLiteral("32"));
    EXPECT_EQ(text("film_mp"), QStringLiteral("05"));
    EXPECT_EQ(dialog().compose(2), QStringLiteral("01:32:05"));

    dialog().split(QStringLiteral("1:02:03"), 1);
    EXPECT_EQ(dialog().compose(1), QStringLiteral("1::2::03"));
    dialog().split(QString(), 1);
    EXPECT_EQ(dialog().compose(1), QStringLiteral("::"));
    // A single typed character never left is taken as it is.
    typeInto("clip_mp", "7");
    EXPECT_EQ(dialog().compose(3), QStringLiteral("00:00:7"));
}

TEST_F(DurationTest, twoRefusingFieldsDoNotHandTheFocusToEachOther)
{
    edit("album_mp")->setText(QStringLiteral("99"));
    typeAndTab("album_perc", "99");
    for (int i = 0; i < 5; ++i)
        settle();
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(focusedName(), QStringLiteral("album_perc"));
    // Leaving the other one by hand refuses in its turn, once.
    edit("album_mp")->setFocus(Qt::MouseFocusReason);
    settle();
    EXPECT_EQ(beeps(), 2);
    EXPECT_EQ(focusedName(), QStringLiteral("album_perc"));
}

TEST_F(DurationTest, activatingAnotherWindowIsNoLeave)
{
    typeInto("album_perc", "75");
    ASSERT_TRUE(activate(&window()));
    settle();
    EXPECT_EQ(beeps(), 0);
    EXPECT_EQ(text("album_perc"), QStringLiteral("75"));

    ASSERT_TRUE(activate(&dialog()));
    EXPECT_EQ(QApplication::focusWidget(), edit("album_perc"));
    QTest::keyClick(edit("album_perc"), Qt::Key_Tab);
    settle();
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(focusedName(), QStringLiteral("album_perc"));
}

TEST_F(DurationTest, aRefusedFieldOnAPageLeftBehindDoesNotPullTheFocusBack)
{
    typeInto("album_perc", "75");
    pickPage(3);
    settle();
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(pages()->currentIndex(), 3);
    EXPECT_EQ(focusedName(), QStringLiteral("Clip_cime"));
}

} // namespace
