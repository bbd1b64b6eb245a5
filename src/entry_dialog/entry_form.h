// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <array>

class DurationEdit;
class LabeledEdit;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;
class UpDown;

// The controls of the entry dialog's six pages, by their form names. Each page is built in focus order.

using DurationFields = std::array<DurationEdit*, 3>; // hours, minutes, seconds

struct AlbumPage // "Mp3 albumok"
{
    LabeledEdit* eloado_neve;
    LabeledEdit* Album_cime;
    LabeledEdit* Szam_cime;
    QLabel* Label1;
    DurationFields duration; // album_ora, album_perc, album_mp
    LabeledEdit* Meret;
    LabeledEdit* Tomorites;
    LabeledEdit* Kod;
    QCheckBox* Audio_cd;
    QCheckBox* Eloado_azonos;
    QCheckBox* Album_azonos;
};

struct CompilationPage // "Mp3 válogatások"
{
    LabeledEdit* Eloado_szam_cime;
    LabeledEdit* Album_cim;
    LabeledEdit* szam_merete;
    QLabel* Label3;
    DurationFields duration; // valogatas_ora, valogatas_perc, valogatas_mp
    LabeledEdit* CD_Kod;
    LabeledEdit* Tomoritesi_mertek;
};

struct DvdPage // "DVD filmek"
{
    QLineEdit* Film_cime;
    QLineEdit* Film_eredeti_cime;
    QListWidget* Film_hangjai;
    QListWidget* Film_feliratai;
    QComboBox* hang;
    QPushButton* Nyelv_hozzaad;
    QComboBox* Felirat;
    QPushButton* felirat_hozzaad;
    QComboBox* Stilus;
    QLineEdit* DVD_db_szam;
    UpDown* UpDown1;
    DurationFields duration; // film_ora, film_perc, film_mp
    QPushButton* info;
};

struct ClipPage // "filmek és videoklipek"
{
    LabeledEdit* Clip_cime;
    LabeledEdit* Clip_leiras;
    LabeledEdit* Clip_nyelv;
    LabeledEdit* Clip_felbontas;
    LabeledEdit* Clip_meret;
    DurationFields duration; // clip_ora, clip_perc, clip_mp
    LabeledEdit* Clip_stilus;
    LabeledEdit* Clip_video;
    LabeledEdit* Clip_hang;
};

struct GamePage // "Játékok"
{
    LabeledEdit* Jatek_neve;
    LabeledEdit* Megjegyzes;
    LabeledEdit* Jatek_merete;
    LabeledEdit* JatekCD_kodja;
    QCheckBox* Games_name;
    QCheckBox* Games_stilus;
    QCheckBox* Games_adathordozo;
};

struct ProgramPage // "Programok és egyéb dolgok"
{
    LabeledEdit* Progs_neve;
    LabeledEdit* Progs_Megjegyezes;
    LabeledEdit* Progs_meret;
    LabeledEdit* Progs_kod;
};

namespace entry_form {

// The designed texts the choosers and the style show when nothing is chosen.
extern const QString soundPrompt;
extern const QString subtitlePrompt;
extern const QString stylePrompt;

// The designed item lists of the three drop-downs of the DVD page.
const QStringList& soundTrackItems();
const QStringList& subtitleItems();
const QStringList& styleItems(); // in sorted order

AlbumPage buildAlbumPage(QWidget* page);
CompilationPage buildCompilationPage(QWidget* page);
DvdPage buildDvdPage(QWidget* page);
ClipPage buildClipPage(QWidget* page);
GamePage buildGamePage(QWidget* page);
ProgramPage buildProgramPage(QWidget* page);

// The three fields of a length with the label above them and ":" between them; the colon labels get the
// given names.
DurationFields buildDuration(QWidget* page, const std::array<QString, 3>& names, const QString& hoursBound,
                             const std::array<QString, 2>& colonNames, int x, int y);

// Puts "00" into the three fields of a length.
void resetDuration(const DurationFields& fields);
// The caption of a length names its three fields for screen readers: "Szám hossza – óra" and so on.
void nameDuration(QLabel* caption, const DurationFields& fields);

// Sets the focus order of a page's controls to the order given.
void chainFocus(std::initializer_list<QWidget*> controls);

} // namespace entry_form
