#include "main_window/category_grid.h"
#include "support/window_fixture.h"

#include <QLabel>
#include <QTabWidget>

namespace {

class StartupTest : public WindowFixture
{
};

TEST_F(StartupTest, listsTheAlbumsOfTheLastCatalogue)
{
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->addAlbum(QStringLiteral("Ábel"), QStringLiteral("Első"));
    TFoablak& main = start();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(main.OpenDialog1.fileName, catalogue->path());
    EXPECT_EQ(tabs()->currentIndex(), 0);
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
}

} // namespace
