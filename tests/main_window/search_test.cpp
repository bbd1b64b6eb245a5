// SPDX-License-Identifier: GPL-3.0-or-later

#include "category_fixture.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>

namespace {

class SearchFixture : public CategoryFixture
{
protected:
    void clickContains()
    {
        QTest::mouseClick(widget<QCheckBox>("tartalmazza"), Qt::LeftButton);
        settleOnServer();
    }

    void emptySearchBox()
    {
        searchBox()->setFocus();
        QTest::keyClick(searchBox(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(searchBox(), Qt::Key_Backspace);
        settleOnServer();
    }

    void addFilms()
    {
        catalogue->insert("DVD_Filmek", {"Alien", "Alien", "angol", "magyar", "1", "01:57:00", "sci-fi"});
        catalogue->insert("DVD_Filmek", {"Mátrix", "The Matrix", "magyar", "", "2", "02:16:00", "akció"});
    }
};

// Run on both engines.
class SearchTest : public OnBothEngines<SearchFixture>
{
};

TEST_P(SearchTest, prefixOrContainmentAndAnEmptyBoxListsTheWholeTab)
{
    for (const char* artist : {"zzz", "xabc", "abcd"})
        catalogue->addAlbum(QString::fromUtf8(artist), QStringLiteral("A"));
    TFoablak& main = startWithCaptions();

    typeSearch(QStringLiteral("abc"));
    EXPECT_EQ(columnValues("DBGrid1", 0), QStringList({"abcd"}));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(main.browseQuery().statement().text(),
              QStringLiteral("SELECT eloado, album FROM eloado where ELOADO like 'abc%' ORDER BY eloado.ELOADO, "
                             "eloado.album"));

    clickContains();
    EXPECT_EQ(columnValues("DBGrid1", 0), QStringList({"abcd", "xabc"}));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(main.browseQuery().statement().text(),
              QStringLiteral("SELECT eloado, album FROM eloado where ELOADO like '%abc%' ORDER BY eloado.ELOADO, "
                             "eloado.album"));

    emptySearchBox();
    EXPECT_EQ(columnValues("DBGrid1", 0), QStringList({"abcd", "xabc", "zzz"}));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("3"));

    // The tick alone lists the tab again, with rows another program has added meanwhile.
    catalogue->addAlbum(QStringLiteral("új"), QStringLiteral("B"));
    clickContains();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("4"));
    expectNoErrors();
}

TEST_P(SearchTest, everyItemOfEveryTabFiltersOnItsOwnColumn)
{
    // Each column of the first row holds "a<column>", of the second "b<column>".
    for (const char* table : {"Valogatasok", "DVD_Filmek", "Filmek_videoklippek", "games", "progs_other"}) {
        const int columns = catalogue->rows(QStringLiteral("PRAGMA table_info(%1)").arg(table)).size();
        for (const char* prefix : {"a", "b"}) {
            QVariantList values;
            for (int column = 0; column < columns; ++column)
                values << QStringLiteral("%1%2").arg(prefix).arg(column);
            catalogue->insert(table, values);
        }
    }
    TFoablak& main = startWithCaptions();
    for (int tab = 1; tab <= 5; ++tab) {
        switchToTab(tab);
        const QString gridName = main.grid(tab)->objectName();
        const QStringList items = comboItems(searchColumns());
        ASSERT_EQ(items.size(), main.grid(tab)->model()->columnCount());
        for (int item = 0; item < items.size(); ++item) {
            SCOPED_TRACE((gridName + QLatin1Char(' ') + items[item]).toStdString());
            chooseSearchColumn(items[item]);
            EXPECT_EQ(searchBox()->text(), QString());
            typeSearch(QStringLiteral("a%1").arg(item));
            EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
            EXPECT_EQ(columnValues(gridName, item), QStringList({QStringLiteral("a%1").arg(item)}));
        }
    }
    EXPECT_EQ(main.searchColumn, QStringLiteral("KOD"));
    expectNoErrors();
}

TEST_P(SearchTest, anotherColumnEmptiesTheBoxAndAnEqualTextRunsNothing)
{
    addFilms();
    TFoablak& main = startWithCaptions();
    switchToTab(2);

    typeSearch(QStringLiteral("Al"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    chooseSearchColumn(QStringLiteral("Eredeti cím"));
    EXPECT_EQ(searchBox()->text(), QString());
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(main.searchColumn, QStringLiteral("EREDETI_CIM"));

    // With an empty box the choice runs nothing: a row added meanwhile is not listed yet.
    catalogue->insert("DVD_Filmek", {"Amélie", "Le Fabuleux Destin", "francia", "magyar", "1", "02:02:00", ""});
    chooseSearchColumn(QStringLiteral("Nyelv"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    EXPECT_EQ(main.searchColumn, QStringLiteral("EREDETI_CIM"));

    typeSearch(QStringLiteral("ma"));
    EXPECT_EQ(main.searchColumn, QStringLiteral("Nyelv"));
    EXPECT_EQ(columnValues("DBGrid4", 0), QStringList({"Mátrix"}));

    // Setting the text the box already holds is no change; another text is.
    catalogue->insert("DVD_Filmek", {"Mágnás Miska", "", "magyar", "", "1", "01:40:00", "vígjáték"});
    searchBox()->setText(QStringLiteral("ma"));
    settleOnServer();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    searchBox()->setText(QStringLiteral("mag"));
    settleOnServer();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("2"));
    expectNoErrors();
}

TEST_P(SearchTest, aSearchThatFindsNothingKeepsTheGridAndHidesNoLabel)
{
    addFilms();
    startWithCaptions();
    switchToTab(2);
    typeSearch(QStringLiteral("zzz"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("0"));
    EXPECT_TRUE(grid("DBGrid4")->isVisible());
    EXPECT_FALSE(label("dvd_nincs_adat")->isVisible());

    // The programs table is empty: its grid stays hidden behind its label while searching.
    switchToTab(5);
    typeSearch(QStringLiteral("x"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("0"));
    EXPECT_FALSE(grid("DBGrid7")->isVisible());
    EXPECT_TRUE(label("progs_nincs_adat")->isVisible());
    expectNoErrors();
}

TEST_P(SearchTest, theTypedTextIsThePatternQuotesBlanksAndWildcardsIncluded)
{
    for (const char* name : {"O'Brien kalandjai", "abc d", "abcd", "50% kedvezmény", "a_c", "xyz"})
        catalogue->insert("games", {QString::fromUtf8(name), "", "700", ""});
    catalogue->insert("games", {"Doom", "", "1400", ""});
    TFoablak& main = startWithCaptions();
    switchToTab(4);

    typeSearch(QStringLiteral("abc "));
    EXPECT_EQ(columnValues("DBGrid6", 0), QStringList({"abc d"}));
    emptySearchBox();
    typeSearch(QStringLiteral("O'B"));
    EXPECT_EQ(columnValues("DBGrid6", 0), QStringList({"O'Brien kalandjai"}));
    emptySearchBox();
    typeSearch(QStringLiteral("a_c"));
    EXPECT_EQ(columnValues("DBGrid6", 0), QStringList({"a_c", "abc d", "abcd"}));
    emptySearchBox();
    typeSearch(QStringLiteral("%kedv"));
    EXPECT_EQ(columnValues("DBGrid6", 0), QStringList({"50% kedvezmény"}));

    // The size column is written with its trailing blank.
    chooseSearchColumn(QStringLiteral("Méret"));
    typeSearch(QStringLiteral("700"));
    EXPECT_EQ(main.browseQuery().statement().text(),
              QStringLiteral("SELECT * FROM games where MERET  like '700%' ORDER BY games.NEV"));
    EXPECT_EQ(countLabel()->text(), QStringLiteral("6"));
    expectNoErrors();
}

// Upper and lower case find each other for every letter of the alphabet, the accented ones too, in prefix and in
// containment searches; a backslash and double quotes are characters like any other.
TEST_P(SearchTest, everyLetterFindsItsOtherCaseAsPrefixAndWithin)
{
    const QString letters = QStringLiteral("aábcdeéfghiíjklmnoóöőpqrstuúüűvwxyz");
    for (const QChar letter : letters)
        catalogue->insert("games", {QString(letter) + QLatin1Char('-') + letter, "", "1", ""});
    const QString odd = QStringLiteral("\\Játékok \"Idéző\" 100%");
    catalogue->insert("games", {odd, "", "1", ""});
    startWithCaptions();
    switchToTab(4);
    const auto search = [this](const QString& text) {
        searchBox()->setText(text);
        settleOnServer();
        return columnValues("DBGrid6", 0);
    };
    for (const QChar letter : letters) {
        const QString name = QString(letter) + QLatin1Char('-') + letter;
        EXPECT_EQ(search(QString(letter.toUpper())), QStringList({name})) << name.toStdString();
    }
    EXPECT_EQ(search(QStringLiteral("\\jÁ")), QStringList({odd}));
    clickContains();
    for (const QChar letter : letters) {
        const QString name = QString(letter) + QLatin1Char('-') + letter;
        EXPECT_EQ(search(QStringLiteral("-") + letter.toUpper()), QStringList({name})) << name.toStdString();
    }
    EXPECT_EQ(search(QStringLiteral("\\JÁTÉKOK \"IDÉZŐ\" 100")), QStringList({odd}));
    EXPECT_EQ(search(QStringLiteral("ző\" 100%")), QStringList({odd}));
    expectNoErrors();
}

TEST_P(SearchTest, anItemNamingNoColumnKeepsTheLastColumnAndItsFailureIsReported)
{
    addFilms();
    catalogue->insert("games", {"Doom", "", "700", "G1"});
    TFoablak& main = startWithCaptions();
    main.textSlots().set(139, QStringLiteral("Név"));
    switchToTab(2);
    chooseSearchColumn(QStringLiteral("Nyelv"));
    typeSearch(QStringLiteral("ang"));
    ASSERT_EQ(main.searchColumn, QStringLiteral("Nyelv"));

    switchToTab(4);
    ASSERT_EQ(searchColumns()->currentText(), QStringLiteral("Név"));
    typeSearch(QStringLiteral("D"));
    EXPECT_EQ(main.searchColumn, QStringLiteral("Nyelv"));
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    EXPECT_TRUE(desktop.errors.reports[0].contains(QStringLiteral("Nyelv"))) << desktop.errors.reports[0].toStdString();
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    EXPECT_EQ(grid("DBGrid6")->model()->rowCount(), 0);

    // The next change tries again; an item that maps makes the search work.
    chooseSearchColumn(QStringLiteral("Kód"));
    typeSearch(QStringLiteral("G"));
    EXPECT_EQ(columnValues("DBGrid6", 0), QStringList({"Doom"}));
    EXPECT_EQ(desktop.errors.reports.size(), 1);
}

TEST_P(SearchTest, theShownAlbumAndTheWidthsOutliveAFilter)
{
    const qint64 album = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->addAlbum(QStringLiteral("Zorán"), QStringLiteral("Kotta nélkül"));
    catalogue->addTrack(album, QStringLiteral("Ezüst eső"), "5:10", "8100", "192", "CD1");
    TFoablak& main = startWithCaptions();
    clickCell("DBGrid1", 0);
    clickCell("DBGrid2", 0);
    dragColumn("DBGrid1", 0, 30);
    // A width set without a button released over the grid is kept by the search itself.
    grid("DBGrid1")->horizontalHeader()->resizeSection(1, 77);

    typeSearch(QStringLiteral("Z"));
    EXPECT_EQ(columnValues("DBGrid1", 0), QStringList({"Zorán"}));
    EXPECT_EQ(columnValues("DBGrid2", 0), QStringList({"Ezüst eső"}));
    EXPECT_EQ(label("eloado_label")->text(), QStringLiteral("Omega"));
    EXPECT_EQ(label("album_label")->text(), QStringLiteral("Időrabló"));
    EXPECT_EQ(main.editState().currentRow.albumEloado, QStringLiteral("Omega"));
    EXPECT_EQ(main.editState().currentRow.trackCim, QStringLiteral("Ezüst eső"));
    EXPECT_TRUE(main.editState().trackGridActive);
    EXPECT_EQ(grid("DBGrid1")->columnWidths(), std::vector<int>({180, 77}));

    switchToTab(1);
    switchToTab(0);
    EXPECT_EQ(grid("DBGrid1")->columnWidths(), std::vector<int>({180, 77}));
    expectNoErrors();
}

TEST_F(SearchFixture, aPasteLongerThanALineEditsDefaultIsSearchedWhole)
{
    // Two names that differ only after the 32,767th character.
    const QString common =
        QStringLiteral("Árvíztűrő tükörfúrógép ") + QStringLiteral("abcdefghij ").repeated(3634); // 39,997 characters
    const QString wanted = common + QStringLiteral("ABC");
    catalogue->insert("games", {wanted, "", "1", ""});
    catalogue->insert("games", {common + QStringLiteral("XYZ"), "", "1", ""});
    startWithCaptions();
    switchToTab(4);
    ASSERT_EQ(countLabel()->text(), QStringLiteral("2"));

    QGuiApplication::clipboard()->setText(wanted);
    searchBox()->setFocus();
    QTest::keyClick(searchBox(), Qt::Key_V, Qt::ControlModifier);
    settleOnServer();
    EXPECT_EQ(searchBox()->text().size(), 40000);
    const QStringList found = columnValues("DBGrid6", 0);
    EXPECT_TRUE(found == QStringList({wanted})) << found.size() << " rows, not the one pasted whole";
    EXPECT_EQ(countLabel()->text(), QStringLiteral("1"));
    expectNoErrors();
}

RUN_ON_BOTH_ENGINES(SearchTest);

} // namespace
