// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/up_down.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

void TRogzites::openForNewRows()
{
    ModeVariables& mode = m_state.mode;
    // An edit that no window shows is over: Adatbevitel never leads to nothing.
    if (mode.editMode && !isVisible())
        mode.editMode = false;
    if (mode.editMode) {
        showAndRaise(); // the edit under way comes to the front as it is
    } else {
        selectPage(0);
        setWindowTitle(m_state.textSlots().text(2));
        mode.closeAfterRecord = false;
        mode.newAlbumNeeded = true;
        m_rogzitEnd->setVisible(true);
        m_rogzitNew->setText(m_state.textSlots().text(201));
        m_cancelExit->setText(m_state.textSlots().text(203));
        // The album box keeps its state: it follows the artist box.
        entry_form::setEnabled({m_album.Szam_cime, m_album.eloado_neve, m_album.Album_cime, m_album.duration[0],
                                m_album.duration[1], m_album.duration[2], m_album.Meret, m_album.Tomorites, m_album.Kod,
                                m_album.Audio_cd, m_album.Eloado_azonos, m_game.Games_name, m_game.Games_stilus,
                                m_game.Games_adathordozo},
                               true);
        mode.editMode = false;
        resetAllPages();
        m_state.keepOpening();
        rememberShownTexts();
        showAndRaise();
        m_album.eloado_neve->setFocus(Qt::OtherFocusReason);
    }
    finishOpening();
}

void TRogzites::resetAllPages()
{
    entry_form::clearTexts(
        {m_album.eloado_neve, m_album.Album_cime, m_album.Szam_cime, m_album.Meret, m_album.Tomorites, m_album.Kod});
    entry_form::resetDuration(m_album.duration);

    entry_form::clearTexts({m_compilation.Eloado_szam_cime, m_compilation.Album_cim, m_compilation.szam_merete,
                            m_compilation.CD_Kod, m_compilation.Tomoritesi_mertek});
    entry_form::resetDuration(m_compilation.duration);

    clearDvdPage();

    entry_form::clearTexts({m_clip.Clip_cime, m_clip.Clip_leiras, m_clip.Clip_nyelv, m_clip.Clip_felbontas,
                            m_clip.Clip_meret, m_clip.Clip_stilus, m_clip.Clip_video, m_clip.Clip_hang});
    entry_form::resetDuration(m_clip.duration);

    entry_form::clearTexts({m_game.Jatek_neve, m_game.Megjegyzes, m_game.Jatek_merete, m_game.JatekCD_kodja});
    entry_form::clearTexts(
        {m_program.Progs_neve, m_program.Progs_Megjegyezes, m_program.Progs_meret, m_program.Progs_kod});
}

void TRogzites::clearDvdPage()
{
    entry_form::clearTexts({m_dvd.Film_cime, m_dvd.Film_eredeti_cime});
    m_dvd.Film_hangjai->clear();
    m_dvd.Film_feliratai->clear();
    // The count's change moves the arrows back to 1.
    m_dvd.DVD_db_szam->setText(QStringLiteral("1"));
    entry_form::resetDuration(m_dvd.duration);
    entry_form::setComboText(m_dvd.hang, entry_form::soundPrompt);
    entry_form::setComboText(m_dvd.Felirat, entry_form::subtitlePrompt);
    entry_form::setComboText(m_dvd.Stilus, entry_form::stylePrompt);
}

void TRogzites::finishOpening()
{
    // Unticked without the Audio CD behaviour: the three track fields stay as the opening left them.
    m_album.Audio_cd->setChecked(false);
    m_album.eloado_neve->label()->setText(m_state.textSlots().text(20501));
}

void TRogzites::showAndRaise()
{
    show();
    raise();
    activateWindow();
}

void TRogzites::openForEditing()
{
    ModeVariables& mode = m_state.mode;
    mode.closeAfterRecord = false;
    mode.editTab = m_state.activeTab();
    bool filled = true;
    switch (mode.editTab) {
    case 0:
        if (m_state.albumGridActive)
            filled = fillAlbumEdit();
        else if (m_state.trackGridActive)
            filled = fillTrackEdit();
        break;
    case 1:
        filled = fillCompilationEdit();
        break;
    case 2:
        filled = fillDvdEdit();
        break;
    case 3:
        filled = fillClipEdit();
        break;
    case 4:
        filled = fillGameEdit();
        break;
    case 5:
        filled = fillProgramEdit();
        break;
    default: // every tab the main window shows has a page; no edit starts anywhere else
        return;
    }
    if (!filled)
        return;
    keepEditTarget(mode.editTab);
    rememberShownTexts();
    setWindowTitle(m_state.textSlots().text(3));
    m_rogzitNew->setText(m_state.textSlots().text(301));
    m_rogzitEnd->setVisible(false);
    m_cancelExit->setText(m_state.textSlots().text(302));
    selectPage(mode.editTab);
    showAndRaise();
    mode.editMode = true;
    finishOpening();
}

void TRogzites::Rogzit_Change()
{
    const ModeVariables& mode = m_state.mode;
    if (mode.editMode) {
        // The page of the row being edited cannot be left.
        selectPage(mode.editTab);
        m_state.services().prompts.information(m_state.textSlots().text(303));
        return;
    }
    if (QWidget* field = firstField(m_tabla->currentIndex()))
        field->setFocus(Qt::OtherFocusReason);
}

void TRogzites::rememberShownTexts()
{
    m_shownTexts.clear();
    m_shownItems.clear();
    // Choosers and length fields included: their edit parts are line edits of the pages.
    for (const QLineEdit* field : m_tabla->findChildren<QLineEdit*>())
        m_shownTexts[field] = field->text();
    for (const QListWidget* list : m_tabla->findChildren<QListWidget*>()) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        m_shownItems[list] = items;
    }
}

bool TRogzites::typedSinceShown() const
{
    for (const auto& [field, text] : m_shownTexts)
        if (static_cast<const QLineEdit*>(field)->text() != text)
            return true;
    for (const auto& [list, shown] : m_shownItems) {
        const auto* box = static_cast<const QListWidget*>(list);
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->item(i)->text();
        if (items != shown)
            return true;
    }
    return false;
}

bool TRogzites::endForOtherCatalogue(const QString& other)
{
    // The catalogue the dialog was opened on coming back ends nothing: what was typed can be recorded there.
    if (!isVisible() || other == m_state.opening.catalogue)
        return true;
    if (typedSinceShown()) {
        const QString question = QStringLiteral("Az adatbeviteli ablakba írt adatokat még nem rögzítetted ebbe a "
                                                "katalógusba:\r%1\r\rElveted őket, és megnyitod a másik "
                                                "katalógust?")
                                     .arg(m_state.opening.catalogueShown);
        // Only a Yes drops them: No, and a box closed by its frame, keep the edit and its catalogue.
        if (m_state.services().prompts.confirm(question) != platform::Answer::Yes)
            return false;
    }
    Cancel_exitClick();
    return true;
}

void TRogzites::Cancel_exitClick()
{
    hide();
    m_state.mode.editMode = false;
}

void TRogzites::closeEvent(QCloseEvent* event)
{
    // Closing the frame leaves the dialog as its leave button does; an edit kept on in a hidden dialog would
    // leave Adatbevitel showing nothing.
    run([this] { Cancel_exitClick(); });
    event->accept();
}

void TRogzites::keyPressEvent(QKeyEvent* event)
{
    // Escape, not taken by a control (an open drop-down closes its list first), acts as the leave button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        run([this] { Cancel_exitClick(); });
        return;
    }
    QWidget::keyPressEvent(event);
}
