// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/category_grid.h"
#include "engine/categories.h"
#include "support/window_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <functional>

namespace {

class BrowsingFixture : public WindowFixture
{
protected:
    BrowsingFixture() { desktop.prompts.setDefaultAnswer(platform::Answer::Yes); }

    QLabel* emptyLabel(const char* name) const { return widget<QLabel>(name); }

    void fillEveryTable()
    {
        const qint64 album = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
        catalogue->addTrack(album, QStringLiteral("Hajnal"), QStringLiteral("00:04:10"), QStringLiteral("5 MB"),
                            QStringLiteral("192 kbps"), QStringLiteral("CD-1"));
        catalogue->insert("Valogatasok", {"Máté Péter - Elmegyek", "Örökzöld", "00:03:00", "128", "4 MB", "CD-2"});
        catalogue->insert("Valogatasok", {"Cserháti - Édes", "Örökzöld", "00:03:10", "128", "4 MB", "CD-2"});
        catalogue->insert("DVD_Filmek", {"Üvegtigris", "Glass Tiger", "AC3/6 HU", "-", "1", "01:35:00", "Vígjáték"});
        catalogue->insert("Filmek_videoklippek",
                          {"Balaton", "úti film", "magyar", "720x576", "700 MB", "00:40:00", "úti", "XviD", "MP3"});
        catalogue->insert("games", {"Honfoglaló", "stratégia", "700 MB", "CD-42"});
        catalogue->insert("games", {"Honfoglaló", "stratégia", "700 MB", "CD-42"});
        catalogue->insert("games", {"Ébredő sárkány", "szerepjáték", "4,3 GB", "DVD-3"});
        catalogue->insert("progs_other", {"Víruskereső", "", "95 MB", QVariant()});
    }
};

class BrowsingTest : public OnBothEngines<BrowsingFixture>
{
};

// A table another program dropped, as the file engine words it.
class BrowsingFileTest : public BrowsingFixture
{
};

TEST_P(BrowsingTest, everyTabListsItsTableWithCountAndSearchColumns)
{
    fillEveryTable();
    TFoablak& main = start();
    main.FormActivate();
    main.textSlots().set(139, QStringLiteral("Játék neve"));
    const std::vector<std::pair<const char*, int>> expected = {{"DBGrid1", 1}, {"DBGrid3", 2}, {"DBGrid4", 1},
                                                               {"DBGrid5", 1}, {"DBGrid6", 3}, {"DBGrid7", 1}};
    const std::vector<int> searchColumnCounts = {2, 6, 7, 9, 4, 4};
    for (int tab = 0; tab < 6; ++tab) {
        switchToTab(tab);
        SCOPED_TRACE(tab);
        EXPECT_EQ(countLabel()->text(), QString::number(expected[tab].second));
        CategoryGrid* view = grid(expected[tab].first);
        EXPECT_TRUE(view->isVisibleTo(view->parentWidget()));
        EXPECT_EQ(view->model()->rowCount(), expected[tab].second);
        EXPECT_EQ(searchColumns()->count(), searchColumnCounts[tab]);
        EXPECT_EQ(searchColumns()->currentIndex(), 0);
        // The grid shows exactly its listed columns, whatever else the row set holds.
        EXPECT_EQ(view->model()->columnCount(), static_cast<int>(main.columnWidths[tab].size()));
    }
    switchToTab(4);
    EXPECT_EQ(searchColumns()->itemText(0), QStringLiteral("Játék neve"));
    // Ordered by name as a Hungarian reader expects (É with the e's, before H); equal rows are both listed.
    QAbstractItemModel* games = grid("DBGrid6")->model();
    EXPECT_EQ(games->index(0, 0).data().toString(), QStringLiteral("Ébredő sárkány"));
    EXPECT_EQ(games->index(1, 0).data().toString(), QStringLiteral("Honfoglaló"));
    EXPECT_EQ(games->index(2, 0).data().toString(), QStringLiteral("Honfoglaló"));
    EXPECT_EQ(games->index(2, 3).data().toString(), QStringLiteral("CD-42"));
    switchToTab(5);
    EXPECT_EQ(grid("DBGrid7")->model()->index(0, 3).data().toString(), QString()) << "a null shows as empty";
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

TEST_P(BrowsingTest, emptyTablesShowTheirNoticeInsteadOfTheGrid)
{
    TFoablak& main = start();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("0"));
    EXPECT_FALSE(grid("DBGrid1")->isVisibleTo(grid("DBGrid1")->parentWidget()));
    EXPECT_FALSE(grid("DBGrid2")->isVisibleTo(grid("DBGrid2")->parentWidget()));
    QLabel* notice = emptyLabel("album_nincs_adat");
    EXPECT_TRUE(notice->isVisibleTo(notice->parentWidget()));
    EXPECT_EQ(notice->text(), QStringLiteral("Az adatbázis nem tartalmaz adatokat!"));
    switchToTab(2);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("0"));
    EXPECT_TRUE(emptyLabel("dvd_nincs_adat")->isVisibleTo(main.emptyLabel(2)->parentWidget()));

    // Rows written meanwhile appear at the next switch, and the notice goes.
    catalogue->insert("DVD_Filmek", {"A tanú", "The Witness", "AC3/2 HU", "-", "1", "01:50:00", "Vígjáték"});
    switchToTab(0);
    switchToTab(2);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_FALSE(emptyLabel("dvd_nincs_adat")->isVisibleTo(main.emptyLabel(2)->parentWidget()));
    EXPECT_TRUE(grid("DBGrid4")->isVisibleTo(grid("DBGrid4")->parentWidget()));
}

TEST_P(BrowsingTest, switchingTabsForgetsKeyFieldsAndEmptiesTheSearch)
{
    fillEveryTable();
    TFoablak& main = start();
    main.editState().currentRow.gamesNev = QStringLiteral("Honfoglaló");
    main.editState().currentRow.gamesKod = QStringLiteral("CD-42");
    main.editState().currentRow.dvdStilus = QStringLiteral("Vígjáték");
    main.editState().trackGridActive = true;
    main.editState().albumGridActive = false;
    switchToTab(3);
    EXPECT_TRUE(main.editState().currentRow.gamesNev.isEmpty());
    EXPECT_EQ(main.editState().currentRow.gamesKod, QStringLiteral("CD-42")) << "not a key field";
    EXPECT_EQ(main.editState().currentRow.dvdStilus, QStringLiteral("Vígjáték"));
    EXPECT_TRUE(main.editState().albumGridActive);
    EXPECT_FALSE(main.editState().trackGridActive);
    EXPECT_FALSE(main.detailQuery().isOpen());
}

TEST_P(BrowsingTest, rememberedWidthsAreAppliedAndRunningTwiceGivesTheSameList)
{
    fillEveryTable();
    TFoablak& main = start();
    main.columnWidths[2][0] = 123;
    switchToTab(2);
    EXPECT_EQ(grid("DBGrid4")->columnWidths().front(), 123);
    main.OlvasasChange();
    main.OlvasasChange();
    settleOnServer();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(grid("DBGrid4")->columnWidths().front(), 123);
}

TEST_F(BrowsingFileTest, aMissingTableIsReportedWhenItsTabIsListed)
{
    fillEveryTable();
    catalogue->exec(QStringLiteral("DROP TABLE games"));
    start();
    EXPECT_TRUE(desktop.errors.reports.isEmpty());
    switchToTab(4);
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports.first().contains(QStringLiteral("no such table: games")))
        << desktop.errors.reports.first().toStdString();
    // The new tab's search columns are already in place; the other tabs still work.
    EXPECT_EQ(searchColumns()->count(), 4);
    switchToTab(5);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
}

TEST_F(BrowsingFileTest, theVhsAndBooksPagesAreReachedByNoInputNorByScreenReaders)
{
    fillEveryTable();
    TFoablak& main = start();
    main.FormActivate();
    QTabBar* bar = tabs()->tabBar();
    const auto wheel = [bar](int notches) {
        const QPointF place = bar->tabRect(bar->currentIndex()).center();
        QWheelEvent event(place, bar->mapToGlobal(place), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &event);
    };
    const std::vector<std::pair<const char*, std::function<void()>>> gestures = {
        {"wheel", [&] { wheel(1); }},
        {"Right key", [&] { QTest::keyClick(bar, Qt::Key_Right); }},
    };
    for (const auto& [name, gesture] : gestures) {
        SCOPED_TRACE(name);
        switchToTab(4);
        bar->setFocus();
        gesture();
        ASSERT_EQ(tabs()->currentIndex(), 5) << "the gesture moves to the next tab";
        gesture();
        gesture();
        EXPECT_EQ(tabs()->currentIndex(), 5);
        EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
        EXPECT_EQ(searchColumns()->count(), 4);
    }

    // A screen reader lists the six categories and nothing else.
    QStringList listed;
    QAccessibleInterface* accessibleBar = QAccessible::queryAccessibleInterface(bar);
    ASSERT_TRUE(accessibleBar);
    for (int i = 0; i < accessibleBar->childCount(); ++i) {
        if (QAccessibleInterface* child = accessibleBar->child(i); child && child->role() == QAccessible::PageTab)
            listed << child->text(QAccessible::Name);
    }
    QStringList categories;
    for (int tab = 0; tab < ::engine::dataCategoryCount; ++tab)
        categories << main.pageCaption(tab).remove(QLatin1Char('&'));
    EXPECT_EQ(listed, categories);
    EXPECT_FALSE(listed.contains(QStringLiteral("VHS")));
    // Their captions stay, for the grids that carry them.
    EXPECT_EQ(main.pageCaption(6), QStringLiteral("VHS"));
    EXPECT_EQ(grid("DBGrid9")->accessibleName(), QStringLiteral("könyv"));
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

RUN_ON_BOTH_ENGINES(BrowsingTest);

} // namespace
