// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/album_match.h"
#include "media/tag_text.h"
#include "media/video_facts.h"

#include "support/qt_printing.h"

#include <gtest/gtest.h>

using namespace media;

namespace {

TEST(TagText, CentralEuropeanTextReadAsLatin1IsMendedAndOtherTextIsNot)
{
    const struct
    {
        QString text;
        bool latin1;
        QString expected;
    } cases[] = {
        {QStringLiteral("Õrült szerelem"), true, QStringLiteral("Őrült szerelem")},
        {QStringLiteral("Szûk utcák"), true, QStringLiteral("Szűk utcák")},
        {QStringLiteral("TÛZOLTÓ"), true, QStringLiteral("TŰZOLTÓ")},
        // Quotes of code page 1250 read as C1 controls, with no ő or ű anywhere.
        {QString::fromLatin1("\x84K\xe9k\x94 \x96 dal"), true, QStringLiteral("„Kék” – dal")},
        // Genuine Latin-1: Portuguese plurals, letters Hungarian lacks, and text with no disguised letter.
        {QStringLiteral("Canções"), true, QStringLiteral("Canções")},
        {QStringLiteral("Ilusões"), true, QStringLiteral("Ilusões")},
        {QStringLiteral("Lições de vida"), true, QStringLiteral("Lições de vida")},
        {QStringLiteral("Hõbe ja kärbes"), true, QStringLiteral("Hõbe ja kärbes")},
        {QStringLiteral("Mötley Crüe"), true, QStringLiteral("Mötley Crüe")},
        {QStringLiteral("Ñandú õ"), true, QStringLiteral("Ñandú õ")},
        // Text the tag stored as Unicode is what its writer meant.
        {QStringLiteral("Tõnu Kõrvits"), false, QStringLiteral("Tõnu Kõrvits")},
        {QStringLiteral("Előre"), true, QStringLiteral("Előre")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readAsWritten(TagValue{c.text, c.latin1}), c.expected) << c.text.toStdString();
}

TEST(TagText, CellsDropPaddingAndControlCharacters)
{
    EXPECT_EQ(cellText(TagValue{QStringLiteral("  Dal\u0000\u0000"), true}), QStringLiteral("Dal"));
    EXPECT_EQ(cellText(TagValue{QStringLiteral("Első\nsor\tmásik"), false}), QStringLiteral("Első sor másik"));
}

TEST(TagText, LengthsAndSizes)
{
    const struct
    {
        qint64 milliseconds;
        const char* expected;
    } lengths[] = {{0, "00:00:00"},       {-5, "00:00:00"},      {499, "00:00:00"},      {2999, "00:00:03"},
                   {3599499, "00:59:59"}, {3599500, "01:00:00"}, {45296000, "12:34:56"}, {360000000, "100:00:00"}};
    for (const auto& c : lengths)
        EXPECT_EQ(durationText(c.milliseconds), QLatin1String(c.expected)) << c.milliseconds;

    const struct
    {
        qint64 bytes;
        const char* expected;
    } sizes[] = {{0, "0 kB"},         {104857, "102 kB"},      {104858, "0,1 MB"},     {7759462, "7,4 MB"},
                 {8336180, "8,0 MB"}, // 7,95 rounds up to the next whole
                 {8283750, "7,9 MB"}, {734003200, "700,0 MB"}, {1073741824, "1,0 GB"}, {4617089843LL, "4,3 GB"}};
    for (const auto& c : sizes)
        EXPECT_EQ(sizeText(c.bytes), QString::fromUtf8(c.expected)) << c.bytes;
}

TEST(TagText, TitlesFromFileNames)
{
    const struct
    {
        const char* name;
        const char* title;
    } cases[] = {
        {"01 Őszi délután.mp3", "Őszi délután"},
        {"03 - Zsákutca.mp3", "Zsákutca"},
        {"1. Nyitány.flac", "Nyitány"},
        {"2-05 Dal.mp3", "Dal"},
        {"07_Dal.ogg", "Dal"},
        {"2 Unlimited - No Limit.mp3", "2 Unlimited - No Limit"},
        {"1984.mp3", "1984"},
        {"12.mp3", "12"},
        {"Szám.egy.mp3", "Szám.egy"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(titleFromFileName(QString::fromUtf8(c.name)), QString::fromUtf8(c.title)) << c.name;
}

TrackTags track(const char* title, const char* artist, const char* album, const char* folder, int number = 0,
                const char* albumArtist = "")
{
    TrackTags tags;
    tags.title.text = QString::fromUtf8(title);
    tags.artist.text = QString::fromUtf8(artist);
    tags.album.text = QString::fromUtf8(album);
    tags.albumArtist.text = QString::fromUtf8(albumArtist);
    tags.trackNumber = number;
    tags.folderPath = QStringLiteral("/zene/") + QString::fromUtf8(folder);
    tags.folderName = QString::fromUtf8(folder).section(QLatin1Char('/'), -1);
    tags.fileName = QString::fromUtf8(title) + QStringLiteral(".mp3");
    tags.lengthMs = 1000 * number;
    return tags;
}

// Each album as "artist | album: track, track"; each compilation row as "artist - title | album".
QStringList described(const MusicRows& rows)
{
    QStringList lines;
    for (const Album& album : rows.albums) {
        QStringList titles;
        for (const Track& t : album.tracks)
            titles << t.CIM;
        lines << album.ELOADO + QStringLiteral(" | ") + album.ALBUM + QStringLiteral(": ") + titles.join(", ");
    }
    for (const CompilationTrack& t : rows.compilationTracks)
        lines << t.ELOADO + QStringLiteral(" | ") + t.ALBUM;
    return lines;
}

TEST(TagText, TracksGroupIntoAlbumsAndCompilations)
{
    const struct
    {
        const char* what;
        QList<TrackTags> tracks;
        QStringList expected;
    } cases[] = {
        {"tracks go by number, unnumbered last, whatever the order read",
         {track("C", "Bikini", "Ki", "a", 0), track("B", "Bikini", "Ki", "a", 2), track("A", "Bikini", "Ki", "a", 1)},
         {"Bikini | Ki: A, B, C"}},
        {"the album artist names the album of several artists",
         {track("A", "Egy", "Duett", "d", 1, "Mindketten"), track("B", "Kettő", "Duett", "d", 2, "Mindketten")},
         {"Mindketten | Duett: A, B"}},
        {"several artists and no album artist make a compilation",
         {track("A", "Egy", "Nyár", "v", 1), track("B", "Kettő", "Nyár", "v", 2)},
         {"Egy - A | Nyár", "Kettő - B | Nyár"}},
        {"one title of two artists in two folders is two albums",
         {track("A", "Egy", "Best of", "egy", 1), track("B", "Kettő", "Best of", "ketto", 1)},
         {"Egy | Best of: A", "Kettő | Best of: B"}},
        {"artist and album compare without regard to case, accents included",
         {track("A", "KISPÁL ÉS A BORZ", "ÁGY", "x", 1), track("B", "kispál és a borz", "ágy", "x", 2)},
         {"KISPÁL ÉS A BORZ | ÁGY: A, B"}},
        {"an accent is not a case: Kispal is not Kispál",
         {track("A", "Kispál", "Ágy", "x", 1, "Kispál"), track("B", "Kispal", "Ágy", "x", 2, "Kispal")},
         {"Kispál | Ágy: A", "Kispal | Ágy: B"}},
        {"two discs of one album in two folders are one album",
         {track("A", "Bikini", "Dupla", "Dupla/CD1", 1), track("B", "Bikini", "Dupla", "Dupla/CD2", 1)},
         {"Bikini | Dupla: A, B"}},
        {"a track without an album tag goes to its folder's album",
         {track("A", "Bikini", "", "Kalóz", 1), track("B", "Bikini", "", "Kalóz", 2)},
         {"Bikini | Kalóz: A, B"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(described(groupTracks(c.tracks)), c.expected) << c.what;
}

TEST(AlbumMatch, ComparesAsTheSearchDoes)
{
    const struct
    {
        const char* artist;
        const char* album;
        bool same;
    } cases[] = {
        {"Kispál és a Borz", "Ágy, asztal, tévé", true},   {"KISPÁL ÉS A BORZ", "ÁGY, ASZTAL, TÉVÉ", true},
        {"Kispal es a Borz", "Agy, asztal, teve", false},  {"Kispál és a Borz ", "Ágy, asztal, tévé", false},
        {"Kispál és a Borz", "Ágy, asztal, tévé!", false}, {"Kispál és a", "Borz Ágy, asztal, tévé", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sameAlbum(QStringLiteral("Kispál és a Borz"), QStringLiteral("Ágy, asztal, tévé"),
                            QString::fromUtf8(c.artist), QString::fromUtf8(c.album)),
                  c.same)
            << c.artist << " / " << c.album;
    }
    EXPECT_TRUE(sameTrack(QStringLiteral("Tűzoltó"), QStringLiteral("00:03:12"), QStringLiteral("TŰZOLTÓ"),
                          QStringLiteral("00:03:12")));
    EXPECT_FALSE(sameTrack(QStringLiteral("Tűzoltó"), QStringLiteral("00:03:12"), QStringLiteral("Tűzoltó"),
                           QStringLiteral("00:03:13")));
    EXPECT_FALSE(sameTrack(QStringLiteral("Tűzoltó"), QStringLiteral("00:03:12"), QStringLiteral("Tüzoltó"),
                           QStringLiteral("00:03:12")));
}

TEST(VideoFacts, SoundTracksAndLanguagesInTheCataloguesWords)
{
    const struct
    {
        AudioStream stream;
        const char* item;
        const char* language;
    } cases[] = {
        {{QStringLiteral("AC-3"), {}, 6, QStringLiteral("hu")}, "AC3/6 HU", "magyar"},
        {{QStringLiteral("DTS"), {}, 6, QStringLiteral("eng")}, "DTS/6 EN", "angol"},
        {{QStringLiteral("AC-3"), {}, 2, QStringLiteral("en-US")}, "AC3/2 EN", "angol"},
        {{QStringLiteral("MPEG Audio"), QStringLiteral("Layer 2"), 2, {}}, "MPEG/2", ""},
        {{QStringLiteral("AC-3"), {}, 6, QStringLiteral("und")}, "AC3/6", ""},
        {{QStringLiteral("AAC"), {}, 2, QStringLiteral("fre")}, "AAC/2 FR", "francia"},
        {{QStringLiteral("AC-3"), {}, 2, QStringLiteral("xx")}, "AC3/2 XX", "egyéb"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(soundTrackItem(c.stream), QLatin1String(c.item)) << c.item;
        EXPECT_EQ(languageName(c.stream.language), QString::fromUtf8(c.language)) << c.item;
    }
}

} // namespace
