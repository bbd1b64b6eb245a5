// SPDX-License-Identifier: GPL-3.0-or-later

#include "localisation/codepage.h"
#include "main_window/category_grid.h"
#include "engine/categories.h"
#include "support/window_fixture.h"
#include "support/reported_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {

const QString languageQuestion =
    QStringLiteral("A nyelvi file nem megfelelő verziószámú!\rEz azt eredményezi, hogy nem lesz\rminden lefordítva! "
                   "Folytatod?");

// The grids and the language slots of their column titles, left to right.
const std::vector<std::pair<QString, std::vector<int>>> gridTitleSlots = {
    {"DBGrid1", {124, 125}},
    {"DBGrid2", {126, 127, 128, 129, 130}},
    {"DBGrid3", {124, 125, 127, 129, 128, 130}},
    {"DBGrid4", {126, 131, 132, 133, 134, 135, 136}},
    {"DBGrid5", {126, 138, 132, 142, 128, 135, 136, 140, 141}},
    {"DBGrid6", {139, 138, 128, 130}},
    {"DBGrid7", {137, 138, 128, 130}},
    {"DBGrid8", {126, 131, 141, 135, 130}},
};

class LanguageTest : public WindowFixture
{
protected:
    // Writes HU_magyar.lng from the lines given, in code page 1250 with CR LF after each.
    void writeLanguage(const QStringList& lines)
    {
        folder.writeBytes(
            QStringLiteral("HU_magyar.lng"),
            localisation::encode1250(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).value());
    }

    QStringList titles(const QString& gridName) const
    {
        QStringList result;
        CategoryGrid* view = grid(gridName);
        for (int column = 0; view && column < view->model()->columnCount(); ++column)
            result << view->model()->headerData(column, Qt::Horizontal).toString();
        return result;
    }

    QString caption(const QString& name)
    {
        if (auto* button = window().findChild<QAbstractButton*>(name))
            return button->text();
        if (auto* label = window().findChild<QLabel*>(name))
            return label->text();
        ADD_FAILURE() << "no captioned control " << name.toStdString();
        return QString();
    }

    QStringList tabTexts()
    {
        QStringList result;
        for (int tab = 0; tab < ::engine::categoryCount; ++tab)
            result << window().pageCaption(tab);
        return result;
    }

    std::vector<int> emptyTitleCounts()
    {
        std::vector<int> counts;
        for (const auto& [name, ids] : gridTitleSlots)
            counts.push_back(static_cast<int>(titles(name).count(QString())));
        return counts;
    }
};

// The captions of the main window and the control each language ID names.
const std::vector<std::pair<int, QString>> captionControls = {
    {102, "kereses_label"}, {103, "tartalmazza"}, {104, "Label1"},       {105, "verzio_szama"}, {106, "open"},
    {107, "Felvetel"},      {108, "Szerkesztes"}, {109, "Adat_torlese"}, {110, "Kilepes"},
};

TEST_F(LanguageTest, theShippedFileTranslatesTheWindowAndNamesEverySearchColumn)
{
    folder.installShippedLanguage();
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Gammapolis"));
    TFoablak& main = start();

    EXPECT_TRUE(main.languageVersionOk);
    EXPECT_TRUE(desktop.prompts.confirmations.isEmpty()) << "no question about the language file";
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    EXPECT_EQ(main.windowTitle(), main.textSlots().text(1) + QLatin1Char(' ') + catalogue->path());
    EXPECT_TRUE(main.windowTitle().startsWith(QStringLiteral("Médiatár"))) << main.windowTitle().toStdString();
    EXPECT_EQ(caption("kereses_label"), QStringLiteral("Keresendő szöveg:"));
    EXPECT_EQ(caption("Felvetel"), QStringLiteral("&Adatbevitel"));
    EXPECT_EQ(caption("Kilepes"), QStringLiteral("&Kilépés"));
    EXPECT_EQ(caption("Label1"), QStringLiteral("találat van."));
    EXPECT_EQ(tabTexts(), (QStringList{"MP3 albumok", "MP3 válogatások", "DVD filmek", "Filmek és videoklipek",
                                       "Játékok", "Programok és egyéb dolgok", "VHS", "Könyvek"}));

    // Every slot of the catalogue has a text.
    std::vector<int> slotIds = {1, 2, 3, 101, 111, 112, 201, 203, 204, 301, 302, 303};
    for (int id = 121; id <= 142; ++id)
        slotIds.push_back(id);
    for (int id = 20501; id <= 20524; ++id)
        slotIds.push_back(id);
    for (int id : slotIds)
        EXPECT_FALSE(main.textSlots().text(id).isEmpty()) << "slot " << id;

    // The search maps a column only by its fixed caption: titles and search items must be exactly those.
    for (int tab = 0; tab < ::engine::dataCategoryCount; ++tab) {
        const ::engine::Category& category = ::engine::category(tab);
        QStringList fixed;
        for (const ::engine::SearchCaption& entry : category.searchCaptions)
            fixed << entry.caption;
        EXPECT_EQ(titles(category.gridName), fixed) << "tab " << tab;
        switchToTab(tab);
        EXPECT_EQ(comboItems(searchColumns()), fixed) << "tab " << tab;
        for (const QString& item : comboItems(searchColumns()))
            EXPECT_FALSE(category.searchColumnFor(item).isEmpty()) << item.toStdString();
    }
    EXPECT_EQ(titles("DBGrid2"), (QStringList{"Cím", "Idő", "Méret", "Bitráta", "Kód"}));
    EXPECT_EQ(titles("DBGrid8"), (QStringList{"Cím", "Eredeti cím", "Hang", "Hossz", "Kód"}));
}

TEST_F(LanguageTest, eachColumnTitleComesFromItsOwnSlot)
{
    QStringList lines = {"1.0"};
    for (int id = 124; id <= 142; ++id)
        lines << QStringLiteral("%1=\"T%1\"").arg(id);
    writeLanguage(lines);
    start();
    for (const auto& [name, ids] : gridTitleSlots) {
        QStringList expected;
        for (int slot : ids)
            expected << QStringLiteral("T%1").arg(slot);
        EXPECT_EQ(titles(name), expected) << name.toStdString();
    }
    EXPECT_EQ(titles("DBGrid9"), QStringList());
}

TEST_F(LanguageTest, eachCaptionIdReachesItsControlAndTheLaterLineWins)
{
    QStringList lines = {"1.0", "1=\"első\"", "1=\"Katalógus:\"", "106=\"&Régi\""};
    for (const auto& [id, name] : captionControls)
        lines << QStringLiteral("%1=\"C%1\"").arg(id);
    for (int id = 113; id <= 120; ++id)
        lines << QStringLiteral("%1=\"Lap %1\"").arg(id);
    lines << "202=\"nincs\""
          << "0=\"nulla\""
          << "999=\"sok\""
          << "-2=\"negatív\""
          << " +0003=\"Szerkesztés\"";
    writeLanguage(lines);
    TFoablak& main = start();

    for (const auto& [id, name] : captionControls)
        EXPECT_EQ(caption(name), QStringLiteral("C%1").arg(id)) << name.toStdString();
    EXPECT_EQ(tabTexts(),
              (QStringList{"Lap 113", "Lap 114", "Lap 115", "Lap 116", "Lap 117", "Lap 118", "Lap 119", "Lap 120"}));
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Katalógus: ") + catalogue->path());
    EXPECT_EQ(main.textSlots().text(3), QStringLiteral("Szerkesztés"));
    for (int id : {202, 0, 999, -2, 102, 106, 113})
        EXPECT_FALSE(main.textSlots().isSet(id)) << id;
}

TEST_F(LanguageTest, withoutAFileTheDesignedCaptionsAndTitlesStay)
{
    desktop.prompts.answerNext(platform::Answer::Yes);
    TFoablak& main = start();

    EXPECT_FALSE(main.languageVersionOk);
    EXPECT_EQ(desktop.prompts.confirmations, QStringList{languageQuestion});
    EXPECT_FALSE(main.startAborted);
    EXPECT_EQ(main.windowTitle(), QLatin1Char(' ') + catalogue->path());
    EXPECT_EQ(caption("kereses_label"), QStringLiteral("Keresendő szöveg:"));
    EXPECT_EQ(caption("open"), QStringLiteral("&Megnyitás"));
    EXPECT_EQ(main.pageCaption(7), QStringLiteral("könyv"));
    EXPECT_EQ(titles("DBGrid1"), (QStringList{"Előadó", "Album"}));
    EXPECT_EQ(titles("DBGrid4").value(0), QStringLiteral("CIM"));
    EXPECT_EQ(comboItems(searchColumns()), (QStringList{"", ""}));
}

TEST_F(LanguageTest, aDirectoryInPlaceOfTheFileCountsAsNoFile)
{
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("HU_magyar.lng")));
    TFoablak& main = start();
    EXPECT_FALSE(main.languageVersionOk);
    EXPECT_EQ(desktop.prompts.confirmations, QStringList{languageQuestion});
    EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    EXPECT_EQ(titles("DBGrid1"), (QStringList{"Előadó", "Album"}));
}

class WrongVersionTest : public LanguageTest, public ::testing::WithParamInterface<QByteArray>
{
};

TEST_P(WrongVersionTest, emptiesEveryColumnTitleAndReadsNothingElse)
{
    folder.writeBytes(QStringLiteral("HU_magyar.lng"), GetParam() + "\r\n102=\"Keres:\"\r\n124=\"Előadó\"\r\n");
    TFoablak& main = start();
    EXPECT_FALSE(main.languageVersionOk);
    EXPECT_EQ(desktop.prompts.confirmations, QStringList{languageQuestion});
    EXPECT_EQ(caption("kereses_label"), QStringLiteral("Keresendő szöveg:"));
    EXPECT_FALSE(main.textSlots().isSet(124));
    EXPECT_EQ(emptyTitleCounts(), (std::vector<int>{2, 5, 6, 7, 9, 4, 4, 5}));
}

std::string versionName(const ::testing::TestParamInfo<QByteArray>& info)
{
    static const char* const names[] = {"trailingBlank", "extraDigit", "byteOrderMark"};
    return names[info.index];
}

// A trailing blank, one digit too many, and a byte-order mark as an editor would write it.
INSTANTIATE_TEST_SUITE_P(Versions, WrongVersionTest,
                         ::testing::Values(QByteArray("1.0 "), QByteArray("1.00"),
                                           QByteArray("\xEF\xBB\xBF"
                                                      "1.0")),
                         versionName);

TEST_F(LanguageTest, aFileOfOnlyTheVersionLineEmptiesEveryColumnTitle)
{
    writeLanguage({"1.0"});
    TFoablak& main = start();
    EXPECT_TRUE(main.languageVersionOk);
    EXPECT_TRUE(desktop.prompts.confirmations.isEmpty());
    EXPECT_EQ(emptyTitleCounts(), (std::vector<int>{2, 5, 6, 7, 9, 4, 4, 5}));
    EXPECT_EQ(caption("open"), QStringLiteral("&Megnyitás"));
}

TEST_F(LanguageTest, aMalformedIdStopsThePassAndStartUpWithIt)
{
    writeLanguage({"1.0", "102=\"Keres:\"", "2=\"a=b\"", "103=\"Benne van\"", "124=\"Előadó\""});
    TFoablak& main = start();

    EXPECT_EQ(originalTexts(desktop.errors.reports), QStringList{"'2=\"a' is not a valid integer value"});
    EXPECT_TRUE(main.languageVersionOk);
    EXPECT_EQ(caption("kereses_label"), QStringLiteral("Keres:"));
    EXPECT_EQ(main.textSlots().text(2), QStringLiteral("a=b"));
    EXPECT_EQ(caption("tartalmazza"), QStringLiteral("Tartalmazza"));
    EXPECT_FALSE(main.textSlots().isSet(124));
    // The column titles keep their designed texts, and start-up ends before the question and the catalogue.
    EXPECT_EQ(titles("DBGrid1"), (QStringList{"Előadó", "Album"}));
    EXPECT_EQ(titles("DBGrid3").value(0), QStringLiteral("ELOADO"));
    EXPECT_TRUE(desktop.prompts.confirmations.isEmpty());
    EXPECT_NE(main.windowTitle(), QLatin1Char(' ') + catalogue->path());
}

} // namespace
