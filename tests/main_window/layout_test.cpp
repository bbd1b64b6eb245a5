// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/category_grid.h"
#include "support/window_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

class LayoutTest : public WindowFixture
{
protected:
    LayoutTest() { desktop.prompts.setDefaultAnswer(platform::Answer::Yes); }
    QPoint place(const char* name) const { return widget<QWidget>(name)->pos(); }
    QSize size(const char* name) const { return widget<QWidget>(name)->size(); }
};

TEST_F(LayoutTest, smallestWindowKeepsTheDesignedPlaces)
{
    TFoablak& main = start();
    main.resize(744, 457);
    main.FormResize();
    EXPECT_EQ(size("Olvasas"), QSize(627, 421));
    for (const char* button : {"open", "Felvetel", "Szerkesztes", "Adat_torlese", "Kilepes"})
        EXPECT_EQ(place(button).x(), 661) << button;
    EXPECT_EQ(place("kereses").x(), 647);
    EXPECT_EQ(place("verzio_szama"), QPoint(655, 439));
    EXPECT_EQ(place("email").y(), 423);
    EXPECT_EQ(place("Kilepes").y(), 439 - 16 * 4 - 42);
    EXPECT_EQ(place("open").y(), place("Felvetel").y() - 53);
    // The window cannot get smaller than that.
    main.resize(500, 300);
    EXPECT_EQ(main.size(), QSize(744, 457));
}

TEST_F(LayoutTest, wideningMovesTheRightColumnAndGrowsTheGrids)
{
    TFoablak& main = start();
    // Wide enough that no grid is held at its minimum before or after.
    main.resize(800, 457);
    const QPoint button = place("Kilepes");
    const QPoint count = place("Label2");
    const QSize grid1 = size("DBGrid1");
    const QSize grid2 = size("DBGrid2");
    const QSize grid4 = size("DBGrid4");
    const QPoint notice = place("dvd_nincs_adat");
    main.resize(900, 457);
    EXPECT_EQ(place("Kilepes"), button + QPoint(100, 0));
    EXPECT_EQ(size("Olvasas"), QSize(783, 421));
    EXPECT_EQ(size("DBGrid4").width(), grid4.width() + 100);
    EXPECT_EQ(size("DBGrid1").width(), grid1.width() + 50);
    EXPECT_EQ(size("DBGrid2").width(), grid2.width() + 50);
    EXPECT_EQ(place("DBGrid2").x(), size("DBGrid1").width() + 32);
    EXPECT_EQ(place("album_label").x(), place("DBGrid2").x());
    EXPECT_EQ(place("Label2"), count + QPoint(50, 0));
    EXPECT_EQ(place("dvd_nincs_adat"), notice + QPoint(50, 0));
}

TEST_F(LayoutTest, oddWidthHalvesDownwardsAndTallerGrowsTheGrids)
{
    TFoablak& main = start();
    main.resize(745, 557);
    EXPECT_EQ(place("Label1"), QPoint(316, 539));
    EXPECT_EQ(size("Olvasas"), QSize(628, 521));
    // The page is the page control less its tabs and border; the grids fill it less their margins.
    EXPECT_EQ(size("DBGrid3"), QSize(628 - 8 - 40, 521 - 28 - 33));
    EXPECT_EQ(size("DBGrid1").height(), 521 - 28 - 40);
}

TEST_F(LayoutTest, gridsNeverShrinkBelowTheirMinimum)
{
    TFoablak& main = start();
    main.resize(744, 457);
    // At the smallest window the computed album grid width is below its minimum: it is held there, and the
    // track grid starts 32 to the right of it.
    EXPECT_EQ(size("DBGrid1").width(), 281);
    EXPECT_EQ(place("DBGrid2").x(), 281 + 32);
    EXPECT_GE(size("DBGrid4").width(), 557);
}

} // namespace
