// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/drop_files.h"
#include "main_window/category_grid.h"
#include "main_window/media_drops.h"
#include "media_window/media_preview.h"
#include "support/postgres_server.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

// Files dropped on a list, or a folder picked from the lists' menu, are read into the preview, and what the
// user records there is in the catalogue and in the list.

namespace {

const QString fixtures = QStringLiteral(MEDIATAR_SOURCE_DIR "/tests/media/fixtures");

QMap<QString, QByteArray> fixtureHashes()
{
    QMap<QString, QByteArray> result;
    QDirIterator it(fixtures, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        result.insert(file.fileName(), QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    return result;
}

class MediaDropTest : public WindowFixture
{
protected:
    void TearDown() override { MediaDrops::setFolderChooser({}); }

    void drop(QWidget* target, const QStringList& paths) { dropFiles(target, paths); }
    QWidget* page(int tab) const { return tabs()->widget(tab); }

    // The preview that opened, once its reading is over.
    MediaPreview* readPreview()
    {
        MediaPreview* preview = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (preview = window().findChild<MediaPreview*>()) != nullptr; }, 5000))
            << "no preview opened";
        if (preview) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !preview->isReading(); }, 20000)) << "the reading never ended";
        }
        return preview;
    }
    template <typename T> T* part(MediaPreview* preview, const char* name)
    {
        T* found = preview->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTreeWidgetItem* rowOf(MediaPreview* preview, int column, const QString& text)
    {
        const QList<QTreeWidgetItem*> found =
            part<QTreeWidget>(preview, "previewRows")->findItems(text, Qt::MatchExactly | Qt::MatchRecursive, column);
        EXPECT_EQ(found.size(), 1) << text.toStdString();
        return found.value(0);
    }
    // Corrects a cell as the user does: a double click opens its editor, typing replaces the text, Enter keeps it.
    void correct(MediaPreview* preview, QTreeWidgetItem* item, int column, const QString& text)
    {
        auto* tree = part<QTreeWidget>(preview, "previewRows");
        QWidget* viewport = tree->viewport();
        // The middle of the cell, clear of the tick at the start of the first column.
        const QPoint place(tree->header()->sectionViewportPosition(column) + tree->header()->sectionSize(column) / 2,
                           tree->visualItemRect(item).center().y());
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, place);
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, place);
        auto* editor = viewport->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr) << "no editor opened";
        editor->selectAll();
        for (const QChar character : text) {
            // QTest types ASCII only; the other letters come as a keyboard layout gives them.
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(character));
            QApplication::sendEvent(editor, &press);
            QApplication::sendEvent(editor, &release);
        }
        QTest::keyClick(editor, Qt::Key_Return);
        // The editor hands its text over from the event loop, then goes.
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewport->findChild<QLineEdit*>() == nullptr; }, 2000));
    }
    void click(MediaPreview* preview, const char* button)
    {
        QTest::mouseClick(part<QPushButton>(preview, button), Qt::LeftButton);
    }
};

TEST_F(MediaDropTest, whatIsDroppedOnATabIsRecordedAsThePreviewShowsIt)
{
    struct Case
    {
        int tab;
        QString path;
        QString table;
        QList<QVariantList> expected; // the table's rows, ordered by their first column
        QString correctFrom;          // a cell corrected in the preview: the text it had, and what it gets
        QString correctTo;
        int column;
    };
    auto texts = [](std::initializer_list<const char*> values) {
        QVariantList list;
        for (const char* value : values)
            list << QString::fromUtf8(value);
        return list;
    };
    const Case cases[] = {
        {3,
         fixtures + "/video/nyar.mkv",
         "Filmek_videoklippek",
         {texts({"Nyári film", "", "magyar", "320x240", "18 kB", "00:00:02", "", "H.264", "AC3"})},
         "Egy nyári film",
         "Nyári film",
         0},
        {4, fixtures + "/game/Aknakereső", "games", {texts({"Aknakereső", "stratégia", "34 kB", "K-1"})}, "", "", 1},
        {1,
         fixtures + "/music/compilation",
         "Valogatasok",
         {texts({"Első Előadó - Első szám", "Nyári válogatás", "00:00:03", "32", "12 kB", "K-1"}),
          texts({"Második Előadó - Második szám", "Nyári válogatás", "00:00:05", "32", "20 kB", "K-1"})},
         "",
         "",
         0},
        {2,
         fixtures + "/dvd",
         "DVD_Filmek",
         {texts({"Kis film", "", "AC3/6 HU, AC3/2 EN", "magyar", "1", "00:00:03", ""})},
         "",
         "",
         0},
    };
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        switchToTab(c.tab);
        // An empty tab shows no list: the files go on its page.
        drop(page(c.tab), {c.path});
        MediaPreview* preview = readPreview();
        ASSERT_NE(preview, nullptr);
        EXPECT_TRUE(preview->isVisible());
        if (!c.correctFrom.isEmpty())
            correct(preview, rowOf(preview, 0, c.correctFrom), c.column, c.correctTo);
        else if (c.table == "games")
            correct(preview, rowOf(preview, 0, "Aknakereső"), c.column, "stratégia");
        // The films' tables keep no medium's code: the field is offered only where a code is kept.
        auto* code = part<QLineEdit>(preview, "kodEdit");
        EXPECT_EQ(code->isVisibleTo(preview), c.table == "games" || c.table == "Valogatasok");
        code->setText("K-1");
        click(preview, "recordButton");
        EXPECT_TRUE(QTest::qWaitFor([&] { return window().findChild<MediaPreview*>() == nullptr; }, 2000));
        EXPECT_EQ(catalogue->rows("SELECT * FROM " + c.table + " ORDER BY 1"), c.expected);
        // The list is read again: the new row shows.
        EXPECT_EQ(countLabel()->text(), QString::number(c.expected.size()));
    }
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

TEST_F(MediaDropTest, anAlbumDroppedOnItsListGetsOnlyTheTracksItLacks)
{
    const qint64 held = catalogue->addAlbum(QStringLiteral("Kispál és a Borz"), QStringLiteral("Ágy, asztal, tévé"));
    catalogue->addTrack(held, QStringLiteral("Tűzoltó"), QStringLiteral("00:00:05"), "20 kB", "32", "CD-1");
    start();
    const QMap<QString, QByteArray> before = fixtureHashes();
    drop(grid("DBGrid1")->viewport(), {fixtures + "/music/album", fixtures + "/bad/ures.mp3"});
    MediaPreview* preview = readPreview();
    ASSERT_NE(preview, nullptr);
    QTreeWidgetItem* heldTrack = rowOf(preview, 2, QStringLiteral("Tűzoltó"));
    ASSERT_NE(heldTrack, nullptr);
    EXPECT_EQ(heldTrack->checkState(0), Qt::Unchecked);
    EXPECT_EQ(heldTrack->text(6), QStringLiteral("már a katalógusban, kimarad"));
    EXPECT_EQ(heldTrack->parent()->text(6), QStringLiteral("már a katalógusban: az új számok hozzá kerülnek"));
    // The file that gave no row is told, with its reason.
    auto* unread = part<QListWidget>(preview, "unreadFiles");
    ASSERT_EQ(unread->count(), 1);
    EXPECT_TRUE(unread->item(0)->text().endsWith(QStringLiteral("ures.mp3: A fájl üres.")))
        << unread->item(0)->text().toStdString();
    // A title corrected into one the album lacks is recorded after all; a track corrected into a held one, title
    // and length, is not.
    correct(preview, heldTrack, 2, QStringLiteral("Tűzoltó (élő)"));
    EXPECT_EQ(heldTrack->checkState(0), Qt::Checked);
    QTreeWidgetItem* other = rowOf(preview, 2, QStringLiteral("Zsákutca"));
    correct(preview, other, 2, QStringLiteral("TŰZOLTÓ"));
    EXPECT_EQ(other->checkState(0), Qt::Checked);
    correct(preview, other, 3, QStringLiteral("00:00:05"));
    EXPECT_EQ(other->checkState(0), Qt::Unchecked);
    EXPECT_EQ(part<QLabel>(preview, "summaryLabel")->text(), QStringLiteral("Rögzítendő sorok: 2."));
    part<QLineEdit>(preview, "kodEdit")->setText(QStringLiteral("CD-2"));
    click(preview, "recordButton");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().findChild<MediaPreview*>() == nullptr; }, 2000));

    EXPECT_EQ(catalogue->count("eloado"), 1);
    EXPECT_EQ(catalogue->rows("SELECT CIM, IDO, KOD, eloado_azonosito FROM szamok ORDER BY rowid"),
              QList<QVariantList>({{"Tűzoltó", "00:00:05", "CD-1", held},
                                   {"Őszi délután", "00:00:03", "CD-2", held},
                                   {"Tűzoltó (élő)", "00:00:05", "CD-2", held}}));
    EXPECT_EQ(fixtureHashes(), before);
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

TEST_F(MediaDropTest, megseWritesNothingWhetherReadingOrDone)
{
    start();
    for (const bool waitForTheReading : {true, false}) {
        SCOPED_TRACE(waitForTheReading ? "after the reading" : "during the reading");
        drop(page(0), {fixtures + "/music"});
        MediaPreview* preview = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (preview = window().findChild<MediaPreview*>()) != nullptr; }, 5000));
        if (waitForTheReading) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->isReading(); }, 20000));
        } else {
            EXPECT_TRUE(preview->isReading()) << "the reading was over before Mégse";
        }
        click(preview, "cancelButton");
        EXPECT_TRUE(QTest::qWaitFor([&] { return window().findChild<MediaPreview*>() == nullptr; }, 5000));
        QTest::qWait(50);
        EXPECT_EQ(catalogue->count("eloado"), 0);
        EXPECT_EQ(catalogue->count("szamok"), 0);
        EXPECT_EQ(catalogue->count("Valogatasok"), 0);
    }
}

TEST_F(MediaDropTest, aRecordingRefusedHalfwayWritesNothingAndKeepsThePreview)
{
    start();
    drop(page(0), {fixtures + "/music/album", fixtures + "/music/compilation"});
    MediaPreview* preview = readPreview();
    ASSERT_NE(preview, nullptr);
    // The album and its tracks go first; the compilation's rows are refused.
    catalogue->exec("CREATE TRIGGER refuse BEFORE INSERT ON Valogatasok BEGIN SELECT RAISE(ABORT, 'refused'); END");
    click(preview, "recordButton");
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().contains("refused")) << desktop.errors.reports.first().toStdString();
    EXPECT_EQ(catalogue->count("eloado"), 0);
    EXPECT_EQ(catalogue->count("szamok"), 0);
    // The rows are still there to be recorded once the catalogue takes them.
    EXPECT_EQ(window().findChild<MediaPreview*>(), preview);
    EXPECT_TRUE(preview->isVisible());
    catalogue->exec("DROP TRIGGER refuse");
    click(preview, "recordButton");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().findChild<MediaPreview*>() == nullptr; }, 2000));
    EXPECT_EQ(catalogue->count("szamok"), 3);
    EXPECT_EQ(catalogue->count("Valogatasok"), 2);
}

// A role that may only read the server catalogue: nothing is read or offered for recording.
class ReadOnlyDropTest : public MediaDropTest
{
protected:
    ReadOnlyDropTest()
    {
        engine = Engine::Server;
        readerOnly = true;
    }
};

TEST_F(ReadOnlyDropTest, aCatalogueThatMayOnlyBeReadRefusesTheDrop)
{
    ASSERT_SERVER_RUNNING();
    start();
    drop(page(4), {fixtures + "/game/Aknakereső"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !desktop.prompts.informations.isEmpty(); }, 5000));
    EXPECT_EQ(desktop.prompts.informations, QStringList{engine::readOnlyMessage()});
    EXPECT_EQ(desktop.beeper.beeps, 1);
    EXPECT_EQ(window().findChild<MediaPreview*>(), nullptr);
    EXPECT_EQ(catalogue->count("games"), 0);
}

TEST_F(MediaDropTest, aFolderPickedFromTheListsMenuIsReadForThatTab)
{
    catalogue->insert("progs_other", {"AKNAKERESŐ", "", "2 MB", "P-1"});
    start();
    switchToTab(5);
    QString asked;
    MediaDrops::setFolderChooser([&](QWidget*, const QString& start) {
        asked = start;
        return fixtures + "/game/Aknakereső";
    });
    // The menu is picked from where the window system shows it.
    QTimer picker;
    QObject::connect(&picker, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        picker.stop();
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Beolvasás mappából…"))
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
    });
    picker.start(10);
    CategoryGrid* view = grid("DBGrid7");
    const QPoint place = view->viewport()->mapTo(&window(), view->visualRect(view->model()->index(0, 0)).center());
    QTest::mouseClick(window().windowHandle(), Qt::RightButton, Qt::NoModifier, place);
    EXPECT_FALSE(asked.isEmpty()) << "the folder was not asked for";

    MediaPreview* preview = readPreview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->windowTitle(), QStringLiteral("Beolvasás: ") + tabs()->tabText(5));
    // A row of the same name, as the search compares names, is pointed out; nothing tells two programs of one
    // name apart, so it is still recorded.
    QTreeWidgetItem* row = rowOf(preview, 0, QStringLiteral("Aknakereső"));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(3), QStringLiteral("ilyen című sor már van a katalógusban"));
    EXPECT_EQ(row->checkState(0), Qt::Checked);
    click(preview, "recordButton");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().findChild<MediaPreview*>() == nullptr; }, 2000));
    EXPECT_EQ(catalogue->rows("SELECT Programok, MERET, KOD FROM progs_other ORDER BY rowid"),
              QList<QVariantList>({{"AKNAKERESŐ", "2 MB", "P-1"}, {"Aknakereső", "34 kB", ""}}));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
}

} // namespace
