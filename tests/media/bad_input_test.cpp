// SPDX-License-Identifier: GPL-3.0-or-later

#include "media/media_reader.h"
#include "support/qt_printing.h"
#include "support/unprivileged_run.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace media;

namespace {

const QString fixtures = QStringLiteral(MEDIATAR_SOURCE_DIR "/tests/media/fixtures");

// An MP3 stream without any tag: the ID3v1 fixture without its last 128 bytes.
QByteArray bareMp3()
{
    QFile file(fixtures + QStringLiteral("/music/codepage/id3v1.mp3"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return bytes.left(bytes.size() - 128);
}

void write(const QByteArray& path, const QByteArray& bytes)
{
    QFile file(QFile::decodeName(path));
    FILE* raw = std::fopen(path.constData(), "wb");
    ASSERT_TRUE(raw) << path.constData();
    ASSERT_EQ(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), raw), size_t(bytes.size()));
    std::fclose(raw);
}

QStringList unreadLines(const Reading& reading, const QString& base)
{
    QStringList lines;
    for (const UnreadFile& file : reading.unread)
        lines << file.path.mid(base.size() + 1) + QStringLiteral(": ") + file.reason;
    return lines;
}

TEST(MediaBadInput, NamesInCodePage1250AreReadAsTheirWriterMeantThem)
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(root + "/Z\xE1por", 0755), 0);
    write(root + "/Z\xE1por/04 - \xD5sz.mp3", bareMp3());

    const Reading reading = readMedia({dir.path()}, Kind::Music);
    ASSERT_EQ(reading.albums.size(), 1);
    EXPECT_EQ(reading.albums[0].ALBUM, QStringLiteral("Zápor"));
    ASSERT_EQ(reading.albums[0].tracks.size(), 1);
    EXPECT_EQ(reading.albums[0].tracks[0].CIM, QStringLiteral("Ősz"));
    EXPECT_EQ(reading.albums[0].tracks[0].source, dir.path() + QStringLiteral("/Zápor/04 - Ősz.mp3"));
    EXPECT_TRUE(reading.unread.isEmpty());
}

TEST(MediaBadInput, LinksAreFollowedOnceAndLoopsEnd)
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    ASSERT_EQ(::mkdir(root + "/a", 0755), 0);
    write(root + "/a/dal.mp3", bareMp3());
    ASSERT_EQ(::symlink("..", root + "/a/vissza"), 0);
    ASSERT_EQ(::symlink(".", root + "/a/onmaga"), 0);
    ASSERT_EQ(::symlink("a", root + "/b"), 0);
    ASSERT_EQ(::symlink("nincs-ilyen.mp3", root + "/a/hianyzik.mp3"), 0);
    ASSERT_EQ(::symlink("x", root + "/kor"), 0);
    ASSERT_EQ(::symlink("kor", root + "/x"), 0);

    const Reading reading = readMedia({dir.path()}, Kind::Music);
    ASSERT_EQ(reading.albums.size(), 1);
    ASSERT_EQ(reading.albums[0].tracks.size(), 1);
    EXPECT_EQ(reading.albums[0].tracks[0].source, dir.path() + QStringLiteral("/a/dal.mp3"));
    const QStringList expected = {
        "a/hianyzik.mp3: Nem található (törölték, vagy egy hivatkozás célja hiányzik).",
        "kor: Önmagára mutató hivatkozás.",
        "x: Önmagára mutató hivatkozás.",
    };
    EXPECT_EQ(unreadLines(reading, dir.path()), expected);
}

TEST(MediaBadInput, TagsOfMegabytesAreReadWhole)
{
    // An ID3v2.3 tag with a title and a picture of five megabytes before the stream.
    const QByteArray title = QByteArray("\0Nagy k\xE9p", 10);
    const QByteArray picture = QByteArray("\0image/jpeg\0\x03\0", 14) + QByteArray(5 * 1024 * 1024, '\xAB');
    const auto frame = [](const char* id, const QByteArray& body) {
        QByteArray bytes(id);
        for (int shift : {24, 16, 8, 0})
            bytes += char((body.size() >> shift) & 0xFF);
        return bytes + QByteArray(2, '\0') + body;
    };
    const QByteArray frames = frame("TIT2", title) + frame("APIC", picture);
    QByteArray tag("ID3\x03\x00\x00", 6);
    for (int shift : {21, 14, 7, 0})
        tag += char((frames.size() >> shift) & 0x7F);
    QTemporaryDir dir;
    write(QFile::encodeName(dir.path()) + "/kep.mp3", tag + frames + bareMp3());

    const Reading reading = readMedia({dir.path() + QStringLiteral("/kep.mp3")}, Kind::Music);
    ASSERT_EQ(reading.albums.size(), 1);
    ASSERT_EQ(reading.albums[0].tracks.size(), 1);
    EXPECT_EQ(reading.albums[0].tracks[0].CIM, QStringLiteral("Nagy kép"));
    EXPECT_EQ(reading.albums[0].tracks[0].MERET, QStringLiteral("5,0 MB"));
    EXPECT_EQ(reading.albums[0].tracks[0].IDO, QStringLiteral("00:00:03"));
}

TEST(MediaBadInput, WhatCannotBeOpenedIsToldAndTheRestIsRead)
{
    if (runUnprivileged())
        return;
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    for (const char* folder : {"/zene", "/zene/zart", "/filmek"})
        ASSERT_EQ(::mkdir(root + folder, 0755), 0);
    write(root + "/zene/zart/dal.mp3", bareMp3());
    write(root + "/zene/titkos.mp3", bareMp3());
    write(root + "/zene/szabad.mp3", bareMp3());
    write(root + "/filmek/titkos.mkv", QByteArray(1000, 'x'));
    ASSERT_EQ(::chmod(root + "/zene/zart", 0), 0);
    ASSERT_EQ(::chmod(root + "/zene/titkos.mp3", 0), 0);
    ASSERT_EQ(::chmod(root + "/filmek/titkos.mkv", 0), 0);

    const Reading music = readMedia({dir.path() + QStringLiteral("/zene")}, Kind::Music);
    const Reading films = readMedia({dir.path() + QStringLiteral("/filmek")}, Kind::Films);
    // So that the folder can be removed.
    for (const char* path : {"/zene/zart", "/zene/titkos.mp3", "/filmek/titkos.mkv"})
        ::chmod(root + path, 0755);
    ASSERT_EQ(music.albums.size(), 1);
    ASSERT_EQ(music.albums[0].tracks.size(), 1);
    EXPECT_EQ(music.albums[0].tracks[0].source, dir.path() + QStringLiteral("/zene/szabad.mp3"));
    const QStringList expected = {
        "zene/titkos.mp3: Nincs jogosultság az olvasásához.",
        "zene/zart: A mappa nem nyitható meg: nincs jogosultság.",
    };
    EXPECT_EQ(unreadLines(music, dir.path()), expected);

    EXPECT_TRUE(films.films.isEmpty());
    EXPECT_EQ(unreadLines(films, dir.path()), QStringList{"filmek/titkos.mkv: Nincs jogosultság az olvasásához."});
}

TEST(MediaBadInput, ReadingTellsItsProgressAndStopsWhenCancelled)
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    write(root + "/minta.mp3", bareMp3());
    ASSERT_EQ(::mkdir(root + "/sok", 0755), 0);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(::link(root + "/minta.mp3", root + QByteArray("/sok/") + QByteArray::number(1000 + i) + ".mp3"), 0);

    std::atomic_bool cancel{false};
    QList<Progress> told;
    Control control;
    control.cancel = &cancel;
    control.progress = [&](const Progress& progress) {
        told << progress;
        if (progress.filesRead == 100)
            cancel = true;
    };
    const Reading reading = readMedia({dir.path() + QStringLiteral("/sok")}, Kind::Music, control);
    EXPECT_TRUE(reading.cancelled);
    // The file being read when the cancel came is finished; none after it is started.
    ASSERT_EQ(reading.albums.size(), 1);
    EXPECT_EQ(reading.albums[0].tracks.size(), 101);
    ASSERT_EQ(told.size(), 101);
    for (int i = 0; i < told.size(); ++i) {
        EXPECT_EQ(told[i].filesRead, i);
        EXPECT_EQ(told[i].current, dir.path() + QStringLiteral("/sok/%1.mp3").arg(1000 + i));
    }

    // Not cancelled, the same folder is read whole.
    cancel = false;
    control.progress = nullptr;
    const Reading whole = readMedia({dir.path() + QStringLiteral("/sok")}, Kind::Music, control);
    EXPECT_FALSE(whole.cancelled);
    ASSERT_EQ(whole.albums.size(), 1);
    EXPECT_EQ(whole.albums[0].tracks.size(), 300);
}

TEST(MediaBadInput, AFolderOfTwentyThousandFilesIsReadWhole)
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    write(root + "/minta.mp3", bareMp3());
    ASSERT_EQ(::mkdir(root + "/sok", 0755), 0);
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(::link(root + "/minta.mp3", root + QByteArray("/sok/") + QByteArray::number(10000 + i) + ".mp3"), 0);
    const Reading reading = readMedia({dir.path() + QStringLiteral("/sok")}, Kind::Music);
    ASSERT_EQ(reading.albums.size(), 1);
    const QList<Track>& tracks = reading.albums[0].tracks;
    ASSERT_EQ(tracks.size(), 20000);
    EXPECT_EQ(tracks.first().source, dir.path() + QStringLiteral("/sok/10000.mp3"));
    EXPECT_EQ(tracks.last().source, dir.path() + QStringLiteral("/sok/29999.mp3"));
    EXPECT_TRUE(reading.unread.isEmpty());
}

} // namespace
