// SPDX-License-Identifier: GPL-3.0-or-later

#include "category_fixture.h"

#include "catalogue/engines.h"
#include "platform/failure.h"
#include "platform/qt_platform.h"
#include "store/file_engine.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

using platform::Answer;

class DeletionFixture : public CategoryFixture
{
protected:
    TFoablak& startRecording()
    {
        TFoablak& main = startWithCaptions();
        QObject::connect(&main.browseQuery(), &catalogue::QueryChannel::statementRun,
                         [this](const QString& text) { ran << text; });
        return main;
    }

    // Presses "Adat törlése" with the answer the next question gets.
    void press(std::optional<Answer> answer = std::nullopt)
    {
        if (answer)
            desktop.prompts.answerNext(*answer);
        ran.clear();
        QTest::mouseClick(widget<QPushButton>("Adat_torlese"), Qt::LeftButton);
        settleOnServer();
    }

    QString lastQuestion() const
    {
        return desktop.prompts.confirmations.value(desktop.prompts.confirmations.size() - 1);
    }
    QStringList column(const QString& sql) const
    {
        QStringList values;
        for (const QVariantList& row : catalogue->rows(sql))
            values << row.value(0).toString();
        return values;
    }

    QStringList ran; // text forms of the statements run on the list channel since the last press
};

class DeletionTest : public OnBothEngines<DeletionFixture>
{
};

// The file engine, with writes refused as the engine refuses them on a file it may not write, while
// refuseWrites is set.
bool refuseWrites = false;
class RefusingFileEngine : public store::FileEngine
{
public:
    using FileEngine::FileEngine;
    int execute(const ::engine::Statement& statement) override
    {
        if (refuseWrites)
            throw platform::Failure(QStringLiteral("attempt to write a readonly database"));
        return FileEngine::execute(statement);
    }
};

// Every catalogue opened while it lives is opened by the refusing engine.
struct WritesRefusable
{
    WritesRefusable()
    {
        refuseWrites = false;
        catalogue::setEngineChooser(
            [](const ::engine::Location& location) { return std::make_unique<RefusingFileEngine>(location); });
    }
    ~WritesRefusable() { catalogue::setEngineChooser({}); }
};

// A write the engine refuses (a file it may not write, a dropped table), on a file.
class DeletionFileTest : public DeletionFixture
{
    WritesRefusable refusable;
};

struct RowCase
{
    QString gridName;
    QString table;
    QVariantList kept;
    QVariantList deleted;
    QString question;
    QString statement;
};

TEST_P(DeletionTest, rowsOfTabsOneToFiveAnswerNoClosedAndYes)
{
    const std::vector<RowCase> cases = {
        {"DBGrid3",
         "Valogatasok",
         {"Abba", "Gold", "3:00", "128", "3000", "V1"},
         {"Beatles", "Help", "2:18", "192", "4100", "V2"},
         "Valóban törölni szeretnéd a kijelölt számot?\rSzám címe: \"Beatles\"\rSzám hossza: \"2:18\"\r"
         "Szám mérete: \"4100\"\rCD kódja: \"V2\"",
         "delete from valogatasok where (valogatasok.eloado=\"Beatles\" and valogatasok.ido=\"2:18\" and "
         "valogatasok.kod=\"V2\" and valogatasok.meret=\"4100\")"},
        {"DBGrid4",
         "DVD_Filmek",
         {"Alien", "Alien", "angol", "magyar", "1", "01:57:00", "sci-fi"},
         {"Mátrix", "", "angol", "magyar", "2", "02:16:00", "akció"},
         "Valóban törölni szeretnéd a kijelölt DVD filmet?\rFilm címe: \"Mátrix\"\rFilm eredeti címe: \"\"\r"
         "Film nyelve: \"angol\"\rFilm felíratai: \"magyar\"\rFilm hossza: \"02:16:00\"",
         "delete from DVD_Filmek where (DVD_Filmek.cim=\"Mátrix\" and dvd_filmek.eredeti_cim=\"\" and "
         "dvd_filmek.nyelv=\"angol\" and dvd_filmek.felirat=\"magyar\" and DVD_Filmek.hossz=\"02:16:00\")"},
        {"DBGrid5",
         "Filmek_videoklippek",
         {"Akira", "", "japán", "640x480", "650", "02:04:00", "anime", "", ""},
         {"Vuk", "rajzfilm", "magyar", "720x576", "700", "01:19:00", "mese", "DivX", "MP3"},
         "Valóban törölni szeretnéd a kijelölt DivX filmet/video klippet?\rFilm címe: \"Vuk\"\r"
         "Film megjegyzése: \"rajzfilm\"\rFilm nyelve: \"magyar\"\rFilm mérete: \"700\"\rFilm hossza: \"01:19:00\"",
         "delete from Filmek_videoklippek where (Filmek_videoklippek.cim=\"Vuk\" and "
         "Filmek_videoklippek.MEGJEGYZES=\"rajzfilm\" and filmek_videoklippek.nyelv=\"magyar\" and "
         "filmek_videoklippek.meret=\"700\" and filmek_videoklippek.hossz=\"01:19:00\")"},
        {"DBGrid6",
         "games",
         {"Arkanoid", "", "1", "G1"},
         {"Doom", "lövöldözős", "700", "G2"},
         "Valóban törölni szeretnéd a kijelölt Jatékot?\rJáték neve: \"Doom\"\rJáték megjegyzése: \"lövöldözős\"\r"
         "Játék mérete: \"700\"\rJáték kódja: \"G2\"",
         "delete from games where (games.nev=\"Doom\" and games.meret=\"700\" and games.megjegyzes=\"lövöldözős\" "
         "and games.kod=\"G2\")"},
        {"DBGrid7",
         "progs_other",
         {"Audacity", "hang", "30", "P1"},
         {"Qt", "keretrendszer", "900", "P2"},
         "Valóban törölni szeretnéd a kijelölt Programot?\rProgram neve: \"Qt\"\r"
         "Program megjegyzése: \"keretrendszer\"\rProgram mérete: \"900\"\rProgram kódja: \"P2\"",
         "delete from progs_other where (progs_other.programok=\"Qt\" and progs_other.meret=\"900\" and "
         "progs_other.megjegyzes=\"keretrendszer\" and progs_other.kod=\"P2\")"},
    };
    for (const RowCase& rowCase : cases) {
        catalogue->insert(rowCase.table, rowCase.kept);
        catalogue->insert(rowCase.table, rowCase.deleted);
    }
    TFoablak& main = startRecording();
    for (int tab = 1; tab <= 5; ++tab) {
        const RowCase& rowCase = cases[static_cast<std::size_t>(tab - 1)];
        SCOPED_TRACE(rowCase.table.toStdString());
        const QString name = rowCase.deleted.first().toString();
        const QString firstColumn = QStringLiteral("SELECT 1 FROM %1").arg(rowCase.table);
        switchToTab(tab);
        typeSearch(name.left(1));
        clickCell(rowCase.gridName, 0);

        // No keeps everything, the remembered row included: the next press asks again.
        press(Answer::No);
        EXPECT_EQ(lastQuestion(), rowCase.question);
        EXPECT_TRUE(ran.isEmpty());
        EXPECT_EQ(searchBox()->text(), name.left(1));

        // A closed box forgets the row and lists the tab again, deleting nothing.
        press(Answer::Closed);
        EXPECT_EQ(lastQuestion(), rowCase.question);
        EXPECT_EQ(catalogue->rows(firstColumn).size(), 2);
        EXPECT_EQ(searchBox()->text(), QString());
        EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));

        clickCell(rowCase.gridName, 1);
        press(Answer::Yes);
        ASSERT_FALSE(ran.isEmpty());
        EXPECT_EQ(ran.first(), rowCase.statement);
        EXPECT_EQ(column(QStringLiteral("SELECT * FROM %1").arg(rowCase.table)),
                  QStringList({rowCase.kept.first().toString()}));
        EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
        EXPECT_EQ(columnValues(rowCase.gridName, 0), QStringList({rowCase.kept.first().toString()}));
    }
    for (const QString& field : {main.editState().currentRow.valogatasEloado, main.editState().currentRow.valogatasKod,
                                 main.editState().currentRow.dvdCim, main.editState().currentRow.dvdEredetiCim,
                                 main.editState().currentRow.videoklipMegjegyzes,
                                 main.editState().currentRow.gamesMegjegyzes, main.editState().currentRow.progsKod})
        EXPECT_EQ(field, QString());
    EXPECT_EQ(desktop.prompts.confirmations.size(), 15);
    expectNoErrors();
}

TEST_P(DeletionTest, nothingRememberedShowsTheMissingMessageAndListsTheTabAgain)
{
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->insert("Valogatasok", {"Abba", "Gold", "3:00", "128", "3000", "V1"});
    catalogue->insert("DVD_Filmek", {"Alien", "Alien", "angol", "magyar", "1", "01:57:00", "sci-fi"});
    catalogue->insert("Filmek_videoklippek", {"Akira", "", "japán", "640x480", "650", "02:04:00", "anime", "", ""});
    catalogue->insert("games", {"Arkanoid", "", "1", "G1"});
    catalogue->insert("progs_other", {"Audacity", "hang", "30", "P1"});
    startRecording();
    const QStringList messages = {"Nincs kijelölve előadó és album!", "Nem választottál ki számot!",
                                  "Nem választottál ki DVD filmet!",  "Nem választottál ki DivX filmet/video klippet!",
                                  "Nem választottál ki Játékot!",     "Nem választottál ki Programot!"};
    for (int tab = 0; tab <= 5; ++tab) {
        switchToTab(tab);
        typeSearch(QStringLiteral("zz"));
        ASSERT_EQ(countLabel()->text(), QStringLiteral("0"));
        press();
        EXPECT_EQ(desktop.prompts.informations.value(tab), messages[tab]);
        EXPECT_EQ(searchBox()->text(), QString());
        EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
        EXPECT_EQ(ran.value(ran.size() - 1), ::engine::category(tab).browseText());
    }
    EXPECT_TRUE(desktop.prompts.confirmations.isEmpty());
    expectNoErrors();
}

TEST_P(DeletionTest, aTrackIsDeletedWithoutAReloadAndOnlyOnItsOwnAlbum)
{
    const qint64 omega = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    const qint64 zoran = catalogue->addAlbum(QStringLiteral("Zorán"), QStringLiteral("Kotta nélkül"));
    catalogue->addTrack(omega, QStringLiteral("Ezüst eső"), "5:10", "200", "192", "CD1");
    catalogue->addTrack(omega, QStringLiteral("Intro"), "1:00", "100", "192", "CD1");
    catalogue->addTrack(zoran, QStringLiteral("Intro"), "1:00", "100", "192", "CD2");
    TFoablak& main = startRecording();
    typeSearch(QStringLiteral("O"));
    auto clickTrack = [this] {
        clickCell("DBGrid1", 0);
        clickCell("DBGrid2", 1);
    };

    clickTrack();
    press(Answer::No);
    EXPECT_EQ(lastQuestion(), QStringLiteral("Valóban törölni szeretnéd a kijelölt számot? Szám címe: \"Intro\""));
    EXPECT_EQ(main.editState().currentRow.trackCim, QString());
    EXPECT_EQ(main.editState().currentRow.albumEloado, QString());
    EXPECT_EQ(label("eloado_label")->text(), QString());
    EXPECT_EQ(label("album_label")->text(), QString());
    EXPECT_EQ(catalogue->count("szamok"), 3);
    EXPECT_EQ(searchBox()->text(), QStringLiteral("O"));

    clickTrack();
    press(Answer::Closed);
    EXPECT_EQ(main.editState().currentRow.trackCim, QString());
    EXPECT_EQ(main.editState().currentRow.albumAlbum, QString());
    EXPECT_EQ(label("album_label")->text(), QStringLiteral("Időrabló"));
    EXPECT_EQ(catalogue->count("szamok"), 3);
    EXPECT_TRUE(ran.isEmpty());

    clickTrack();
    press(Answer::Yes);
    ASSERT_FALSE(ran.isEmpty());
    EXPECT_EQ(ran.first(), "delete from szamok where (szamok.cim=\"Intro\" and szamok.meret=\"100\")");
    EXPECT_EQ(column("SELECT eloado_azonosito FROM szamok WHERE CIM = 'Intro'"), QStringList({QString::number(zoran)}));
    EXPECT_EQ(catalogue->count("szamok"), 2);
    // The album list shows what it showed, the search included, and the track list the album's remaining tracks.
    EXPECT_TRUE(main.browseQuery().isOpen());
    EXPECT_EQ(columnValues("DBGrid1", 0), QStringList({"Omega"}));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(columnValues("DBGrid2", 0), QStringList({"Ezüst eső"}));
    EXPECT_TRUE(grid("DBGrid2")->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(label("eloado_label")->text(), QStringLiteral("Omega"));
    EXPECT_EQ(searchBox()->text(), QStringLiteral("O"));
    EXPECT_EQ(main.editState().currentRow.trackCim, QString());

    // The second press finds no track, says so and lists the albums again.
    press();
    EXPECT_EQ(desktop.prompts.informations, QStringList({"Nem választottál ki számot!"}));
    EXPECT_EQ(desktop.prompts.confirmations.size(), 3);
    EXPECT_EQ(searchBox()->text(), QString());
    EXPECT_EQ(columnValues("DBGrid1", 0), QStringList({"Omega", "Zorán"}));
    EXPECT_TRUE(main.editState().albumGridActive);
    EXPECT_FALSE(main.editState().trackGridActive);
    expectNoErrors();
}

TEST_P(DeletionTest, theLastTrackOfAnAlbumLeavesAnEmptyTrackListAndTheAlbumListed)
{
    const qint64 omega = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->addAlbum(QStringLiteral("Zorán"), QStringLiteral("Kotta nélkül"));
    catalogue->addTrack(omega, QStringLiteral("Intro"), "1:00", "100", "192", "CD1");
    startRecording();
    const std::vector<int> widths = {90, 140};
    grid("DBGrid1")->setColumnWidths(widths);
    clickCell("DBGrid1", 0);
    clickCell("DBGrid2", 0);
    press(Answer::Yes);
    EXPECT_EQ(catalogue->count("szamok"), 0);
    EXPECT_EQ(columnValues("DBGrid1", 0), QStringList({"Omega", "Zorán"}));
    EXPECT_EQ(grid("DBGrid1")->columnWidths(), widths);
    EXPECT_EQ(grid("DBGrid2")->model()->rowCount(), 0);
    expectNoErrors();
}

TEST_P(DeletionTest, anAlbumGoesWithItsTracksByItsOwnKey)
{
    const qint64 first = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    const qint64 second = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    const qint64 zoran = catalogue->addAlbum(QStringLiteral("Zorán"), QStringLiteral("Kotta nélkül"));
    catalogue->addTrack(first, QStringLiteral("Ezüst eső"), "5:10", "200", "192", "CD1");
    catalogue->addTrack(second, QStringLiteral("Intro"), "1:00", "100", "192", "CD2");
    catalogue->addTrack(second, QStringLiteral("Outro"), "1:00", "100", "192", "CD2");
    TFoablak& main = startRecording();

    clickCell("DBGrid1", 1);
    const qint64 clicked = main.editState().currentRow.albumIdentity.toLongLong();
    ASSERT_TRUE(clicked == first || clicked == second);
    const qint64 other = clicked == first ? second : first;
    press(Answer::No);
    EXPECT_EQ(lastQuestion(),
              QStringLiteral("Valóban törölni szeretnéd a teljes albumot? Előadó: \"Omega\" Album: \"Időrabló\""));
    EXPECT_TRUE(ran.isEmpty());
    EXPECT_EQ(main.editState().currentRow.albumEloado, QStringLiteral("Omega"));

    press(Answer::Closed);
    EXPECT_EQ(main.editState().currentRow.albumEloado, QString());
    EXPECT_EQ(catalogue->count("eloado"), 3);
    EXPECT_EQ(catalogue->count("szamok"), 3);

    clickCell("DBGrid1", 1);
    ASSERT_EQ(main.editState().currentRow.albumIdentity.toLongLong(), clicked);
    press(Answer::Yes);
    const QString key = QString::number(clicked);
    EXPECT_EQ(ran.mid(0, 3),
              QStringList({"select kod from eloado where (eloado.eloado = \"Omega\") and (eloado.album = \"Időrabló\")",
                           "delete from szamok where (szamok.eloado_azonosito=" + key + ")",
                           "delete from eloado where (eloado.kod=" + key + ")"}));
    EXPECT_EQ(column("SELECT kod FROM eloado ORDER BY kod"),
              QStringList({QString::number(other), QString::number(zoran)}));
    EXPECT_EQ(column("SELECT eloado_azonosito FROM szamok"),
              QStringList(other == first ? 1 : 2, QString::number(other)));
    EXPECT_EQ(main.editState().currentRow.albumEloado, QString());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(grid("DBGrid2")->model()->rowCount(), 0);

    // An album without tracks.
    clickCell("DBGrid1", 1);
    ASSERT_EQ(main.editState().currentRow.albumEloado, QStringLiteral("Zorán"));
    press(Answer::Yes);
    EXPECT_EQ(column("SELECT ELOADO FROM eloado"), QStringList({"Omega"}));
    expectNoErrors();
}

TEST_P(DeletionTest, onlyTheClickedRowGoesWhateverItsValuesHold)
{
    catalogue->insert("games", {"Doom", "", "700", "G1"});
    catalogue->insert("games", {"Doom", "", "700", "G1"});
    catalogue->insert("games", {"Say \"Hi\"", QVariant(), "1", QVariant()});
    catalogue->insert("games", {"Tetris", "", "5", "G9"});
    startRecording();
    switchToTab(4);

    // Of two equal rows one click deletes one.
    clickCell("DBGrid6", 1);
    press(Answer::Yes);
    EXPECT_EQ(column("SELECT NEV FROM games ORDER BY NEV"), QStringList({"Doom", "Say \"Hi\"", "Tetris"}));

    // Quotes in a value and NULL columns do not keep a row from being found.
    clickCell("DBGrid6", 1);
    press(Answer::Yes);
    EXPECT_EQ(lastQuestion(),
              QStringLiteral("Valóban törölni szeretnéd a kijelölt Jatékot?\rJáték neve: \"Say \"Hi\"\"\r"
                             "Játék megjegyzése: \"\"\rJáték mérete: \"1\"\rJáték kódja: \"\""));
    EXPECT_EQ(column("SELECT NEV FROM games ORDER BY NEV"), QStringList({"Doom", "Tetris"}));

    expectNoErrors();
}

// Another window or program changed or deleted the clicked row after the click: nothing is deleted, the user
// is told so, and the list shows the rows as they are now.
TEST_P(DeletionTest, aRowChangedOrDeletedMeanwhileIsNotDeletedAndTheUserIsTold)
{
    const qint64 omega = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->addTrack(omega, QStringLiteral("Ezüst eső"), "5:10", "200", "192", "CD1");
    catalogue->addTrack(omega, QStringLiteral("Intro"), "1:00", "100", "192", "CD1");
    catalogue->insert("Valogatasok", {"Abba", "Gold", "3:00", "128", "3000", "V1"});
    catalogue->insert("DVD_Filmek", {"Alien", "Alien", "angol", "magyar", "1", "01:57:00", "sci-fi"});
    catalogue->insert("Filmek_videoklippek", {"Akira", "", "japán", "640x480", "650", "02:04:00", "anime", "", ""});
    catalogue->insert("games", {"Tetris", "", "5", "G9"});
    catalogue->insert("progs_other", {"Audacity", "hang", "30", "P1"});
    startRecording();
    struct Case
    {
        int tab;
        const char* grid;
        bool track;
        const char* meanwhile;
        const char* count; // the rows that must still be there
        int rows;
        QStringList listed; // the first column of the grid afterwards
    };
    const Case cases[] = {
        {0,
         "DBGrid1",
         true,
         "UPDATE szamok SET MERET = '101' WHERE CIM = 'Intro'",
         "szamok",
         2,
         {"Ezüst eső", "Intro"}},
        {0, "DBGrid1", true, "DELETE FROM szamok WHERE CIM = 'Ezüst eső'", "szamok", 1, {"Intro"}},
        {0, "DBGrid1", false, "UPDATE eloado SET ELOADO = 'Omega Red'", "eloado", 1, {"Omega Red"}},
        {1, "DBGrid3", false, "UPDATE Valogatasok SET IDO = '3:01'", "Valogatasok", 1, {"Abba"}},
        {2, "DBGrid4", false, "UPDATE DVD_Filmek SET CIM = 'Aliens'", "DVD_Filmek", 1, {"Aliens"}},
        {3, "DBGrid5", false, "UPDATE Filmek_videoklippek SET MERET = '651'", "Filmek_videoklippek", 1, {"Akira"}},
        {4, "DBGrid6", false, "UPDATE games SET MERET = '6'", "games", 1, {"Tetris"}},
        {5, "DBGrid7", false, "DELETE FROM progs_other", "progs_other", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meanwhile);
        switchToTab(c.tab);
        clickCell(QString::fromLatin1(c.grid), 0);
        if (c.track)
            clickCell("DBGrid2", c.meanwhile[0] == 'U' ? 1 : 0);
        catalogue->exec(QString::fromUtf8(c.meanwhile));
        desktop.prompts.informations.clear();
        press(Answer::Yes);
        EXPECT_EQ(catalogue->count(QString::fromLatin1(c.count)), c.rows);
        ASSERT_EQ(desktop.prompts.informations.size(), 1);
        EXPECT_TRUE(desktop.prompts.informations.at(0).contains(QStringLiteral("időközben")))
            << desktop.prompts.informations.at(0).toStdString();
        EXPECT_EQ(columnValues(c.track ? "DBGrid2" : c.grid, 0), c.listed);
        expectNoErrors();
    }
}

class AlbumFaultTest : public DeletionFixture
{
    WritesRefusable refusable;

protected:
    void SetUp() override
    {
        album = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        catalogue->addTrack(album, QStringLiteral("Ezüst eső"), "5:10", "200", "192", "CD1");
        catalogue->addTrack(album, QStringLiteral("Intro"), "1:00", "100", "192", "CD1");
        startRecording();
        clickCell("DBGrid1", 0);
    }

    // The failure was reported once and nothing was deleted or forgotten.
    void expectRefused(const QString& engineText)
    {
        ASSERT_EQ(desktop.errors.reports.size(), 1);
        EXPECT_TRUE(desktop.errors.reports[0].contains(engineText)) << desktop.errors.reports[0].toStdString();
        EXPECT_EQ(catalogue->count("eloado"), 1);
        EXPECT_EQ(catalogue->count("szamok"), 2);
        EXPECT_EQ(window().editState().currentRow.albumEloado, QStringLiteral("Omega"));
    }

    // The program goes on: the tab lists again and the next deletion works.
    void expectRecovery()
    {
        switchToTab(1);
        switchToTab(0);
        clickCell("DBGrid1", 0);
        press(Answer::Yes);
        EXPECT_EQ(catalogue->count("eloado"), 0);
        EXPECT_EQ(catalogue->count("szamok"), 0);
        EXPECT_EQ(desktop.errors.reports.size(), 1);
    }

    qint64 album = 0;
};

TEST_F(AlbumFaultTest, aFailingAlbumDeleteKeepsItsTracks)
{
    catalogue->exec("CREATE TRIGGER keep BEFORE DELETE ON eloado BEGIN SELECT RAISE(ABORT, 'album kept'); END");
    press(Answer::Yes);
    EXPECT_EQ(ran.value(2), "delete from eloado where (eloado.kod=" + QString::number(album) + ")");
    expectRefused(QStringLiteral("album kept"));
    // The list is read again at once: the album is there, not a count over an empty grid.
    EXPECT_EQ(columnValues("DBGrid1", 0), QStringList{QStringLiteral("Omega")});
    catalogue->exec("DROP TRIGGER keep");
    expectRecovery();
}

TEST_F(AlbumFaultTest, anAlbumChangedMeanwhileIsNotDeleted)
{
    catalogue->exec("UPDATE eloado SET ALBUM = 'Időrabló (újra)'");
    press(Answer::Yes);
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.at(0).contains(QStringLiteral("időközben")));
    expectNoErrors();
    EXPECT_EQ(catalogue->count("eloado"), 1);
    EXPECT_EQ(catalogue->count("szamok"), 2);
    EXPECT_EQ(columnValues("DBGrid1", 1), QStringList({"Időrabló (újra)"}));
}

TEST_F(AlbumFaultTest, aTrackTableDroppedByAnotherProgram)
{
    catalogue->exec("ALTER TABLE szamok RENAME TO szamok_regi");
    press(Answer::Yes);
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports[0].contains("no such table")) << desktop.errors.reports[0].toStdString();
    EXPECT_EQ(catalogue->count("eloado"), 1);
    EXPECT_EQ(catalogue->count("szamok_regi"), 2);
    catalogue->exec("ALTER TABLE szamok_regi RENAME TO szamok");
    expectRecovery();
}

TEST_F(AlbumFaultTest, aLockedCatalogue)
{
    catalogue->exec("BEGIN IMMEDIATE");
    press(Answer::Yes);
    catalogue->exec("ROLLBACK");
    expectRefused(QStringLiteral("locked"));
    expectRecovery();
}

TEST_F(AlbumFaultTest, aCatalogueThatRefusesWrites)
{
    refuseWrites = true;
    press(Answer::Yes);
    expectRefused(QStringLiteral("readonly"));
    refuseWrites = false;
    expectRecovery();
}

TEST_F(DeletionFileTest, aRowDeletionRefusedByTheCatalogueChangesNothing)
{
    catalogue->insert("games", {"Doom", "", "700", "G1"});
    TFoablak& main = startRecording();
    switchToTab(4);
    clickCell("DBGrid6", 0);
    refuseWrites = true;
    press(Answer::Yes);
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_EQ(catalogue->count("games"), 1);
    EXPECT_EQ(main.editState().currentRow.gamesNev, QStringLiteral("Doom"));
    // The list shows its row again at once, under its count.
    EXPECT_EQ(columnValues("DBGrid6", 0), QStringList{QStringLiteral("Doom")});

    // A table dropped by another program is refused too.
    refuseWrites = false;
    clickCell("DBGrid6", 0);
    catalogue->exec("DROP TABLE games");
    press(Answer::Yes);
    ASSERT_EQ(desktop.errors.reports.size(), 2);
    EXPECT_TRUE(desktop.errors.reports[1].contains("no such table")) << desktop.errors.reports[1].toStdString();
    EXPECT_EQ(main.editState().currentRow.gamesNev, QStringLiteral("Doom"));
}

TEST(ConfirmationBox, asksWithAQuestionYesByDefaultAndEscapeForNo)
{
    platform::QtPrompts prompts;
    auto answerWith = [&prompts](int key) {
        QString shown;
        QTimer::singleShot(0, [&shown, key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
            const QPoint offset = box->frameGeometry().center() - box->screen()->availableGeometry().center();
            EXPECT_LE(offset.manhattanLength(), 2);
            shown = box->text();
            QTest::keyClick(box, static_cast<Qt::Key>(key));
        });
        const Answer answer = prompts.confirm(QStringLiteral("Első sor\rMásodik sor"));
        EXPECT_EQ(shown, QStringLiteral("Első sor\nMásodik sor"));
        return answer;
    };
    EXPECT_EQ(answerWith(Qt::Key_Escape), Answer::No);
    EXPECT_EQ(answerWith(Qt::Key_Return), Answer::Yes);
}

RUN_ON_BOTH_ENGINES(DeletionTest);

} // namespace
