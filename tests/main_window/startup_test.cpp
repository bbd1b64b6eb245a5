// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/codepage.h"
#include "main_window/category_grid.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <sqlite3.h>

namespace {

const QString versionQuestion =
    QStringLiteral("A nyelvi file nem megfelelő verziószámú!\rEz azt eredményezi, hogy nem lesz\rminden lefordítva! "
                   "Folytatod?");
const QString openQuestion = QStringLiteral("Nem nyitottál meg file-t. Megnyitsz egyet?");

class StartupTest : public WindowFixture
{
protected:
    void addTwoAlbums()
    {
        catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        catalogue->addAlbum(QStringLiteral("Ábel"), QStringLiteral("Első"));
    }
};

TEST_F(StartupTest, opensTheLastCatalogueOnTheAlbumsTab)
{
    addTwoAlbums();
    desktop.prompts.answerNext(platform::Answer::Yes); // go on without a language file
    TFoablak& main = start();
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    EXPECT_EQ(desktop.files.shown, 0);
    EXPECT_EQ(desktop.prompts.confirmations, QStringList{versionQuestion});
    EXPECT_FALSE(main.startAborted);
    EXPECT_EQ(main.OpenDialog1.fileName, catalogue->path());
    EXPECT_EQ(main.languageFile, QStringLiteral("HU_magyar.lng"));
    EXPECT_EQ(tabs()->currentIndex(), 0);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(main.windowTitle(), QLatin1Char(' ') + catalogue->path());
    EXPECT_TRUE(main.editState().albumGridActive);
    EXPECT_FALSE(main.editState().trackGridActive);
    // Start widths: the album grid's own, the track grid's fixed ones, and the table for the other tabs.
    EXPECT_EQ(grid("DBGrid1")->columnWidths(), (std::vector<int>{150, 200}));
    EXPECT_EQ(grid("DBGrid2")->columnWidths(), (std::vector<int>{200, 50, 60, 50, 30}));
    EXPECT_EQ(main.columnWidths[2], (std::vector<int>{300, 300, 150, 100, 40, 50, 60}));
    EXPECT_EQ(main.columnWidths[5], (std::vector<int>{200, 250, 60, 40}));
}

TEST_F(StartupTest, declinedLanguageQuestionClosesTheWindowWhenFirstShown)
{
    addTwoAlbums();
    desktop.prompts.answerNext(platform::Answer::No);
    TFoablak& main = start();
    EXPECT_TRUE(main.startAborted);
    // The list was still loaded: a No takes effect only at the first activation.
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    main.FormActivate();
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(folder.readBytes("list.ini"), (catalogue->path() + "\r\nHU_magyar.lng\r\n").toUtf8());
}

TEST_F(StartupTest, missingCatalogueOffersTheOpenDialogBeforeTheLanguageFile)
{
    addTwoAlbums();
    folder.writeSettings(folder.file("elveszett.tnx"), QStringLiteral("sajat.lng"));
    desktop.files.chooseNext(catalogue->path());
    desktop.prompts.answerNext(platform::Answer::Yes);
    TFoablak& main = start();
    EXPECT_EQ(desktop.files.shown, 1);
    EXPECT_EQ(desktop.files.lastFilter, OpenDialog::filter);
    EXPECT_EQ(main.OpenDialog1.fileName, catalogue->path());
    EXPECT_EQ(main.languageFile, QStringLiteral("sajat.lng"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
}

TEST_F(StartupTest, cancelledOpenDialogAsksAndNoEndsTheProgramWithAnEmptyFirstLine)
{
    folder.writeSettings(folder.file("elveszett.tnx"));
    desktop.files.cancelNext();
    desktop.prompts.answerNext(platform::Answer::No); // open one?
    TFoablak& main = start();
    EXPECT_EQ(desktop.beeper.beeps, 1);
    ASSERT_FALSE(desktop.prompts.confirmations.isEmpty());
    EXPECT_EQ(desktop.prompts.confirmations.first(), openQuestion);
    EXPECT_EQ(desktop.prompts.confirmations.size(), 1) << "start-up stops before the language question";
    EXPECT_TRUE(main.startAborted);
    main.FormActivate();
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(folder.readBytes("list.ini"), QByteArray("\r\nHU_magyar.lng\r\n"));
}

TEST_F(StartupTest, cancelledOpenDialogAskedAgainUntilAFileIsChosen)
{
    addTwoAlbums();
    folder.writeSettings(QString());
    desktop.files.cancelNext();
    desktop.prompts.answerNext(platform::Answer::Yes); // open one? yes
    desktop.files.chooseNext(catalogue->path());
    desktop.prompts.answerNext(platform::Answer::Yes); // language question
    TFoablak& main = start();
    EXPECT_EQ(desktop.files.shown, 2);
    EXPECT_EQ(desktop.prompts.confirmations, (QStringList{openQuestion, versionQuestion}));
    EXPECT_FALSE(main.startAborted);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
}

TEST_F(StartupTest, withoutSettingsFileTheDefaultsTakeThePathOfAMissingCatalogue)
{
    // A copy of the program that has never run: its language file beside it, no list.ini.
    QFile::remove(folder.file("list.ini"));
    folder.installShippedLanguage();
    addTwoAlbums();
    desktop.files.chooseNext(catalogue->path());
    TFoablak& main = start();
    EXPECT_EQ(desktop.files.shown, 1) << "no catalogue yet: the open dialog";
    EXPECT_TRUE(desktop.prompts.confirmations.isEmpty()) << desktop.prompts.confirmations.join('\n').toStdString();
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    EXPECT_EQ(main.languageFile, QStringLiteral("HU_magyar.lng"));
    EXPECT_TRUE(main.languageVersionOk);
    EXPECT_FALSE(main.startAborted);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(main.windowTitle(), main.textSlots().text(1) + QLatin1Char(' ') + catalogue->path());
    EXPECT_FALSE(main.windowTitle().startsWith(QLatin1Char(' ')));
    EXPECT_EQ(grid("DBGrid1")->columnWidths(), (std::vector<int>{150, 200}));
    EXPECT_EQ(main.columnWidths[1], (std::vector<int>{300, 200, 50, 50, 60, 30}));
    EXPECT_EQ(comboItems(searchColumns()), (QStringList{main.textSlots().text(124), main.textSlots().text(125)}));
    EXPECT_FALSE(main.textSlots().text(124).isEmpty());

    // The first exit writes the settings beside the program.
    main.KilepesClick();
    EXPECT_EQ(folder.readBytes("list.ini"), *localisation::encode1250(catalogue->path() + "\r\nHU_magyar.lng\r\n"));
}

TEST_F(StartupTest, withoutSettingsFileACancelledDialogAsksAndNoEndsTheStart)
{
    QFile::remove(folder.file("list.ini"));
    folder.installShippedLanguage();
    desktop.files.cancelNext();
    desktop.prompts.answerNext(platform::Answer::No);
    TFoablak& main = start();
    EXPECT_EQ(desktop.beeper.beeps, 1);
    EXPECT_EQ(desktop.prompts.confirmations, QStringList{openQuestion});
    EXPECT_TRUE(main.startAborted);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !main.isVisible(); }, 2000));
    EXPECT_EQ(folder.readBytes("list.ini"), QByteArray("\r\nHU_magyar.lng\r\n"));
}

TEST_F(StartupTest, settingsFileVariants)
{
    addTwoAlbums();
    // One line only: the language file gets its default name.
    folder.writeBytes("list.ini", catalogue->path().toUtf8());
    desktop.prompts.setDefaultAnswer(platform::Answer::Yes);
    {
        TFoablak& main = start();
        EXPECT_EQ(main.languageFile, QStringLiteral("HU_magyar.lng"));
        EXPECT_EQ(main.OpenDialog1.fileName, catalogue->path());
    }
}

TEST_F(StartupTest, emptySettingsFileOffersTheOpenDialog)
{
    folder.writeBytes("list.ini", QByteArray());
    desktop.files.cancelNext();
    TFoablak& main = start();
    EXPECT_EQ(desktop.files.shown, 1);
    EXPECT_TRUE(main.startAborted);
}

TEST_F(StartupTest, settingsBytesOutsideTheCodePageNameNoFile)
{
    folder.writeBytes("list.ini", QByteArray("\x81\x98\x90.tnx\r\n\r\n"));
    desktop.files.cancelNext();
    TFoablak& main = start();
    EXPECT_EQ(desktop.files.shown, 1);
    EXPECT_TRUE(main.startAborted);
    EXPECT_TRUE(desktop.errors.reports.isEmpty());
}

TEST_F(StartupTest, pathWithBlanksAndAccentsIsKeptWhole)
{
    ProgramFolder other;
    const QString dir = other.path() + QStringLiteral("Régi gyűjtemény");
    ASSERT_TRUE(QDir().mkpath(dir));
    TestCatalogue spaced(dir, QStringLiteral("Őszi lista.qvdb"));
    spaced.addAlbum(QStringLiteral("Kaláka"), QStringLiteral("Tavasz"));
    folder.writeSettings(spaced.path());
    desktop.prompts.setDefaultAnswer(platform::Answer::Yes);
    TFoablak& main = start();
    EXPECT_EQ(main.OpenDialog1.fileName, spaced.path());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    main.KilepesClick();
    EXPECT_EQ(folder.readBytes("list.ini"), *localisation::encode1250(spaced.path() + "\r\nHU_magyar.lng\r\n"));
}

TEST_F(StartupTest, aRememberedCatalogueThatIsNoDatabaseIsReportedAndTheDialogOffered)
{
    folder.installShippedLanguage();
    folder.writeBytes("szoveg.tnx", QByteArray("ez csak egy szövegfájl, nem adatbázis\n").repeated(40));
    folder.writeSettings(folder.file("szoveg.tnx"));
    desktop.files.cancelNext();
    desktop.prompts.answerNext(platform::Answer::No); // open another one? no
    TFoablak& main = start();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    const QString report = desktop.errors.reports.first();
    EXPECT_TRUE(report.startsWith(QStringLiteral("A katalógus nem nyitható meg:\r") + folder.file("szoveg.tnx")))
        << report.toStdString();
    EXPECT_TRUE(report.endsWith(QStringLiteral("file is not a database"))) << report.toStdString();
    EXPECT_EQ(desktop.files.shown, 1);
    EXPECT_EQ(desktop.prompts.confirmations, QStringList{openQuestion});
    // Declined: the program ends, still remembering the file, which may be mended by the next start.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !main.isVisible(); }, 2000));
    EXPECT_EQ(folder.readBytes("list.ini"),
              *localisation::encode1250(folder.file("szoveg.tnx") + "\r\nHU_magyar.lng\r\n"));
}

TEST_F(StartupTest, aDatabaseOfAnotherProgramIsReportedInOneWordForFile)
{
    folder.installShippedLanguage();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(folder.file("jegyzetek.tnx").toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE jegyzet (szoveg TEXT)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    folder.writeSettings(folder.file("jegyzetek.tnx"));
    desktop.files.cancelNext();
    desktop.prompts.answerNext(platform::Answer::No);
    start();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    const QString report = desktop.errors.reports.first();
    EXPECT_TRUE(report.contains(QStringLiteral("nem Médiatár-katalógus"))) << report.toStdString();
    EXPECT_FALSE(report.contains(QStringLiteral("fájl"))) << report.toStdString();
}

TEST_F(StartupTest, openClickSwitchesCatalogueAndCancelReopensTheCurrentOne)
{
    addTwoAlbums();
    folder.installShippedLanguage(); // the search below needs its column captions
    TFoablak& main = start();
    ProgramFolder other;
    TestCatalogue second(other.path().chopped(1), QStringLiteral("masik.tnx"));
    second.addAlbum(QStringLiteral("Zorán"), QStringLiteral("Körút"));
    switchToTab(3);
    searchBox()->setText(QStringLiteral("valami"));
    desktop.files.chooseNext(second.path());
    QTest::mouseClick(widget<QPushButton>("open"), Qt::LeftButton);
    EXPECT_EQ(tabs()->currentIndex(), 0);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_TRUE(searchBox()->text().isEmpty());
    EXPECT_EQ(main.windowTitle(), main.textSlots().text(1) + QLatin1Char(' ') + second.path());

    // A cancelled dialog reads the same catalogue again on tab 0.
    switchToTab(2);
    desktop.files.cancelNext();
    QTest::mouseClick(widget<QPushButton>("open"), Qt::LeftButton);
    EXPECT_EQ(tabs()->currentIndex(), 0);
    EXPECT_EQ(main.OpenDialog1.fileName, second.path());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

TEST_F(StartupTest, exitByButtonAndByCloseBoxWriteTheSameSettings)
{
    addTwoAlbums();
    desktop.prompts.setDefaultAnswer(platform::Answer::Yes);
    QByteArray byButton;
    {
        TFoablak& main = start();
        QTest::mouseClick(widget<QPushButton>("Kilepes"), Qt::LeftButton);
        EXPECT_FALSE(main.isVisible());
        byButton = folder.readBytes("list.ini");
    }
    folder.writeBytes("list.ini", catalogue->path().toUtf8() + "\r\nHU_magyar.lng\r\nharmadik sor\r\n");
    TFoablak& again = start();
    EXPECT_TRUE(again.close());
    EXPECT_EQ(folder.readBytes("list.ini"), byButton) << "the third line is dropped";
    EXPECT_EQ(byButton, (catalogue->path() + "\r\nHU_magyar.lng\r\n").toUtf8());
    EXPECT_FALSE(QFile::exists(folder.file("ini.tmp")));
}

TEST_F(StartupTest, activationHidesTheTwoEmptyTabsAndSelectsTheFirstSearchColumn)
{
    addTwoAlbums();
    desktop.prompts.setDefaultAnswer(platform::Answer::Yes);
    TFoablak& main = start();
    main.FormActivate();
    EXPECT_EQ(tabs()->count(), 6) << "the VHS and books pages are not on the tab bar";
    EXPECT_TRUE(tabs()->isTabVisible(5));
    EXPECT_EQ(searchColumns()->currentIndex(), 0);
    EXPECT_EQ(grid("DBGrid2")->pos(), QPoint(312, 35));
}

} // namespace

namespace {

TEST_F(StartupTest, declinedStartClosesAtTheRealFirstActivation)
{
    desktop.prompts.answerNext(platform::Answer::No);
    TFoablak& main = start();
    main.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !main.isVisible(); }, 2000));
}

} // namespace
