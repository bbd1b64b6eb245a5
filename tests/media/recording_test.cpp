// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/recording.h"

#include "platform/failure.h"
#include "catalogue/query_channel.h"
#include "support/catalogue_builder.h"
#include "support/engine.h"
#include "support/postgres_server.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <sqlite3.h>

// What the media propose reaches the catalogue in one transaction: albums the catalogue holds get only their new
// tracks, and a failure anywhere leaves the catalogue as it was.

using namespace media;

namespace {

const QString fixtures = QStringLiteral(MEDIATAR_SOURCE_DIR "/tests/media/fixtures");

QVariantList texts(std::initializer_list<const char*> values)
{
    QVariantList list;
    for (const char* value : values)
        list << QString::fromUtf8(value);
    return list;
}

class RecordingTest : public ::testing::TestWithParam<Engine>
{
protected:
    void SetUp() override
    {
        catalogue = std::make_unique<TestCatalogue>(dir.path());
        if (GetParam() == Engine::Server) {
            ASSERT_SERVER_RUNNING();
            catalogue->moveToServer();
        }
        channel.pointAt(catalogue->place());
        channel.connect();
    }

    // The album folder and the two-artist compilation, every row with the medium's code.
    static Reading music()
    {
        Reading reading = readMedia({fixtures + "/music/album", fixtures + "/music/compilation"}, Kind::Music);
        setMediumCode(reading, QStringLiteral("CD-7"));
        return reading;
    }
    QList<QVariantList> tracksOf(qint64 album) const
    {
        // Ordered here: the engines' collations differ.
        QList<QVariantList> rows = catalogue->rows(
            QStringLiteral("SELECT CIM, IDO, MERET, BITRATA, KOD FROM szamok WHERE eloado_azonosito = %1").arg(album));
        std::sort(rows.begin(), rows.end(), [](const QVariantList& a, const QVariantList& b) {
            return a.at(0).toString() + a.at(1).toString() < b.at(0).toString() + b.at(1).toString();
        });
        return rows;
    }
    // Everything the music tables hold, to compare before and after a failure.
    QList<QVariantList> musicTables() const
    {
        QList<QVariantList> all = catalogue->rows("SELECT kod, ELOADO, ALBUM FROM eloado ORDER BY kod");
        all << catalogue->rows("SELECT * FROM szamok ORDER BY CIM, IDO");
        all << catalogue->rows("SELECT * FROM Valogatasok ORDER BY ELOADO");
        return all;
    }
    bool onServer() const { return GetParam() == Engine::Server; }

    QTemporaryDir dir;
    std::unique_ptr<TestCatalogue> catalogue;
    catalogue::QueryChannel channel{QStringLiteral("media_recording")};
};

TEST_P(RecordingTest, anAlbumTheCatalogueHoldsGetsOnlyItsNewTracks)
{
    struct Case
    {
        const char* what;
        const char* heldArtist; // null: the catalogue holds no album
        const char* heldAlbum;
        std::vector<std::pair<const char*, const char*>> heldTracks; // title, length
        bool joins;                                                  // the tracks go to the held album
        QList<QVariantList> expectedTracks;                          // of that album, by title
        int skipped;
        int albumRows;
    };
    const QVariantList oszi = texts({"Őszi délután", "00:00:03", "12 kB", "32", "CD-7"});
    const QVariantList tuzolto = texts({"Tűzoltó", "00:00:05", "20 kB", "32", "CD-7"});
    const QVariantList zsakutca = texts({"Zsákutca", "00:00:03", "12 kB", "32", "CD-7"});
    const Case cases[] = {
        {"a new album", nullptr, nullptr, {}, false, {tuzolto, zsakutca, oszi}, 0, 1},
        // As the search compares: letter case makes no other album or track; another length does.
        {"a held album, in other letter case",
         "KISPÁL ÉS A BORZ",
         "ágy, asztal, tévé",
         {{"TŰZOLTÓ", "00:00:05"}, {"Zsákutca", "00:00:04"}},
         true,
         {texts({"TŰZOLTÓ", "00:00:05", "", "", ""}), zsakutca, texts({"Zsákutca", "00:00:04", "", "", ""}), oszi},
         1,
         2},
        {"a held album of other words",
         "Kispál és a Borz",
         "Ágy asztal tévé",
         {},
         false,
         {tuzolto, zsakutca, oszi},
         0,
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        catalogue->exec("DELETE FROM szamok");
        catalogue->exec("DELETE FROM eloado");
        catalogue->exec("DELETE FROM Valogatasok");
        qint64 held = -1;
        if (c.heldArtist) {
            held = catalogue->addAlbum(QString::fromUtf8(c.heldArtist), QString::fromUtf8(c.heldAlbum));
            for (const auto& [title, length] : c.heldTracks)
                catalogue->addTrack(held, QString::fromUtf8(title), QString::fromUtf8(length), "", "", "");
            // A later row of the same album: the oldest one takes the tracks.
            catalogue->addAlbum(QString::fromUtf8(c.heldArtist), QString::fromUtf8(c.heldAlbum));
        }
        const Recorded recorded = recordReading(channel, music());

        const QList<QVariantList> written = catalogue->rows(
            "SELECT kod FROM eloado WHERE ELOADO = 'Kispál és a Borz' AND ALBUM = 'Ágy, asztal, tévé' ORDER BY kod");
        ASSERT_EQ(written.size(), c.joins ? 0 : 1);
        const qint64 target = c.joins ? held : written.first().first().toLongLong();
        EXPECT_EQ(tracksOf(target), c.expectedTracks);
        EXPECT_EQ(catalogue->count("szamok"), c.expectedTracks.size());
        EXPECT_EQ(catalogue->count("eloado"), c.albumRows);
        EXPECT_EQ(recorded.albums, c.joins ? 0 : 1);
        EXPECT_EQ(recorded.tracks, 3 - c.skipped);
        EXPECT_EQ(recorded.heldTracks, c.skipped);
        // The compilation's two artists make it a compilation, one row a track.
        EXPECT_EQ(
            catalogue->rows("SELECT * FROM Valogatasok ORDER BY IDO"),
            QList<QVariantList>(
                {texts({"Első Előadó - Első szám", "Nyári válogatás", "00:00:03", "32", "12 kB", "CD-7"}),
                 texts({"Második Előadó - Második szám", "Nyári válogatás", "00:00:05", "32", "20 kB", "CD-7"})}));
    }
}

// The same discs read twice: the second recording adds nothing, a compilation's tracks included; a track of
// the compilation the catalogue lost is added again.
TEST_P(RecordingTest, discsReadAgainAddOnlyWhatIsNew)
{
    const Reading reading = music();
    recordReading(channel, reading);
    const QList<QVariantList> first = catalogue->rows("SELECT * FROM Valogatasok ORDER BY IDO");
    ASSERT_EQ(first.size(), 2);
    const Recorded again = recordReading(channel, reading);
    EXPECT_EQ(again.tracks, 0);
    EXPECT_EQ(again.otherRows, 0);
    EXPECT_EQ(again.heldTracks, 5);
    EXPECT_EQ(catalogue->rows("SELECT * FROM Valogatasok ORDER BY IDO"), first);
    EXPECT_EQ(catalogue->count("szamok"), 3);

    catalogue->exec("DELETE FROM Valogatasok WHERE IDO = '00:00:05'");
    const Recorded mended = recordReading(channel, reading);
    EXPECT_EQ(mended.otherRows, 1);
    EXPECT_EQ(catalogue->rows("SELECT * FROM Valogatasok ORDER BY IDO"), first);
}

TEST_P(RecordingTest, albumsOfOneReadingThatTheSearchTakesForOneAreOneRow)
{
    Reading reading;
    reading.albums = {
        {QStringLiteral("Omega"), QStringLiteral("Égi jel"), {{QStringLiteral("Nyitány"), "00:03:00", "", "", "", {}}}},
        {QStringLiteral("OMEGA"), QStringLiteral("ÉGI JEL"), {{QStringLiteral("Ballada"), "00:04:00", "", "", "", {}}}},
        {QStringLiteral("Omega"),
         QStringLiteral("Égi jel 2"),
         {{QStringLiteral("Nyitány"), "00:03:00", "", "", "", {}}}},
    };
    const Recorded recorded = recordReading(channel, reading);
    EXPECT_EQ(recorded.albums, 2);
    EXPECT_EQ(catalogue->rows("SELECT ELOADO, ALBUM FROM eloado ORDER BY kod"),
              QList<QVariantList>({texts({"Omega", "Égi jel"}), texts({"Omega", "Égi jel 2"})}));
    EXPECT_EQ(catalogue->rows("SELECT s.CIM, e.ALBUM FROM szamok s JOIN eloado e ON e.kod = s.eloado_azonosito "
                              "ORDER BY s.IDO, e.ALBUM"),
              QList<QVariantList>(
                  {texts({"Nyitány", "Égi jel"}), texts({"Nyitány", "Égi jel 2"}), texts({"Ballada", "Égi jel"})}));
}

TEST_P(RecordingTest, filmsDiscsGamesAndProgramsLandInTheirTables)
{
    Reading reading = readMedia({fixtures + "/video/nyar.mkv"}, Kind::Films);
    reading.dvdFilms = readMedia({fixtures + "/dvd"}, Kind::DvdFilms).dvdFilms;
    reading.games = readMedia({fixtures + "/game/Aknakereső"}, Kind::Games).games;
    reading.programs = readMedia({fixtures + "/video/regi.avi"}, Kind::Programs).programs;
    setMediumCode(reading, QStringLiteral("DVD-2"));
    const Recorded recorded = recordReading(channel, reading);
    EXPECT_EQ(recorded.otherRows, 4);
    EXPECT_EQ(catalogue->rows("SELECT * FROM Filmek_videoklippek"),
              QList<QVariantList>(
                  {texts({"Egy nyári film", "", "magyar", "320x240", "18 kB", "00:00:02", "", "H.264", "AC3"})}));
    EXPECT_EQ(catalogue->rows("SELECT * FROM DVD_Filmek"),
              QList<QVariantList>({texts({"Kis film", "", "AC3/6 HU, AC3/2 EN", "magyar", "1", "00:00:03", ""})}));
    EXPECT_EQ(catalogue->rows("SELECT * FROM games"),
              QList<QVariantList>({texts({"Aknakereső", "", "34 kB", "DVD-2"})}));
    EXPECT_EQ(catalogue->rows("SELECT * FROM progs_other"),
              QList<QVariantList>({texts({"regi", "", "21 kB", "DVD-2"})}));
}

TEST_P(RecordingTest, aFailureAnywhereLeavesTheCatalogueAsItWas)
{
    struct Case
    {
        const char* what;
        QStringList fileFault;   // statements that make the fault on a file; none: no such fault there
        QStringList serverFault; // and on the server
        QStringList mend;        // and that end it, on the engine of the test
    };
    const QString refuse = QStringLiteral(
        "CREATE OR REPLACE FUNCTION refuse() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION 'refused'; END $$ "
        "LANGUAGE plpgsql");
    const QString cut = QStringLiteral("CREATE OR REPLACE FUNCTION cut() RETURNS trigger AS $$ BEGIN PERFORM "
                                       "pg_terminate_backend(pg_backend_pid()); RETURN NEW; END $$ LANGUAGE plpgsql");
    const QString trackTrigger = QStringLiteral("CREATE TRIGGER fault BEFORE INSERT ON szamok FOR EACH ROW WHEN "
                                                "(NEW.cim = 'Zsákutca') EXECUTE FUNCTION %1()");
    const QString compilationTrigger =
        QStringLiteral("CREATE TRIGGER fault BEFORE INSERT ON Valogatasok FOR EACH ROW EXECUTE FUNCTION %1()");
    const Case cases[] = {
        {"a track refused, after an album row and some tracks",
         {"CREATE TRIGGER fault BEFORE INSERT ON szamok WHEN NEW.CIM = 'Zsákutca' BEGIN SELECT RAISE(ABORT, "
          "'refused'); END"},
         {refuse, trackTrigger.arg("refuse")},
         {onServer() ? "DROP TRIGGER fault ON szamok" : "DROP TRIGGER fault"}},
        {"the compilation refused, after every album",
         {"CREATE TRIGGER fault BEFORE INSERT ON Valogatasok BEGIN SELECT RAISE(ABORT, 'refused'); END"},
         {refuse, compilationTrigger.arg("refuse")},
         {onServer() ? "DROP TRIGGER fault ON Valogatasok" : "DROP TRIGGER fault"}},
        {"the connection lost between the albums and the compilation",
         {},
         {cut, compilationTrigger.arg("cut")},
         {"DROP TRIGGER fault ON Valogatasok"}},
    };
    const qint64 held = catalogue->addAlbum(QStringLiteral("Kispál és a Borz"), QStringLiteral("Ágy, asztal, tévé"));
    catalogue->addTrack(held, QStringLiteral("Tűzoltó"), QStringLiteral("00:00:05"), "20 kB", "32", "");
    catalogue->insert("Valogatasok", texts({"Régi - Dal", "Régi", "00:03:00", "128", "3 MB", "A"}));
    for (const Case& c : cases) {
        const QStringList fault = onServer() ? c.serverFault : c.fileFault;
        if (fault.isEmpty())
            continue;
        SCOPED_TRACE(c.what);
        catalogue->exec(
            "DELETE FROM szamok WHERE NOT (CIM = 'Tűzoltó' AND eloado_azonosito = " + QString::number(held) + ")");
        catalogue->exec("DELETE FROM eloado WHERE ELOADO <> 'Kispál és a Borz'");
        catalogue->exec("DELETE FROM Valogatasok WHERE KOD <> 'A'");
        // A new album first, so that an album row and its track are written before the fault; then the held
        // album, whose held track is left out and whose new tracks join it.
        Reading reading = music();
        reading.albums.prepend({QStringLiteral("Bikini"),
                                QStringLiteral("Közeli helyek"),
                                {{QStringLiteral("Ki visz haza"), "00:04:00", "4 MB", "192", "CD-7", {}}}});
        const QList<QVariantList> before = musicTables();
        for (const QString& statement : fault)
            catalogue->exec(statement);
        EXPECT_THROW(recordReading(channel, reading), platform::Failure);
        EXPECT_EQ(musicTables(), before);

        // The channel is left outside any transaction: the same rows go in once the fault is mended.
        for (const QString& statement : c.mend)
            catalogue->exec(statement);
        const Recorded recorded = recordReading(channel, reading);
        EXPECT_EQ(recorded.albums, 1);
        EXPECT_EQ(recorded.tracks, 3);
        EXPECT_EQ(recorded.heldTracks, 1);
        EXPECT_EQ(catalogue->count("eloado"), 2);
        EXPECT_EQ(catalogue->count("szamok"), 4);
        EXPECT_EQ(catalogue->count("Valogatasok"), 3);
    }
}

TEST(RecordingLock, aWriteLockHeldByAnotherProgramFailsTheRecordingWithNothingWritten)
{
    QTemporaryDir dir;
    TestCatalogue catalogue(dir.path());
    catalogue::QueryChannel channel(QStringLiteral("media_locked"));
    channel.pointAt(catalogue.path());
    channel.connect();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(catalogue.path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Reading reading = readMedia({fixtures + "/music/album"}, Kind::Music);
    EXPECT_THROW(recordReading(channel, reading), platform::Failure);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(catalogue.count("eloado"), 0);
    EXPECT_EQ(catalogue.count("szamok"), 0);
    // Once the other program lets go, the same reading goes in.
    EXPECT_EQ(recordReading(channel, reading).tracks, 3);
    EXPECT_EQ(catalogue.count("szamok"), 3);
}

RUN_ON_BOTH_ENGINES(RecordingTest);

} // namespace
