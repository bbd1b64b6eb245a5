// SPDX-License-Identifier: GPL-3.0-or-later

#include "category_fixture.h"

#include "main_window/list_commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <functional>

namespace {

// Runs action on the first widget of kind T that becomes the active popup or modal window, polling from the
// event loop that the popup or dialog runs. The timer goes with the test's scope.
template <typename T> class WhenShown
{
public:
    explicit WhenShown(std::function<void(T*)> action) : m_action(std::move(action))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget* top = QApplication::activePopupWidget();
            if (!top)
                top = QApplication::activeModalWidget();
            if (T* shown = qobject_cast<T*>(top)) {
                m_timer.stop();
                m_seen = true;
                m_action(shown);
            }
        });
        m_timer.start(10);
    }
    bool seen() const { return m_seen; }

private:
    std::function<void(T*)> m_action;
    QTimer m_timer;
    bool m_seen = false;
};

class ListOutputTest : public CategoryFixture
{
protected:
    // Right-clicks a row of the grid where the window gets it, and picks an item of the menu that opens.
    // Returns the menu's items.
    QStringList chooseFromMenu(const QString& gridName, int row, const QString& item)
    {
        QStringList items;
        WhenShown<QMenu> pick([&](QMenu* menu) {
            QAction* chosen = nullptr;
            for (QAction* action : menu->actions()) {
                items << action->text();
                if (action->text().startsWith(item))
                    chosen = action;
            }
            if (chosen && chosen->isEnabled())
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(chosen).center());
            else
                menu->close();
        });
        CategoryGrid* view = grid(gridName);
        const QPoint place =
            view->viewport()->mapTo(&window(), view->visualRect(view->model()->index(row, 0)).center());
        QTest::mouseClick(window().windowHandle(), Qt::RightButton, Qt::NoModifier, place);
        EXPECT_TRUE(pick.seen()) << "no menu opened";
        return items;
    }

    // A key with Ctrl, pressed where the window system delivers it: to the window, whose focus widget and
    // shortcuts take it.
    void pressCtrl(Qt::Key key) { QTest::keyClick(window().windowHandle(), key, Qt::ControlModifier); }

    void shiftClickCell(const QString& gridName, int row)
    {
        CategoryGrid* view = grid(gridName);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          view->visualRect(view->model()->index(row, 0)).center());
    }

    // The text of a PDF file, laid out as on the page.
    QString pdfText(const QString& pdf)
    {
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (tool.isEmpty()) {
            ADD_FAILURE() << "pdftotext (poppler-utils) is needed to read the PDF";
            return QString();
        }
        QProcess process;
        process.start(tool, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // Films whose titles start with "Sz" in an order only a Hungarian reader expects, among others.
    void addFilms(int count)
    {
        const QStringList starts = {QStringLiteral("Szőlő"), QStringLiteral("Szabó"), QStringLiteral("Alma"),
                                    QStringLiteral("Szász"), QStringLiteral("Száz"),  QStringLiteral("Szüret"),
                                    QStringLiteral("Csiga"), QStringLiteral("Szél")};
        catalogue->exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < count; ++i)
            catalogue->insert(
                "DVD_Filmek",
                {QStringLiteral("%1 %2").arg(starts.at(i % starts.size())).arg(i, 3, 10, QLatin1Char('0')),
                 QStringLiteral("Eredeti %1").arg(i), QStringLiteral("magyar"), QStringLiteral("angol"),
                 QStringLiteral("1"), QStringLiteral("01:30:00"), QStringLiteral("dráma")});
        catalogue->exec(QStringLiteral("COMMIT"));
    }
};

TEST_F(ListOutputTest, aSearchedListSavedAsPdfHoldsItsHeadingCaptionsAndEveryRowInOrder)
{
    addFilms(160);
    startWithCaptions();
    switchToTab(2);
    typeSearch(QStringLiteral("sz"));
    const QStringList shown = columnValues("DBGrid4", 0);
    ASSERT_EQ(shown.size(), 120);
    EXPECT_TRUE(shown.first().startsWith(QStringLiteral("Szabó"))) << shown.first().toStdString();
    EXPECT_TRUE(shown.last().startsWith(QStringLiteral("Szüret"))) << shown.last().toStdString();

    const QString pdf = folder.file(QStringLiteral("filmek.pdf"));
    desktop.saveFiles.chooseNext(pdf);
    const QStringList items = chooseFromMenu("DBGrid4", 3, QStringLiteral("Mentés PDF-be"));
    EXPECT_EQ(items,
              QStringList({QStringLiteral("Nyomtatás…\tCtrl+P"), QStringLiteral("Mentés PDF-be…"),
                           QStringLiteral("Másolás\tCtrl+C"), QString(), QStringLiteral("Beolvasás mappából…")}));
    expectNoErrors();
    EXPECT_EQ(desktop.saveFiles.lastFilter, QStringLiteral("PDF dokumentum (*.pdf)"));
    EXPECT_EQ(desktop.saveFiles.lastTitle, QStringLiteral("Mentés PDF-be"));
    EXPECT_TRUE(desktop.saveFiles.lastSuggestion.endsWith(QStringLiteral("/DVD filmek.pdf")))
        << desktop.saveFiles.lastSuggestion.toStdString();

    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("DVD filmek"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Katalógus: katalogus.tnx")));
    EXPECT_TRUE(text.contains(QStringLiteral("Tételek száma: 120")));
    EXPECT_TRUE(text.contains(QStringLiteral("Keresés: Cím: „sz” (kezdete)")));
    EXPECT_TRUE(text.contains(QStringLiteral("1. oldal")));
    EXPECT_TRUE(text.contains(QStringLiteral("2. oldal")));
    // The captions, in the grid's order, on one line before the rows.
    const QString captionLine =
        text.section(QLatin1Char('\n'), 0, -1).split(QLatin1Char('\n')).filter(QStringLiteral("Eredeti cím")).value(0);
    qsizetype at = -1;
    for (const char* caption : {"Cím", "Eredeti cím", "Nyelv", "Felirat", "db", "Hossz", "Stílus"}) {
        const qsizetype found = captionLine.indexOf(QString::fromUtf8(caption), at + 1);
        EXPECT_GT(found, at) << caption << " in " << captionLine.toStdString();
        at = found;
    }
    // Every row of the list, in its order, and none of the rows the search left out.
    at = text.indexOf(captionLine);
    for (const QString& title : shown) {
        const qsizetype found = text.indexOf(title + QLatin1Char(' '), at + 1);
        ASSERT_GT(found, at) << title.toStdString();
        at = found;
    }
    for (const char* other : {"Alma", "Csiga"})
        EXPECT_FALSE(text.contains(QString::fromUtf8(other)));
}

// What is wrong with the words in text: one not there exactly once, or out of order. Empty when all is well.
QString missingOrRepeated(const QString& text, const QStringList& words)
{
    qsizetype at = -1;
    for (const QString& word : words) {
        const qsizetype times = text.count(word);
        if (times != 1)
            return QStringLiteral("%1 printed %2 times").arg(word).arg(times);
        const qsizetype found = text.indexOf(word);
        if (found < at)
            return word + QStringLiteral(" out of order");
        at = found;
    }
    return QString();
}

TEST_F(ListOutputTest, aPdfHoldsEveryValueWholeLongOnesOverPagesAndCodesUnbroken)
{
    QStringList noteWords;
    for (int i = 1; i <= 500; ++i)
        noteWords << QStringLiteral("szó%1").arg(i, 4, 10, QLatin1Char('0'));
    const QString note = noteWords.join(QLatin1Char(' ')); // 4,499 characters, taller than a page
    QStringList lines;
    for (int i = 1; i <= 30; ++i)
        lines << QStringLiteral("sor %1").arg(i, 2, 10, QLatin1Char('0'));
    const QByteArray binary("\x00\x01\xfe\xff PK\x03\x04", 10);
    catalogue->insert("games", {QStringLiteral("Jegyzet"), note, QStringLiteral("700 MB"), QStringLiteral("CD-0445")});
    catalogue->insert("games", {QStringLiteral("Sorok"), lines.join(QLatin1Char('\n')), QStringLiteral("1 GB"),
                                QStringLiteral("CD-0446")});
    catalogue->insert("games", {QStringLiteral("Bináris"), binary, QStringLiteral("2 GB"), QStringLiteral("CD-0447")});
    startWithCaptions();
    switchToTab(4);
    // The code column as narrow as a user may leave it on the screen.
    dragColumn("DBGrid6", 3, 12 - columnWidth("DBGrid6", 3));
    ASSERT_LT(columnWidth("DBGrid6", 3), 30);

    // A binary value written by another program shows that there is one, on the screen and copied.
    const QString mark = QStringLiteral("‹bináris adat›");
    EXPECT_EQ(columnValues("DBGrid6", 1).value(0), mark);
    clickCell("DBGrid6", 0);
    pressCtrl(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text().section(QLatin1Char('\n'), 1, 1),
              QStringLiteral("Bináris\t") + mark + QStringLiteral("\t2 GB\tCD-0447"));

    const QString pdf = folder.file(QStringLiteral("jatekok.pdf"));
    desktop.saveFiles.chooseNext(pdf);
    chooseFromMenu("DBGrid6", 0, QStringLiteral("Mentés PDF-be"));
    expectNoErrors();
    const QString text = pdfText(pdf);
    EXPECT_EQ(missingOrRepeated(text, noteWords), QString()) << text.toStdString();
    EXPECT_EQ(missingOrRepeated(text, lines), QString()) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("2. oldal"))) << "the note goes on over the next page";
    for (const char* code : {"CD-0445", "CD-0446", "CD-0447"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(code))) << code << " broken in " << text.toStdString();
    EXPECT_TRUE(text.contains(mark)) << text.toStdString();
}

TEST_F(ListOutputTest, ctrlCCopiesTheSelectedRowsForASpreadsheet)
{
    catalogue->insert("Valogatasok",
                      {QStringLiteral("Zorán"), QStringLiteral("\"Körút\""), QStringLiteral("sor\nkettő"),
                       QStringLiteral("192"), QStringLiteral("5 MB"), QStringLiteral("K-3")});
    catalogue->insert("Valogatasok", {QStringLiteral("Ákos"), QStringLiteral("Ikon"), QStringLiteral("00:03:00"),
                                      QStringLiteral("ŐŰőű"), QStringLiteral("<b>4</b> MB"), QVariant()});
    catalogue->insert("Valogatasok", {QStringLiteral("Bëlga"), QStringLiteral("a\tb"), QStringLiteral(""),
                                      QStringLiteral("128"), QStringLiteral("3 MB"), QStringLiteral("K-2")});
    startWithCaptions();
    switchToTab(1);
    const QString header = QStringLiteral("Előadó\tAlbum\tIdő\tBitráta\tMéret\tKód\n");
    const QString akos = QStringLiteral("Ákos\tIkon\t00:03:00\tŐŰőű\t<b>4</b> MB\t\n");
    const QString belga = QStringLiteral("Bëlga\t\"a\tb\"\t\t128\t3 MB\tK-2\n");
    const QString zoran = QStringLiteral("Zorán\t\"\"\"Körút\"\"\"\t\"sor\nkettő\"\t192\t5 MB\tK-3\n");

    clickCell("DBGrid3", 0);
    pressCtrl(Qt::Key_A);
    pressCtrl(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), header + akos + belga + zoran);
    const QString html = QGuiApplication::clipboard()->mimeData()->html();
    EXPECT_TRUE(html.contains(QStringLiteral("<td>&lt;b&gt;4&lt;/b&gt; MB</td>"))) << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("<td>sor<br>kettő</td>"))) << html.toStdString();

    // A single click selects one row again; Shift extends it to a run of rows.
    clickCell("DBGrid3", 1);
    pressCtrl(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), header + belga);
    EXPECT_EQ(window().editState().currentRow.valogatasEloado, QStringLiteral("Bëlga"));
    shiftClickCell("DBGrid3", 2);
    pressCtrl(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), header + belga + zoran);

    // A column dragged to nothing is left out, as it is on the screen.
    dragColumn("DBGrid3", 1, -columnWidth("DBGrid3", 1));
    ASSERT_EQ(columnWidth("DBGrid3", 1), 0);
    clickCell("DBGrid3", 0);
    pressCtrl(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("Előadó\tIdő\tBitráta\tMéret\tKód\nÁkos\t00:03:00\tŐŰőű\t<b>4</b> MB\t\n"));

    // The menu's item copies the same.
    QGuiApplication::clipboard()->clear();
    chooseFromMenu("DBGrid3", 0, QStringLiteral("Másolás"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("Előadó\tIdő\tBitráta\tMéret\tKód\nÁkos\t00:03:00\tŐŰőű\t<b>4</b> MB\t\n"));
    expectNoErrors();
}

TEST_F(ListOutputTest, ctrlPShowsThePreviewOfTheListInView)
{
    addFilms(90);
    const qint64 album = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    for (int i = 0; i < 3; ++i)
        catalogue->addTrack(album, QStringLiteral("Dal %1").arg(i), QStringLiteral("00:03:00"), QStringLiteral("5 MB"),
                            QStringLiteral("192 kbps"), QStringLiteral("CD"));
    startWithCaptions();
    switchToTab(2);

    // From the search box: the whole list of the tab, on several pages.
    searchBox()->setFocus();
    int pages = 0;
    QString title;
    {
        WhenShown<QPrintPreviewDialog> look([&](QPrintPreviewDialog* preview) {
            title = preview->windowTitle();
            pages = preview->findChild<QPrintPreviewWidget*>()->pageCount();
            preview->reject();
        });
        pressCtrl(Qt::Key_P);
        EXPECT_TRUE(look.seen());
    }
    EXPECT_EQ(title, QStringLiteral("Nyomtatás – DVD filmek"));
    EXPECT_GE(pages, 2);
    // The window manager gives the focus back to the window when the preview closes.
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));

    // On the albums tab, the grid with the focus: the tracks of the album clicked.
    switchToTab(0);
    clickCell("DBGrid1", 0);
    clickCell("DBGrid2", 0);
    {
        WhenShown<QPrintPreviewDialog> look([&](QPrintPreviewDialog* preview) {
            title = preview->windowTitle();
            pages = preview->findChild<QPrintPreviewWidget*>()->pageCount();
            preview->reject();
        });
        pressCtrl(Qt::Key_P);
        EXPECT_TRUE(look.seen());
    }
    EXPECT_EQ(title, QStringLiteral("Nyomtatás – MP3 albumok: Omega – Időrabló"));
    EXPECT_EQ(pages, 1);
    expectNoErrors();
}

TEST_F(ListOutputTest, aListTooLongForThePreviewGoesStraightToThePrintDialog)
{
    addFilms(10001);
    startWithCaptions();
    switchToTab(2);
    bool previewed = false;
    QString title;
    {
        WhenShown<QPrintPreviewDialog> preview([&](QPrintPreviewDialog* dialog) {
            previewed = true;
            dialog->reject();
        });
        WhenShown<QPrintDialog> look([&](QPrintDialog* dialog) {
            title = dialog->windowTitle();
            dialog->reject();
        });
        pressCtrl(Qt::Key_P);
        EXPECT_TRUE(look.seen());
    }
    EXPECT_FALSE(previewed);
    EXPECT_EQ(title, QStringLiteral("Nyomtatás – DVD filmek"));
    EXPECT_EQ(desktop.prompts.informations,
              QStringList({QStringLiteral("A lista 10001 sora túl hosszú a nyomtatási képhez: a nyomtatás előnézet "
                                          "nélkül, a nyomtató kiválasztása után indul.")}));
    expectNoErrors();
}

TEST_F(ListOutputTest, aPdfThatIsCancelledOrCannotBeWrittenLeavesTheOldFile)
{
    addFilms(4000);
    startWithCaptions();
    switchToTab(2);
    const QString pdf = folder.file(QStringLiteral("lista.pdf"));
    folder.writeBytes(QStringLiteral("lista.pdf"), "régi");

    // The save dialog cancelled: nothing is written.
    desktop.saveFiles.cancelNext();
    chooseFromMenu("DBGrid4", 0, QStringLiteral("Mentés PDF-be"));
    EXPECT_EQ(desktop.saveFiles.shown, 1);
    EXPECT_EQ(folder.readBytes(QStringLiteral("lista.pdf")), QByteArray("régi"));

    // Stopped from the progress dialog once it shows (at once here, however fast the machine): the old file stays,
    // and no part of a new one is left.
    window().findChild<ListCommands*>(QStringLiteral("listCommands"))->setProgressDelay(0);
    desktop.saveFiles.chooseNext(pdf);
    bool stopped = false;
    QTimer stop;
    QObject::connect(&stop, &QTimer::timeout, [&] {
        auto* progress = window().findChild<QProgressDialog*>(QStringLiteral("printProgress"));
        if (progress && progress->isVisible() && !stopped) {
            stopped = true;
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        }
    });
    stop.start(0);
    chooseFromMenu("DBGrid4", 0, QStringLiteral("Mentés PDF-be"));
    stop.stop();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(folder.readBytes(QStringLiteral("lista.pdf")), QByteArray("régi"));
    EXPECT_EQ(QDir(folder.path()).entryList({QStringLiteral("*.pdf*")}, QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("lista.pdf")}));
    expectNoErrors();

    // A folder that takes no file: the user is told, in the window's language.
    desktop.saveFiles.chooseNext(folder.file(QStringLiteral("nincs/ilyen/lista.pdf")));
    chooseFromMenu("DBGrid4", 0, QStringLiteral("Mentés PDF-be"));
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().startsWith(QStringLiteral("A PDF nem menthető ide: ")))
        << desktop.errors.reports.first().toStdString();
    // The system's own text comes last, after the words every report puts before it.
    EXPECT_TRUE(desktop.errors.reports.first().contains(QStringLiteral("\r\rEredeti üzenet: ")))
        << desktop.errors.reports.first().toStdString();
}

} // namespace
