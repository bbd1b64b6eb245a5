// SPDX-License-Identifier: GPL-3.0-or-later

#include "record_fixture.h"

#include "main_window/category_grid.h"
#include "server/connection.h"
#include "server/server_schema.h"
#include "support/postgres_server.h"

#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>

// Several users on one server catalogue: this window, and another user's program in a process of its own
// writing to the same catalogue meanwhile; and the server going away under the window.

namespace {

using test_server::PostgresServer;

class SeveralUsersTest : public RecordFixture
{
protected:
    void SetUp() override
    {
        ASSERT_SERVER_RUNNING();
        const QString name = QStringLiteral("tobb_%1").arg(
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()).left(40).toLower());
        m_uri = PostgresServer::instance().newDatabase(name);
        m_server = std::make_unique<server::Connection>(m_uri);
        server::createServerCatalogue(*m_server);
        for (const char* game : {"Doom", "Quake", "Tetris"})
            addGame(QString::fromUtf8(game));
        folder.writeSettings(m_uri);
        RecordFixture::SetUp();
    }

    void addGame(const QString& name)
    {
        m_server->run(QStringLiteral("INSERT INTO games VALUES ($1, 'FPS', '40 MB', 'G1')"), {name});
    }
    QString single(const QString& sql) { return m_server->single(sql); }

    // The other user's program: runs to its end and says it is done.
    void otherUser(const QStringList& arguments)
    {
        QProcess other;
        other.start(QStringLiteral(MEDIATAR_OTHER_USER), QStringList{m_uri} + arguments);
        ASSERT_TRUE(other.waitForFinished(30000));
        EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
        EXPECT_EQ(other.readAllStandardOutput(), QByteArray("kész\n"));
    }

    CategoryGrid* games() { return grid(QStringLiteral("DBGrid6")); }
    QString gameAt(int row) { return games()->model()->index(row, 0).data().toString(); }
    QStringList gameNames()
    {
        QStringList names;
        for (int row = 0; row < games()->model()->rowCount(); ++row)
            names << gameAt(row);
        return names;
    }
    // Every other connection to the catalogue ends, as when the server restarts; waits until they have.
    void endOtherConnections()
    {
        m_server->run(QStringLiteral("SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
                                     "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
    }

    QString m_uri;
    std::unique_ptr<server::Connection> m_server;
};

TEST_F(SeveralUsersTest, anOpenListShowsTheOtherProgramsRowsAndKeepsTheUsersRowSearchAndWidths)
{
    switchToTab(4);
    ASSERT_EQ(gameNames(), QStringList({"Doom", "Quake", "Tetris"}));
    clickCell(QStringLiteral("DBGrid6"), 1);
    games()->horizontalHeader()->resizeSection(0, 150);
    const std::vector<int> widths = games()->columnWidths();

    otherUser({QStringLiteral("add-game"), QStringLiteral("Arkanoid")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return games()->model()->rowCount() == 4; }, 5000));
    ASSERT_EQ(gameNames(), QStringList({"Arkanoid", "Doom", "Quake", "Tetris"}));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("4"));
    // The row the user clicked is still theirs, in its new place; the columns keep their widths.
    EXPECT_EQ(games()->currentIndex().row(), 2);
    EXPECT_EQ(window().editState().currentRow.gamesNev, QStringLiteral("Quake"));
    EXPECT_EQ(games()->columnWidths(), widths);

    // A search as typed is read again as typed.
    QTest::keyClicks(searchBox(), QStringLiteral("D"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gameNames() == QStringList({"Doom"}); }, 5000));
    ASSERT_EQ(gameNames(), QStringList({"Doom"}));
    otherUser({QStringLiteral("add-game"), QStringLiteral("Descent")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return gameNames() == QStringList({"Descent", "Doom"}); }, 5000));
    ASSERT_EQ(gameNames(), QStringList({"Descent", "Doom"}));
    EXPECT_EQ(searchBox()->text(), QStringLiteral("D"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    expectNoErrors();
}

TEST_F(SeveralUsersTest, theListWaitsWhileTheMouseIsHeldAndABurstIsReadOnce)
{
    switchToTab(4);
    QSignalSpy announced(&window().browseQuery(), &catalogue::QueryChannel::catalogueChanged);
    QSignalSpy listed(&window().browseQuery(), &catalogue::QueryChannel::statementRun);
    const QPoint cell = games()->visualRect(games()->model()->index(0, 0)).center();
    QTest::mousePress(games()->viewport(), Qt::LeftButton, Qt::NoModifier, cell);

    for (const char* game : {"Arkanoid", "Boulder Dash", "Civilization"})
        otherUser({QStringLiteral("add-game"), QString::fromUtf8(game)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return announced.count() >= 1; }, 5000));
    ASSERT_GE(announced.count(), 1);
    // Long enough for a change to be shown if it were going to be: the rows stay under the held button.
    QTest::qWait(400);
    EXPECT_EQ(games()->model()->rowCount(), 3);
    EXPECT_EQ(listed.count(), 0);

    QTest::mouseRelease(games()->viewport(), Qt::LeftButton, Qt::NoModifier, cell);
    ASSERT_TRUE(QTest::qWaitFor([&] { return games()->model()->rowCount() == 6; }, 5000));
    ASSERT_EQ(games()->model()->rowCount(), 6);
    // The three announcements gave one reading of the list.
    QTest::qWait(300);
    EXPECT_EQ(listed.count(), 1);
    // The row pressed was Doom's, and it stays the chosen one below the three new rows.
    EXPECT_EQ(gameAt(games()->currentIndex().row()), QStringLiteral("Doom"));
    expectNoErrors();
}

TEST_F(SeveralUsersTest, anEditOfAGameTheOtherProgramRenamedMeanwhileIsRefusedWithTheMessage)
{
    switchToTab(4);
    clickCell(QStringLiteral("DBGrid6"), 0);
    pressSzerkesztes();
    ASSERT_TRUE(window().editState().mode.editMode);
    typeInto(QStringLiteral("Jatek_neve"), QStringLiteral("Doom A"));

    otherUser({QStringLiteral("rename-game"), QStringLiteral("Doom"), QStringLiteral("Doom B")});
    press();
    EXPECT_EQ(desktop.beeper.beeps, 1);
    ASSERT_EQ(desktop.prompts.informations.size(), 1);
    EXPECT_TRUE(desktop.prompts.informations.at(0).contains(QStringLiteral("időközben")))
        << desktop.prompts.informations.at(0).toStdString();
    EXPECT_EQ(text(QStringLiteral("Jatek_neve")), QStringLiteral("Doom A"));
    EXPECT_EQ(single(QStringLiteral("SELECT string_agg(nev, ',' ORDER BY nev) FROM games")),
              QStringLiteral("Doom B,Quake,Tetris"));
    // The other user's version is what this window lists now.
    ASSERT_TRUE(QTest::qWaitFor([&] { return gameAt(0) == QStringLiteral("Doom B"); }, 5000));
    EXPECT_EQ(gameAt(0), QStringLiteral("Doom B"));
    expectNoErrors();
}

TEST_F(SeveralUsersTest, albumsRecordedByBothAtOnceLoseNoTrackAndTheDialogFilesOneAlbum)
{
    pressAdatbevitel();
    QProcess other;
    other.start(QStringLiteral(MEDIATAR_OTHER_USER),
                {m_uri, QStringLiteral("record-albums"), QStringLiteral("Omega"), QStringLiteral("Közös"),
                 QStringLiteral("20"), QStringLiteral("másik ")});
    ASSERT_TRUE(other.waitForStarted());
    for (int i = 0; i < 6; ++i) {
        fill({{"eloado_neve", "Omega"},
              {"Album_cime", "Közös"},
              {"Szam_cime", QStringLiteral("saját %1").arg(i).toUtf8().constData()},
              {"album_perc", "03"},
              {"album_mp", "20"},
              {"Meret", "4 MB"},
              {"Tomorites", "192"},
              {"Kod", "CD1"}});
        press();
    }
    // The presses ran the event loop, which may have seen the other program end already.
    if (other.state() != QProcess::NotRunning) {
        ASSERT_TRUE(other.waitForFinished(30000));
    }
    ASSERT_EQ(other.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    expectNoErrors();
    // The other program writes an album row for each of its tracks; the dialog files its six tracks under the
    // oldest album of that artist and title, whichever program wrote it. No track is lost or left without its
    // album, and no album is left without a track.
    EXPECT_EQ(single(QStringLiteral("SELECT count(*) FROM szamok")), QStringLiteral("26"));
    EXPECT_EQ(single(QStringLiteral("SELECT count(DISTINCT eloado_azonosito) FROM szamok WHERE cim LIKE 'másik %'")),
              QStringLiteral("20"));
    EXPECT_EQ(single(QStringLiteral("SELECT count(DISTINCT eloado_azonosito) FROM szamok WHERE cim LIKE 'saját %'")),
              QStringLiteral("1"));
    EXPECT_EQ(single(QStringLiteral("SELECT eloado_azonosito FROM szamok WHERE cim = 'saját 0'")),
              single(QStringLiteral("SELECT min(kod) FROM eloado")));
    EXPECT_EQ(single(QStringLiteral("SELECT count(*) FROM eloado e WHERE NOT EXISTS "
                                    "(SELECT 1 FROM szamok s WHERE s.eloado_azonosito = e.kod)")),
              QStringLiteral("0"));
    EXPECT_EQ(single(QStringLiteral("SELECT count(*) FROM szamok s WHERE NOT EXISTS "
                                    "(SELECT 1 FROM eloado e WHERE e.kod = s.eloado_azonosito)")),
              QStringLiteral("0"));
}

TEST_F(SeveralUsersTest, aServerLostUnderAScrolledListIsToldOnceAndTheNextListReadsAgain)
{
    m_server->run(QStringLiteral("INSERT INTO games SELECT 'Játék ' || lpad(i::text, 5, '0'), '', '', '' "
                                 "FROM generate_series(1, 3000) AS i"));
    switchToTab(4);
    ASSERT_EQ(games()->model()->rowCount(), 3003);
    endOtherConnections();
    // Scrolled to the end, screen after screen: every cell that cannot be read is shown empty.
    for (int step = 0; step < 5; ++step) {
        games()->verticalScrollBar()->setValue(games()->verticalScrollBar()->maximum() * (step + 1) / 5);
        games()->grab(); // painted as on the screen
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.errors.reports.size() == 1; }, 5000));
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    const QString report = desktop.errors.reports.at(0);
    EXPECT_TRUE(report.startsWith(QStringLiteral("A lista sorai nem olvashatók be a katalógusból: ")))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Eredeti üzenet: "))) << report.toStdString();
    QTest::qWait(100);
    EXPECT_EQ(desktop.errors.reports.size(), 1);

    // The next list reconnects: the user changes tabs and back, and every row reads again.
    desktop.errors.reports.clear();
    switchToTab(5);
    switchToTab(4);
    ASSERT_EQ(games()->model()->rowCount(), 3003);
    games()->scrollToBottom();
    // A server's rows far from those read so far are painted empty at first and filled in when they come.
    for (const auto& [row, name] :
         {std::pair{3002, QStringLiteral("Tetris")}, std::pair{1500, QStringLiteral("Játék 01500")}}) {
        EXPECT_TRUE(QTest::qWaitFor([&, row = row, name = name] { return gameAt(row) == name; }, 5000))
            << gameAt(row).toStdString();
    }
    expectNoErrors();
}

TEST_F(SeveralUsersTest, aRecordingWhoseConnectionIsLostBetweenItsStatementsLeavesNoAlbumAndTheNextOneIsWritten)
{
    pressAdatbevitel();
    // The album row is written; before its key is read back, the server ends the connection.
    bool ended = false;
    QObject::connect(&dialog(), &TRogzites::statementSent, [&](const QString& statement) {
        if (!ended && statement.contains(QStringLiteral("kod"), Qt::CaseInsensitive) &&
            statement.startsWith(QStringLiteral("SELECT"), Qt::CaseInsensitive)) {
            ended = true;
            endOtherConnections();
        }
    });
    fill({{"eloado_neve", "Omega"},
          {"Album_cime", "Időrabló"},
          {"Szam_cime", "Ezüst eső"},
          {"album_perc", "05"},
          {"album_mp", "10"},
          {"Meret", "6 MB"},
          {"Tomorites", "192"},
          {"Kod", "CD1"}});
    press();
    ASSERT_TRUE(ended) << sent.join('\n').toStdString();
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.at(0).contains(QStringLiteral("Eredeti üzenet: ")))
        << desktop.errors.reports.at(0).toStdString();
    EXPECT_EQ(single(QStringLiteral("SELECT count(*) FROM eloado")), QStringLiteral("0"));
    EXPECT_EQ(single(QStringLiteral("SELECT count(*) FROM szamok")), QStringLiteral("0"));
    // What the user typed is still there; pressed again, the program connects again and records it whole.
    EXPECT_EQ(text(QStringLiteral("Szam_cime")), QStringLiteral("Ezüst eső"));
    desktop.errors.reports.clear();
    press();
    expectNoErrors();
    EXPECT_EQ(single(QStringLiteral("SELECT string_agg(e.eloado || '/' || e.album || '/' || s.cim, ',') "
                                    "FROM eloado e JOIN szamok s ON s.eloado_azonosito = e.kod")),
              QStringLiteral("Omega/Időrabló/Ezüst eső"));
}

} // namespace
