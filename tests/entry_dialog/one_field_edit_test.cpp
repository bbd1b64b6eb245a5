// SPDX-License-Identifier: GPL-3.0-or-later

#include "record_fixture.h"

#include "entry_dialog/up_down.h"

#include <QToolButton>
#include <functional>

// An edit that changes one field writes exactly that column, through the real widgets of each page; an edit
// that changes nothing leaves every stored value as it was, an unusual length and a NULL included.

namespace {

// What a NULL reads as below, so that it is told apart from an empty text on both engines.
const char* const null = "<NULL>";

class OneFieldEditFixture : public RecordFixture
{
protected:
    struct Change
    {
        const char* what;
        std::function<void()> gesture;
        int column;           // the column of the read-back list that changes
        const char* expected; // its stored text afterwards
    };
    struct Page
    {
        int tab;
        const char* table;
        QStringList columns; // read back in this order
        QVariantList stored; // the row as another program left it
        std::vector<Change> changes;
    };

    void SetUp() override
    {
        RecordFixture::SetUp();
        window().textSlots().set(301, QStringLiteral("Módosít"));
    }

    // Puts the page's row back as stored and opens it for editing from its grid.
    void openStoredRow(const Page& page)
    {
        if (page.tab == 0) {
            catalogue->exec("DELETE FROM szamok");
            catalogue->exec("DELETE FROM eloado");
            const qint64 key = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Égi jel"));
            QVariantList track = trackRow;
            track << key;
            catalogue->insert(QStringLiteral("szamok"), track);
        } else {
            catalogue->exec(QStringLiteral("DELETE FROM ") + page.table);
            catalogue->insert(QString::fromLatin1(page.table), page.stored);
        }
        switchToTab(page.tab);
        relist();
        if (page.tab == 0) {
            clickCell(QStringLiteral("DBGrid1"), 0);
            if (QLatin1String(page.table) == QLatin1String("szamok"))
                clickCell(QStringLiteral("DBGrid2"), 0);
        } else {
            clickCell(gridOf(page.tab), 0);
        }
        pressSzerkesztes();
        ASSERT_TRUE(window().editState().mode.editMode);
    }

    QVariantList readBack(const Page& page) const
    {
        QStringList shown;
        for (const QString& column : page.columns)
            shown << QStringLiteral("coalesce(%1, '%2')").arg(column, QString::fromLatin1(null));
        const QList<QVariantList> rows =
            catalogue->rows(QStringLiteral("SELECT ") + shown.join(", ") + " FROM " + page.table);
        return rows.size() == 1 ? rows.at(0) : QVariantList({QStringLiteral("%1 rows").arg(rows.size())});
    }

    static QVariantList asRead(const QVariantList& stored)
    {
        QVariantList read;
        for (const QVariant& value : stored)
            read << (value.isNull() ? QString::fromLatin1(null) : value.toString());
        return read;
    }

    static QString gridOf(int tab) { return QStringLiteral("DBGrid%1").arg(tab + 2); }

    void typeLength(const char* hours, const char* minutes, const char* seconds, const QStringList& fields)
    {
        typeInto(fields.at(0), QString::fromLatin1(hours));
        typeInto(fields.at(1), QString::fromLatin1(minutes));
        typeInto(fields.at(2), QString::fromLatin1(seconds));
    }
    void clickUpArrow()
    {
        QTest::mouseClick(control<UpDown>(QStringLiteral("UpDown1"))->findChild<QToolButton*>("up"), Qt::LeftButton);
    }

    const QVariantList trackRow{"Nyitány", "1:02:03", QVariant(), "192", "CD1"};
};

class OneFieldEditTest : public OnBothEngines<OneFieldEditFixture>
{
};

TEST_P(OneFieldEditTest, eachFieldOfEachPageChangesItsColumnAndNothingElse)
{
    const std::vector<Page> pagesToEdit{
        {0,
         "eloado",
         {"ELOADO", "ALBUM"},
         {"Omega", "Égi jel"},
         {{"artist", [this] { typeInto("eloado_neve", "Omega Band"); }, 0, "Omega Band"},
          {"album", [this] { typeInto("Album_cime", "Égi jel 2"); }, 1, "Égi jel 2"}}},
        {0,
         "szamok",
         {"CIM", "IDO", "MERET", "BITRATA", "KOD"},
         trackRow,
         {{"title", [this] { typeInto("Szam_cime", "Nyitány II"); }, 0, "Nyitány II"},
          {"length",
           [this] {
               typeLength("02", "03", "04", {"album_ora", "album_perc", "album_mp"});
           },
           1, "02:03:04"},
          {"size", [this] { typeInto("Meret", "5 MB"); }, 2, "5 MB"},
          {"bit rate", [this] { typeInto("Tomorites", "320"); }, 3, "320"},
          {"code", [this] { typeInto("Kod", "CD2"); }, 4, "CD2"}}},
        {1,
         "Valogatasok",
         {"ELOADO", "ALBUM", "IDO", "BITRATA", "MERET", "KOD"},
         {"Neoton - Vándorének", "Best of", "1:02:03", "128", "3 MB", QVariant()},
         {{"artist and title", [this] { typeInto("Eloado_szam_cime", "Neoton - Kétszázhúsz"); }, 0,
           "Neoton - Kétszázhúsz"},
          {"album", [this] { typeInto("Album_cim", "Legjobb"); }, 1, "Legjobb"},
          {"length",
           [this] {
               typeLength("02", "03", "04", {"valogatas_ora", "valogatas_perc", "valogatas_mp"});
           },
           2, "02:03:04"},
          {"bit rate", [this] { typeInto("Tomoritesi_mertek", "256"); }, 3, "256"},
          {"size", [this] { typeInto("szam_merete", "4 MB"); }, 4, "4 MB"},
          {"code", [this] { typeInto("CD_Kod", "V9"); }, 5, "V9"}}},
        {2,
         "DVD_Filmek",
         {"CIM", "EREDETI_CIM", "NYELV", "FELIRAT", "DB_DVD", "HOSSZ", "STILUS"},
         {"A tanú", QVariant(), "AC3/6 HU, DTS/6 EN", "magyar", "2", "1:02:03", "Vígjáték"},
         {{"title", [this] { typeInto("Film_cime", "A tanú (1969)"); }, 0, "A tanú (1969)"},
          {"original title", [this] { typeInto("Film_eredeti_cime", "The Witness"); }, 1, "The Witness"},
          {"sound tracks",
           [this] {
               typeIntoCombo("hang", "DD/2 HU");
               click("Nyelv_hozzaad");
           },
           2, "AC3/6 HU, DTS/6 EN, DD/2 HU"},
          {"subtitles", [this] { doubleClickItem("Film_feliratai", 0); }, 3, "-"},
          {"disc count by the arrow", [this] { clickUpArrow(); }, 4, "3"},
          {"disc count typed", [this] { typeInto("DVD_db_szam", "1"); }, 4, "1"},
          {"length",
           [this] {
               typeLength("02", "03", "04", {"film_ora", "film_perc", "film_mp"});
           },
           5, "02:03:04"},
          {"style", [this] { typeIntoCombo("Stilus", "Dráma"); }, 6, "Dráma"}}},
        {3,
         "Filmek_videoklippek",
         {"CIM", "MEGJEGYZES", "NYELV", "FELBONTAS", "MERET", "HOSSZ", "STILUS", "VIDEO", "HANG"},
         {"Klip", "élő", "magyar", "720", "50 MB", "1:02:03", "pop", QVariant(), "MP3"},
         {{"title", [this] { typeInto("Clip_cime", "Klip 2"); }, 0, "Klip 2"},
          {"description", [this] { typeInto("Clip_leiras", "stúdió"); }, 1, "stúdió"},
          {"language", [this] { typeInto("Clip_nyelv", "angol"); }, 2, "angol"},
          {"resolution", [this] { typeInto("Clip_felbontas", "1080"); }, 3, "1080"},
          {"size", [this] { typeInto("Clip_meret", "70 MB"); }, 4, "70 MB"},
          {"length",
           [this] {
               typeLength("02", "03", "04", {"clip_ora", "clip_perc", "clip_mp"});
           },
           5, "02:03:04"},
          {"style", [this] { typeInto("Clip_stilus", "rock"); }, 6, "rock"},
          {"video", [this] { typeInto("Clip_video", "H.264"); }, 7, "H.264"},
          {"sound", [this] { typeInto("Clip_hang", "AAC"); }, 8, "AAC"}}},
        {4,
         "games",
         {"NEV", "MEGJEGYZES", "MERET", "KOD"},
         {"Doom", "FPS", "40 MB", QVariant()},
         {{"name", [this] { typeInto("Jatek_neve", "Doom II"); }, 0, "Doom II"},
          {"note", [this] { typeInto("Megjegyzes", "lövöldözős"); }, 1, "lövöldözős"},
          {"size", [this] { typeInto("Jatek_merete", "45 MB"); }, 2, "45 MB"},
          {"code", [this] { typeInto("JatekCD_kodja", "G7"); }, 3, "G7"}}},
        {5,
         "progs_other",
         {"PROGRAMOK", "MEGJEGYZES", "MERET", "KOD"},
         {"Office", QVariant(), "300 MB", "P1"},
         {{"name", [this] { typeInto("Progs_neve", "LibreOffice"); }, 0, "LibreOffice"},
          {"note", [this] { typeInto("Progs_Megjegyezes", "irodai"); }, 1, "irodai"},
          {"size", [this] { typeInto("Progs_meret", "350 MB"); }, 2, "350 MB"},
          {"code", [this] { typeInto("Progs_kod", "P2"); }, 3, "P2"}}},
    };

    for (const Page& page : pagesToEdit) {
        const QVariantList stored = asRead(page.table == QLatin1String("szamok") ? trackRow : page.stored);
        // Opened and recorded untouched: nothing is rewritten, not even a length in another form or a NULL.
        {
            SCOPED_TRACE(std::string(page.table) + ": untouched");
            openStoredRow(page);
            desktop.prompts.informations.clear();
            press();
            expectNoErrors();
            EXPECT_TRUE(desktop.prompts.informations.isEmpty());
            EXPECT_FALSE(dialog().isVisible());
            EXPECT_EQ(readBack(page), stored);
        }
        for (const Change& change : page.changes) {
            SCOPED_TRACE(std::string(page.table) + ": " + change.what);
            openStoredRow(page);
            change.gesture();
            desktop.prompts.informations.clear();
            press();
            expectNoErrors();
            EXPECT_TRUE(desktop.prompts.informations.isEmpty())
                << desktop.prompts.informations.join('\n').toStdString();
            EXPECT_FALSE(dialog().isVisible());
            QVariantList expected = stored;
            expected[change.column] = QString::fromUtf8(change.expected);
            EXPECT_EQ(readBack(page), expected);
        }
    }
}

// A disc count that is no whole number, as another program may store it: the message names the field and what
// it holds (not the catalogue), and the row is still edited without the count being rewritten.
TEST_P(OneFieldEditTest, aDiscCountThatIsNoWholeNumberIsNamedAndKeptThroughAnEdit)
{
    const QString field = QStringLiteral("„Mennyi DVD-n található meg a film?”");
    // In turn, each differing from the one before: the field tells only a change of its text.
    const std::vector<std::pair<QVariant, QString>> counts{{QStringLiteral("2 lemez"), QStringLiteral("„2 lemez”")},
                                                           {QVariant(), QStringLiteral("üres")},
                                                           {QStringLiteral(" 1 "), QStringLiteral("„ 1 ”")},
                                                           {QStringLiteral(""), QStringLiteral("üres")}};
    Page page{2, "DVD_Filmek", {"CIM", "DB_DVD"}, {}, {}};
    for (const auto& [count, told] : counts) {
        SCOPED_TRACE(count.isNull() ? std::string("NULL") : count.toString().toStdString());
        page.stored = {"A tanú", "The Witness", "AC3/6 HU", "-", count, "01:32:05", "Vígjáték"};
        desktop.errors.reports.clear();
        openStoredRow(page);
        ASSERT_EQ(desktop.errors.reports.size(), 1);
        const QString report = desktop.errors.reports.first();
        EXPECT_TRUE(report.startsWith(QStringLiteral("A ") + field)) << report.toStdString();
        EXPECT_TRUE(report.contains(told)) << report.toStdString();
        EXPECT_FALSE(report.contains(QStringLiteral("katalógussal"))) << report.toStdString();
        EXPECT_TRUE(report.endsWith(
            QStringLiteral("\r\rEredeti üzenet: '%1' is not a valid integer value").arg(count.toString())))
            << report.toStdString();
        EXPECT_EQ(text("DVD_db_szam"), count.toString());
        EXPECT_TRUE(dialog().isVisible());

        desktop.errors.reports.clear();
        typeInto("Film_cime", "A tanú (1969)");
        press();
        expectNoErrors();
        EXPECT_FALSE(dialog().isVisible());
        EXPECT_EQ(readBack(page),
                  QVariantList({"A tanú (1969)", count.isNull() ? QString::fromLatin1(null) : count.toString()}));
    }
}

RUN_ON_BOTH_ENGINES(OneFieldEditTest);

} // namespace
