// SPDX-License-Identifier: GPL-3.0-or-later

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

TEST_F(DurationTest, leavingPadsOneCharacterAndRefusesATextAboveTheBoundComparedAsText)
{
    struct Leave
    {
        const char* field;
        QString typed;
        const char* shown; // the text after leaving
        bool refused;      // a beep, and the focus stays
    };
    const Leave leaves[] = {
        {"album_perc", "7", "07", false},
        {"album_perc", "60", "60", true},
        {"album_perc", "59", "59", false},
        {"album_ora", "24", "24", false}, // hours go up to 24 inclusive
        {"album_ora", "25", "25", true},
        {"album_perc", "5a", "5a", true},  // 'a' comes after '9'
        {"album_perc", "1x", "1x", false}, // decided by the first character
        {"album_mp", "-", "0-", false},
        {"album_mp", QStringLiteral("é"), "0é", false},
        {"album_mp", QStringLiteral("é0"), "é0", true}, // an accented letter's code is above every digit's
        {"album_mp", "", "", false},
    };
    const QStringList order = {"album_ora", "album_perc", "album_mp", "Meret"};
    for (const Leave& leave : leaves) {
        const int before = beeps();
        const QString name = QString::fromLatin1(leave.field);
        typeAndTab(name, leave.typed);
        EXPECT_EQ(text(name), QString::fromUtf8(leave.shown)) << leave.field << " " << leave.typed.toStdString();
        EXPECT_EQ(beeps() - before, leave.refused ? 1 : 0) << leave.field << " " << leave.typed.toStdString();
        EXPECT_EQ(focusedName(), leave.refused ? name : order.at(order.indexOf(name) + 1))
            << leave.field << " " << leave.typed.toStdString();
        if (leave.refused)
            edit(name)->setText(QStringLiteral("00")); // so that the next row starts from a field that passes
    }
}

TEST_F(DurationTest, anEmptiedFieldPassesAndTheLengthCountsItAsZero)
{
    typeAndTab("album_perc", "");
    EXPECT_EQ(beeps(), 0);
    EXPECT_EQ(text("album_perc"), QString());
    typeAndTab("album_mp", "5");
    EXPECT_EQ(dialog().compose(0), QStringLiteral("00:00:05"));
}

TEST_F(DurationTest, typingStopsAtTwoCharactersAloudButTheProgramMaySetMore)
{
    typeInto("clip_perc", "123");
    EXPECT_EQ(text("clip_perc"), QStringLiteral("12"));
    EXPECT_EQ(beeps(), 1);
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.at(0).contains(QStringLiteral("2")));
    dialog().split(QStringLiteral("123:4567:890"), 3);
    EXPECT_EQ(text("clip_ora"), QStringLiteral("123"));
    EXPECT_EQ(text("clip_perc"), QStringLiteral("4567"));
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

TEST_F(DurationTest, composeGivesTwoCharactersAPartAndSplitTakesAStoredLengthApartAtItsColons)
{
    struct Split
    {
        const char* stored;
        const char* hours;
        const char* minutes;
        const char* seconds;
        const char* composed;
    };
    const Split splits[] = {
        {"01:32:05", "01", "32", "05", "01:32:05"},
        {"1:02:03", "1", "02", "03", "01:02:03"},
        {"1:2:3", "1", "2", "3", "01:02:03"},
        {"5:10", "00", "5", "10", "00:05:10"}, // minutes and seconds
        {"::", "", "", "", "00:00:00"},
        {"", "", "", "", "00:00:00"},
        {"ismeretlen", "", "", "", "00:00:00"}, // no length: nothing to take apart
        {"1x:02:03", "", "", "", "00:00:00"},
    };
    for (const Split& split : splits) {
        SCOPED_TRACE(split.stored);
        dialog().split(QString::fromLatin1(split.stored), 2);
        EXPECT_EQ(text("film_ora"), QString::fromLatin1(split.hours));
        EXPECT_EQ(text("film_perc"), QString::fromLatin1(split.minutes));
        EXPECT_EQ(text("film_mp"), QString::fromLatin1(split.seconds));
        EXPECT_EQ(dialog().compose(2), QString::fromLatin1(split.composed));
    }
    // A single typed character never left is padded all the same.
    typeInto("clip_mp", "7");
    EXPECT_EQ(dialog().compose(3), QStringLiteral("00:00:07"));
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
