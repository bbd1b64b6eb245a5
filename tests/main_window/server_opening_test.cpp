// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/codepage.h"
#include "main_window/category_grid.h"
#include "server/client_library.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "support/postgres_server.h"
#include "support/window_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using platform::Answer;
using test_server::PostgresServer;

// A catalogue on a PostgreSQL server reached by the program's windows: from list.ini, from the command line,
// with a password typed at the prompt; and what the user is told when the server cannot be reached or refuses.

namespace {

const QString openFailure = QStringLiteral("A katalógus nem nyitható meg:\r");

class ServerOpeningTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        ASSERT_SERVER_RUNNING();
        folder.installShippedLanguage();
        // The file catalogue of list.ini, the way on when a server fails.
        catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        catalogue->addAlbum(QStringLiteral("Ábel"), QStringLiteral("Első"));
    }

    PostgresServer& server() { return PostgresServer::instance(); }

    // A catalogue on the server with three albums and a game; gives its URI as the superuser.
    QString serverCatalogue(const QString& name)
    {
        const QString uri = server().newDatabase(name);
        server::Connection connection(uri);
        server::createServerCatalogue(connection);
        for (const char* artist : {"Kaláka", "Ács", "Zorán"})
            connection.run(QStringLiteral("INSERT INTO eloado (eloado, album) VALUES ($1, $2)"),
                           {QString::fromUtf8(artist), QStringLiteral("Első lemez")});
        connection.run(QStringLiteral("INSERT INTO games VALUES ($1, $2, $3, $4)"),
                       {QStringLiteral("Doom"), QString(), QStringLiteral("700"), QStringLiteral("G2")});
        return uri;
    }

    QString title(const QString& shown) { return window().textSlots().text(1) + QLatin1Char(' ') + shown; }

    QByteArray settingsWith(const QString& catalogueLine)
    {
        return *localisation::encode1250(catalogueLine + QStringLiteral("\r\nHU_magyar.lng\r\n"));
    }

    void clickOpen() { QTest::mouseClick(widget<QPushButton>("open"), Qt::LeftButton); }

    void expectNoErrors() const
    {
        EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    }

    // Every report names the catalogue by its URI without password, says in Hungarian what happened, and
    // keeps the server's own text.
    void expectServerReport(const QString& report, const QString& shownUri, const QString& meaning)
    {
        EXPECT_TRUE(report.startsWith(openFailure + shownUri + QLatin1Char('\r'))) << report.toStdString();
        EXPECT_TRUE(report.contains(meaning)) << report.toStdString();
        EXPECT_TRUE(report.contains(QStringLiteral("\r\rEredeti üzenet: "))) << report.toStdString();
    }
};

TEST_F(ServerOpeningTest, aServerCatalogueInListIniOpensAndIsShownAndRememberedWithoutItsPassword)
{
    const QString uri = serverCatalogue(QStringLiteral("ini_lista"));
    // The test server trusts the superuser: the password is there only to be left out.
    const QString withPassword = uri + QStringLiteral("&password=Titkos1");
    folder.writeSettings(withPassword);

    TFoablak& main = start();
    expectNoErrors();
    EXPECT_EQ(desktop.files.shown, 0) << "a server catalogue never goes through the open dialog";
    EXPECT_TRUE(desktop.passwords.asked.isEmpty()) << "the URI gave the password";
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(grid("DBGrid1")->model()->index(0, 0).data().toString(), QStringLiteral("Ács"));
    EXPECT_EQ(main.windowTitle(), title(uri));
    switchToTab(4);
    EXPECT_EQ(grid("DBGrid6")->model()->rowCount(), 1);

    main.KilepesClick();
    EXPECT_EQ(folder.readBytes("list.ini"), settingsWith(uri));
}

TEST_F(ServerOpeningTest, aServerCatalogueNamedOnTheCommandLineKeepsItsAccentedNameInListIni)
{
    serverCatalogue(QStringLiteral("gyűjtemény"));
    const QString shown = QStringLiteral("postgresql://postgres@/gyűjtemény?host=%1").arg(server().folder());
    const QString named =
        QStringLiteral("postgresql://postgres:Titkos%40jelszo@/gyűjtemény?host=%1").arg(server().folder());

    TFoablak& main = start(named);
    expectNoErrors();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(main.windowTitle(), title(shown));
    main.KilepesClick();
    const QByteArray settings = folder.readBytes("list.ini");
    EXPECT_EQ(settings, settingsWith(shown));
    EXPECT_FALSE(settings.contains("Titkos"));

    // Percent-encoded, as a URI may say it: the title reads as the user writes the name, list.ini keeps the URI.
    const QString encoded =
        QStringLiteral("postgresql://postgres@/gy%C5%B1jtem%C3%A9ny?host=%1").arg(server().folder());
    TFoablak& fromEncoded = start(encoded);
    expectNoErrors();
    EXPECT_EQ(fromEncoded.windowTitle(), title(shown));
    fromEncoded.KilepesClick();
    EXPECT_EQ(folder.readBytes("list.ini"), settingsWith(encoded));

    // The next start finds it in list.ini; so it does when list.ini was written by hand in UTF-8.
    for (const QByteArray& written : {settings, shown.toUtf8() + "\r\nHU_magyar.lng\r\n"}) {
        folder.writeBytes(QStringLiteral("list.ini"), written);
        TFoablak& again = start();
        expectNoErrors();
        EXPECT_EQ(again.windowTitle(), title(shown));
        EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
    }
}

TEST_F(ServerOpeningTest, aPasswordTypedAtThePromptIsAskedAgainWhenRefusedAndOnlyThen)
{
    serverCatalogue(QStringLiteral("jelszavas_lista"));
    const QString uri = server().passwordUri(QStringLiteral("jelszavas_lista"));
    folder.writeSettings(uri);
    // A typing mistake first: asked again, and the right one lets the user in.
    desktop.passwords.answerNext(QStringLiteral("elgépelt"));
    desktop.passwords.answerNext(PostgresServer::rolePassword());

    TFoablak& main = start();
    expectNoErrors();
    EXPECT_EQ(desktop.passwords.asked, (QStringList{uri, uri}));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(main.windowTitle(), title(uri));

    // Megnyitás starts the dialog at the server catalogue and offers it; cancelled, it shows the server
    // catalogue again, without a new question for the password.
    switchToTab(4);
    clickOpen();
    expectNoErrors();
    EXPECT_EQ(desktop.files.startedAt, QStringList{uri});
    EXPECT_EQ(desktop.files.lastAddresses, QStringList{uri});
    EXPECT_EQ(tabs()->currentIndex(), 0);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(desktop.passwords.asked.size(), 2);

    // A file that is no catalogue: reported, and the server catalogue stays.
    folder.writeBytes(QStringLiteral("jegyzet.tnx"), QByteArray("nem adatbázis\n").repeated(50));
    desktop.files.chooseNext(folder.file(QStringLiteral("jegyzet.tnx")));
    clickOpen();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().endsWith(QStringLiteral("Az eddigi katalógus marad nyitva.")));
    EXPECT_EQ(main.windowTitle(), title(uri));
    EXPECT_EQ(main.OpenDialog1.fileName, uri);

    main.KilepesClick();
    const QByteArray settings = folder.readBytes("list.ini");
    EXPECT_EQ(settings, settingsWith(uri));
    EXPECT_FALSE(settings.contains(PostgresServer::rolePassword().toUtf8()));
}

// A password mistyped into an address is mended in the open dialog: the address typed there again opens the
// server catalogue, which the next dialog offers among the remembered ones, without its password.
TEST_F(ServerOpeningTest, aServerAddressTypedInTheOpenDialogOpensTheServerCatalogue)
{
    serverCatalogue(QStringLiteral("beirt_cim"));
    const QString uri = server().passwordUri(QStringLiteral("beirt_cim"));
    const QString mistyped = uri + QStringLiteral("&password=elgepelt");
    const QString right = uri + QStringLiteral("&password=") + PostgresServer::rolePassword();
    TFoablak& main = start();
    ASSERT_EQ(countLabel()->text(), QStringLiteral("2"));

    // Refused: told once, in the words of an open failure, and the file stays open.
    desktop.files.chooseNext(mistyped);
    clickOpen();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    expectServerReport(desktop.errors.reports.first(), uri, QStringLiteral("nem fogadta el a jelszót"));
    EXPECT_EQ(desktop.errors.reports.first().count(QStringLiteral("Eredeti üzenet")), 1);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));

    desktop.files.chooseNext(right);
    clickOpen();
    EXPECT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_EQ(desktop.files.startedAt, (QStringList{catalogue->path(), catalogue->path()}));
    EXPECT_EQ(main.windowTitle(), title(uri));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
    EXPECT_TRUE(desktop.passwords.asked.isEmpty());

    // Back to the file; the next dialog offers the server catalogue.
    desktop.files.chooseNext(catalogue->path());
    clickOpen();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    desktop.files.cancelNext();
    clickOpen();
    EXPECT_EQ(desktop.files.lastAddresses, QStringList{uri});
    main.KilepesClick();
    EXPECT_FALSE(folder.readBytes("list.ini").contains(PostgresServer::rolePassword().toUtf8()));
}

TEST_F(ServerOpeningTest, aDeclinedOrRefusedPasswordIsReportedAndTheOpenDialogFollows)
{
    serverCatalogue(QStringLiteral("elutasito"));
    const QString uri = server().passwordUri(QStringLiteral("elutasito"));
    folder.writeSettings(uri);

    // Mégse at the prompt: the file chosen in the dialog opens instead.
    desktop.passwords.declineNext();
    desktop.files.chooseNext(catalogue->path());
    TFoablak& first = start();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().startsWith(openFailure + uri + QLatin1Char('\r')))
        << desktop.errors.reports.first().toStdString();
    EXPECT_EQ(desktop.passwords.asked, QStringList{uri});
    EXPECT_EQ(desktop.files.startedAt, QStringList{QString()});
    EXPECT_EQ(first.windowTitle(), title(catalogue->path()));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));

    // A wrong password: the prompt asks again for the same catalogue and says why; a second wrong one, and
    // the third prompt is declined. Told once; the dialog is cancelled and the user leaves. The server
    // catalogue is still the one remembered, and the wrong passwords went nowhere.
    desktop.errors.reports.clear();
    desktop.passwords.asked.clear();
    desktop.passwords.refusedBefore.clear();
    desktop.files.startedAt.clear();
    folder.writeSettings(uri);
    desktop.passwords.answerNext(QStringLiteral("rossz jelszó"));
    desktop.passwords.answerNext(QStringLiteral("rossz megint"));
    desktop.passwords.declineNext();
    desktop.files.cancelNext();
    desktop.prompts.answerNext(Answer::No);
    TFoablak& second = start();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    expectServerReport(desktop.errors.reports.first(), uri, QStringLiteral("jelszót kér"));
    EXPECT_EQ(desktop.passwords.asked, (QStringList{uri, uri, uri}));
    EXPECT_EQ(desktop.passwords.refusedBefore, (QList<bool>{false, true, true}));
    EXPECT_EQ(desktop.files.startedAt, QStringList{QString()});
    EXPECT_TRUE(second.startAborted);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !second.isVisible(); }, 2000));
    const QByteArray settings = folder.readBytes("list.ini");
    EXPECT_EQ(settings, settingsWith(uri));
    EXPECT_FALSE(settings.contains("rossz"));
}

// Whatever the store says about a server catalogue it cannot open, its password is neither shown nor kept, and
// a URI never goes into the open dialog.
TEST_F(ServerOpeningTest, aServerCatalogueThatCannotBeOpenedLeavesItsPasswordNowhere)
{
    QTemporaryDir noServer(QStringLiteral("/tmp/mediatar-nopg.XXXXXX"));
    const QString shown = QStringLiteral("postgresql://anna@/lista?host=%1").arg(noServer.path());
    const QString withPassword =
        QStringLiteral("postgresql://anna:titok@/lista?host=%1&password=masik").arg(noServer.path());
    folder.writeSettings(withPassword);
    desktop.files.cancelNext();
    desktop.prompts.answerNext(Answer::Yes);
    desktop.files.chooseNext(catalogue->path());
    TFoablak& main = start();
    // The password written by hand is off the file at once, before the program closes.
    EXPECT_EQ(folder.readBytes("list.ini"), settingsWith(shown));
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    const QString report = desktop.errors.reports.first();
    EXPECT_TRUE(report.startsWith(openFailure + shown + QLatin1Char('\r'))) << report.toStdString();
    EXPECT_FALSE(report.contains(QStringLiteral("titok")) || report.contains(QStringLiteral("masik")));
    EXPECT_EQ(desktop.files.startedAt, (QStringList{QString(), QString()}));
    EXPECT_EQ(main.windowTitle(), title(catalogue->path()));

    // Named on the command line while the remembered server cannot be opened either: the user opens nothing
    // and leaves; the server stays remembered, without its password.
    desktop.errors.reports.clear();
    desktop.files.cancelNext();
    desktop.prompts.answerNext(Answer::No);
    TFoablak& declined = start(withPassword);
    ASSERT_EQ(desktop.errors.reports.size(), 2);
    for (const QString& text : desktop.errors.reports)
        EXPECT_FALSE(text.contains(QStringLiteral("titok")) || text.contains(QStringLiteral("masik")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !declined.isVisible(); }, 2000));
    EXPECT_EQ(folder.readBytes("list.ini"), settingsWith(shown));
}

TEST_F(ServerOpeningTest, anUnreachableServerIsToldInHungarianAndTheProgramGoesOn)
{
    QTemporaryDir noServer(QStringLiteral("/tmp/mediatar-nopg.XXXXXX"));
    const QString shown = QStringLiteral("postgresql://anna@/lista?host=%1").arg(noServer.path());
    const QString withPassword = QStringLiteral("postgresql://anna:titok@/lista?host=%1").arg(noServer.path());

    // Remembered in list.ini: reported, then the open dialog, which starts at no file.
    folder.writeSettings(withPassword);
    desktop.files.chooseNext(catalogue->path());
    TFoablak& main = start();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    expectServerReport(desktop.errors.reports.first(), shown, QStringLiteral("A szerver nem érhető el"));
    EXPECT_FALSE(desktop.errors.reports.first().contains(QStringLiteral("titok")));
    EXPECT_EQ(desktop.files.startedAt, QStringList{QString()});
    EXPECT_EQ(main.windowTitle(), title(catalogue->path()));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_TRUE(desktop.passwords.asked.isEmpty());

    // Named on the command line: reported, and list.ini's catalogue opens.
    desktop.errors.reports.clear();
    desktop.files.startedAt.clear();
    folder.writeSettings(catalogue->path());
    TFoablak& named = start(withPassword);
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    expectServerReport(desktop.errors.reports.first(), shown, QStringLiteral("A szerver nem érhető el"));
    EXPECT_TRUE(desktop.files.startedAt.isEmpty());
    EXPECT_EQ(named.windowTitle(), title(catalogue->path()));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));

    // Remembered, and nothing else opened: the server stays remembered, without its password.
    desktop.errors.reports.clear();
    folder.writeSettings(withPassword);
    desktop.files.cancelNext();
    desktop.prompts.answerNext(Answer::No);
    TFoablak& declined = start();
    EXPECT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !declined.isVisible(); }, 2000));
    EXPECT_EQ(folder.readBytes("list.ini"), settingsWith(shown));
}

// A machine without PostgreSQL's client library starts and opens catalogue files; a server catalogue named on
// the command line is reported with the library it lacks, and list.ini's file opens instead.
TEST_F(ServerOpeningTest, withoutTheClientLibraryFilesOpenAndAServerCatalogueTellsWhichLibraryIsMissing)
{
    const QString uri = serverCatalogue(QStringLiteral("konyvtar_nelkul"));
    const QString installed = server::clientLibraryName();
    server::setClientLibraryName(QStringLiteral("libpq-nincs.so.5"));
    struct Restore
    {
        QString name;
        ~Restore() { server::setClientLibraryName(name); }
    } restore{installed};

    folder.writeSettings(catalogue->path());
    TFoablak& main = start(uri);
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    expectServerReport(desktop.errors.reports.first(), uri,
                       QStringLiteral("nincs meg a PostgreSQL-szerverek eléréséhez szükséges „libpq-nincs.so.5” "
                                      "könyvtár"));
    EXPECT_EQ(main.windowTitle(), title(catalogue->path()));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    main.KilepesClick();

    // Once the library is there, the same catalogue opens without a restart of anything else.
    server::setClientLibraryName(installed);
    desktop.errors.reports.clear();
    TFoablak& later = start(uri);
    expectNoErrors();
    EXPECT_EQ(later.windowTitle(), title(uri));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
}

} // namespace

// A home server restarts at night: every session of the program is ended while the window is idle. The next
// search, tab change and deletion each just work, with no message.
TEST_F(ServerOpeningTest, afterAServerRestartTheNextActionsJustWork)
{
    const QString uri = serverCatalogue(QStringLiteral("ejjel_ujraindul"));
    folder.writeSettings(uri);
    TFoablak& main = start();
    expectNoErrors();
    // Every session the program has is ended, and its server process is gone, as after a restart; the program
    // may connect again meanwhile on its own.
    const auto restart = [&] {
        server::Connection admin(server().uri(QStringLiteral("postgres")));
        const std::vector<server::Row> ended =
            admin.run(QStringLiteral("SELECT pid, pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = $1"),
                      {QStringLiteral("ejjel_ujraindul")});
        for (const server::Row& row : ended) {
            const pid_t pid = static_cast<pid_t>(row.at(0).value_or(QString()).toInt());
            ASSERT_TRUE(QTest::qWaitFor([&] { return ::kill(pid, 0) != 0; }, 10000));
        }
    };

    restart();
    searchBox()->setText(QStringLiteral("Zor"));
    waitForLists();
    expectNoErrors();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    searchBox()->clear();
    waitForLists();

    restart();
    switchToTab(4);
    expectNoErrors();
    EXPECT_EQ(grid("DBGrid6")->model()->rowCount(), 1);

    restart();
    clickCell(QStringLiteral("DBGrid6"), 0);
    desktop.prompts.answerNext(Answer::Yes);
    QTest::mouseClick(widget<QPushButton>("Adat_torlese"), Qt::LeftButton);
    waitForLists();
    expectNoErrors();
    server::Connection check(uri);
    EXPECT_EQ(check.single(QStringLiteral("SELECT count(*) FROM games")), QStringLiteral("0"));
    EXPECT_EQ(main.windowTitle(), title(uri));
}

// The server goes away under a long list scrolled far down: the rows already read stay, the user is told once,
// and when the server takes connections again the list reads itself again at the same place.
TEST_F(ServerOpeningTest, aListWhoseConnectionIsLostKeepsItsRowsAndReadsItselfAgainAtItsPlace)
{
    const QString uri = serverCatalogue(QStringLiteral("elveszett_lista"));
    server::Connection(uri).run(QStringLiteral("INSERT INTO games (NEV, KOD) SELECT 'Játék ' || lpad(i::text, 5, "
                                               "'0'), 'K' FROM generate_series(1, 6000) AS i"));
    folder.writeSettings(uri);
    start();
    switchToTab(4);
    CategoryGrid* games = grid(QStringLiteral("DBGrid6"));
    const auto cell = [&](int row) { return games->model()->index(row, 0).data().toString(); };
    games->scrollTo(games->model()->index(5000, 0), QAbstractItemView::PositionAtTop);
    // Painted empty at first, filled in when the server's rows come.
    EXPECT_TRUE(QTest::qWaitFor([&] { return cell(5000) == QStringLiteral("Játék 05000"); }, 5000))
        << cell(5000).toStdString();
    const int top = games->rowAt(0);

    server::Connection admin(server().uri(QStringLiteral("postgres")));
    admin.run(QStringLiteral("ALTER DATABASE elveszett_lista ALLOW_CONNECTIONS false"));
    const std::vector<server::Row> ended =
        admin.run(QStringLiteral("SELECT pid, pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = $1"),
                  {QStringLiteral("elveszett_lista")});
    for (const server::Row& row : ended) {
        const pid_t pid = static_cast<pid_t>(row.at(0).value_or(QString()).toInt());
        ASSERT_TRUE(QTest::qWaitFor([&] { return ::kill(pid, 0) != 0; }, 10000));
    }

    // Rows never read cannot come; those read stay.
    EXPECT_EQ(cell(100), QString());
    EXPECT_EQ(cell(5000), QStringLiteral("Játék 05000"));
    QTest::qWait(2600); // a quiet try that fails
    EXPECT_EQ(cell(300), QString());
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().contains(QStringLiteral("nem olvashatók be")))
        << desktop.errors.reports.first().toStdString();

    admin.run(QStringLiteral("ALTER DATABASE elveszett_lista ALLOW_CONNECTIONS true"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return cell(100) == QStringLiteral("Játék 00100"); }, 8000))
        << games->model()->rowCount() << " " << countLabel()->text().toStdString() << " "
        << desktop.errors.reports.join("|").toStdString();
    EXPECT_EQ(games->rowAt(0), top);
    EXPECT_TRUE(QTest::qWaitFor([&] { return cell(5000) == QStringLiteral("Játék 05000"); }, 5000))
        << cell(5000).toStdString();
    EXPECT_EQ(desktop.errors.reports.size(), 1);
}
