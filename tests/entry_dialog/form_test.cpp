// SPDX-License-Identifier: GPL-3.0-or-later

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

TEST_F(FormTest, everyControlStartsInItsDesignedState)
{
    startAll();
    for (LabeledEdit* field : dialog().findChildren<LabeledEdit*>()) {
        EXPECT_EQ(field->text(), QString()) << field->objectName().toStdString();
        EXPECT_TRUE(field->isEnabled()) << field->objectName().toStdString();
        EXPECT_FALSE(field->label()->text().isEmpty()) << field->objectName().toStdString();
    }
    EXPECT_EQ(dialog().findChildren<LabeledEdit*>().size(), 27);
    const QList<DurationEdit*> lengths = dialog().findChildren<DurationEdit*>();
    EXPECT_EQ(lengths.size(), 12);
    for (DurationEdit* field : lengths) {
        EXPECT_EQ(field->text(), QStringLiteral("00")) << field->objectName().toStdString();
        EXPECT_EQ(field->bound(), field->objectName().endsWith("_ora") ? "24" : "59")
            << field->objectName().toStdString();
    }
    for (QCheckBox* box : dialog().findChildren<QCheckBox*>()) {
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
        EXPECT_EQ(box->isEnabled(), box->objectName() != "Album_azonos") << box->objectName().toStdString();
    }
    EXPECT_EQ(dialog().findChildren<QCheckBox*>().size(), 6);
    EXPECT_EQ(text("Film_cime") + text("Film_eredeti_cime"), QString());
    EXPECT_EQ(list("Film_hangjai")->count() + list("Film_feliratai")->count(), 0);
    EXPECT_EQ(combo("hang")->currentText(), QStringLiteral("(Válaszd ki a nyelvet)"));
    EXPECT_EQ(combo("Felirat")->currentText(), QStringLiteral("(Válaszd ki a felíratot)"));
    EXPECT_EQ(combo("Stilus")->currentText(), QStringLiteral("Válassz kategóriát:"));
    EXPECT_EQ(text("DVD_db_szam"), QStringLiteral("1"));
    const UpDown* upDown = control<UpDown>("UpDown1");
    EXPECT_EQ(QList<int>({upDown->position(), upDown->minimum(), upDown->maximum()}), QList<int>({1, 1, 99}));
    EXPECT_TRUE(control<QPushButton>("info")->font().bold());
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
