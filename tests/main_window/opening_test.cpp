// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/codepage.h"
#include "main_window/category_grid.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <sys/stat.h>

using platform::Answer;

namespace {

const QString openQuestion = QStringLiteral("Nem nyitottál meg file-t. Megnyitsz egyet?");

// What the user sees of a window once a catalogue is shown: the same after every way of reaching it.
struct Screen
{
    QString title;
    QString count;
    std::vector<int> albumWidths;
    std::array<std::vector<int>, 6> columnWidths;
    QStringList searchColumns;
    int currentTab = -1;

    bool operator==(const Screen& other) const
    {
        return title == other.title && count == other.count && albumWidths == other.albumWidths &&
               columnWidths == other.columnWidths && searchColumns == other.searchColumns &&
               currentTab == other.currentTab;
    }
};

void PrintTo(const Screen& screen, std::ostream* out)
{
    *out << "title '" << screen.title.toStdString() << "', count " << screen.count.toStdString() << ", tab "
         << screen.currentTab << ", search columns '" << screen.searchColumns.join('|').toStdString()
         << "', album widths";
    for (int width : screen.albumWidths)
        *out << ' ' << width;
}

// Swallows every activation, as a desktop without a window manager (or with focus-stealing prevention) never
// activates a new window.
class NoActivation : public QObject
{
public:
    NoActivation() { qApp->installEventFilter(this); }
    ~NoActivation() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        return event->type() == QEvent::WindowActivate || event->type() == QEvent::ActivationChange;
    }
};

class OpeningTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        folder.installShippedLanguage();
        catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        catalogue->addAlbum(QStringLiteral("Ábel"), QStringLiteral("Első"));
        catalogue->insert("games", {"Doom", "", "700", "G2"});
    }

    Screen screen()
    {
        Screen shown;
        shown.title = window().windowTitle();
        shown.count = countLabel()->text();
        shown.albumWidths = grid("DBGrid1")->columnWidths();
        shown.columnWidths = window().columnWidths;
        shown.searchColumns = comboItems(searchColumns());
        shown.currentTab = tabs()->currentIndex();
        return shown;
    }

    void clickOpen() { QTest::mouseClick(widget<QPushButton>("open"), Qt::LeftButton); }

    void expectNoErrors() const
    {
        EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    }

    // A text file where a catalogue is expected.
    QString notADatabase(const QString& name = QStringLiteral("jegyzet.tnx"))
    {
        folder.writeBytes(name, QByteArray("ez egy jegyzet, nem adatbázis\n").repeated(50));
        return folder.file(name);
    }
};

TEST_F(OpeningTest, aFailedMegnyitasKeepsTheOpenCatalogueListedAndRemembered)
{
    TFoablak& main = start();
    switchToTab(4);
    const Screen before = screen();
    const QString bad = notADatabase();

    desktop.files.chooseNext(bad);
    clickOpen();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    const QString report = desktop.errors.reports.first();
    EXPECT_TRUE(report.startsWith(QStringLiteral("A katalógus nem nyitható meg:\r") + bad)) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("file is not a database"))) << report.toStdString();
    EXPECT_TRUE(report.endsWith(QStringLiteral("Az eddigi katalógus marad nyitva."))) << report.toStdString();
    EXPECT_EQ(screen(), before) << "the list, the tab and the title as they were";
    EXPECT_EQ(grid("DBGrid6")->model()->rowCount(), 1);
    EXPECT_EQ(main.OpenDialog1.fileName, catalogue->path());

    // A missing file and a folder are refused the same way.
    desktop.files.chooseNext(folder.file("nincs ilyen.tnx"));
    clickOpen();
    desktop.files.chooseNext(folder.path().chopped(1));
    clickOpen();
    ASSERT_EQ(desktop.errors.reports.size(), 3);
    EXPECT_TRUE(desktop.errors.reports.at(1).contains(QStringLiteral("A file nem létezik.")));
    EXPECT_TRUE(desktop.errors.reports.at(2).contains(QStringLiteral("Ez egy mappa, nem file.")));
    EXPECT_FALSE(QFileInfo::exists(folder.file("nincs ilyen.tnx"))) << "nothing is created in its place";
    EXPECT_EQ(screen(), before);

    // The catalogue kept is the one remembered.
    main.KilepesClick();
    EXPECT_TRUE(localisation::decode1250(folder.readBytes("list.ini")).startsWith(catalogue->path() + "\r\n"));
}

TEST_F(OpeningTest, aFifoChosenAsCatalogueIsRefusedWithoutWaiting)
{
    start();
    const QString fifo = folder.file("cso.tnx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    desktop.files.chooseNext(fifo);
    clickOpen();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().contains(QStringLiteral("Ez nem közönséges file.")));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
}

TEST_F(OpeningTest, everyWayToACatalogueEndsInTheScreenOfANormalStart)
{
    Screen normal;
    {
        start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return searchColumns()->currentIndex() == 0; }, 2000));
        normal = screen();
        EXPECT_EQ(normal.searchColumns.size(), 2);
        EXPECT_EQ(normal.albumWidths, (std::vector<int>{150, 200}));
    }

    // The remembered catalogue is no database: reported, then the open dialog reaches a good one.
    folder.writeSettings(notADatabase());
    desktop.files.chooseNext(catalogue->path());
    start();
    EXPECT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return searchColumns()->currentIndex() == 0; }, 2000));
    EXPECT_EQ(screen(), normal);

    // A bad choice in that dialog is reported and the dialog comes again.
    desktop.errors.reports.clear();
    desktop.files.chooseNext(notADatabase(QStringLiteral("masik.tnx")));
    desktop.files.chooseNext(catalogue->path());
    start();
    EXPECT_EQ(desktop.errors.reports.size(), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return searchColumns()->currentIndex() == 0; }, 2000));
    EXPECT_EQ(screen(), normal);

    // Declined at start, then Megnyitás later in the same window.
    desktop.errors.reports.clear();
    folder.writeSettings(QString());
    desktop.files.cancelNext();
    desktop.prompts.answerNext(Answer::No);
    TFoablak& main = start();
    EXPECT_TRUE(main.startAborted);
    main.startAborted = false; // as if the close had been refused by the user, who stays
    desktop.files.chooseNext(catalogue->path());
    clickOpen();
    expectNoErrors();
    EXPECT_EQ(screen(), normal);
}

TEST_F(OpeningTest, theFirstShowDoesTheFirstActivationsWorkWithoutActivation)
{
    NoActivation noActivation;
    TFoablak& main = start();
    QTest::qWait(50);
    EXPECT_EQ(tabs()->count(), 6) << "the VHS and books pages are not on the tab bar";
    EXPECT_TRUE(tabs()->isTabVisible(5));
    EXPECT_EQ(searchColumns()->currentIndex(), 0);
    EXPECT_EQ(grid("DBGrid2")->pos(), QPoint(312, 35));
    EXPECT_TRUE(main.isVisible());
}

TEST_F(OpeningTest, aDeclinedStartClosesAtTheFirstShowWithoutActivation)
{
    NoActivation noActivation;
    folder.writeSettings(QString());
    desktop.files.cancelNext();
    desktop.prompts.answerNext(Answer::No);
    TFoablak& main = start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !main.isVisible(); }, 2000));
    EXPECT_EQ(folder.readBytes("list.ini"), QByteArray("\r\nHU_magyar.lng\r\n"));
}

TEST_F(OpeningTest, aCatalogueNamedOnTheCommandLineIsOpenedAndRemembered)
{
    ProgramFolder elsewhere;
    TestCatalogue named(elsewhere.path().chopped(1), QStringLiteral("nevezett lista.qvdb"));
    named.addAlbum(QStringLiteral("Kaláka"), QStringLiteral("Tavasz"));
    Screen normal;
    {
        start();
        normal = screen();
    }
    TFoablak& main = start(named.path());
    expectNoErrors();
    EXPECT_EQ(desktop.files.shown, 0);
    EXPECT_EQ(main.OpenDialog1.fileName, named.path());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(main.windowTitle(), main.textSlots().text(1) + QLatin1Char(' ') + named.path());
    EXPECT_EQ(grid("DBGrid1")->columnWidths(), normal.albumWidths);
    main.KilepesClick();
    EXPECT_EQ(folder.readBytes("list.ini"), *localisation::encode1250(named.path() + "\r\nHU_magyar.lng\r\n"));
}

TEST_F(OpeningTest, aNamedCatalogueThatCannotBeOpenedIsReportedAndTheRememberedOneOpens)
{
    TFoablak& main = start(folder.file("nincs.tnx"));
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().startsWith(QStringLiteral("A katalógus nem nyitható meg:\r") +
                                                          folder.file("nincs.tnx")));
    EXPECT_EQ(main.OpenDialog1.fileName, catalogue->path());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_FALSE(QFileInfo::exists(folder.file("nincs.tnx")));
}

TEST_F(OpeningTest, aNamedLegacyCatalogueTakesTheConversionQuestion)
{
    const QString sample = QStringLiteral(MEDIATAR_LEGACY_FIXTURES "/sample.tnx");
    if (!QFileInfo::exists(sample))
        GTEST_SKIP() << "the legacy fixtures are not there";
    QFile source(sample);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    folder.writeBytes(QStringLiteral("regi.tnx"), source.readAll());
    desktop.prompts.answerNext(Answer::Yes);
    TFoablak& main = start(folder.file("regi.tnx"));
    ASSERT_EQ(desktop.prompts.confirmations.size(), 1);
    EXPECT_TRUE(desktop.prompts.confirmations.first().contains(QStringLiteral("régebbi formátumú katalógus")));
    expectNoErrors();
    EXPECT_EQ(main.OpenDialog1.fileName, folder.file("regi.mediatar.tnx"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("6"));
}

TEST_F(OpeningTest, withoutALanguageFileTheSearchStillNamesAColumn)
{
    QFile::remove(folder.file("HU_magyar.lng"));
    desktop.prompts.answerNext(Answer::Yes); // go on without the language file
    start();
    EXPECT_EQ(comboItems(searchColumns()), (QStringList{QString(), QString()}));
    searchBox()->setFocus();
    QTest::keyClicks(searchBox(), QStringLiteral("O"));
    expectNoErrors();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(grid("DBGrid1")->model()->index(0, 0).data().toString(), QStringLiteral("Omega"));
}

TEST_F(OpeningTest, aWindowThatGoesWhileShownGoesQuietly)
{
    auto shown = std::make_unique<TFoablak>(desktop.services());
    shown->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown.get()));
    shown.reset();
    expectNoErrors();
}

// An installed program: the executable in bin/, its language file in share/mediatar/.
TEST(InstalledLanguageTest, theLanguageFileIsFoundInTheInstalledDataFolder)
{
    ProgramFolder prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/mediatar")));
    QFile source(QStringLiteral(MEDIATAR_SOURCE_DIR "/data/HU_magyar.lng"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    prefix.writeBytes(QStringLiteral("share/mediatar/HU_magyar.lng"), source.readAll());
    TestCatalogue catalogue(prefix.path() + QStringLiteral("share"));
    prefix.writeBytes(QStringLiteral("bin/list.ini"), *localisation::encode1250(catalogue.path() + "\r\n\r\n"));

    platform::ScriptedPlatform desktop(prefix.path() + QStringLiteral("bin/"));
    TFoablak main(desktop.services());
    EXPECT_TRUE(desktop.prompts.confirmations.isEmpty()) << desktop.prompts.confirmations.join('\n').toStdString();
    EXPECT_TRUE(main.languageVersionOk);
    EXPECT_FALSE(main.textSlots().text(1).isEmpty());
    EXPECT_TRUE(main.windowTitle().startsWith(main.textSlots().text(1)));
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();

    // A language file beside the program wins over the installed one.
    prefix.writeBytes(QStringLiteral("bin/HU_magyar.lng"), *localisation::encode1250("1.0\r\n1=\"Saját cím\"\r\n"));
    TFoablak beside(desktop.services());
    EXPECT_EQ(beside.textSlots().text(1), QStringLiteral("Saját cím"));
}

} // namespace
