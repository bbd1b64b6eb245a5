// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/up_down.h"
#include "engine/write_transaction.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>

// Recording new rows: the page's insert, then the page made ready for the next entry, keeping what the
// same-value boxes ask to keep.

bool TRogzites::recordNewRow()
{
    switch (shownPage()) {
    case 0:
        return recordAlbumTrack();
    case 1:
        return recordCompilation();
    case 2:
        return recordDvd();
    case 3:
        return recordClip();
    case 4:
        return recordGame();
    case 5:
        return recordProgram();
    default:
        return true;
    }
}

bool TRogzites::keptAlbumHolds(catalogue::QueryChannel& channel, const QString& artist, const QString& album) const
{
    bool isNumber = false;
    const qlonglong key = m_currentAlbumKey.toLongLong(&isNumber);
    if (!isNumber)
        return false;
    const engine::Statement held = engine::Statement().sqlOnly(
        QStringLiteral("SELECT 1 FROM eloado WHERE kod = ? AND ELOADO = ? AND ALBUM = ?"), {key, artist, album});
    return !channel.fetch(held).empty();
}

QString TRogzites::heldAlbumKey(catalogue::QueryChannel& channel, const QString& artist, const QString& album)
{
    const engine::Statement query = record_sql::heldAlbumQuery(artist, album);
    emit statementSent(query.text());
    const std::vector<QVariantList> found = channel.fetch(query);
    if (found.empty() || found.front().isEmpty())
        return QString();
    return found.front().front().toString();
}

bool TRogzites::recordAlbumTrack()
{
    ModeVariables& mode = m_state.mode;
    catalogue::QueryChannel& channel = m_state.browseQuery();
    QString length;
    bool typedLength = true;
    if (!pressedLength(0, length, typedLength))
        return false;
    if (!checkAlbumTrack(length))
        return false;

    const QString artist = m_album.eloado_neve->text();
    const QString album = m_album.Album_cime->text();
    // The album row and its first track are written together or not at all. The look-up of an album already
    // held runs inside the same write transaction, so that another writer cannot add the same album between
    // the look-up and the insert.
    engine::WriteTransaction transaction(channel);
    // The kept album serves only while the fields still show its artist and title and the catalogue still
    // holds it under them; otherwise the track would be filed under another album, or under none.
    const bool keptServes = !mode.newAlbumNeeded && artist == m_currentAlbumArtist && album == m_currentAlbumTitle &&
                            keptAlbumHolds(channel, artist, album);
    QString key = keptServes ? m_currentAlbumKey : heldAlbumKey(channel, artist, album);
    // A track typed for an album the catalogue already holds joins it: a second album row would list the
    // album twice with its tracks split between the two.
    if (key.isEmpty()) {
        runCommand(record_sql::albumInsert(artist, album));
        const qint64 insertedKey = channel.lastInsertedKey();
        const engine::Statement keyQuery = record_sql::albumKeyQuery(artist, album, insertedKey);
        emit statementSent(keyQuery.text());
        channel.setStatement(keyQuery);
        channel.open();
        key = channel.fieldText(0, QStringLiteral("kod"));
    }
    runCommand(record_sql::trackInsert(trackFields(length), key));
    transaction.commit();
    m_currentAlbumKey = key;
    m_currentAlbumArtist = artist;
    m_currentAlbumTitle = album;

    // The ticks count, not whether the boxes are enabled.
    if (!m_album.Album_azonos->isChecked()) {
        m_album.Album_cime->clear();
        m_album.Album_cime->setFocus();
        mode.newAlbumNeeded = true;
    }
    if (!m_album.Eloado_azonos->isChecked()) {
        entry_form::clearTexts({m_album.eloado_neve, m_album.Album_cime});
        m_album.eloado_neve->setFocus();
        mode.newAlbumNeeded = true;
    }
    if (m_album.Album_azonos->isChecked() && m_album.Eloado_azonos->isChecked()) {
        mode.newAlbumNeeded = false;
        m_album.Szam_cime->setFocus();
    }
    m_album.Szam_cime->clear();
    entry_form::resetDuration(m_album.duration);
    Audio_cdClick();
    m_state.detailQuery().close();
    return true;
}

bool TRogzites::recordCompilation()
{
    QString length;
    if (!checkCompilation(length))
        return false;
    runCommand(record_sql::compilationInsert(compilationFields(length)));
    entry_form::clearTexts({m_compilation.Eloado_szam_cime, m_compilation.Album_cim, m_compilation.Tomoritesi_mertek,
                            m_compilation.szam_merete, m_compilation.CD_Kod});
    entry_form::resetDuration(m_compilation.duration);
    m_compilation.Eloado_szam_cime->setFocus();
    return true;
}

bool TRogzites::recordDvd()
{
    QString length;
    QString soundTracks;
    QString subtitles;
    if (!checkDvd(length, soundTracks, subtitles))
        return false;
    runCommand(record_sql::dvdInsert(dvdFields(length, soundTracks, subtitles)));
    resetDvdPage();
    return true;
}

void TRogzites::resetDvdPage()
{
    clearDvdPage();
    m_dvd.UpDown1->setPosition(1);
    m_dvd.Film_cime->setFocus();
}

bool TRogzites::recordClip()
{
    QString length;
    if (!checkClip(length))
        return false;
    runCommand(record_sql::clipInsert(clipFields(length)));
    entry_form::clearTexts({m_clip.Clip_cime, m_clip.Clip_leiras, m_clip.Clip_nyelv, m_clip.Clip_felbontas,
                            m_clip.Clip_meret, m_clip.Clip_stilus, m_clip.Clip_video, m_clip.Clip_hang});
    entry_form::resetDuration(m_clip.duration);
    m_clip.Clip_cime->setFocus();
    return true;
}

bool TRogzites::recordGame()
{
    if (!checkGame())
        return false;
    runCommand(record_sql::gameInsert(gameFields()));
    if (!m_game.Games_stilus->isChecked()) {
        m_game.Megjegyzes->clear();
        m_game.Megjegyzes->setFocus();
    }
    if (!m_game.Games_name->isChecked()) {
        m_game.Jatek_neve->clear();
        m_game.Jatek_neve->setFocus();
    }
    m_game.Jatek_merete->clear();
    if (!m_game.Games_adathordozo->isChecked())
        m_game.JatekCD_kodja->clear();
    return true;
}

bool TRogzites::recordProgram()
{
    if (!checkProgram())
        return false;
    runCommand(record_sql::programInsert(programFields()));
    entry_form::clearTexts(
        {m_program.Progs_neve, m_program.Progs_Megjegyezes, m_program.Progs_meret, m_program.Progs_kod});
    m_program.Progs_neve->setFocus();
    return true;
}
