#include "main_window/category_grid.h"
#include "store/hungarian.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <algorithm>

static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

class LongListTest : public WindowFixture
{
protected:
    // Games inserted against their Hungarian order, more than a few screens of them.
    QStringList addGames(int count)
    {
        static const QStringList words = {"Zsákutca", "Ötödik", "ősz", "Szél", "sas", "Csata", "cukor", "Ágyú", "alma"};
        QStringList names;
        catalogue->exec(QStringLiteral("BEGIN"));
        for (int i = count - 1; i >= 0; --i) {
            const QString name = QStringLiteral("%1 %2").arg(words.at(i % words.size())).arg(i);
            catalogue->insert(QStringLiteral("games"), {name, QString(), QStringLiteral("%1 MB").arg(i), QString()});
            names << name;
        }
        catalogue->exec(QStringLiteral("COMMIT"));
        std::sort(names.begin(), names.end(),
                  [](const QString& a, const QString& b) { return store::hungarian::compare(a, b) < 0; });
        return names;
    }

    // Starts the window and goes on past the question about the language file, so that it stays shown.
    void startShown()
    {
        desktop.prompts.answerNext(platform::Answer::Yes);
        start();
        QApplication::processEvents();
        ASSERT_TRUE(window().isVisible());
    }
};

TEST_F(LongListTest, theGridReachesEveryRowAndAClickReadsTheRowUnderTheMouse)
{
    const QStringList names = addGames(700);
    startShown();
    switchToTab(4);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("700"));
    CategoryGrid* games = grid(QStringLiteral("DBGrid6"));
    ASSERT_TRUE(games);
    ASSERT_EQ(games->model()->rowCount(), 700);
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join(QLatin1Char(10)).toStdString();
    EXPECT_TRUE(games->isVisible());

    // Jump to the end: the last rows are there at once.
    games->scrollToBottom();
    QApplication::processEvents();
    const QModelIndex bottom = games->indexAt(QPoint(10, games->viewport()->height() - 4));
    ASSERT_TRUE(bottom.isValid());
    EXPECT_EQ(bottom.row(), 699);
    EXPECT_EQ(bottom.data().toString(), names.last());

    // A click in the middle of a long list reads the row under the mouse, by column name.
    QSignalSpy clicks(games, &CategoryGrid::rowClicked);
    for (int row : {431, 12, 640}) {
        clickCell(QStringLiteral("DBGrid6"), row, 2);
        ASSERT_FALSE(clicks.isEmpty());
        const int clicked = clicks.takeLast().first().toInt();
        EXPECT_EQ(clicked, row);
        EXPECT_EQ(window().browseQuery().fieldText(clicked, QStringLiteral("NEV")), names.at(row));
        EXPECT_EQ(games->model()->index(row, 0).data().toString(), names.at(row));
        EXPECT_EQ(games->model()->index(row, 2).data().toString(),
                  window().browseQuery().fieldText(clicked, QStringLiteral("MERET")));
    }
}

TEST_F(LongListTest, switchingTabsListsEachTableAgainFromItsStart)
{
    const QStringList names = addGames(300);
    startShown();
    switchToTab(4);
    CategoryGrid* games = grid(QStringLiteral("DBGrid6"));
    games->scrollToBottom();
    switchToTab(2);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("0"));
    switchToTab(4);
    EXPECT_EQ(countLabel()->text(), QStringLiteral("300"));
    EXPECT_EQ(games->model()->index(0, 0).data().toString(), names.first());
    EXPECT_EQ(games->model()->index(299, 0).data().toString(), names.last());
}

} // namespace
