#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"
#include "main_window/main_window.h"

// Recording an edit: the page written back over the row the edit was opened for. Nothing is reset, and a
// successful press always closes the dialog.

void TRogzites::keepEditTarget(int tab)
{
    const TCurrentRow& row = m_main.currentRow;
    m_editTarget = EditTarget();
    switch (tab) {
    case 0:
        m_editTarget.albumGrid = m_main.albumGridActive;
        m_editTarget.trackGrid = m_main.trackGridActive;
        m_editTarget.album = {row.albumEloado, row.albumAlbum, row.albumIdentity};
        m_editTarget.track = {row.trackCim, row.trackMeret, row.trackIdentity};
        break;
    case 1:
        m_editTarget.row = {row.valogatasEloado, row.valogatasMeret, row.valogatasIdentity};
        break;
    case 2:
        m_editTarget.row = {row.dvdCim, row.dvdHossz, row.dvdIdentity};
        break;
    case 3:
        m_editTarget.row = {row.videoklipCim, row.videoklipMegjegyzes, row.videoklipIdentity};
        break;
    case 4:
        m_editTarget.row = {row.gamesNev, row.gamesMeret, row.gamesIdentity};
        break;
    case 5:
        m_editTarget.row = {row.progsProgramok, row.progsMeret, row.progsIdentity};
        break;
    default:
        break;
    }
}

bool TRogzites::recordEdit()
{
    m_main.modeVariables.closeAfterRecord = true;
    const QString trackLength = compose(0);
    const record_sql::RowKey& old = m_editTarget.row;
    switch (shownPage()) {
    case 0:
        updateAlbumOrTrack(trackLength);
        return true;
    case 1: {
        const QString length = compose(1);
        if (!checkCompilation(length))
            return false;
        runCommand(record_sql::compilationUpdate(compilationFields(length), old));
        return true;
    }
    case 2: {
        QString length;
        if (!checkDvd(length))
            return false;
        runCommand(record_sql::dvdUpdate(dvdFields(length), old));
        m_main.currentRow.dvdNyelv.clear();
        m_main.currentRow.dvdFelirat.clear();
        return true;
    }
    case 3: {
        const QString length = compose(3);
        if (!checkClip(length))
            return false;
        runCommand(record_sql::clipUpdate(clipFields(length), old));
        return true;
    }
    case 4:
        if (!checkGame())
            return false;
        runCommand(record_sql::gameUpdate(gameFields(), old));
        return true;
    case 5:
        if (!checkProgram())
            return false;
        runCommand(record_sql::programUpdate(programFields(), old));
        return true;
    default: // an edit opened from a tab without a page writes nothing
        return true;
    }
}

void TRogzites::updateAlbumOrTrack(const QString& trackLength)
{
    // No checks here: empty texts and a zero length are written as they are.
    if (m_editTarget.albumGrid)
        runCommand(
            record_sql::albumUpdate(m_album.eloado_neve->text(), m_album.Album_cime->text(), m_editTarget.album));
    if (m_editTarget.trackGrid)
        runCommand(record_sql::trackUpdate(trackFields(trackLength), m_editTarget.track));
}
