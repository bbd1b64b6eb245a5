// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_form.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/up_down.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace entry_form {

const QString soundPrompt = QStringLiteral("(Válaszd ki a nyelvet)");
const QString subtitlePrompt = QStringLiteral("(Válaszd ki a felíratot)");
const QString stylePrompt = QStringLiteral("Válassz kategóriát:");

const QStringList& soundTrackItems()
{
    static const QStringList items = {"AC3/6 HU", "DTS/6 HU", "AC3/6 EN", "DTS/6 EN", "AC3/6 surround",
                                      "AC3/4 HU", "AC3/4 EN", "AC3/2 HU", "AC3/2 EN", "AC3/1 HU",
                                      "AC3/1 EN", "MPEG/2",   "egyéb"};
    return items;
}

const QStringList& subtitleItems()
{
    static const QStringList items = {"angol", "magyar", "egyéb"};
    return items;
}

const QStringList& styleItems()
{
    static const QStringList items = {"Aerobick",  "Akció",    "Animáció",   "Családi",         "Dráma",
                                      "Fantasy",   "Háborús",  "Horror",     "Imeretterjesztő", "Kaland",
                                      "Misztikus", "Musical",  "Opera",      "Rajzfilm",        "Romantikus",
                                      "Sci-fi",    "Thriller", "Történelmi", "Vígjáték"};
    return items;
}

namespace {

// An editable drop-down: the user picks an item or types any text, and typing never adds an item.
QComboBox* makeChooser(QWidget* page, const QString& name, const QStringList& items, const QString& prompt,
                       const QRect& place)
{
    auto* combo = new QComboBox(page);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr); // a typed text stays as typed
    combo->addItems(items);
    setComboText(combo, prompt);
    combo->setGeometry(place);
    return combo;
}

QListWidget* makeList(QWidget* page, const QString& name, const QRect& place)
{
    auto* list = new QListWidget(page);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setGeometry(place);
    return list;
}

} // namespace

DvdPage buildDvdPage(QWidget* page)
{
    DvdPage p{};
    QLabel* caption = makeLabel(page, QStringLiteral("film_magyar_cime"), QStringLiteral("Film magyar címe:"), 16, 14);
    p.Film_cime = makeEdit(page, QStringLiteral("Film_cime"), {16, 32, 330, editHeight});
    nameField(caption, p.Film_cime);
    caption = makeLabel(page, QStringLiteral("Filmcim"), QStringLiteral("Film eredeti címe:"), 376, 14);
    p.Film_eredeti_cime = makeEdit(page, QStringLiteral("Film_eredeti_cime"), {376, 32, 330, editHeight});
    nameField(caption, p.Film_eredeti_cime);

    caption = makeLabel(page, QStringLiteral("Film_hang"), QStringLiteral("Film hanganyagai:"), 16, 68);
    p.Film_hangjai = makeList(page, QStringLiteral("Film_hangjai"), {16, 86, 330, 112});
    nameField(caption, p.Film_hangjai);
    caption = makeLabel(page, QStringLiteral("Film_felarat"), QStringLiteral("Film felíratai:"), 376, 68);
    p.Film_feliratai = makeList(page, QStringLiteral("Film_feliratai"), {376, 86, 330, 112});
    nameField(caption, p.Film_feliratai);

    p.hang = makeChooser(page, QStringLiteral("hang"), soundTrackItems(), soundPrompt, {16, 206, 240, editHeight});
    p.Nyelv_hozzaad =
        makeButton(page, QStringLiteral("Nyelv_hozzaad"), QStringLiteral("Hozzáad"), {264, 206, 82, editHeight});
    p.Felirat =
        makeChooser(page, QStringLiteral("Felirat"), subtitleItems(), subtitlePrompt, {376, 206, 240, editHeight});
    p.felirat_hozzaad =
        makeButton(page, QStringLiteral("felirat_hozzaad"), QStringLiteral("Hozzáad"), {624, 206, 82, editHeight});
    // The choosers have no label; the two "Hozzáad" buttons are told apart by what they add.
    nameControl(p.hang, QStringLiteral("Hanganyag választása"));
    nameControl(p.Nyelv_hozzaad, QStringLiteral("Hanganyag hozzáadása"));
    nameControl(p.Felirat, QStringLiteral("Felirat választása"));
    nameControl(p.felirat_hozzaad, QStringLiteral("Felirat hozzáadása"));

    caption = makeLabel(page, QStringLiteral("film_stilus"), QStringLiteral("Film stílusa:"), 16, 250);
    p.Stilus = makeChooser(page, QStringLiteral("Stilus"), styleItems(), stylePrompt, {16, 268, 330, editHeight});
    nameField(caption, p.Stilus);
    nameControl(p.Stilus, QStringLiteral("Film stílusa"));
    caption =
        makeLabel(page, QStringLiteral("film_dvd"), QStringLiteral("Mennyi DVD-n található meg a film?"), 376, 250);
    p.DVD_db_szam = makeEdit(page, QStringLiteral("DVD_db_szam"), {376, 268, 56, editHeight});
    p.DVD_db_szam->setText(QStringLiteral("1"));
    nameField(caption, p.DVD_db_szam);
    p.UpDown1 = new UpDown(QStringLiteral("UpDown1"), 1, 99, page);
    p.UpDown1->setGeometry(433, 268, 18, editHeight);
    nameControl(p.UpDown1, QStringLiteral("DVD-k száma: léptetés fel és le"));

    caption = makeLabel(page, QStringLiteral("film_hossza"), QStringLiteral("Film hossza:"), 16, 304);
    p.duration =
        buildDuration(page, {QStringLiteral("film_ora"), QStringLiteral("film_perc"), QStringLiteral("film_mp")},
                      QStringLiteral("24"), {QStringLiteral("Label7"), QStringLiteral("Label8")}, 16, 322);
    nameDuration(caption, p.duration);

    p.info = makeButton(page, QStringLiteral("info"), QStringLiteral("i"), {686, 66, 20, 18});
    nameControl(p.info, QStringLiteral("Segítség"));
    p.info->setToolTip(QStringLiteral("Segítség"));
    QFont bold = p.info->font();
    bold.setBold(true);
    bold.setPointSize(7);
    p.info->setFont(bold);

    chainFocus({p.Film_cime, p.Film_eredeti_cime, p.Film_hangjai, p.Film_feliratai, p.hang, p.Nyelv_hozzaad, p.Felirat,
                p.felirat_hozzaad, p.Stilus, p.DVD_db_szam, p.UpDown1, p.duration[0], p.duration[1], p.duration[2],
                p.info});
    return p;
}

ClipPage buildClipPage(QWidget* page)
{
    ClipPage p{};
    p.Clip_cime = labeledEdit(page, QStringLiteral("Clip_cime"), QStringLiteral("Film/videoklipp címe:"), 16, 14, 330);
    p.Clip_leiras = labeledEdit(page, QStringLiteral("Clip_leiras"), QStringLiteral("Eredeti cím/leírás/megjegyzés:"),
                                376, 14, 330);
    p.Clip_nyelv = labeledEdit(page, QStringLiteral("Clip_nyelv"), QStringLiteral("Film nyelve:"), 16, 68, 330);
    p.Clip_felbontas =
        labeledEdit(page, QStringLiteral("Clip_felbontas"), QStringLiteral("Film felbontása:"), 376, 68, 330);
    p.Clip_meret = labeledEdit(page, QStringLiteral("Clip_meret"), QStringLiteral("Mérete:"), 16, 122, 150);
    QLabel* lengthCaption =
        makeLabel(page, QStringLiteral("clip_hossz"), QStringLiteral("Film/Klip hossza:"), 196, 122);
    p.duration =
        buildDuration(page, {QStringLiteral("clip_ora"), QStringLiteral("clip_perc"), QStringLiteral("clip_mp")},
                      QStringLiteral("24"), {QStringLiteral("Label5"), QStringLiteral("Label6")}, 196, 140);
    nameDuration(lengthCaption, p.duration);
    p.Clip_stilus = labeledEdit(page, QStringLiteral("Clip_stilus"), QStringLiteral("Stílus:"), 376, 122, 330);
    p.Clip_video =
        labeledEdit(page, QStringLiteral("Clip_video"), QStringLiteral("Video kódek/CD kódja:"), 16, 176, 330);
    p.Clip_hang = labeledEdit(page, QStringLiteral("Clip_hang"), QStringLiteral("Hangkódek:"), 376, 176, 330);

    chainFocus({p.Clip_cime, p.Clip_leiras, p.Clip_nyelv, p.Clip_felbontas, p.Clip_meret, p.duration[0], p.duration[1],
                p.duration[2], p.Clip_stilus, p.Clip_video, p.Clip_hang});
    return p;
}

} // namespace entry_form
