// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/list_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>

// Each edit opening first checks that its grid lists rows and that a row of it was clicked; a refusal stops
// the opening before the dialog is shown. Fields that a category does not fill keep their texts.

bool TRogzites::editableRow(int rowCount, const QString& keyField, const QString& message)
{
    if (rowCount != 0 && !keyField.isEmpty())
        return true;
    m_state.services().prompts.information(message);
    return false;
}

bool TRogzites::fillAlbumEdit()
{
    const TCurrentRow& row = m_state.currentRow;
    if (!editableRow(m_state.browseQuery().recordCount(), row.albumEloado, QStringLiteral("Nincs kijelölve album!")))
        return false;
    m_album.eloado_neve->setText(row.albumEloado);
    m_album.Album_cime->setText(row.albumAlbum);
    entry_form::setEnabled({m_album.eloado_neve, m_album.Album_cime}, true);
    entry_form::setEnabled({m_album.Szam_cime, m_album.duration[0], m_album.duration[1], m_album.duration[2],
                            m_album.Meret, m_album.Tomorites, m_album.Kod, m_album.Audio_cd, m_album.Eloado_azonos},
                           false);
    return true;
}

bool TRogzites::fillTrackEdit()
{
    const TCurrentRow& row = m_state.currentRow;
    if (!editableRow(m_state.detailQuery().recordCount(), row.albumAlbum, QStringLiteral("Nincs kijelölve szám!")))
        return false;
    m_album.eloado_neve->setText(row.albumEloado);
    m_album.Album_cime->setText(row.albumAlbum);
    m_album.Szam_cime->setText(row.trackEditCim);
    split(row.trackIdo, 0);
    m_album.Meret->setText(row.trackMeret);
    m_album.Tomorites->setText(row.trackBitrata);
    m_album.Kod->setText(row.trackKod);
    entry_form::setEnabled({m_album.eloado_neve, m_album.Album_cime, m_album.Audio_cd, m_album.Eloado_azonos}, false);
    entry_form::setEnabled({m_album.Szam_cime, m_album.duration[0], m_album.duration[1], m_album.duration[2],
                            m_album.Meret, m_album.Tomorites, m_album.Kod},
                           true);
    return true;
}

bool TRogzites::fillCompilationEdit()
{
    const TCurrentRow& row = m_state.currentRow;
    if (!editableRow(m_state.browseQuery().recordCount(), row.valogatasEloado,
                     QStringLiteral("Nem választottál ki számot!")))
        return false;
    m_compilation.Eloado_szam_cime->setText(row.valogatasEloado);
    m_compilation.Album_cim->setText(row.valogatasAlbum);
    m_compilation.szam_merete->setText(row.valogatasMeret);
    split(row.valogatasIdo, 1);
    m_compilation.Tomoritesi_mertek->setText(row.valogatasBitrata);
    m_compilation.CD_Kod->setText(row.valogatasKod);
    return true;
}

bool TRogzites::fillDvdEdit()
{
    m_dvd.Film_hangjai->clear();
    m_dvd.Film_feliratai->clear();
    const TCurrentRow& row = m_state.currentRow;
    if (!editableRow(m_state.browseQuery().recordCount(), row.dvdCim,
                     QStringLiteral("Nem választottál ki DVD filmet!")))
        return false;
    m_dvd.Film_cime->setText(row.dvdCim);
    m_dvd.Film_eredeti_cime->setText(row.dvdEredetiCim);
    m_dvd.Film_hangjai->addItems(list_text::split(row.dvdNyelv));
    if (row.dvdFelirat == QLatin1String("-"))
        m_dvd.Film_feliratai->addItem(row.dvdFelirat);
    else
        m_dvd.Film_feliratai->addItems(list_text::split(row.dvdFelirat));
    // A count that is no number is reported by the count field's own rule; the opening goes on.
    m_dvd.DVD_db_szam->setText(row.dvdDbDvd);
    split(row.dvdHossz, 2);
    entry_form::setComboText(m_dvd.Stilus, row.dvdStilus);
    return true;
}

bool TRogzites::fillClipEdit()
{
    const TCurrentRow& row = m_state.currentRow;
    if (!editableRow(m_state.browseQuery().recordCount(), row.videoklipCim,
                     QStringLiteral("Nem választottál ki DivX filmet/Videoklipet!")))
        return false;
    m_clip.Clip_cime->setText(row.videoklipCim);
    m_clip.Clip_leiras->setText(row.videoklipMegjegyzes);
    m_clip.Clip_nyelv->setText(row.videoklipNyelv);
    m_clip.Clip_felbontas->setText(row.videoklipFelbontas);
    m_clip.Clip_meret->setText(row.videoklipMeret);
    split(row.videoklipHossz, 3);
    m_clip.Clip_stilus->setText(row.videoklipStilus);
    m_clip.Clip_video->setText(row.videoklipVideo);
    m_clip.Clip_hang->setText(row.videoklipHang);
    return true;
}

bool TRogzites::fillGameEdit()
{
    const TCurrentRow& row = m_state.currentRow;
    if (!editableRow(m_state.browseQuery().recordCount(), row.gamesNev, QStringLiteral("Nem választottál ki játékot!")))
        return false;
    m_game.Jatek_neve->setText(row.gamesNev);
    m_game.Jatek_merete->setText(row.gamesMeret);
    m_game.Megjegyzes->setText(row.gamesMegjegyzes);
    m_game.JatekCD_kodja->setText(row.gamesKod);
    entry_form::setEnabled({m_game.Games_name, m_game.Games_stilus, m_game.Games_adathordozo}, false);
    return true;
}

bool TRogzites::fillProgramEdit()
{
    const TCurrentRow& row = m_state.currentRow;
    if (!editableRow(m_state.browseQuery().recordCount(), row.progsProgramok,
                     QStringLiteral("Nem választottál ki programot!")))
        return false;
    m_program.Progs_neve->setText(row.progsProgramok);
    m_program.Progs_meret->setText(row.progsMeret);
    m_program.Progs_Megjegyezes->setText(row.progsMegjegyzes);
    m_program.Progs_kod->setText(row.progsKod);
    return true;
}
