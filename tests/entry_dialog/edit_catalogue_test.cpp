// SPDX-License-Identifier: GPL-3.0-or-later

#include "record_fixture.h"

#include <QPushButton>

// An edit belongs to the catalogue it was opened on. Two catalogue files with the same rows (the second a backup
// copy of the first): opening the copy while the dialog is open ends the edit first, and nothing typed for one
// catalogue is ever written into the other.

namespace {

const QString dropQuestion = QStringLiteral("Elveted");
const QString otherCatalogueRefusal = QStringLiteral("most viszont ez van nyitva");

class EditCatalogueFixture : public RecordFixture
{
protected:
    void SetUp() override
    {
        copy = std::make_unique<TestCatalogue>(folder.path().chopped(1), QStringLiteral("masolat.tnx"));
        for (TestCatalogue* file : {catalogue.get(), copy.get()}) {
            file->insert("games", {"Doom", "FPS", "40 MB", "G1"});
            file->insert("games", {"Quake", "FPS", "60 MB", "G2"});
        }
        RecordFixture::SetUp();
    }

    QList<QVariantList> games(const TestCatalogue& file) const
    {
        return file.rows(QStringLiteral("SELECT NEV, MEGJEGYZES, MERET, KOD FROM games ORDER BY rowid"));
    }
    static QList<QVariantList> unchangedGames()
    {
        return {values({"Doom", "FPS", "40 MB", "G1"}), values({"Quake", "FPS", "60 MB", "G2"})};
    }

    // The dialog opened on the first game of the open catalogue, for editing or for new rows on the games page.
    void openDialog(bool editing)
    {
        switchToTab(4);
        if (editing) {
            clickCell(QStringLiteral("DBGrid6"), 0);
            pressSzerkesztes();
        } else {
            pressAdatbevitel();
            pickPage(4);
        }
        ASSERT_TRUE(dialog().isVisible());
    }

    // Megnyitás of the copy, as the user picks it in the open dialog.
    void openCopy()
    {
        desktop.files.chooseNext(copy->path());
        QTest::mouseClick(window().findChild<QPushButton*>("open"), Qt::LeftButton);
    }

    int dropQuestions() const { return static_cast<int>(desktop.prompts.confirmations.filter(dropQuestion).size()); }

    std::unique_ptr<TestCatalogue> copy;
};

TEST_F(EditCatalogueFixture, openingAnotherCatalogueEndsTheEditAndNothingReachesTheOtherCatalogue)
{
    struct Case
    {
        const char* name;
        bool editing;
        const char* typed;       // typed into the game's name, or nothing
        bool left;               // the dialog was left with its leave button before Megnyitás
        platform::Answer answer; // to the question, when one is asked
        bool copyOpen;           // the copy is the open catalogue afterwards
    };
    const Case cases[] = {
        {"edit typed, kept", true, "Doom II", false, platform::Answer::No, false},
        {"edit typed, dropped", true, "Doom II", false, platform::Answer::Yes, true},
        {"edit untouched", true, nullptr, false, platform::Answer::No, true},
        {"edit typed, then left", true, "Doom II", true, platform::Answer::No, true},
        {"new row typed, kept", false, "Doom II", false, platform::Answer::No, false},
        {"new row untouched", false, nullptr, false, platform::Answer::No, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(window().browseQuery().cataloguePath(), catalogue->path());
        openDialog(c.editing);
        if (c.typed)
            typeInto(QStringLiteral("Jatek_neve"), QString::fromUtf8(c.typed));
        if (c.left)
            click("Cancel_exit");
        const bool asked = c.typed && !c.left;
        desktop.prompts.confirmations.clear();
        if (asked)
            desktop.prompts.answerNext(c.answer);
        openCopy();

        EXPECT_EQ(dropQuestions(), asked ? 1 : 0);
        EXPECT_EQ(window().browseQuery().cataloguePath(), c.copyOpen ? copy->path() : catalogue->path());
        EXPECT_EQ(dialog().isVisible(), !c.copyOpen);
        EXPECT_EQ(games(*copy), unchangedGames());
        if (!c.copyOpen) {
            // The edit goes on with what was typed, and lands in the catalogue it was opened on.
            EXPECT_EQ(text(QStringLiteral("Jatek_neve")), QString::fromUtf8(c.typed));
            fill({{"Jatek_merete", "41 MB"}});
            press();
            EXPECT_FALSE(c.editing && dialog().isVisible());
            EXPECT_EQ(games(*copy), unchangedGames());
            QList<QVariantList> expected = unchangedGames();
            if (c.editing)
                expected[0] = values({"Doom II", "FPS", "41 MB", "G1"});
            else
                expected << values({"Doom II", "", "41 MB", ""});
            EXPECT_EQ(games(*catalogue), expected);
            // Back to the state the next case starts from.
            catalogue->exec(QStringLiteral("DELETE FROM games WHERE NEV = 'Doom II' AND KOD = ''"));
            catalogue->exec(QStringLiteral("UPDATE games SET NEV = 'Doom', MERET = '40 MB' WHERE KOD = 'G1'"));
            click("Cancel_exit");
            relist();
        } else {
            EXPECT_EQ(games(*catalogue), unchangedGames());
            desktop.files.chooseNext(catalogue->path());
            QTest::mouseClick(window().findChild<QPushButton*>("open"), Qt::LeftButton);
        }
        expectNoErrors();
    }
}

// However the channels came to another catalogue (a way of opening that ends no edit), a press writes nothing
// there: it is refused with a message and the typed text stays, to be recorded once the catalogue it was typed
// for is opened again.
TEST_F(EditCatalogueFixture, aPressAfterTheCatalogueChangedUnderTheDialogIsRefused)
{
    for (const bool editing : {true, false}) {
        SCOPED_TRACE(editing ? "edit" : "new row");
        openDialog(editing);
        typeInto(QStringLiteral("Jatek_neve"), QStringLiteral("Doom II"));
        fill({{"Jatek_merete", "41 MB"}});
        // Both channels repointed without a word to the dialog.
        for (catalogue::QueryChannel* channel : {&window().browseQuery(), &window().detailQuery()}) {
            channel->pointAt(copy->path());
            channel->connect();
        }
        desktop.prompts.informations.clear();
        desktop.beeper.beeps = 0;
        sent.clear();
        press();

        EXPECT_TRUE(sent.isEmpty());
        ASSERT_EQ(desktop.prompts.informations.size(), 1);
        EXPECT_TRUE(desktop.prompts.informations.at(0).contains(otherCatalogueRefusal))
            << desktop.prompts.informations.at(0).toStdString();
        EXPECT_EQ(desktop.beeper.beeps, 1);
        EXPECT_TRUE(dialog().isVisible());
        EXPECT_EQ(text(QStringLiteral("Jatek_neve")), QStringLiteral("Doom II"));
        EXPECT_EQ(games(*copy), unchangedGames());
        EXPECT_EQ(games(*catalogue), unchangedGames());

        // Megnyitás of the catalogue the dialog was opened on asks nothing and ends nothing.
        desktop.prompts.confirmations.clear();
        desktop.files.chooseNext(catalogue->path());
        QTest::mouseClick(window().findChild<QPushButton*>("open"), Qt::LeftButton);
        EXPECT_TRUE(desktop.prompts.confirmations.isEmpty());
        ASSERT_TRUE(dialog().isVisible());
        press();
        QList<QVariantList> expected = unchangedGames();
        if (editing)
            expected[0] = values({"Doom II", "FPS", "41 MB", "G1"});
        else
            expected << values({"Doom II", "", "41 MB", ""});
        EXPECT_EQ(games(*catalogue), expected);
        EXPECT_EQ(games(*copy), unchangedGames());
        expectNoErrors();

        click("Cancel_exit");
        catalogue->exec(QStringLiteral("DELETE FROM games WHERE NEV = 'Doom II' AND KOD = ''"));
        catalogue->exec(QStringLiteral("UPDATE games SET NEV = 'Doom', MERET = '40 MB' WHERE KOD = 'G1'"));
        relist();
    }
}

} // namespace
