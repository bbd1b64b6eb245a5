// SPDX-License-Identifier: GPL-3.0-or-later

#include "record_fixture.h"

#include "main_window/category_grid.h"

// Two program windows, or another program, on one catalogue: an edit whose row was changed or deleted since
// it was opened writes nothing, says so, and keeps what the user typed.

namespace {

const QString changedMeanwhile = QStringLiteral("időközben");

class LostUpdateFixture : public RecordFixture
{
protected:
    void SetUp() override
    {
        const qint64 omega = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        catalogue->addTrack(omega, QStringLiteral("Ezüst eső"), "00:05:10", "6 MB", "192", "CD1");
        catalogue->insert("Valogatasok", {"Neoton - Vándorének", "Best of", "03:45:10", "128", "3 MB", "V1"});
        catalogue->insert("DVD_Filmek", {"A tanú", "", "AC3/6 HU", "-", "1", "01:32:05", "Vígjáték"});
        catalogue->insert("Filmek_videoklippek", {"Klip", "élő", "magyar", "720", "50 MB", "00:03:30", "pop", "", ""});
        catalogue->insert("games", {"Doom", "FPS", "40 MB", "G1"});
        catalogue->insert("progs_other", {"Office", "irodai", "300 MB", "P1"});
        RecordFixture::SetUp();
    }

    // A refused edit: the beep and one message in Hungarian, the dialog still editing with the typed text.
    void expectToldAndKept(const QString& field, const QString& typed)
    {
        EXPECT_EQ(desktop.beeper.beeps, 1);
        ASSERT_EQ(desktop.prompts.informations.size(), 1);
        EXPECT_TRUE(desktop.prompts.informations.at(0).contains(changedMeanwhile))
            << desktop.prompts.informations.at(0).toStdString();
        expectNoErrors();
        EXPECT_TRUE(dialog().isVisible());
        EXPECT_TRUE(window().editState().mode.editMode);
        EXPECT_EQ(text(field), typed);
    }
};

class LostUpdateTest : public OnBothEngines<LostUpdateFixture>
{
};

TEST_P(LostUpdateTest, everyEditWhoseRowChangedOrVanishedMeanwhileIsRefusedAndKeepsTheTypedText)
{
    struct Case
    {
        int tab;
        const char* grid;
        const char* track; // the track grid is clicked after the album
        const char* field;
        const char* meanwhile; // what the other connection does
        const char* check;     // read back afterwards
        const char* expected;
    };
    const Case cases[] = {
        {0, "DBGrid1", nullptr, "Album_cime", "UPDATE eloado SET ALBUM = 'Időrabló 1977'", "SELECT ALBUM FROM eloado",
         "Időrabló 1977"},
        {0, "DBGrid1", "Ezüst eső", "Kod", "UPDATE szamok SET BITRATA = '320'", "SELECT BITRATA || KOD FROM szamok",
         "320CD1"},
        {1, "DBGrid3", nullptr, "Album_cim", "UPDATE Valogatasok SET KOD = 'V9'",
         "SELECT ALBUM || KOD FROM Valogatasok", "Best ofV9"},
        {2, "DBGrid4", nullptr, "Film_eredeti_cime", "UPDATE DVD_Filmek SET Stilus = 'Dráma'",
         "SELECT EREDETI_CIM || Stilus FROM DVD_Filmek", "Dráma"},
        {3, "DBGrid5", nullptr, "Clip_hang", "DELETE FROM Filmek_videoklippek",
         "SELECT count(*) FROM Filmek_videoklippek", "0"},
        {4, "DBGrid6", nullptr, "Jatek_neve", "UPDATE games SET NEV = 'Doom 3'", "SELECT NEV FROM games", "Doom 3"},
        {5, "DBGrid7", nullptr, "Progs_neve", "DELETE FROM progs_other", "SELECT count(*) FROM progs_other", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meanwhile);
        switchToTab(c.tab);
        clickCell(QString::fromLatin1(c.grid), 0);
        if (c.track)
            clickCell(QStringLiteral("DBGrid2"), 0);
        pressSzerkesztes();
        ASSERT_TRUE(window().editState().mode.editMode);
        const QString field = QString::fromLatin1(c.field);
        typeInto(field, QStringLiteral("gépelt"));

        catalogue->exec(QString::fromUtf8(c.meanwhile));
        desktop.beeper.beeps = 0;
        desktop.prompts.informations.clear();
        press();
        expectToldAndKept(field, QStringLiteral("gépelt"));
        EXPECT_EQ(catalogue->rows(QString::fromUtf8(c.check)),
                  QList<QVariantList>({QVariantList({QString::fromUtf8(c.expected)})}));
        // The main window lists the tab as it is now.
        EXPECT_TRUE(window().browseQuery().isOpen());
        click("Cancel_exit");
    }
}

// The same with a second program window on the catalogue, as a second user has it.
class TwoWindowsFixture : public LostUpdateFixture
{
protected:
    void SetUp() override
    {
        LostUpdateFixture::SetUp();
        m_otherDesktop.prompts.setDefaultAnswer(platform::Answer::Yes); // go on without a language file
        m_other = std::make_unique<TFoablak>(m_otherDesktop.services());
        m_other->show();
        m_otherDialog = new TRogzites(m_other->editState(), m_other.get());
        m_other->setEntryDialog(m_otherDialog);
    }
    void TearDown() override
    {
        m_otherDialog->hide();
        m_other->setAttribute(Qt::WA_DeleteOnClose, false);
        m_other->hide();
    }

    template <typename T> T* other(const char* name) const
    {
        T* found = m_other->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            ADD_FAILURE() << "no widget named " << name << " in the other window";
        return found;
    }
    // The other user edits the first game of the list: a new name, saved.
    void otherRenamesTheGame(const QString& name)
    {
        other<QTabWidget>("Olvasas")->setCurrentIndex(4);
        CategoryGrid* games = other<CategoryGrid>("DBGrid6");
        ASSERT_GT(games->model()->rowCount(), 0);
        QTest::mouseClick(games->viewport(), Qt::LeftButton, Qt::NoModifier,
                          games->visualRect(games->model()->index(0, 0)).center());
        QTest::mouseClick(other<QPushButton>("Szerkesztes"), Qt::LeftButton);
        QLineEdit* title = other<QLineEdit>("Jatek_neve");
        ASSERT_TRUE(m_otherDialog->isVisible());
        typeOver(title, name);
        QTest::mouseClick(other<QPushButton>("Rogzit_new"), Qt::LeftButton);
        ASSERT_FALSE(m_otherDialog->isVisible());
    }

    platform::ScriptedPlatform m_otherDesktop{folder.path()};
    std::unique_ptr<TFoablak> m_other;
    TRogzites* m_otherDialog = nullptr;
};

class TwoWindowsTest : public OnBothEngines<TwoWindowsFixture>
{
};

TEST_P(TwoWindowsTest, theSecondSaveOfOneGameIsRefusedAndTheFirstNameStays)
{
    switchToTab(4);
    clickCell("DBGrid6", 0);
    pressSzerkesztes();
    typeInto("Jatek_neve", "Doom A");

    otherRenamesTheGame(QStringLiteral("Doom B"));
    EXPECT_TRUE(m_otherDesktop.errors.reports.isEmpty()) << m_otherDesktop.errors.reports.join('\n').toStdString();
    ASSERT_EQ(catalogue->rows("SELECT NEV FROM games"), QList<QVariantList>({QVariantList({"Doom B"})}));

    press();
    expectToldAndKept(QStringLiteral("Jatek_neve"), QStringLiteral("Doom A"));
    EXPECT_EQ(catalogue->rows("SELECT NEV, MEGJEGYZES, MERET, KOD FROM games"),
              QList<QVariantList>({QVariantList({"Doom B", "FPS", "40 MB", "G1"})}));
    // This window now lists the other user's name.
    ASSERT_EQ(grid("DBGrid6")->model()->rowCount(), 1);
    EXPECT_EQ(grid("DBGrid6")->model()->index(0, 0).data().toString(), QStringLiteral("Doom B"));

    // Opened again, the edit starts from the other user's version and is saved.
    click("Cancel_exit");
    clickCell("DBGrid6", 0);
    pressSzerkesztes();
    typeInto("Jatek_neve", "Doom A");
    press();
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_EQ(catalogue->rows("SELECT NEV FROM games"), QList<QVariantList>({QVariantList({"Doom A"})}));
}

RUN_ON_BOTH_ENGINES(LostUpdateTest);

RUN_ON_BOTH_ENGINES(TwoWindowsTest);

} // namespace
