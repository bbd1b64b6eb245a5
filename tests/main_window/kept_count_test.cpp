// SPDX-License-Identifier: GPL-3.0-or-later

#include "category_fixture.h"

#include "main_window/category_grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>

// A kept count another program made wrong shows no blank rows: the screen that comes back short has the count
// recounted, and the tab lists the rows there are with their true count.

namespace {

class KeptCountTest : public CategoryFixture
{
};

TEST_F(KeptCountTest, aCountTooHighIsMendedWhenTheScreenComesBackShort)
{
    for (const char* name : {"Szél", "alma", "Ötödik"})
        catalogue->insert(QStringLiteral("games"), {QString::fromUtf8(name), "x", "1 GB", "K1"});
    startWithCaptions();
    catalogue->exec(QStringLiteral("UPDATE mediatar_row_counts SET row_count = 70 WHERE table_name = 'games'"));
    switchToTab(4);
    CategoryGrid* games = grid(QStringLiteral("DBGrid6"));
    games->repaint(); // the rows on the screen are read: fewer than the count says
    QElapsedTimer waited;
    waited.start();
    while (countLabel()->text() != QLatin1String("3") && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));
    ASSERT_EQ(games->model()->rowCount(), 3);
    QStringList shown;
    for (int row = 0; row < 3; ++row)
        shown << games->model()->index(row, 0).data().toString();
    EXPECT_EQ(shown, QStringList({"alma", "Ötödik", "Szél"}));
    EXPECT_EQ(catalogue->rows(QStringLiteral("SELECT row_count FROM mediatar_row_counts WHERE table_name = 'games'"))
                  .value(0)
                  .value(0)
                  .toInt(),
              3);
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

} // namespace
