// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/drop_files.h"
#include "main_window/category_grid.h"
#include "media/media_reader.h"
#include "media/music_file.h"
#include "media_window/media_preview.h"
#include "support/window_fixture.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// The libraries that only a server catalogue or reading media need are loaded when they are first needed: a
// window on a catalogue file maps none of them, and reading music afterwards loads its module and just works.

namespace {

const QString album = QStringLiteral(MEDIATAR_SOURCE_DIR "/tests/media/fixtures/music/album");

// The names of the files this process has mapped.
QStringList mappedFiles()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    EXPECT_TRUE(maps.open(QIODevice::ReadOnly));
    QStringList names;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype slash = line.indexOf('/');
        if (slash >= 0)
            names << QFileInfo(QString::fromLocal8Bit(line.mid(slash))).fileName();
    }
    names.removeDuplicates();
    return names;
}

QStringList mappedOf(const QStringList& prefixes)
{
    QStringList found;
    for (const QString& name : mappedFiles()) {
        for (const QString& prefix : prefixes) {
            if (name.startsWith(prefix))
                found << name;
        }
    }
    return found;
}

const QStringList serverLibraries = {QStringLiteral("libpq.so"), QStringLiteral("libssl.so"),
                                     QStringLiteral("libkrb5.so"), QStringLiteral("libldap")};
const QStringList filmLibraries = {QStringLiteral("libmediainfo.so"), QStringLiteral("libzen.so"),
                                   QStringLiteral("libcurl")};
const QStringList musicLibraries = {QStringLiteral("libtag.so"), QStringLiteral("mediatar-taglib.so")};

class LazyLibrariesTest : public WindowFixture
{
protected:
    void drop(QWidget* target, const QStringList& paths) { dropFiles(target, paths); }
};

TEST_F(LazyLibrariesTest, aWindowOnACatalogueFileMapsNoServerOrMediaLibraryAndReadsMusicOnceDropped)
{
    start();
    for (int tab : {1, 2, 3, 4, 5, 0})
        switchToTab(tab);
    EXPECT_EQ(mappedOf(serverLibraries + filmLibraries + musicLibraries), QStringList());

    drop(tabs()->widget(0), {album});
    MediaPreview* preview = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (preview = window().findChild<MediaPreview*>()) != nullptr; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->isReading(); }, 20000));
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("recordButton")), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().findChild<MediaPreview*>() == nullptr; }, 2000));
    EXPECT_EQ(catalogue->rows("SELECT eloado, album FROM eloado"),
              (QList<QVariantList>{{QStringLiteral("Kispál és a Borz"), QStringLiteral("Ágy, asztal, tévé")}}));
    EXPECT_EQ(catalogue->rows("SELECT count(*) FROM szamok"), (QList<QVariantList>{{3}}));
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();

    // The music module came with the music, and nothing else did.
    EXPECT_EQ(mappedOf(musicLibraries).size(), 2) << mappedOf(musicLibraries).join(' ').toStdString();
    EXPECT_EQ(mappedOf(serverLibraries + filmLibraries), QStringList());
}

// A music module that is missing or cannot be loaded fails each file with a text that names it, and reading goes
// on; once it is found, the same files read.
TEST(MusicModule, aMissingOrBrokenModuleFailsEachFileByNameAndAFoundOneReadsThem)
{
    QTemporaryDir empty;
    QTemporaryDir broken;
    QFile notALibrary(broken.filePath(QStringLiteral("mediatar-taglib.so")));
    ASSERT_TRUE(notALibrary.open(QIODevice::WriteOnly));
    notALibrary.write("nem könyvtár");
    notALibrary.close();
    const struct
    {
        QString folder;
        const char* detail;
    } cases[] = {{empty.path(), "nem található itt: "}, {broken.path(), "mediatar-taglib.so"}};
    for (const auto& missing : cases) {
        SCOPED_TRACE(missing.folder.toStdString());
        media::setMusicModuleFolders({missing.folder});
        const media::Reading reading = media::readMedia({album}, media::Kind::Music);
        EXPECT_TRUE(reading.albums.isEmpty());
        ASSERT_EQ(reading.unread.size(), 3);
        for (const media::UnreadFile& file : reading.unread) {
            EXPECT_TRUE(file.reason.startsWith(
                QStringLiteral("A program zenefájl-olvasója (mediatar-taglib.so) nem tölthető be")))
                << file.reason.toStdString();
            EXPECT_TRUE(file.reason.contains(QString::fromUtf8(missing.detail))) << file.reason.toStdString();
        }
    }
    media::setMusicModuleFolders({});
    const media::Reading reading = media::readMedia({album}, media::Kind::Music);
    EXPECT_TRUE(reading.unread.isEmpty());
    ASSERT_EQ(reading.albums.size(), 1);
    EXPECT_EQ(reading.albums.first().tracks.size(), 3);
}

} // namespace
