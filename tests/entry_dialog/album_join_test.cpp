// SPDX-License-Identifier: GPL-3.0-or-later

#include "record_fixture.h"

#include "server/connection.h"

#include <chrono>
#include <future>
#include <sqlite3.h>
#include <thread>

// A track typed for an album the catalogue already holds joins that album: the album is listed once, with all
// its tracks.

namespace {

class AlbumJoinFixture : public RecordFixture
{
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        pressAdatbevitel();
        // Neither same-value box: every track looks its album up by the fields.
        checkBox("Eloado_azonos")->setChecked(false);
        checkBox("Album_azonos")->setChecked(false);
    }
    void typeTrack(const QString& artist, const QString& album, const QString& title)
    {
        typeInto("eloado_neve", artist);
        typeInto("Album_cime", album);
        typeInto("Szam_cime", title);
        fill({{"album_perc", "03"}, {"Tomorites", "192"}});
    }
    // The album key of every track, in the order written.
    QList<qint64> trackAlbums() const
    {
        QList<qint64> keys;
        for (const QVariantList& row : catalogue->rows("SELECT eloado_azonosito FROM szamok ORDER BY rowid"))
            keys << row.at(0).toLongLong();
        return keys;
    }
};

class AlbumJoinTest : public OnBothEngines<AlbumJoinFixture>
{
};

TEST_P(AlbumJoinTest, aTrackJoinsTheAlbumOfTheSameArtistAndTitleAndOnlyThat)
{
    struct Case
    {
        const char* artist;
        const char* album;
        int joins; // index into the held albums below, or -1 for a new album row
    };
    // Blanks around a name are no other album; a letter's case or accent is.
    const Case cases[] = {
        {"Omega", "Égi jel", 0},  {"  Omega ", "Égi jel  ", 0}, {"Omega", "Csillagok útján", 2},
        {"omega", "Égi jel", -1}, {"Omega", "Egi jel", -1},     {"Omega", "Égi", -1},
        {"Illés", "Égi jel", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.artist) + " / " + c.album);
        catalogue->exec("DELETE FROM szamok");
        catalogue->exec("DELETE FROM eloado");
        // The oldest of two equal album rows takes the track; a stored name may carry a blank itself.
        const qint64 held[] = {catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Égi jel")),
                               catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Égi jel")),
                               catalogue->addAlbum(QStringLiteral("Omega "), QStringLiteral("Csillagok útján"))};
        pressAdatbevitel();
        typeTrack(QString::fromUtf8(c.artist), QString::fromUtf8(c.album), QStringLiteral("Új szám"));
        press();
        expectNoErrors();
        ASSERT_EQ(trackAlbums().size(), 1);
        if (c.joins >= 0) {
            EXPECT_EQ(trackAlbums().at(0), held[c.joins]);
            EXPECT_EQ(catalogue->count("eloado"), 3);
            EXPECT_EQ(dialog().currentAlbumKey(), QString::number(held[c.joins]));
        } else {
            EXPECT_EQ(catalogue->count("eloado"), 4);
            const QList<QVariantList> added = catalogue->rows("SELECT kod, eloado, album FROM eloado ORDER BY kod");
            EXPECT_EQ(added.last().mid(1), QVariantList({QString::fromUtf8(c.artist), QString::fromUtf8(c.album)}));
            EXPECT_EQ(trackAlbums().at(0), added.last().at(0).toLongLong());
        }
    }
}

TEST_P(AlbumJoinTest, tracksTypedOneByOneForAnAlbumAreListedUnderOneAlbum)
{
    const qint64 held = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Égi jel"));
    relist();
    for (const char* title : {"Nyitány", "Égi jel", "Ballada"}) {
        typeTrack(QStringLiteral("Omega"), QStringLiteral("Égi jel"), QString::fromUtf8(title));
        sent.clear();
        press();
        // A look-up and the track; no album row is written.
        ASSERT_EQ(sent.size(), 2) << sent.join('\n').toStdString();
        EXPECT_TRUE(sent.at(1).startsWith(QStringLiteral("insert into szamok values (\"%1\"").arg(title)));
    }
    expectNoErrors();
    EXPECT_EQ(trackAlbums(), QList<qint64>({held, held, held}));
    EXPECT_EQ(catalogue->count("eloado"), 1);
    // The main window lists the album once.
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
}

// Another program adds the same album while the press waits for the write lock: the look-up sees it, and the
// track joins it instead of writing a second album row.
TEST_P(AlbumJoinTest, anAlbumAnotherWriterAddsWhileThePressWaitsIsJoined)
{
    const QString place = catalogue->place();
    const bool server = onServer();
    std::promise<void> holding;
    std::promise<QString> done;
    std::thread other([&] {
        QString failure;
        if (server) {
            try {
                server::Connection connection(place);
                connection.run(QStringLiteral("BEGIN"));
                connection.run(QStringLiteral("INSERT INTO eloado (eloado, album) VALUES ($1, $2)"),
                               {QStringLiteral("Omega"), QStringLiteral("Égi jel")});
                holding.set_value();
                std::this_thread::sleep_for(std::chrono::milliseconds(800));
                connection.run(QStringLiteral("COMMIT"));
            } catch (const platform::Failure& error) {
                failure = error.text();
                try {
                    holding.set_value(); // not yet told when the transaction itself failed
                } catch (const std::future_error&) {
                }
            }
        } else {
            sqlite3* db = nullptr;
            sqlite3_open_v2(place.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_busy_timeout(db, 5000);
            const int begun = sqlite3_exec(db,
                                           "BEGIN IMMEDIATE; INSERT INTO eloado (ELOADO, ALBUM) VALUES "
                                           "('Omega', 'Égi jel')",
                                           nullptr, nullptr, nullptr);
            if (begun != SQLITE_OK)
                failure = QString::fromUtf8(sqlite3_errmsg(db));
            holding.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK && failure.isEmpty())
                failure = QString::fromUtf8(sqlite3_errmsg(db));
            sqlite3_close(db);
        }
        done.set_value(failure);
    });
    std::future<QString> finished = done.get_future();
    holding.get_future().wait();
    typeTrack(QStringLiteral("Omega"), QStringLiteral("Égi jel"), QStringLiteral("Nyitány"));
    press();
    other.join();
    EXPECT_EQ(finished.get(), QString());
    expectNoErrors();
    EXPECT_EQ(catalogue->count("eloado"), 1);
    const QList<QVariantList> albums = catalogue->rows("SELECT kod FROM eloado");
    ASSERT_EQ(albums.size(), 1);
    EXPECT_EQ(trackAlbums(), QList<qint64>({albums.at(0).at(0).toLongLong()}));
}

RUN_ON_BOTH_ENGINES(AlbumJoinTest);

} // namespace
