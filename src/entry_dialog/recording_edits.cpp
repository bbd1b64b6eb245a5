// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"

#include <QComboBox>
#include <QListWidget>

// Recording an edit: the page written back over the row the edit was opened for. A column whose fields the user
// left alone keeps what the catalogue holds; a row changed or deleted meanwhile is not written. Nothing is reset,
// and a successful press always closes the dialog.

namespace {

using Seen = std::vector<std::pair<QString, QString>>;

} // namespace

void TRogzites::keepEditTarget(int tab)
{
    m_state.keepOpening();
    const TCurrentRow& row = m_state.opening.row;
    m_editTarget = EditTarget();
    switch (tab) {
    case 0:
        m_editTarget.album = {row.albumEloado, row.albumAlbum, row.albumIdentity,
                              Seen{{"eloado", row.albumEloado}, {"album", row.albumAlbum}}};
        m_editTarget.track = {row.trackCim, row.trackMeret, row.trackIdentity,
                              Seen{{"cim", row.trackEditCim},
                                   {"ido", row.trackIdo},
                                   {"meret", row.trackMeret},
                                   {"bitrata", row.trackBitrata},
                                   {"kod", row.trackKod}}};
        m_editTarget.storedLength = row.trackIdo;
        break;
    case 1:
        m_editTarget.row = {row.valogatasEloado, row.valogatasMeret, row.valogatasIdentity,
                            Seen{{"eloado", row.valogatasEloado},
                                 {"album", row.valogatasAlbum},
                                 {"ido", row.valogatasIdo},
                                 {"bitrata", row.valogatasBitrata},
                                 {"meret", row.valogatasMeret},
                                 {"kod", row.valogatasKod}}};
        m_editTarget.storedLength = row.valogatasIdo;
        break;
    case 2:
        m_editTarget.row = {row.dvdCim, row.dvdHossz, row.dvdIdentity,
                            Seen{{"cim", row.dvdCim},
                                 {"eredeti_cim", row.dvdEredetiCim},
                                 {"nyelv", row.dvdNyelv},
                                 {"felirat", row.dvdFelirat},
                                 {"db_dvd", row.dvdDbDvd},
                                 {"hossz", row.dvdHossz},
                                 {"stilus", row.dvdStilus}}};
        m_editTarget.storedLength = row.dvdHossz;
        m_editTarget.storedSoundTracks = row.dvdNyelv;
        m_editTarget.storedSubtitles = row.dvdFelirat;
        break;
    case 3:
        m_editTarget.row = {row.videoklipCim, row.videoklipMegjegyzes, row.videoklipIdentity,
                            Seen{{"cim", row.videoklipCim},
                                 {"megjegyzes", row.videoklipMegjegyzes},
                                 {"nyelv", row.videoklipNyelv},
                                 {"felbontas", row.videoklipFelbontas},
                                 {"meret", row.videoklipMeret},
                                 {"hossz", row.videoklipHossz},
                                 {"stilus", row.videoklipStilus},
                                 {"video", row.videoklipVideo},
                                 {"hang", row.videoklipHang}}};
        m_editTarget.storedLength = row.videoklipHossz;
        break;
    case 4:
        m_editTarget.row = {row.gamesNev, row.gamesMeret, row.gamesIdentity,
                            Seen{{"nev", row.gamesNev},
                                 {"megjegyzes", row.gamesMegjegyzes},
                                 {"meret", row.gamesMeret},
                                 {"kod", row.gamesKod}}};
        break;
    case 5:
        m_editTarget.row = {row.progsProgramok, row.progsMeret, row.progsIdentity,
                            Seen{{"programok", row.progsProgramok},
                                 {"megjegyzes", row.progsMegjegyzes},
                                 {"meret", row.progsMeret},
                                 {"kod", row.progsKod}}};
        break;
    default:
        break;
    }
    rememberFilledTexts(tab);
}

void TRogzites::rememberFilledTexts(int page)
{
    if (page < 0 || page >= static_cast<int>(m_pages.size()))
        return;
    // Choosers included: their edit parts are line edits of the page.
    for (const QLineEdit* field : m_pages[static_cast<std::size_t>(page)]->findChildren<QLineEdit*>())
        m_editTarget.filledTexts[field] = field->text();
    for (const QListWidget* list : m_pages[static_cast<std::size_t>(page)]->findChildren<QListWidget*>()) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        m_editTarget.filledItems[list] = items;
    }
}

bool TRogzites::recordEdit()
{
    m_state.mode.closeAfterRecord = true;
    const record_sql::RowKey& old = m_editTarget.row;
    // The columns the user left alone, by the name the update sets them under.
    record_sql::KeptColumns kept;
    const auto keepUntouched = [this, &kept](bool typedHere, const char* column) {
        if (!typedHere)
            kept << QString::fromLatin1(column);
    };
    switch (shownPage()) {
    case 0:
        return updateAlbumOrTrack();
    case 1: {
        QString length;
        if (!checkCompilation(length))
            return false;
        keepUntouched(typed(m_compilation.Eloado_szam_cime), "eloado");
        keepUntouched(typed(m_compilation.Album_cim), "album");
        keepUntouched(lengthTyped(1), "ido");
        keepUntouched(typed(m_compilation.Tomoritesi_mertek), "bitrata");
        keepUntouched(typed(m_compilation.szam_merete), "meret");
        keepUntouched(typed(m_compilation.CD_Kod), "kod");
        return runUpdate(record_sql::compilationUpdate(compilationFields(length), old, kept));
    }
    case 2: {
        QString length;
        QString soundTracks;
        QString subtitles;
        if (!checkDvd(length, soundTracks, subtitles))
            return false;
        keepUntouched(typed(m_dvd.Film_cime), "cim");
        keepUntouched(typed(m_dvd.Film_eredeti_cime), "eredeti_cim");
        keepUntouched(typed(m_dvd.Film_hangjai), "nyelv");
        keepUntouched(typed(m_dvd.Film_feliratai), "felirat");
        keepUntouched(typed(m_dvd.DVD_db_szam), "db_dvd");
        keepUntouched(lengthTyped(2), "hossz");
        keepUntouched(typed(m_dvd.Stilus), "stilus");
        return runUpdate(record_sql::dvdUpdate(dvdFields(length, soundTracks, subtitles), old, kept));
    }
    case 3: {
        QString length;
        if (!checkClip(length))
            return false;
        keepUntouched(typed(m_clip.Clip_cime), "cim");
        keepUntouched(typed(m_clip.Clip_leiras), "megjegyzes");
        keepUntouched(typed(m_clip.Clip_nyelv), "nyelv");
        keepUntouched(typed(m_clip.Clip_felbontas), "felbontas");
        keepUntouched(typed(m_clip.Clip_meret), "meret");
        keepUntouched(lengthTyped(3), "hossz");
        keepUntouched(typed(m_clip.Clip_stilus), "stilus");
        keepUntouched(typed(m_clip.Clip_video), "video");
        keepUntouched(typed(m_clip.Clip_hang), "hang");
        return runUpdate(record_sql::clipUpdate(clipFields(length), old, kept));
    }
    case 4:
        if (!checkGame())
            return false;
        keepUntouched(typed(m_game.Jatek_neve), "nev");
        keepUntouched(typed(m_game.Megjegyzes), "megjegyzes");
        keepUntouched(typed(m_game.Jatek_merete), "meret");
        keepUntouched(typed(m_game.JatekCD_kodja), "kod");
        return runUpdate(record_sql::gameUpdate(gameFields(), old, kept));
    case 5:
        if (!checkProgram())
            return false;
        keepUntouched(typed(m_program.Progs_neve), "programok");
        keepUntouched(typed(m_program.Progs_Megjegyezes), "megjegyzes");
        keepUntouched(typed(m_program.Progs_meret), "meret");
        keepUntouched(typed(m_program.Progs_kod), "kod");
        return runUpdate(record_sql::programUpdate(programFields(), old, kept));
    default: // no edit opens without a page
        return false;
    }
}

bool TRogzites::updateAlbumOrTrack()
{
    // No checks here: empty texts and a zero length are written as they are.
    record_sql::KeptColumns kept;
    if (m_state.opening.albumGrid) {
        if (!typed(m_album.eloado_neve))
            kept << QStringLiteral("eloado");
        if (!typed(m_album.Album_cime))
            kept << QStringLiteral("album");
        return runUpdate(
            record_sql::albumUpdate(m_album.eloado_neve->text(), m_album.Album_cime->text(), m_editTarget.album, kept));
    }
    if (m_state.opening.trackGrid) {
        QString length;
        bool typedLength = true;
        if (!pressedLength(0, length, typedLength))
            return false;
        if (!typed(m_album.Szam_cime))
            kept << QStringLiteral("cim");
        if (!typedLength)
            kept << QStringLiteral("ido");
        if (!typed(m_album.Meret))
            kept << QStringLiteral("meret");
        if (!typed(m_album.Tomorites))
            kept << QStringLiteral("bitrata");
        if (!typed(m_album.Kod))
            kept << QStringLiteral("kod");
        return runUpdate(record_sql::trackUpdate(trackFields(length), m_editTarget.track, kept));
    }
    return true;
}
