// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/media_reader.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include "support/qt_printing.h"

#include <gtest/gtest.h>

using namespace media;

namespace {

const QString fixtures = QStringLiteral(MEDIATAR_SOURCE_DIR "/tests/media/fixtures");

QString relative(const QString& path)
{
    return path.startsWith(fixtures) ? path.mid(fixtures.size() + 1) : path;
}

QStringList trackLines(const Reading& reading)
{
    QStringList lines;
    for (const Album& album : reading.albums) {
        for (const Track& t : album.tracks)
            lines << QStringList{album.ELOADO, album.ALBUM, t.CIM, t.IDO, t.MERET, t.BITRATA, relative(t.source)}.join(
                QStringLiteral(" | "));
    }
    for (const CompilationTrack& t : reading.compilationTracks)
        lines << QStringList{QStringLiteral("[válogatás]"),
                             t.ALBUM,
                             t.ELOADO,
                             t.IDO,
                             t.MERET,
                             t.BITRATA,
                             relative(t.source)}
                     .join(QStringLiteral(" | "));
    return lines;
}

QStringList unreadLines(const Reading& reading)
{
    QStringList lines;
    for (const UnreadFile& file : reading.unread)
        lines << relative(file.path) + QStringLiteral(": ") + file.reason;
    return lines;
}

TEST(MediaReading, MusicFilesOfEveryFormatGiveTheirAlbumsAndTracks)
{
    const Reading reading = readMedia({fixtures + QStringLiteral("/music")}, Kind::Music);
    // Bitrates are what the streams say: nominal where the format keeps one, else the average.
    const QStringList expected = {
        "Kispál és a Borz | Ágy, asztal, tévé | Őszi délután | 00:00:03 | 12 kB | 32 | music/album/01 Őszi délután.mp3",
        "Kispál és a Borz | Ágy, asztal, tévé | Tűzoltó | 00:00:05 | 20 kB | 32 | music/album/02 Tűzoltó.mp3",
        "Kispál és a Borz | Ágy, asztal, tévé | Zsákutca | 00:00:03 | 12 kB | 32 | music/album/03 - Zsákutca.mp3",
        "Bikini | Közeli helyek | Őrült szerelem | 00:00:03 | 12 kB | 32 | music/codepage/id3v1.mp3",
        "Bikini | Közeli helyek | Szűk utcák | 00:00:03 | 12 kB | 32 | music/codepage/id3v23.mp3",
        "Dulce Pontes | Lágrimas e emoções | Canções | 00:00:03 | 12 kB | 32 | music/codepage/latin1.mp3",
        "Formátumok | APE | Délibáb | 00:00:03 | 12 kB | 32 | music/formats/ape.mp3",
        "Formátumok | Minden | Hajnal | 00:00:03 | 28 kB | 55 | music/formats/hajnal.flac",
        "Formátumok | Minden | Hajnal | 00:00:03 | 13 kB | 33 | music/formats/hajnal.m4a",
        "Formátumok | Minden | Hajnal | 00:00:03 | 7 kB | 10 | music/formats/hajnal.ogg",
        "Formátumok | Minden | Hajnal | 00:00:03 | 12 kB | 31 | music/formats/hajnal.opus",
        "Formátumok | Minden | Hajnal | 00:00:03 | 47 kB | 128 | music/formats/hajnal.wav",
        "Formátumok | Minden | Hajnal | 00:00:03 | 16 kB | 32 | music/formats/hajnal.wma",
        "Formatumok | Regi | Alkony | 00:00:03 | 12 kB | 32 | music/formats/id3v22.mp3",
        "[válogatás] | Nyári válogatás | Első Előadó - Első szám | 00:00:03 | 12 kB | 32 | music/compilation/a.mp3",
        "[válogatás] | Nyári válogatás | Második Előadó - Második szám | 00:00:05 | 20 kB | 32 | "
        "music/compilation/b.mp3",
    };
    EXPECT_EQ(trackLines(reading), expected);
    EXPECT_TRUE(reading.unread.isEmpty()) << unreadLines(reading).join('\n').toStdString();
    EXPECT_FALSE(reading.cancelled);
}

TEST(MediaReading, FilesThatAreNoMusicAreToldWithTheirReasons)
{
    const Reading reading =
        readMedia({fixtures + QStringLiteral("/bad"), fixtures + QStringLiteral("/game")}, Kind::Music);
    EXPECT_TRUE(reading.albums.isEmpty());
    const QStringList expected = {
        "bad/csonka.flac: Nem zenefájl, vagy sérült: a formátuma nem ismerhető fel.",
        "bad/szoveg.mp3: Nem található benne olvasható hang (sérült vagy csonka fájl).",
        "bad/ures.mp3: A fájl üres.",
    };
    // The game's files are no music, and lie in a folder: passed over without a word.
    EXPECT_EQ(unreadLines(reading), expected);
}

TEST(MediaReading, FilmsDvdsGamesAndProgramsGiveTheirRows)
{
    const auto filmLines = [](const Reading& reading) {
        QStringList lines;
        for (const Film& f : reading.films)
            lines << QStringList{f.CIM,   f.MEGJEGYZES, f.Nyelv, f.Felbontas, f.MERET,
                                 f.Hossz, f.Stilus,     f.Video, f.Hang,      relative(f.source)}
                         .join(" | ");
        for (const DvdFilm& f : reading.dvdFilms)
            lines << QStringList{f.CIM,    f.EREDETI_CIM, f.Nyelv,  f.Felirat,
                                 f.db_DVD, f.Hossz,       f.Stilus, relative(f.source)}
                         .join(" | ");
        for (const Game& g : reading.games)
            lines << QStringList{g.NEV, g.Megjegyzes, g.MERET, g.KOD, relative(g.source)}.join(" | ");
        for (const Program& p : reading.programs)
            lines << QStringList{p.Programok, p.Megjegyzes, p.MERET, p.KOD, relative(p.source)}.join(" | ");
        return lines;
    };
    const struct
    {
        const char* what;
        QStringList paths;
        Kind kind;
        QStringList expected;
    } cases[] = {
        {"video files as films and clips",
         {fixtures + "/video"},
         Kind::Films,
         {"klipp |  | angol | 640x360 | 12 kB | 00:00:02 |  | H.264 | AAC | video/klipp.mp4",
          "Egy nyári film |  | magyar | 320x240 | 18 kB | 00:00:02 |  | H.264 | AC3 | video/nyar.mkv",
          "regi |  |  | 176x144 | 21 kB | 00:00:02 |  | MPEG-4 | MP3 | video/regi.avi"}},
        {"a disc's folder and a film file as DVD films",
         {fixtures + "/dvd", fixtures + "/video/nyar.mkv"},
         Kind::DvdFilms,
         {"Kis film |  | AC3/6 HU, AC3/2 EN | magyar | 1 | 00:00:03 |  | dvd/Kis film/VIDEO_TS",
          "nyar |  | AC3/2 HU | - | 1 | 00:00:02 |  | video/nyar.mkv"}},
        {"the VIDEO_TS folder itself",
         {fixtures + "/dvd/Kis film/VIDEO_TS/"},
         Kind::DvdFilms,
         {"Kis film |  | AC3/6 HU, AC3/2 EN | magyar | 1 | 00:00:03 |  | dvd/Kis film/VIDEO_TS"}},
        {"a folder as a game, with all it holds",
         {fixtures + "/game/Aknakereső/"},
         Kind::Games,
         {"Aknakereső |  | 34 kB |  | game/Aknakereső"}},
        {"a file as a program",
         {fixtures + "/video/nyar.mkv"},
         Kind::Programs,
         {"nyar |  | 18 kB |  | video/nyar.mkv"}},
    };
    for (const auto& c : cases) {
        const Reading reading = readMedia(c.paths, c.kind);
        EXPECT_EQ(filmLines(reading), c.expected) << c.what;
        EXPECT_TRUE(reading.unread.isEmpty()) << c.what << ": " << unreadLines(reading).join('\n').toStdString();
    }
}

QMap<QString, QByteArray> hashes()
{
    QMap<QString, QByteArray> result;
    QDirIterator it(fixtures, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            ADD_FAILURE() << "cannot read " << file.fileName().toStdString();
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&file);
        result.insert(file.fileName(), hash.result());
    }
    return result;
}

TEST(MediaReading, TheMediaAreNeverChanged)
{
    const QMap<QString, QByteArray> before = hashes();
    ASSERT_GT(before.size(), 20);
    for (const Kind kind : {Kind::Music, Kind::Films, Kind::DvdFilms, Kind::Games})
        readMedia({fixtures}, kind);
    EXPECT_EQ(hashes(), before);
}

} // namespace
