#include "entry_dialog/duration_edit.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/up_down.h"
#include "entry_fixture.h"

// The dialog as it stands right after start-up: its pages and controls with their names, kinds, captions,
// first texts, focus order and enabled states, and the help window.

namespace {

class FormTest : public EntryFixture
{
protected:
    // The controls of a page in the order Tab visits them, starting at its first control. The edit part of
    // a drop-down has no name of its own and is passed over.
    QStringList focusOrder(const QString& first, int count)
    {
        QStringList names;
        QWidget* current = control<QWidget>(first);
        while (current && names.size() < count) {
            if ((current->focusPolicy() & Qt::TabFocus) && !current->objectName().isEmpty())
                names << current->objectName();
            current = current->nextInFocusChain();
        }
        return names;
    }
    QString labelOf(const QString& name) const { return control<LabeledEdit>(name)->label()->text(); }
};

TEST_F(FormTest, isOneHiddenModelessWindowOfFixedSizeWithSixPages)
{
    TRogzites& entry = startAll();
    EXPECT_EQ(entry.objectName(), QStringLiteral("Rogzites"));
    EXPECT_TRUE(entry.isWindow());
    EXPECT_FALSE(entry.isVisible());
    EXPECT_EQ(entry.windowModality(), Qt::NonModal);
    EXPECT_EQ(entry.size(), QSize(748, 516));
    EXPECT_EQ(entry.minimumSize(), entry.maximumSize());
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("Adatbevitel"));
    EXPECT_EQ(window().entryDialog(), &entry);

    const QStringList names = {"TabSheet1", "TabSheet2", "DVD_movie", "TabSheet4", "TabSheet5", "TabSheet6"};
    const QStringList captions = {"Mp3 albumok",           "Mp3 válogatások", "DVD filmek",
                                  "filmek és videoklipek", "Játékok",         "Programok és egyéb dolgok"};
    ASSERT_EQ(pages()->count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pages()->widget(i)->objectName(), names.at(i));
        EXPECT_EQ(pages()->tabText(i), captions.at(i));
    }
    EXPECT_EQ(control<QPushButton>("Rogzit_new")->text(), QStringLiteral("Rögzít és új &adat"));
    EXPECT_EQ(control<QPushButton>("Rogzit_end")->text(), QStringLiteral("Rögzít és &Kilép"));
    EXPECT_EQ(control<QPushButton>("Cancel_exit")->text(), QStringLiteral("Kilépés rögzítés &nélkül"));
    // The three buttons lie below the page control, inside the window.
    for (const char* button : {"Rogzit_new", "Rogzit_end", "Cancel_exit"}) {
        const QRect place = control<QPushButton>(button)->geometry();
        EXPECT_GE(place.top(), pages()->geometry().bottom()) << button;
        EXPECT_TRUE(entry.rect().contains(place)) << button;
    }
}

TEST_F(FormTest, everyLabeledEditCarriesItsCaptionAndStartsEmpty)
{
    startAll();
    const std::vector<std::pair<const char*, const char*>> captions = {
        {"eloado_neve", "Előadő/zenekar neve:"},
        {"Album_cime", "Album címe:"},
        {"Szam_cime", "Szám címe:"},
        {"Meret", "Szám mérete:"},
        {"Tomorites", "Szám tömörítési mértéke:"},
        {"Kod", "Adathordozó sorszáma/azonosítója:"},
        {"Eloado_szam_cime", "Előadó/zenekar neve - Szám címe:"},
        {"Album_cim", "Album címe:"},
        {"szam_merete", "Szám mérete:"},
        {"CD_Kod", "Adathordozó sorszáma/azonosítója:"},
        {"Tomoritesi_mertek", "Szám tömörítési mértéke:"},
        {"Clip_cime", "Film/videoklipp címe:"},
        {"Clip_leiras", "Eredeti cím/leírás/megjegyzés:"},
        {"Clip_nyelv", "Film nyelve:"},
        {"Clip_felbontas", "Film felbontása:"},
        {"Clip_meret", "Mérete:"},
        {"Clip_stilus", "Stílus:"},
        {"Clip_video", "Video kódek/CD kódja:"},
        {"Clip_hang", "Hangkódek:"},
        {"Jatek_neve", "Játék neve:"},
        {"Megjegyzes", "Megjegyzés/Stílus:"},
        {"Jatek_merete", "Játék mérete:"},
        {"JatekCD_kodja", "Adathordozó kódja:"},
        {"Progs_neve", "Programok neve:"},
        {"Progs_Megjegyezes", "Megjegyezés:"},
        {"Progs_meret", "Méret:"},
        {"Progs_kod", "Adathordozó kódja:"},
    };
    for (const auto& [name, caption] : captions) {
        EXPECT_EQ(labelOf(name), QString::fromUtf8(caption)) << name;
        EXPECT_EQ(text(name), QString()) << name;
        EXPECT_TRUE(edit(name)->isEnabled()) << name;
    }
}

TEST_F(FormTest, labelsCheckBoxesAndTheDvdControlsHaveTheirDesignedTexts)
{
    startAll();
    const std::vector<std::pair<const char*, const char*>> labels = {
        {"Label1", "Szám hossza:"},
        {"Label11", ":"},
        {"Label12", ":"},
        {"Label3", "Szám hossza:"},
        {"Label9", ":"},
        {"Label10", ":"},
        {"film_magyar_cime", "Film magyar címe:"},
        {"Filmcim", "Film eredeti címe:"},
        {"Film_hang", "Film hanganyagai:"},
        {"Film_felarat", "Film felíratai:"},
        {"film_stilus", "Film stílusa:"},
        {"film_dvd", "Mennyi DVD-n található meg a film?"},
        {"film_hossza", "Film hossza:"},
        {"Label7", ":"},
        {"Label8", ":"},
        {"clip_hossz", "Film/Klip hossza:"},
        {"Label5", ":"},
        {"Label6", ":"},
    };
    for (const auto& [name, caption] : labels)
        EXPECT_EQ(control<QLabel>(name)->text(), QString::fromUtf8(caption)) << name;

    const std::vector<std::pair<const char*, const char*>> boxes = {
        {"Audio_cd", "Audió CD"},
        {"Eloado_azonos", "Előadó/Zenekar neve megegyezik"},
        {"Album_azonos", "Előadó/Zenekar Album címe megegyezik"},
        {"Games_name", "Játék neve megegyezik"},
        {"Games_stilus", "Megjegyzés/Stílus megegyezik"},
        {"Games_adathordozo", "Adathordozó kódja megegyezik"},
    };
    for (const auto& [name, caption] : boxes) {
        EXPECT_EQ(checkBox(name)->text(), QString::fromUtf8(caption)) << name;
        EXPECT_FALSE(checkBox(name)->isChecked()) << name;
        EXPECT_EQ(checkBox(name)->isEnabled(), QByteArray(name) != "Album_azonos") << name;
    }

    EXPECT_EQ(text("Film_cime"), QString());
    EXPECT_EQ(text("Film_eredeti_cime"), QString());
    EXPECT_EQ(list("Film_hangjai")->count(), 0);
    EXPECT_EQ(list("Film_feliratai")->count(), 0);
    EXPECT_EQ(combo("hang")->currentText(), QStringLiteral("(Válaszd ki a nyelvet)"));
    EXPECT_EQ(combo("Felirat")->currentText(), QStringLiteral("(Válaszd ki a felíratot)"));
    EXPECT_EQ(combo("Stilus")->currentText(), QStringLiteral("Válassz kategóriát:"));
    for (const char* name : {"hang", "Felirat", "Stilus"})
        EXPECT_TRUE(combo(name)->isEditable()) << name;
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("1"));
    UpDown* upDown = control<UpDown>("UpDown1");
    EXPECT_EQ(upDown->position(), 1);
    EXPECT_EQ(upDown->minimum(), 1);
    EXPECT_EQ(upDown->maximum(), 99);
    EXPECT_EQ(control<QPushButton>("Nyelv_hozzaad")->text(), QStringLiteral("Hozzáad"));
    EXPECT_EQ(control<QPushButton>("felirat_hozzaad")->text(), QStringLiteral("Hozzáad"));
    QPushButton* info = control<QPushButton>("info");
    EXPECT_EQ(info->text(), QStringLiteral("i"));
    EXPECT_TRUE(info->font().bold());
}

TEST_F(FormTest, theTwelveLengthFieldsStartAtDoubleZeroWithTheirBounds)
{
    startAll();
    for (const char* prefix : {"album", "valogatas", "film", "clip"}) {
        for (const auto& [suffix, bound] : {std::pair{"_ora", "24"}, {"_perc", "59"}, {"_mp", "59"}}) {
            const QString name = QString::fromLatin1(prefix) + QString::fromLatin1(suffix);
            DurationEdit* field = control<DurationEdit>(name);
            ASSERT_TRUE(field) << name.toStdString();
            EXPECT_EQ(field->text(), QStringLiteral("00")) << name.toStdString();
            EXPECT_EQ(field->bound(), QString::fromLatin1(bound)) << name.toStdString();
        }
    }
}

TEST_F(FormTest, theChoosersOfferTheirDesignedItemsWithoutALanguageFile)
{
    startAll();
    EXPECT_EQ(comboItems("hang"),
              QStringList({"AC3/6 HU", "DTS/6 HU", "AC3/6 EN", "DTS/6 EN", "AC3/6 surround", "AC3/4 HU", "AC3/4 EN",
                           "AC3/2 HU", "AC3/2 EN", "AC3/1 HU", "AC3/1 EN", "MPEG/2", "egyéb"}));
    EXPECT_EQ(comboItems("Felirat"), QStringList({"angol", "magyar", "egyéb"}));
    EXPECT_EQ(comboItems("Stilus"),
              QStringList({"Aerobick", "Akció", "Animáció", "Családi", "Dráma", "Fantasy", "Háborús", "Horror",
                           "Imeretterjesztő", "Kaland", "Misztikus", "Musical", "Opera", "Rajzfilm", "Romantikus",
                           "Sci-fi", "Thriller", "Történelmi", "Vígjáték"}));
}

TEST_F(FormTest, tabVisitsTheControlsOfEachPageInTheirDesignedOrder)
{
    startAll();
    EXPECT_EQ(focusOrder("eloado_neve", 12),
              QStringList({"eloado_neve", "Album_cime", "Szam_cime", "album_ora", "album_perc", "album_mp", "Meret",
                           "Tomorites", "Kod", "Audio_cd", "Eloado_azonos", "Album_azonos"}));
    EXPECT_EQ(focusOrder("Eloado_szam_cime", 8),
              QStringList({"Eloado_szam_cime", "Album_cim", "szam_merete", "valogatas_ora", "valogatas_perc",
                           "valogatas_mp", "CD_Kod", "Tomoritesi_mertek"}));
    EXPECT_EQ(focusOrder("Film_cime", 15),
              QStringList({"Film_cime", "Film_eredeti_cime", "Film_hangjai", "Film_feliratai", "hang", "Nyelv_hozzaad",
                           "Felirat", "felirat_hozzaad", "Stilus", "DVD_db_szam", "UpDown1", "film_ora", "film_perc",
                           "film_mp", "info"}));
    EXPECT_EQ(focusOrder("Clip_cime", 11),
              QStringList({"Clip_cime", "Clip_leiras", "Clip_nyelv", "Clip_felbontas", "Clip_meret", "clip_ora",
                           "clip_perc", "clip_mp", "Clip_stilus", "Clip_video", "Clip_hang"}));
    EXPECT_EQ(focusOrder("Jatek_neve", 7), QStringList({"Jatek_neve", "Megjegyzes", "Jatek_merete", "JatekCD_kodja",
                                                        "Games_name", "Games_stilus", "Games_adathordozo"}));
    EXPECT_EQ(focusOrder("Progs_neve", 4),
              QStringList({"Progs_neve", "Progs_Megjegyezes", "Progs_meret", "Progs_kod"}));
}

TEST_F(FormTest, theHelpWindowShowsItsFourLinesModallyAndOkClosesIt)
{
    startAll();
    Thang_felirat_help& helpWindow = help();
    EXPECT_EQ(helpWindow.objectName(), QStringLiteral("hang_felirat_help"));
    EXPECT_EQ(helpWindow.windowTitle(), QStringLiteral("Segítség"));
    EXPECT_EQ(helpWindow.size(), QSize(269, 159));
    const QStringList lines = {"A hangnál és a felíratnál, ha kettőt kattintasz a",
                               "listából ki tudod venni azt amire nincs", "szükséged. Ha esetleg véletlenül mást adtál",
                               "volna hozzá, mint amit szerettél volna."};
    for (int i = 0; i < 4; ++i) {
        auto* label = helpWindow.findChild<QLabel*>(QStringLiteral("Label%1").arg(i + 1));
        ASSERT_TRUE(label);
        EXPECT_EQ(label->text(), lines.at(i));
        // No line is cut by the fixed window size.
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
    }
    auto* ok = helpWindow.findChild<QPushButton*>(QStringLiteral("OKButton"));
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ok->isDefault());

    pressAdatbevitel();
    pickPage(2);
    bool wasModal = false;
    // The help window runs its own loop; Enter presses its default button.
    QTimer::singleShot(0, [&] {
        wasModal = helpWindow.isVisible() && QApplication::activeModalWidget() == &helpWindow;
        QTest::keyClick(&helpWindow, Qt::Key_Return);
    });
    click("info");
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(helpWindow.isVisible());
    EXPECT_EQ(helpWindow.result(), QDialog::Accepted);
}

} // namespace
